#pragma once

// The standard streams where the host's terminal shows characters rather than bytes. A
// Windows console draws UTF-16 text: UTF-8 written to it byte by byte would show in the
// console's code page, and what is typed there arrives in UTF-16. These calls write and
// read as the C library's calls of the same names, except that on such a console
// (standard input, output or error) every UTF-8 character of the text is shown whole,
// however the writes split it, a byte that is no UTF-8 shows as U+FFFD, and typed text
// arrives as UTF-8. They change neither the console's code pages nor its modes.
// host_console_posix.cpp (the C library's calls: a POSIX terminal takes bytes) and
// host_console_win32.cpp implement this header.

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include <sys/types.h>

namespace compat::host {

int puts(const char* text);
int fputs(const char* text, std::FILE* stream);
int fputc(int c, std::FILE* stream);
int vfprintf(std::FILE* stream, const char* format, std::va_list arguments);
std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream);

// write(2) and read(2). On a console, read returns what was typed as UTF-8, and 0 at a
// line that begins with Ctrl-Z, as every console program of the host ends its input.
ssize_t write(int fd, const void* data, std::size_t size);
ssize_t read(int fd, void* data, std::size_t size);

}  // namespace compat::host
