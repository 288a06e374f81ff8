#pragma once

// The matcher written as its defining recursive algorithm, step by step, for tests only:
// compat::fnmatch must give the same result for every input. Same flag values as
// compat/fnmatch.h. The recursion depth grows with the star runs in the pattern and the
// time can grow exponentially with them, so keep the inputs short. It decodes as the
// matcher must: UTF-8 where the host's names are UTF-8, else in the current locale.

#include <clocale>
#include <string>

#include "compat/host.h"
#include "compat/host_files.h"

namespace orva_testing {

int reference_fnmatch(const char* pattern, const char* string, int flags);

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

// UTF-8 names for the matcher, for the object's lifetime: the C.UTF-8 locale where the
// matcher decodes in the current locale, no change where names are UTF-8 whatever the
// locale. ok() is false when C.UTF-8 is needed and the host lacks it.
class ScopedUtf8Names {
 public:
  ScopedUtf8Names() : locale_(compat::host::names_are_utf8() ? nullptr : "C.UTF-8") {}

  bool ok() const { return locale_.ok(); }

 private:
  ScopedLocale locale_;
};

}  // namespace orva_testing
