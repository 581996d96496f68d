// Binary macro files (the model set).
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "model/macro.h"

FUZZ_TARGET(macb)
{
    macroClass models;
    models.macRead(fuzz::writeInput(input, "macb"));
    models.findModel("sil");
}
