// The command line of `recite`: argument count, overrides and the closing summary.
#pragma once

#include "task/recogParam.h"
#include "assess/recogResult.h"

constexpr int MIN_ARG_NUM = 1;
constexpr int MAX_ARG_NUM = 10;

// Prints the argument count and the usage lines, with the program's path in each.
void printUsage(int argNum, const char* programPath);
// Arguments 2 to 10 (argv[2] .. argv[argc-1]) override their settings when not empty.
void applyOverrides(int argc, const char* const* argv, recogParam& param);
// The summary block with its Big5 labels.
void printSummary(const recogResult& result);
