// Model count files ("name<TAB>count" per model) over the fixed model set.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "model/macro.h"

FUZZ_TARGET(modelcount)
{
    macroClass models = fuzz::fixedModels();
    models.modelCountRead(fuzz::writeInput(input, "txt"));
}
