#pragma once

// The matcher written as its defining recursive algorithm, step by step, for tests only:
// compat::fnmatch must give the same result for every input. Same flag values as
// compat/fnmatch.h. The recursion depth grows with the star runs in the pattern and the
// time can grow exponentially with them, so keep the inputs short.

#include <clocale>
#include <string>

namespace orva_testing {

int reference_fnmatch(const char* pattern, const char* string, int flags);

// Switches the process to the named locale (setlocale, LC_ALL) for the object's lifetime,
// so that mbrtowc and towlower see it. ok() is false when the host lacks the locale.
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

}  // namespace orva_testing
