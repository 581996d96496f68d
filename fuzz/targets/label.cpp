// Phone label files.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "assess/labFile.h"

FUZZ_TARGET(label)
{
    assessResult result;
    labFileRead(fuzz::writeInput(input, "lab"), result);
}
