#pragma once

// What the Windows host files share of names and paths: UTF-8 names as the zero-terminated
// UTF-16 that the runtime's wide calls take, and the shape of a path's root.

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "compat/stdlib.h"
#include "compat/utf16.h"

namespace compat::host {

// A UTF-8 name converted to UTF-16: in `local_` when it fits (every path of the host's
// usual length does), else on the heap, so that a name of any length converts.
class WideName {
 public:
  WideName() = default;
  WideName(const WideName&) = delete;
  WideName& operator=(const WideName&) = delete;
  ~WideName() { release(); }

  // Converts the `length` bytes at `name`. False with errno EILSEQ when they are no UTF-8
  // (no file can have that name here), or ENOMEM.
  bool assign(const char* name, std::size_t length) {
    std::size_t units = utf16_length(name, length);
    if (units == not_utf8) {
      errno = EILSEQ;
      return false;
    }
    std::size_t size = units + 1;
    release();
    if (size > sizeof local_ / sizeof local_[0]) {
      text_ = static_cast<wchar_t*>(std::malloc(size * sizeof(wchar_t)));
      if (text_ == nullptr) {
        text_ = local_;
        errno = ENOMEM;
        return false;
      }
    }
    *write_utf16(name, length, text_) = L'\0';
    return true;
  }
  bool assign(const char* name) { return assign(name, std::strlen(name)); }

  const wchar_t* text() const { return text_; }

 private:
  void release() {
    if (text_ != local_) std::free(text_);
    text_ = local_;
  }

  wchar_t local_[PATH_BUFFER_SIZE];
  wchar_t* text_ = local_;
};

inline bool is_separator(char c) { return c == '/' || c == '\\'; }

// The length of the root at the start of `path`: "/" or "\" (1), "C:\" or "C:/" (3), else 0.
inline std::size_t root_length(const char* path) {
  if (is_separator(path[0])) return 1;
  if (path[0] != '\0' && path[1] == ':' && is_separator(path[2])) return 3;
  return 0;
}

}  // namespace compat::host
