// Pronunciation dictionaries ("word phone phone ...") over the fixed model set.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"
#include "model/macro.h"

FUZZ_TARGET(dict)
{
    dictClass dict;
    dict.pronDictRead(fuzz::writeInput(input, "dic"), fuzz::fixedModels());
    dict.pronDictSearch("w0");
    dict.pronDictWrite(fuzz::scratchDir() + "/written.dic", fuzz::fixedModels());
}
