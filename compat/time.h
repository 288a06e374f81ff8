#pragma once

#include <cstdint>
#include <ctime>

namespace compat {

// Seconds since 1970-01-01 00:00:00 UTC, 64 bits wide on every host.
using time64_t = std::int64_t;

// Converts *timer to broken-down UTC time in *result, destination first. 0 on success;
// EINVAL (also in errno), with *result all zero, when the host cannot convert the time
// (the Windows runtime: before 1970 or after 3000; any host: a year beyond int) or a
// pointer is null. *result is the caller's own: nothing of the host's is shared.
int gmtime_s(std::tm* result, const time64_t* timer);

// The same in local time, with tm_isdst as the host sets it.
int localtime_s(std::tm* result, const time64_t* timer);

}  // namespace compat
