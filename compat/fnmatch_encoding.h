#pragma once

// The matcher with its encoding given, for the layer's own use: compat::fnmatch chooses the
// host's, while the tests, the comparison with the reference and the fuzzer try each on any
// host. Same flags, results and limits as compat::fnmatch (compat/fnmatch.h).

namespace compat {

// How characters are decoded: by mbrtowc in the current locale, or as UTF-8 whatever the
// locale (where an unpaired surrogate in its three-byte form is one character, and bytes
// that are no UTF-8 are an invalid sequence, as in a UTF-8 locale). Case folding is
// towlower's in the current locale with either.
enum class Decoder : unsigned char { locale, utf8 };

struct Encoding {
  Decoder decoder;
  // Whether to ask locale_ascii() (compat/fnmatch_locale.h) what the current locale does to
  // ASCII, so that ASCII may skip mbrtowc and towlower where it can. Without it nothing is
  // assumed but that UTF-8 decodes ASCII to itself: slower, and as exact.
  bool ask_locale;
};

int fnmatch_in(const char* pattern, const char* string, int flags, Encoding encoding);

}  // namespace compat
