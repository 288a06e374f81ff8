// The time conversions of compat/host_time.h for the Windows runtime.

#include "compat/host_time.h"

#include <cerrno>
#include <ctime>

namespace compat::host {

namespace {

// The runtime's conversions return storage of their own, copied out at once.
int convert(const time64_t* timer, std::tm* result,
            std::tm* (*host_conversion)(const __time64_t*)) {
  const std::tm* converted = host_conversion(timer);
  if (converted == nullptr) {
    errno = EINVAL;
    return -1;
  }
  *result = *converted;
  return 0;
}

}  // namespace

int gmtime64(const time64_t* timer, std::tm* result) { return convert(timer, result, _gmtime64); }

int localtime64(const time64_t* timer, std::tm* result) {
  return convert(timer, result, _localtime64);
}

}  // namespace compat::host
