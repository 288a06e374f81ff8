// What the matcher may assume of the current locale's ASCII, on POSIX hosts: known by the
// locale's name or its codeset.

#include "compat/fnmatch_locale.h"

#include <clocale>
#include <cstddef>

#include <langinfo.h>

namespace compat {

namespace {

#ifdef _NL_LOCALE_NAME
// The name of the calling thread's LC_CTYPE locale, the one mbrtowc and towlower consult,
// also under uselocale.
const char* ctype_locale_name() { return nl_langinfo(_NL_LOCALE_NAME(LC_CTYPE)); }
#else
// A C library that cannot name the thread's locale: no name is known.
const char* ctype_locale_name() { return ""; }
#endif

// Whether `text` is exactly `literal`. Short enough to compare in line: the matcher asks
// on every call. Stops at the first difference, so never reads past `text`.
template <std::size_t N>
bool is_text(const char* text, const char (&literal)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (text[i] != literal[i]) return false;
  }
  return true;
}

// "C" and "POSIX" always name the built-in locale: ASCII, lower case by A-Z to a-z. Its
// UTF-8 form is the same below 0x80. Other locales may lower ASCII letters their own way
// (Turkish lowers I to U+0131).
bool is_plain_c_locale(const char* name) {
  if (name[0] == 'C') return name[1] == '\0' || is_text(name, "C.UTF-8") || is_text(name, "C.utf8");
  return name[0] == 'P' && is_text(name, "POSIX");
}

}  // namespace

// The C locales by name first, the commonest case, with one question to the C library.
// Elsewhere ASCII and UTF-8 are the codesets where ASCII is known to decode to itself;
// both are stateless.
LocaleAscii locale_ascii() {
  if (is_plain_c_locale(ctype_locale_name())) return {true, true};
  const char* codeset = nl_langinfo(CODESET);
  if (codeset[0] == 'U') return {is_text(codeset, "UTF-8"), false};
  return {codeset[0] == 'A' && is_text(codeset, "ANSI_X3.4-1968"), false};
}

}  // namespace compat
