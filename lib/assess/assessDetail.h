// Small helpers shared by the assessment's source files.
#pragma once

#include <string>

// Silence-context units ("sil+x") are neither ranked nor scored.
inline bool isSilContextName(const std::string& name)
{
    return name.compare(0, 4, "sil+") == 0;
}
