// The time conversions of compat/host_time.h for Linux and other POSIX hosts.

#include "compat/host_time.h"

#include <cerrno>
#include <ctime>

namespace compat::host {

namespace {

// Converts with gmtime_r or localtime_r; EINVAL when `timer` does not fit the host's
// time_t (a 32-bit time_t) or the host cannot convert it.
int convert(const time64_t* timer, std::tm* result,
            std::tm* (*host_conversion)(const std::time_t*, std::tm*)) {
  auto converted = static_cast<std::time_t>(*timer);
  std::tm broken_down{};
  if (static_cast<time64_t>(converted) != *timer ||
      host_conversion(&converted, &broken_down) == nullptr) {
    errno = EINVAL;
    return -1;
  }
  *result = broken_down;
  return 0;
}

}  // namespace

int gmtime64(const time64_t* timer, std::tm* result) { return convert(timer, result, gmtime_r); }

int localtime64(const time64_t* timer, std::tm* result) {
  return convert(timer, result, localtime_r);
}

}  // namespace compat::host
