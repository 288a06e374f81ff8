// A literal transcription of the matching algorithm: recursion at every star, both
// conversion states passed by value, nothing skipped or cached. Slow on purpose; it is the
// yardstick compat::fnmatch is compared with.
#include "testing/fnmatch_reference.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <type_traits>

#include "compat/fnmatch.h"

namespace orva_testing {
namespace {

using compat::FNM_CASEFOLD;
using compat::FNM_LEADING_DIR;
using compat::FNM_NOESCAPE;
using compat::FNM_NOMATCH;
using compat::FNM_PATHNAME;
using compat::FNM_PERIOD;

constexpr std::size_t max_char_bytes = 5;

bool decode_failed(std::size_t length) {
  return length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2);
}

// UTF-8, whatever the locale: the length of the character at s and its value, or -1 for
// bytes that are no character. Surrogates count as characters; overlong forms and values
// above U+10FFFF do not.
std::size_t utf8_character(const char* s, char32_t* c) {
  auto lead = static_cast<unsigned char>(*s);
  std::size_t length = lead < 0x80 ? 1 : lead < 0xc0 ? 0 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
  if (length == 0 || lead >= 0xf8) return static_cast<std::size_t>(-1);
  char32_t value = length == 1 ? lead : lead & (0xffu >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    auto byte = static_cast<unsigned char>(s[i]);
    if ((byte & 0xc0) != 0x80) return static_cast<std::size_t>(-1);
    value = (value << 6) | (byte & 0x3fu);
  }
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || value > 0x10ffff) return static_cast<std::size_t>(-1);
  *c = value;
  return value == 0 ? 0 : length;
}

// One character, as UTF-8 or by mbrtowc in the current locale.
std::size_t decode(const char* s, std::mbstate_t* state, bool utf8, char32_t* c) {
  if (utf8) return utf8_character(s, c);
  wchar_t w = 0;
  std::size_t n = std::mbrtowc(&w, s, max_char_bytes, state);
  *c = static_cast<std::make_unsigned_t<wchar_t>>(w);
  return n;
}

// A pattern character: false on an invalid or incomplete sequence.
bool decode_pattern(const char* p, std::mbstate_t* state, bool utf8, char32_t* c,
                    std::size_t* length) {
  std::size_t n = decode(p, state, utf8, c);
  if (decode_failed(n)) return false;
  *length = n;
  return true;
}

// A string character: a bad byte stands for itself and resets the state.
void decode_string(const char* s, std::mbstate_t* state, bool utf8, char32_t* c,
                   std::size_t* length) {
  std::size_t n = decode(s, state, utf8, c);
  if (decode_failed(n)) {
    *c = static_cast<unsigned char>(*s);
    *length = 1;
    *state = std::mbstate_t{};
    return;
  }
  *length = n;
}

// towlower; a value the runtime's wint_t cannot hold has no other case.
char32_t lower(char32_t c) {
  if constexpr (sizeof(wint_t) < sizeof(char32_t)) {
    if (c > std::numeric_limits<wint_t>::max()) return c;
  }
  return static_cast<char32_t>(std::towlower(static_cast<wint_t>(c)));
}

char32_t fold(char32_t c, int flags) { return (flags & FNM_CASEFOLD) ? lower(c) : c; }

bool leading(const char* s, const char* start, int flags) {
  return s == start || ((flags & FNM_PATHNAME) && s[-1] == '/');
}

bool ordinary_equal(char32_t p, char32_t s, int flags) {
  return p == s || ((flags & FNM_CASEFOLD) && lower(p) == lower(s));
}

enum class Bracket { matched, not_matched, unterminated, fail };

// The member list after '['; on a verdict, *p ends past the closing ']'.
Bracket scan_bracket(const char** p_io, char32_t s, int flags, bool utf8, std::mbstate_t* ps) {
  const char* p = *p_io;
  bool negate = *p == '!' || *p == '^';
  if (negate) ++p;
  const char* list = p;
  char32_t test = fold(s, flags);
  bool matched = false;
  for (;;) {
    if (*p == ']' && p > list) break;
    if (*p == '\0') return Bracket::unterminated;
    if (*p == '/' && (flags & FNM_PATHNAME)) return Bracket::fail;
    if (*p == '\\' && !(flags & FNM_NOESCAPE)) ++p;
    char32_t low = 0;
    std::size_t n = 0;
    if (!decode_pattern(p, ps, utf8, &low, &n)) return Bracket::fail;
    p += n;
    low = fold(low, flags);
    if (p[0] == '-' && p[1] != ']' && p[1] != '\0') {
      ++p;
      if (*p == '\\' && !(flags & FNM_NOESCAPE)) ++p;
      char32_t high = 0;
      if (!decode_pattern(p, ps, utf8, &high, &n)) return Bracket::fail;
      if (high == 0) return Bracket::unterminated;
      p += n;
      high = fold(high, flags);
      if (low <= test && test <= high) matched = true;
    } else if (low == test) {
      matched = true;
    }
  }
  *p_io = p + 1;
  return matched == negate ? Bracket::not_matched : Bracket::matched;
}

int match(const char* p, const char* s, const char* start, int flags, bool utf8, std::mbstate_t ps,
          std::mbstate_t ss) {
  for (;;) {
    char32_t pc = 0;
    std::size_t pn = 0;
    if (!decode_pattern(p, &ps, utf8, &pc, &pn)) return FNM_NOMATCH;
    p += pn;
    char32_t sc = 0;
    std::size_t sn = 0;
    decode_string(s, &ss, utf8, &sc, &sn);

    if (pc == 0) {
      if ((flags & FNM_LEADING_DIR) && sc == '/') return 0;
      return sc == 0 ? 0 : FNM_NOMATCH;
    }
    if (pc == '?') {
      if (sc == 0) return FNM_NOMATCH;
      if (sc == '/' && (flags & FNM_PATHNAME)) return FNM_NOMATCH;
      if (sc == '.' && (flags & FNM_PERIOD) && leading(s, start, flags)) return FNM_NOMATCH;
      s += sn;
      continue;
    }
    if (pc == '*') {
      while (*p == '*') ++p;
      char next = *p;
      if (sc == '.' && (flags & FNM_PERIOD) && leading(s, start, flags)) return FNM_NOMATCH;
      if (next == '\0') {
        if (!(flags & FNM_PATHNAME)) return 0;
        return ((flags & FNM_LEADING_DIR) || std::strchr(s, '/') == nullptr) ? 0 : FNM_NOMATCH;
      }
      if (next == '/' && (flags & FNM_PATHNAME)) {
        s = std::strchr(s, '/');
        if (s == nullptr) return FNM_NOMATCH;
        continue;
      }
      if (sc == 0) return FNM_NOMATCH;
      for (;;) {
        if (match(p, s, start, flags, utf8, ps, ss) == 0) return 0;
        char32_t c = 0;
        std::size_t n = 0;
        decode_string(s, &ss, utf8, &c, &n);
        if (c == '/' && (flags & FNM_PATHNAME)) return FNM_NOMATCH;
        s += n;
        if (c == 0) return FNM_NOMATCH;
      }
    }
    if (pc == '[') {
      if (sc == 0) return FNM_NOMATCH;
      if (sc == '/' && (flags & FNM_PATHNAME)) return FNM_NOMATCH;
      if (sc == '.' && (flags & FNM_PERIOD) && leading(s, start, flags)) return FNM_NOMATCH;
      switch (scan_bracket(&p, sc, flags, utf8, &ps)) {
        case Bracket::fail:
        case Bracket::not_matched:
          return FNM_NOMATCH;
        case Bracket::matched:
          s += sn;
          continue;
        case Bracket::unterminated:
          break;  // '[' is an ordinary character; p is still right after it
      }
    } else if (pc == '\\' && !(flags & FNM_NOESCAPE)) {
      if (!decode_pattern(p, &ps, utf8, &pc, &pn)) return FNM_NOMATCH;
      p += pn;
    }
    if (!ordinary_equal(pc, sc, flags)) return FNM_NOMATCH;
    s += sn;
  }
}

}  // namespace

int reference_fnmatch(const char* pattern, const char* string, int flags, compat::Decoder decoder) {
  const bool utf8 = decoder == compat::Decoder::utf8;
  return match(pattern, string, string, flags, utf8, std::mbstate_t{}, std::mbstate_t{});
}

std::string escaped(std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\' && byte != '"') {
      out += c;
    } else {
      out += "\\x";
      out += hex[byte >> 4];
      out += hex[byte & 15];
    }
  }
  return out;
}

}  // namespace orva_testing
