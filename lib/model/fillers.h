// Filler units: they carry no text, get no score and are never substituted.
#pragma once

#include <string>

inline bool isFillerName(const std::string& name)
{
    return name == "sil" || name == "sp" || name == "filler" || name == "fillerC" || name == "fillerV";
}

// The fillers that take the network's node penalty.
inline bool isPenalisedFillerName(const std::string& name)
{
    return name == "filler" || name == "fillerC" || name == "fillerV";
}
