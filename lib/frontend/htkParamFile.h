// Feature files in the HTK parameter format: a 12-byte big-endian header (frame count, frame
// period in 100 ns, bytes per frame, parameter kind) and big-endian float32 frames.
#pragma once

#include <string>

#include "frontend/featureMatrix.h"

// Writes the file whole or not at all (through a temporary file); failures are fatal.
void htkParamFileWrite(const std::string& path, const FeatureMatrix& features);
// Reads a file written as above; a malformed file is fatal.
FeatureMatrix htkParamFileRead(const std::string& path);
