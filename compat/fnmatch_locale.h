#pragma once

// What the matcher may assume of ASCII in the current LC_CTYPE locale, so that it can take
// ASCII bytes without mbrtowc and towlower. Whole files per host answer it:
// fnmatch_locale_posix.cpp, fnmatch_locale_win32.cpp.

namespace compat {

// Each claim is false where it is not known, which is always safe: the matcher then asks
// mbrtowc and towlower.
struct LocaleAscii {
  // mbrtowc decodes every byte below 0x80 to itself and leaves the conversion state initial.
  bool decodes_to_itself;
  // decodes_to_itself holds, and towlower maps every value below 0x80 to its plain ASCII
  // lower case (A-Z to a-z, the rest to itself).
  bool case_is_plain;
};

// Asks the locale once: the matcher calls it on every match.
LocaleAscii locale_ascii();

}  // namespace compat
