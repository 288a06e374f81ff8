#pragma once

// Diagnostics in the BSD manner. Each writes exactly what the caller formats to
// standard error: no program-name prefix, and no system error text except in errc.
// Write failures on standard error are not looked at.

namespace compat {

// The formatted message and a newline.
void warnx(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The formatted message and a newline, then exit(status), which flushes the streams.
[[noreturn]] void errx(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// strerror(error_number) and one space, then the formatted message with no newline,
// then exit(status).
[[noreturn]] void errc(int status, int error_number, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace compat
