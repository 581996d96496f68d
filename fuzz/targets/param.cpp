// The recognition parameter file.
#include "fuzzSupport.h"

#include "common/fatalError.h"
#include "task/recogTask.h"

FUZZ_TARGET(param)
{
    recogTask task;
    recogParam param;
    task.readRecogParam(fuzz::writeInput(input, "prm"), param);
}
