#include "compat/stdio.h"

#include "compat/host_console.h"

namespace compat {

int puts(const char* text) { return host::puts(text); }

int fputs(const char* text, std::FILE* stream) { return host::fputs(text, stream); }

int fputc(int c, std::FILE* stream) { return host::fputc(c, stream); }

int putchar(int c) { return host::fputc(c, stdout); }

int printf(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  int result = host::vfprintf(stdout, format, arguments);
  va_end(arguments);
  return result;
}

int fprintf(std::FILE* stream, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  int result = host::vfprintf(stream, format, arguments);
  va_end(arguments);
  return result;
}

int vfprintf(std::FILE* stream, const char* format, std::va_list arguments) {
  return host::vfprintf(stream, format, arguments);
}

std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream) {
  return host::fwrite(data, size, count, stream);
}

}  // namespace compat
