// Segmentation from a phone label file (times in 100 ns units, the node label on its first phone).
#pragma once

#include <string>

#include "assess/assessResult.h"

// Replaces the result's nodes by those of the label file.
void labFileRead(const std::string& path, assessResult& result);
