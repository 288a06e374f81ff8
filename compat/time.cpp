#include "compat/time.h"

#include <cerrno>

#include "compat/host_time.h"

namespace compat {

namespace {

// The destination is zeroed first, so that a failure never leaves it half filled.
int convert(int (*host_conversion)(const time64_t*, std::tm*), std::tm* result,
            const time64_t* timer) {
  if (result == nullptr) {
    errno = EINVAL;
    return EINVAL;
  }
  *result = std::tm{};
  if (timer == nullptr || host_conversion(timer, result) != 0) {
    *result = std::tm{};
    errno = EINVAL;
    return EINVAL;
  }
  return 0;
}

}  // namespace

int gmtime_s(std::tm* result, const time64_t* timer) {
  return convert(host::gmtime64, result, timer);
}

int localtime_s(std::tm* result, const time64_t* timer) {
  return convert(host::localtime64, result, timer);
}

}  // namespace compat
