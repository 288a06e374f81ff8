// The file calls of compat/host_files.h for Linux and other POSIX hosts.

#include "compat/host_files.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

namespace compat::host {

namespace {

// A stretch of text, walked from its end towards its start.
struct Span {
  const char* begin;
  const char* end;
};

// Takes the last component off `text` into `component`; false when only separators remain.
bool take_last_component(Span* text, Span* component) {
  while (text->end != text->begin && text->end[-1] == '/') --text->end;
  if (text->end == text->begin) return false;
  component->end = text->end;
  while (text->end != text->begin && text->end[-1] != '/') --text->end;
  component->begin = text->end;
  return true;
}

bool is_dot(const Span& component) {
  return component.end - component.begin == 1 && component.begin[0] == '.';
}

bool is_dot_dot(const Span& component) {
  return component.end - component.begin == 2 && component.begin[0] == '.' &&
         component.begin[1] == '.';
}

// Walks `text` backwards, resolving "." and ".." as text. `pending` counts the ".."s met
// and not yet matched; it carries over from a later part of the path to an earlier one.
// Adds to *length the bytes that the kept components need ("/name" each); when `out` is
// not null, also writes them backwards, ending at *out, and moves *out to their start.
void walk_backwards(Span text, std::size_t* pending, std::size_t* length, char** out) {
  Span component{};
  while (take_last_component(&text, &component)) {
    if (is_dot(component)) continue;
    if (is_dot_dot(component)) {
      ++*pending;
      continue;
    }
    if (*pending != 0) {
      --*pending;
      continue;
    }
    auto size = static_cast<std::size_t>(component.end - component.begin);
    *length += 1 + size;
    if (out == nullptr) continue;
    *out -= size;
    std::memcpy(*out, component.begin, size);
    *--*out = '/';
  }
}

Span span_of(const char* text) { return Span{text, text + std::strlen(text)}; }

// Walking the path and then its base backwards lets a ".." cancel what precedes it without
// any intermediate copy, so a long path whose result fits is no problem. A ".." left over at
// the root stays at the root.
std::size_t joined_length(const char* base, const char* path, char* end) {
  std::size_t pending = 0;
  std::size_t length = 0;
  char* out = end;
  char** out_pointer = end == nullptr ? nullptr : &out;
  walk_backwards(span_of(path), &pending, &length, out_pointer);
  walk_backwards(span_of(base), &pending, &length, out_pointer);
  return length;
}

}  // namespace

char* fullpath(char* buffer, const char* path, std::size_t size) {
  if (path == nullptr) path = "";
  char directory[PATH_MAX];
  const char* base = "/";
  if (path[0] != '/') {
    if (getcwd(directory, sizeof directory) == nullptr) return nullptr;
    base = directory;
  }
  std::size_t length = joined_length(base, path, nullptr);
  std::size_t needed = length == 0 ? 2 : length + 1;  // "/" alone for the root
  if (needed > size) {
    errno = ERANGE;
    return nullptr;
  }
  if (length == 0) {
    std::memcpy(buffer, "/", 2);
    return buffer;
  }
  buffer[length] = '\0';
  joined_length(base, path, buffer + length);
  return buffer;
}

// Names are bytes, text in the current locale's encoding.
bool names_are_utf8() { return false; }

int mkdir(const char* path) { return ::mkdir(path, 0777); }

int stat(const char* path, struct stat* status) { return ::stat(path, status); }

char* dirname(char* path) { return ::dirname(path); }

int open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

int chmod(const char* path, mode_t mode) { return ::chmod(path, mode); }

}  // namespace compat::host
