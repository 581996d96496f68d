// The one fatal error of the program: logged, then raised up to the entry point.
#pragma once

#include <stdexcept>
#include <string>

#include "common/console.h"

// Raised by fatalError and caught only by the entry point.
class fatalErrorException : public std::runtime_error {
public:
    explicit fatalErrorException(const std::string& message) : std::runtime_error(message) {}
};

// Writes the error log (when the "temp" directory is known), tells where it is,
// and throws fatalErrorException with the formatted message. Never returns.
[[noreturn]] void fatalError(const char* fmt, ...) RECITE_PRINTF(1, 2);

// Directory named by the environment variable "temp", its name matched without
// regard to case; empty when no such variable is set.
std::string errorLogDirectory();

// "error_YYYYMMDD_HHMMSS.log" for the current local time.
std::string errorLogFileName();
