#pragma once

// The matcher written as its defining recursive algorithm, step by step, for tests only:
// compat::fnmatch must give the same result for every input. Same flag values as
// compat/fnmatch.h. The recursion depth grows with the star runs in the pattern and the
// time can grow exponentially with them, so keep the inputs short.

#include <clocale>
#include <locale.h>

namespace orva_testing {

int reference_fnmatch(const char* pattern, const char* string, int flags);

// Switches this thread to the named locale for the object's lifetime (uselocale), so that
// mbrtowc, towlower and nl_langinfo see it. ok() is false when the host lacks the locale.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name)
      : locale_(newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr))),
        previous_(locale_ != nullptr ? uselocale(locale_) : nullptr) {}
  ~ScopedLocale() {
    if (locale_ == nullptr) return;
    uselocale(previous_);
    freelocale(locale_);
  }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

  bool ok() const { return locale_ != nullptr; }

 private:
  locale_t locale_;
  locale_t previous_;
};

}  // namespace orva_testing
