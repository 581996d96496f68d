#include "common/console.h"

#include <cstdio>
#include <vector>

void conPrintf(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
}

std::string strVPrintf(const char* fmt, va_list ap)
{
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap2);
    va_end(ap2);
    if (n <= 0)
        return {};
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, ap);
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::string strPrintf(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string out = strVPrintf(fmt, ap);
    va_end(ap);
    return out;
}
