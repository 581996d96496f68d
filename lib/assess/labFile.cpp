#include "assess/labFile.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/console.h"
#include "common/fatalError.h"
#include "common/fileUtil.h"
#include "common/strUtil.h"

namespace {

// Label times are in units of 100 ns; a frame is 10 ms.
const int64_t TIME_UNITS_PER_FRAME = 100000;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Leading decimal integer of a field: an optional sign, then at least one digit (whatever follows
// the digits is ignored). 64-bit, since 100 ns units pass the int32 range after 214 s; saturates.
bool parseTime(const std::string& field, int64_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i >= field.size() || !isDigit(field[i]))
        return false;
    int64_t v = 0;
    for (; i < field.size() && isDigit(field[i]); ++i) {
        const int digit = field[i] - '0';
        v = v > (INT64_MAX - digit) / 10 ? INT64_MAX : v * 10 + digit;
    }
    value = negative ? -v : v;
    return true;
}

int32_t clampFrame(int64_t frame)
{
    if (frame > INT32_MAX)
        frame = INT32_MAX;
    if (frame < INT32_MIN)
        frame = INT32_MIN;
    return static_cast<int32_t>(frame);
}

// Line number in the file of the index-th line kept by readTextLines (non-empty, not a comment),
// for error messages; 0 when it can't be told.
int fileLineNumber(const std::string& path, size_t keptIndex)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        return 0;
    size_t kept = 0;
    int lineNumber = 0;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t lf = bytes.find('\n', pos);
        size_t end = lf == std::string::npos ? bytes.size() : lf;
        ++lineNumber;
        size_t len = end - pos;
        if (lf != std::string::npos && len > 0 && bytes[end - 1] == '\r')
            --len;
        if (len > 0 && bytes[pos] != '%') {
            if (kept == keptIndex)
                return lineNumber;
            ++kept;
        }
        pos = end + 1;
    }
    return 0;
}

} // namespace

void labFileRead(const std::string& path, assessResult& result)
{
    result.nodes.clear();
    std::vector<std::string> lines;
    readTextLines(path, lines, '%');
    if (lines.empty()) {
        conPrintf("Warning: label file %s holds no labels\n", path.c_str());
        return;
    }

    std::vector<std::string> fields;
    for (size_t i = 0; i < lines.size(); ++i) {
        strSplit(lines[i], ' ', fields);
        const char* problem = nullptr;
        int64_t start = 0;
        int64_t end = 0;
        float score = 0.0f;
        if (fields.size() < 4) {
            problem = "fewer than four fields";
        } else if (fields.size() == 4 && result.nodes.empty()) {
            problem = "a phone before the first node label";
        } else if (!parseTime(fields[0], start)) {
            problem = "start time is not a number";
        } else if (!parseTime(fields[1], end)) {
            problem = "end time is not a number";
        } else {
            const char* text = fields[3].c_str();
            char* after = nullptr;
            score = std::strtof(text, &after);
            if (after == text)
                problem = "score is not a number";
        }
        if (problem)
            fatalError("Label file %s, line %d: %s", path.c_str(), fileLineNumber(path, i), problem);

        if (fields.size() > 4) {
            nodeResult node;
            node.name = fields[4];
            node.timberScore = -1.0f;
            result.nodes.push_back(std::move(node));
        }
        phoneResult phone;
        phone.name = fields[2];
        phone.startFrame = clampFrame(start / TIME_UNITS_PER_FRAME);
        phone.endFrame = clampFrame(end / TIME_UNITS_PER_FRAME - 1);
        phone.cumLogLike = score;
        phone.timberScore = -1.0f;
        result.nodes.back().phones.push_back(std::move(phone));
    }

    for (nodeResult& node : result.nodes) {
        node.startFrame = node.phones.front().startFrame;
        node.endFrame = node.phones.back().endFrame;
        node.cumScore = node.phones.back().cumLogLike;
    }
}
