#pragma once

// The tools' output calls on the standard streams. Each writes what the C library's call of
// that name writes; on a host whose terminal shows characters rather than bytes (a Windows
// console), a standard stream that is one shows every UTF-8 character of the text whole.

#include <cstdarg>
#include <cstddef>
#include <cstdio>

namespace compat {

int puts(const char* text);
int fputs(const char* text, std::FILE* stream);
int fputc(int c, std::FILE* stream);
int putchar(int c);
int printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int fprintf(std::FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int vfprintf(std::FILE* stream, const char* format, std::va_list arguments)
    __attribute__((format(printf, 2, 0)));
std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream);

}  // namespace compat
