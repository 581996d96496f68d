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

// The leading decimal integer of a field, as the usual conversion reads it: leading white space,
// an optional sign, then digits; whatever follows is ignored, and a field without digits gives 0.
// 64-bit, since 100 ns units pass the int32 range after 214 s; saturates instead of overflowing.
int64_t leadingTime(const std::string& field)
{
    size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || (field[i] >= '\t' && field[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    int64_t v = 0;
    for (; i < field.size() && isDigit(field[i]); ++i) {
        const int digit = field[i] - '0';
        v = v > (INT64_MAX - digit) / 10 ? INT64_MAX : v * 10 + digit;
    }
    return negative ? -v : v;
}

int32_t clampFrame(int64_t frame)
{
    if (frame > INT32_MAX)
        frame = INT32_MAX;
    if (frame < INT32_MIN)
        frame = INT32_MIN;
    return static_cast<int32_t>(frame);
}

} // namespace

void labFileRead(const std::string& path, assessResult& result)
{
    result.nodes.clear();
    std::vector<std::string> lines;
    std::vector<int> lineNos;
    readTextLines(path, lines, '%', &lineNos);
    if (lines.empty()) {
        conPrintf("Warning: label file %s holds no labels\n", path.c_str());
        return;
    }

    std::vector<std::string> fields;
    for (size_t i = 0; i < lines.size(); ++i) {
        strSplit(lines[i], ' ', fields);
        if (fields.size() < 4)
            fatalError("Label file %s, line %d: fewer than four fields", path.c_str(), lineNos[i]);
        if (fields.size() == 4 && result.nodes.empty())
            fatalError("Label file %s, line %d: a phone before the first node label", path.c_str(),
                       lineNos[i]);
        const int64_t start = leadingTime(fields[0]);
        const int64_t end = leadingTime(fields[1]);
        const int32_t startFrame = clampFrame(start / TIME_UNITS_PER_FRAME);
        const int32_t endFrame = clampFrame(end / TIME_UNITS_PER_FRAME - 1);
        if (start < 0 || end < 0)
            fatalError("Label file %s, line %d: negative time (start %lld, end %lld)", path.c_str(),
                       lineNos[i], static_cast<long long>(start), static_cast<long long>(end));
        if (end < start)
            fatalError("Label file %s, line %d: end time %lld is before start time %lld", path.c_str(),
                       lineNos[i], static_cast<long long>(end), static_cast<long long>(start));
        if (endFrame < startFrame)
            fatalError("Label file %s, line %d: phone %s from %lld to %lld covers no frame (frames %d to %d)",
                       path.c_str(), lineNos[i], fields[2].c_str(), static_cast<long long>(start),
                       static_cast<long long>(end), startFrame, endFrame);
        // The usual conversion: a leading number, else 0. Beyond the float range it gives +-HUGE_VALF
        // (narrowing a double would not be defined).
        const float score = std::strtof(fields[3].c_str(), nullptr);

        if (fields.size() > 4) {
            nodeResult node;
            node.name = fields[4];
            node.timberScore = -1.0f;
            result.nodes.push_back(std::move(node));
        }
        phoneResult phone;
        phone.name = fields[2];
        phone.startFrame = startFrame;
        phone.endFrame = endFrame;
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
