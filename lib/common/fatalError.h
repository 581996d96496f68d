// The one fatal error of the program: logged, then raised up to the entry point.
#pragma once

#include <stdexcept>
#include <string>

#include "common/console.h"

// Raised by fatalError and caught only by the entry point.
class fatalErrorException : public std::runtime_error {
public:
    // The value of exitStatus() for an ordinary fatal error.
    static constexpr int NO_EXIT_STATUS = -1000;

    explicit fatalErrorException(const std::string& message, int exitStatus = NO_EXIT_STATUS)
        : std::runtime_error(message), m_exitStatus(exitStatus) {}
    // A few low-level routines end the program with a given exit status instead, after printing
    // their own message; the entry point then prints nothing more and returns this status.
    bool endsWithExitStatus() const { return m_exitStatus != NO_EXIT_STATUS; }
    int exitStatus() const { return m_exitStatus; }

private:
    int m_exitStatus;
};

// Writes the error log (when the "temp" directory is known), tells where it is,
// and throws fatalErrorException with the formatted message. Never returns.
[[noreturn]] void fatalError(const char* fmt, ...) RECITE_PRINTF(1, 2);

// Ends the program with the given exit status (no error log, no further message): raised as a
// fatalErrorException that the entry point turns into the status. Never returns.
[[noreturn]] void fatalExit(int status, const char* what);

// Directory named by the environment variable "temp", its name matched without
// regard to case; empty when no such variable is set.
std::string errorLogDirectory();

// "error_YYYYMMDD_HHMMSS.log" for the current local time.
std::string errorLogFileName();
