// Feature files in the HTK parameter format.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "frontend/htkParamFile.h"

FUZZ_TARGET(htk)
{
    htkParamFileRead(fuzz::writeInput(input, "mfc"));
}
