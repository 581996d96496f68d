// Inline english wpa tables ("word pa#pa@word pa") given in place of a file name.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "lexicon/dict.h"

FUZZ_TARGET(wpa_inline)
{
    dictClass dict;
    dict.wpaRead(input, "english");
    dict.wpaSort();
    dict.wpaSearch("tom");
}
