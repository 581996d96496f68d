// The XML report of an assessment, in a fixed line-oriented layout for client software.
#pragma once

#include <string>
#include <vector>

struct recogResult;

// Writes the report of `result` to path; modelNames gives the competing models' names by index.
void xmlReportWrite(const std::string& path, const recogResult& result, const std::vector<std::string>& modelNames,
                    const std::string& language);
