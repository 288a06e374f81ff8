#include "compat/err.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compat/stdio.h"

namespace compat {

// The results of these writes are not looked at: a failing standard error loses the
// message, and the caller goes on (or exits) all the same.

void warnx(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  compat::vfprintf(stderr, format, arguments);
  va_end(arguments);
  compat::fputc('\n', stderr);
}

void errx(int status, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  compat::vfprintf(stderr, format, arguments);
  va_end(arguments);
  compat::fputc('\n', stderr);
  std::exit(status);
}

void errc(int status, int error_number, const char* format, ...) {
  compat::fprintf(stderr, "%s ", std::strerror(error_number));
  va_list arguments;
  va_start(arguments, format);
  compat::vfprintf(stderr, format, arguments);
  va_end(arguments);
  std::exit(status);
}

}  // namespace compat
