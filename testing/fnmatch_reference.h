#pragma once

// The matcher written as its defining recursive algorithm, step by step, for tests only:
// compat::fnmatch must give the same result for every input. Same flag values as
// compat/fnmatch.h. The recursion depth grows with the star runs in the pattern and the
// time can grow exponentially with them, so keep the inputs short. It decodes as the
// matcher must with the given decoder (compat/fnmatch_encoding.h): in the current locale,
// or as UTF-8.

#include <clocale>
#include <string>
#include <string_view>
#include <vector>

#include "compat/fnmatch_encoding.h"
#include "testing/host.h"

namespace orva_testing {

int reference_fnmatch(const char* pattern, const char* string, int flags, compat::Decoder decoder);

// `text` with bytes outside printable ASCII, and \ and ", as \xNN, so that a failing
// pattern or string can be read and pasted back into a C++ string literal.
std::string escaped(std::string_view text);

// The decoder compat::fnmatch uses on this host: UTF-8 on the Windows host, whose names
// are UTF-8 whatever the locale; the locale's elsewhere.
constexpr compat::Decoder host_decoder =
    windows_host ? compat::Decoder::utf8 : compat::Decoder::locale;

// Switches the process to the named locale (setlocale, LC_ALL) for the object's lifetime,
// so that mbrtowc and towlower see it; a null name keeps the current one. ok() is false
// when the host lacks the locale.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

// C.UTF-8 for the object's lifetime, for tables of UTF-8 text. ok() where the locale's
// decoder then reads UTF-8 as compat::Decoder::utf8 does (but for unpaired surrogates):
// false where the host lacks C.UTF-8, and on the Windows host, whose runtime's wchar_t
// holds no character above U+FFFF (the locale is left alone there).
class ScopedUtf8Locale {
 public:
  ScopedUtf8Locale() : locale_(windows_host ? nullptr : "C.UTF-8") {}

  bool ok() const { return !windows_host && locale_.ok(); }

  // The decoders that read UTF-8 here: ours, and the locale's where ok().
  std::vector<compat::Decoder> decoders() const {
    if (ok()) return {compat::Decoder::locale, compat::Decoder::utf8};
    return {compat::Decoder::utf8};
  }

 private:
  ScopedLocale locale_;
};

}  // namespace orva_testing
