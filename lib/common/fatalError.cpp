#include "common/fatalError.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

std::string errorLogDirectory()
{
    // Try every spelling of "temp" by case, the all-lower and all-upper ones first.
    static const char* const preferred[] = {"temp", "TEMP", "Temp"};
    for (const char* name : preferred) {
        if (const char* value = std::getenv(name))
            return value;
    }
    for (unsigned mask = 0; mask < 16; ++mask) {
        char name[5] = "temp";
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i))
                name[i] = static_cast<char>(name[i] - 'a' + 'A');
        }
        if (const char* value = std::getenv(name))
            return value;
    }
    return {};
}

std::string errorLogFileName()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* t = std::localtime(&now))
        local = *t;
    char name[64];
    std::snprintf(name, sizeof name, "error_%04d%02d%02d_%02d%02d%02d.log", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

void fatalError(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string message = strVPrintf(fmt, ap);
    va_end(ap);

    std::string dir = errorLogDirectory();
    if (!dir.empty()) {
        std::string path = dir + "/" + errorLogFileName();
        if (std::FILE* fp = std::fopen(path.c_str(), "w")) {
            conPrintf("\nSaved error log at %s...\n", path.c_str());
            std::fprintf(fp, "Error: %s\n", message.c_str());
            std::fclose(fp);
        }
    }
    throw fatalErrorException(message);
}

void fatalExit(int status, const char* what)
{
    throw fatalErrorException(what, status);
}
