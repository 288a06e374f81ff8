// The output and input calls of compat/host_console.h for Linux and other POSIX hosts: a
// terminal takes the bytes, so each is the C library's own.

#include "compat/host_console.h"

#include <unistd.h>

namespace compat::host {

int puts(const char* text) { return std::puts(text); }

int fputs(const char* text, std::FILE* stream) { return std::fputs(text, stream); }

int fputc(int c, std::FILE* stream) { return std::fputc(c, stream); }

int vfprintf(std::FILE* stream, const char* format, std::va_list arguments) {
  return std::vfprintf(stream, format, arguments);
}

std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream) {
  return std::fwrite(data, size, count, stream);
}

ssize_t write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

ssize_t read(int fd, void* data, std::size_t size) { return ::read(fd, data, size); }

}  // namespace compat::host
