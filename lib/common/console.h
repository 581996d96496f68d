// Console output of the program: printf-style byte strings on standard output.
#pragma once

#include <cstdarg>
#include <string>

#if defined(__GNUC__)
#define RECITE_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
#else
#define RECITE_PRINTF(fmtIndex, firstArg)
#endif

// Prints to standard output, exactly the bytes formatted.
void conPrintf(const char* fmt, ...) RECITE_PRINTF(1, 2);

// Formats into a string of any length.
std::string strPrintf(const char* fmt, ...) RECITE_PRINTF(1, 2);
std::string strVPrintf(const char* fmt, va_list ap);
