#pragma once

// The host's conversions of 64-bit times to broken-down time. host_time_posix.cpp and
// host_time_win32.cpp implement this header.

#include <ctime>

#include "compat/time.h"

namespace compat::host {

// Converts *timer to broken-down UTC (gmtime64) or local (localtime64) time in *result.
// 0, or -1 with errno EINVAL when the host cannot convert the time (*result untouched).
int gmtime64(const time64_t* timer, std::tm* result);
int localtime64(const time64_t* timer, std::tm* result);

}  // namespace compat::host
