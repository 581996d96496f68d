#include "common/strUtil.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "common/fatalError.h"

namespace {

bool isTrimSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

template <typename T>
int saturateToInt(T v)
{
    if (std::isnan(v))
        return 0;
    if (v >= static_cast<T>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<T>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

} // namespace

std::string fileExtension(const std::string& path)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return {};
    return path.substr(dot + 1);
}

void strTrim(std::string& s)
{
    size_t b = 0;
    while (b < s.size() && isTrimSpace(static_cast<unsigned char>(s[b])))
        ++b;
    size_t e = s.size();
    while (e > b && isTrimSpace(static_cast<unsigned char>(s[e - 1])))
        --e;
    s = s.substr(b, e - b);
}

void strTrimRight(std::string& s)
{
    size_t e = s.size();
    while (e > 0 && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n'))
        --e;
    s.resize(e);
}

void strToLower(std::string& s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

void strReplaceAll(std::string& s, const std::string& from, const std::string& to)
{
    size_t pos = from.empty() ? std::string::npos : s.find(from);
    if (pos == std::string::npos)
        return;
    // Built in one pass: replacing in place would shift the rest of the text at every match.
    std::string out;
    out.reserve(s.size());
    size_t done = 0;
    for (; pos != std::string::npos; pos = s.find(from, done)) {
        out.append(s, done, pos - done);
        out += to;
        done = pos + from.size();
    }
    out.append(s, done, std::string::npos);
    s.swap(out);
}

void strSplit(const std::string& s, char delimiter, std::vector<std::string>& out, bool append)
{
    if (!append)
        out.clear();
    if (s.empty())
        return;
    size_t start = 0;
    while (true) {
        size_t pos = s.find(delimiter, start);
        if (pos == std::string::npos) {
            out.push_back(s.substr(start));
            return;
        }
        out.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
}

std::string strVecJoin(const std::vector<std::string>& vec, const std::string& separator)
{
    std::string out;
    for (size_t i = 0; i < vec.size(); ++i) {
        if (i > 0)
            out += separator;
        out += vec[i];
    }
    return out;
}

std::string intVecJoin(const std::vector<int>& vec, const std::string& separator)
{
    std::string out;
    for (size_t i = 0; i < vec.size(); ++i) {
        if (i > 0)
            out += separator;
        out += std::to_string(vec[i]);
    }
    return out;
}

std::vector<std::string> strVecExhaustiveList(const std::vector<std::vector<std::string>>& alternatives)
{
    if (alternatives.empty())
        return {};
    std::vector<std::string> result = alternatives[0];
    for (size_t pos = 1; pos < alternatives.size(); ++pos) {
        const std::vector<std::string>& alts = alternatives[pos];
        std::vector<std::string> next;
        next.reserve(result.size() * alts.size());
        for (const std::string& alt : alts) {
            for (const std::string& entry : result)
                next.push_back(entry + "-" + alt);
        }
        result.swap(next);
    }
    return result;
}

void strVecRemoveEmpty(std::vector<std::string>& vec)
{
    std::erase_if(vec, [](const std::string& s) { return s.empty(); });
}

void strVecLinSearch(const std::vector<std::string>& vec, const std::string& pattern, std::vector<int>& indices,
                     int matchPos)
{
    indices.clear();
    for (size_t i = 0; i < vec.size(); ++i) {
        size_t p = vec[i].find(pattern);
        if (p == std::string::npos)
            continue;
        bool match = false;
        switch (matchPos) {
        case 0:
            match = true;
            break;
        case 1:
            match = p == 0;
            break;
        case 2:
            match = p + pattern.size() == vec[i].size();
            break;
        case 3:
            match = p == 0 && vec[i].size() == pattern.size();
            break;
        default:
            fatalError("Unknown matchPos in strVecLinSearch (line %d of %s)", 918, "lib\\utility");
        }
        if (match)
            indices.push_back(static_cast<int>(i));
    }
}

// std::round rounds halves away from zero without the intermediate x + 0.5, whose own rounding
// turns 0.49999999999999994 into 1 and, for floats above 2^23, odd integers into the next even.
int roundHalfAway(double x)
{
    return saturateToInt(std::round(x));
}

// Every float is exactly representable as a double, so the float overload rounds the same value.
int roundHalfAway(float x)
{
    return roundHalfAway(static_cast<double>(x));
}

int32_t parseLeadingInt(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && isTrimSpace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1)
            value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int32_t>(value);
}

int32_t parseTruncatedNumber(const std::string& s)
{
    const double d = std::strtod(s.c_str(), nullptr);
    if (std::isnan(d))
        return 0;
    if (d >= 2147483647.0)
        return INT32_MAX;
    if (d <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(d);
}
