// The output and input calls of compat/host_console.h for the Windows runtime. A standard
// descriptor that is a console gets its text through the wide console calls: UTF-8 is
// converted to UTF-16 for WriteConsoleW, and what ReadConsoleW gives is converted back.
// Anything else (a pipe, a file, NUL) gets the runtime's own calls, bytes and text-mode line
// ends as they always were. The console's code pages and modes are never touched: a
// console is shared with the user's shell.
//
// Unlike the rest of the layer this keeps state between calls, as a console does: whether
// each standard descriptor is a console (asked once), the start of a character that a
// write split, and typed text not yet read.

#include "compat/host_console.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <io.h>
#include <windows.h>

#include "compat/utf16.h"

namespace compat::host {

namespace {

// A standard descriptor, as far as the console is concerned.
struct Console {
  bool asked;       // whether it is a console has been asked
  bool is_console;  // and the answer
  HANDLE handle;
  // The first bytes of a UTF-8 character that the last write ended with: the next write
  // completes it.
  unsigned char split[3];
  std::size_t split_length;
};

Console consoles[3];  // standard input, output and error

// The console behind the standard descriptor `fd`, or null where it is none.
Console* console_of(int fd) {
  if (fd < 0 || fd > 2) return nullptr;
  Console& console = consoles[fd];
  if (!console.asked) {
    console.asked = true;
    console.handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    console.is_console =
        console.handle != INVALID_HANDLE_VALUE && GetConsoleMode(console.handle, &mode) != 0;
  }
  return console.is_console ? &console : nullptr;
}

Console* console_of(std::FILE* stream) { return console_of(_fileno(stream)); }

// --- output ---

constexpr char32_t replacement = 0xFFFD;

// UTF-16 units on their way to the console, written a buffer at a time.
struct WideOutput {
  HANDLE handle;
  bool failed;
  std::size_t count;
  wchar_t units[512];
};

void flush(WideOutput* out) {
  const wchar_t* next = out->units;
  auto left = static_cast<DWORD>(out->count);
  while (left > 0 && !out->failed) {
    DWORD written = 0;
    if (!WriteConsoleW(out->handle, next, left, &written, nullptr) || written == 0) {
      out->failed = true;
    }
    next += written;
    left -= written;
  }
  out->count = 0;
}

void put(WideOutput* out, char32_t c) {
  if (out->count + 2 > sizeof out->units / sizeof out->units[0]) flush(out);
  if (c >= 0x10000) {
    out->units[out->count++] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
    out->units[out->count++] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    out->units[out->count++] = static_cast<wchar_t>(c);
  }
}

// The length of the UTF-8 sequence that `lead` begins, or 0 for a byte that begins none.
std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return lead < 0xF5 ? 4 : 0;
}

// The character at the start of the `available` bytes at `text` into *c: its length, with
// U+FFFD for a byte that begins no character; 0 where the bytes are the start of one that
// goes on past them.
std::size_t take_character(const unsigned char* text, std::size_t available, char32_t* c) {
  std::size_t length = sequence_length(text[0]);
  *c = replacement;
  if (length == 0) return 1;
  std::size_t have = length < available ? length : available;
  for (std::size_t i = 1; i < have; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 1;
  }
  if (have < length) return 0;
  if (decode_utf8(reinterpret_cast<const char*>(text), length, c) != length) {
    *c = replacement;
    return 1;
  }
  return length;
}

// Shows the characters of the `size` bytes at `text`, after those of the bytes split off
// the last write. False when the console fails.
bool show(Console* console, const unsigned char* text, std::size_t size) {
  WideOutput out{console->handle, false, 0, {}};
  // The split character first, completed from the new bytes: at most three of them.
  while (console->split_length > 0) {
    unsigned char joined[6];
    std::size_t split = console->split_length;
    std::size_t borrowed = size < 3 ? size : 3;
    std::memcpy(joined, console->split, split);
    std::memcpy(joined + split, text, borrowed);
    char32_t c = 0;
    std::size_t length = take_character(joined, split + borrowed, &c);
    if (length == 0) {  // still not whole: every new byte joins the split ones
      std::memcpy(console->split + split, text, size);
      console->split_length += size;
      return true;
    }
    put(&out, c);
    if (length >= split) {
      text += length - split;
      size -= length - split;
      console->split_length = 0;
    } else {  // a byte that begins no character: the rest are tried afresh
      std::memmove(console->split, console->split + length, split - length);
      console->split_length -= length;
    }
  }
  while (size > 0) {
    char32_t c = 0;
    std::size_t length = take_character(text, size, &c);
    if (length == 0) {
      std::memcpy(console->split, text, size);
      console->split_length = size;
      break;
    }
    put(&out, c);
    text += length;
    size -= length;
  }
  flush(&out);
  return !out.failed;
}

bool show(Console* console, const char* text, std::size_t size) {
  return show(console, reinterpret_cast<const unsigned char*>(text), size);
}

// The formatted text into `buffer` (`size` bytes), or into a heap block in *heap when it
// does not fit. Its length, or -1.
int format(char* buffer, std::size_t size, char** heap, const char* pattern,
           std::va_list arguments) {
  std::va_list copy;
  va_copy(copy, arguments);
  int length = std::vsnprintf(buffer, size, pattern, copy);
  va_end(copy);
  if (length < 0 || static_cast<std::size_t>(length) < size) return length;
  auto needed = static_cast<std::size_t>(length) + 1;
  *heap = static_cast<char*>(std::malloc(needed));
  if (*heap == nullptr) return -1;
  va_copy(copy, arguments);
  length = std::vsnprintf(*heap, needed, pattern, copy);
  va_end(copy);
  return length;
}

}  // namespace

// Where the console fails, the text goes the runtime's way after all, which then fails too
// and records the error on the stream as it always has.

int fputs(const char* text, std::FILE* stream) {
  Console* console = console_of(stream);
  if (console == nullptr) return std::fputs(text, stream);
  std::fflush(stream);
  return show(console, text, std::strlen(text)) ? 0 : std::fputs(text, stream);
}

int puts(const char* text) {
  if (console_of(stdout) == nullptr) return std::puts(text);
  return host::fputs(text, stdout) == EOF ? EOF : host::fputs("\n", stdout);
}

int fputc(int c, std::FILE* stream) {
  Console* console = console_of(stream);
  if (console == nullptr) return std::fputc(c, stream);
  std::fflush(stream);
  const auto byte = static_cast<unsigned char>(c);
  return show(console, &byte, 1) ? byte : std::fputc(c, stream);
}

int vfprintf(std::FILE* stream, const char* pattern, std::va_list arguments) {
  Console* console = console_of(stream);
  if (console == nullptr) return std::vfprintf(stream, pattern, arguments);
  char local[1024];
  char* heap = nullptr;
  int length = format(local, sizeof local, &heap, pattern, arguments);
  const char* text = heap != nullptr ? heap : local;
  std::fflush(stream);
  bool shown = length >= 0 && show(console, text, static_cast<std::size_t>(length));
  std::free(heap);
  return shown ? length : std::vfprintf(stream, pattern, arguments);
}

std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream) {
  Console* console = console_of(stream);
  if (console == nullptr || size == 0 || count > SIZE_MAX / size) {
    return std::fwrite(data, size, count, stream);
  }
  std::fflush(stream);
  bool shown = show(console, static_cast<const char*>(data), size * count);
  return shown ? count : std::fwrite(data, size, count, stream);
}

ssize_t write(int fd, const void* data, std::size_t size) {
  unsigned count = size < INT_MAX ? static_cast<unsigned>(size) : INT_MAX;
  Console* console = console_of(fd);
  if (console == nullptr || !show(console, static_cast<const char*>(data), count)) {
    return _write(fd, data, count);
  }
  return count;
}

// --- input ---

namespace {

constexpr std::size_t typed_units = 1024;

// Typed text, read from the console a line (or a buffer) at a time and handed out as UTF-8.
struct Typed {
  char bytes[3 * typed_units + 4];
  std::size_t start;
  std::size_t end;
  bool within_line;        // the text read last did not end its line
  wchar_t high_surrogate;  // the first half of a pair that the text read last ended with
};

Typed typed;

constexpr wchar_t end_of_input = 0x1A;  // Ctrl-Z

bool is_high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Reads the next text typed into `typed`. False, with errno, when the console fails; true
// with nothing read at the end of the input.
bool read_typed(Console* console) {
  wchar_t units[typed_units + 1];
  std::size_t first = 0;
  if (typed.high_surrogate != 0) {
    units[first++] = typed.high_surrogate;
    typed.high_surrogate = 0;
  }
  DWORD count = 0;
  if (!ReadConsoleW(console->handle, units + first, typed_units, &count, nullptr)) {
    errno = EIO;
    return false;
  }
  typed.start = typed.end = 0;
  if (count == 0) return true;
  if (!typed.within_line && units[first] == end_of_input) return true;
  std::size_t length = first + count;
  typed.within_line = units[length - 1] != L'\n';
  if (is_high_surrogate(units[length - 1])) typed.high_surrogate = units[--length];
  typed.end = static_cast<std::size_t>(write_utf8(units, length, typed.bytes) - typed.bytes);
  return true;
}

}  // namespace

ssize_t read(int fd, void* data, std::size_t size) {
  unsigned count = size < INT_MAX ? static_cast<unsigned>(size) : INT_MAX;
  Console* console = console_of(fd);
  if (console == nullptr) return _read(fd, data, count);
  if (typed.start == typed.end && !read_typed(console)) return -1;
  std::size_t available = typed.end - typed.start;
  std::size_t taken = available < count ? available : count;
  std::memcpy(data, typed.bytes + typed.start, taken);
  typed.start += taken;
  return static_cast<ssize_t>(taken);
}

}  // namespace compat::host
