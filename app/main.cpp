// recite: recognizes which of a closed set of texts was spoken and assesses its pronunciation.
#include <cstdio>
#include <exception>
#include <new>

#include "common/fatalError.h"
#include "task/commandLine.h"
#include "task/recogTask.h"

int main(int argc, char** argv)
{
    const int argNum = argc - 1;
    if (argNum < MIN_ARG_NUM || argNum > MAX_ARG_NUM) {
        printUsage(argNum, argv[0]);
        return 1;
    }

    recogParam param;
    recogResult result;
    try {
        // Memory exhaustion ends the run like any other fatal condition, error log included.
        try {
            recogTask task;
            task.readRecogParam(argv[1], param);
            applyOverrides(argc, argv, param);
            task.run(param, result);
        } catch (const std::bad_alloc&) {
            fatalError("Out of memory: the recording, texts or models need more memory than is available");
        }
    } catch (const fatalErrorException& e) {
        if (e.endsWithExitStatus()) {
            std::fflush(stdout);
            return e.exitStatus();
        }
        result.errorText = std::string(e.what()).substr(0, RECOG_ERROR_TEXT_MAX);
        result.errorFlag = 1;
        std::printf("%s\n", e.what());
        return 0;
    }

    if (result.errorFlag > 0) {
        std::printf("%s\n", result.errorText.c_str());
        return 0;
    }
    std::printf("\n");
    printSummary(result);
    std::printf("Done!\n");
    return 0;
}
