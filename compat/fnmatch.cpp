// Wildcard matching in one pass with a single restore point, instead of a recursion at
// every star.
//
// Why one restore point is enough. Parsing the pattern into elements (characters, `?`,
// bracket expressions, star runs) does not depend on the string, and every element other
// than a star run consumes exactly one string character. Say the last star tried the rest
// of the pattern at string position i, and that rest reached the next star run at t. Had it
// started at a later i', it could only reach that star at t' > t, shifted by as many
// characters. That later star, started at t, already tries every position from t to the
// end, and under FNM_PATHNAME up to the first slash: the shift crosses no slash, because
// the part between the stars matched no slash (a slash element there would pin i down to
// the one position that puts it on the first slash the earlier star may reach). So once a
// later star is reached, an earlier one never needs to be retried, and the verdicts a star
// gives at once are final:
// - FNM_PERIOD: a leading period stops a star only right after a slash (FNM_PATHNAME) or at
//   the start of the string. The first needs a slash element between the stars, which pins
//   i; the second cannot happen behind another star.
// - FNM_PATHNAME with a slash still ahead, a star just before a slash that finds none, a
//   star at the end of the string: the shift to t' changes none of these.
// - FNM_LEADING_DIR only changes what the end of the pattern accepts; that is part of the
//   rest, which a retry evaluates in full.
// An invalid pattern sequence, or a slash inside a bracket list under FNM_PATHNAME, is met
// by every path that could still match, so it ends the match at once.
//
// Characters are decoded as the caller's Encoding says (compat/fnmatch_encoding.h): by
// mbrtowc in the current locale, or as UTF-8 whatever the locale. In UTF-8 an unpaired
// surrogate in its three-byte form is one character, and bytes that are no UTF-8 character
// are an invalid sequence (in the string each stands for itself, in the pattern it matches
// nothing), as in a UTF-8 locale.
//
// Where ASCII decodes to itself (in UTF-8, or in a locale known to), two things are done on
// the bytes themselves, and under FNM_CASEFOLD only where towlower of ASCII is known to be
// plain too:
// - match_ascii takes the commonest steps (plain characters, `?`, bracket expressions, a
//   final star, the end of the pattern) while the string byte is ASCII; the general step
//   decodes and takes the rest.
// - A star whose rest begins with an ASCII character or a bracket expression works out once
//   which first bytes that element can match, skips the string positions it cannot, and
//   takes the element as matched at the ASCII ones it must.
// Anywhere else every character is decoded and every position tried.
//
// An unterminated bracket expression is scanned to the end of the pattern, and is then an
// ordinary '['. Which ones are unterminated is remembered, so that a pattern of many of them
// is not scanned again for each: time stays proportional to pattern length x string length.
#include "compat/fnmatch.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <type_traits>

#include "compat/fnmatch_encoding.h"
#include "compat/fnmatch_locale.h"
#include "compat/utf16.h"

namespace compat {
namespace {

constexpr std::size_t max_char_bytes = 5;

// What a call needs to know besides the cursors.
struct Context {
  const char* string_start;  // the leading-position rule measures against it
  int flags;
  bool utf8;  // Decoder::utf8: decode_utf8 stands in for mbrtowc
  // A byte below 0x80 is a character of its own value and leaves the state initial, so
  // those bytes skip decoding.
  bool ascii_direct;
  // With ascii_direct: towlower of a value below 0x80 is its plain ASCII lower case, so
  // those values skip towlower.
  bool ascii_fold;
};

// A set of bytes below 0x80, one bit each.
struct AsciiSet {
  std::uint64_t bits[2];

  // Words chosen by value rather than by index keep a set in registers.
  bool contains(unsigned char byte) const {
    return (((byte < 64 ? bits[0] : bits[1]) >> (byte & 63)) & 1) != 0;
  }
  void add(unsigned char byte) {
    const std::uint64_t bit = std::uint64_t{1} << (byte & 63);
    if (byte < 64) {
      bits[0] |= bit;
    } else {
      bits[1] |= bit;
    }
  }
  void add(const AsciiSet& other) {
    bits[0] |= other.bits[0];
    bits[1] |= other.bits[1];
  }
  AsciiSet complement() const { return AsciiSet{{~bits[0], ~bits[1]}}; }
};

// The first bytes of the characters a pattern element may match: the ASCII ones exactly,
// and whether characters from 0x80 up may be among them.
struct FirstBytes {
  AsciiSet ascii;
  bool non_ascii;
};

// The position the last star's rest is tried at next, with the states a retry starts from.
struct RestorePoint {
  const char* pattern = nullptr;  // after the star run; null while no star may be retried
  const char* string;
  std::mbstate_t pattern_state;
  std::mbstate_t string_state;
  // Where ASCII decodes directly and the rest begins with an ASCII character or a bracket
  // expression, retries skip every position the star may grow past whose first byte that
  // element cannot match (skip_to_candidate). At an ASCII byte it can match, it matches
  // for certain, and the retry goes on past both, the pattern at `after_first`. Null where
  // every position is tried.
  const char* after_first;
  unsigned char byte;  // nonzero where this byte alone stops the skipping: strchr finds it
  // Else the bytes below 0x80 that stop it (the element's first bytes, the end of the
  // string, a slash under FNM_PATHNAME), and whether every byte from 0x80 up does.
  AsciiSet stops;
  bool stops_non_ascii;
};

// The bracket expressions known to be unterminated, by where their member list begins:
// every one from `low` to `high`. Once one is unterminated, no later one can be terminated:
// its scan would have met the later one's closing ']' as a member position (a bare ']' is
// never a range end, and both scans step through the same escape-aware characters) and
// stopped there. A later one can still fail, on a slash under FNM_PATHNAME; but that ends
// the match, and the matcher meets every bracket expression on its way to a later one (it
// walks on from a star only once an earlier walk has reached it). So every one between two
// found unterminated is unterminated, and where no slash follows, every later one.
struct Unterminated {
  const char* low = nullptr;
  const char* high = nullptr;
};

enum class Step { advance, match, mismatch, fail };

bool has(const Context& cx, int flag) { return (cx.flags & flag) != 0; }

constexpr std::size_t invalid_sequence = static_cast<std::size_t>(-1);

bool decode_failed(std::size_t length) {
  return length == invalid_sequence || length == static_cast<std::size_t>(-2);
}

// The character at `text` into *c, from a byte from 0x80 up, or any byte where ASCII does
// not decode directly: its length, as mbrtowc gives it. By mbrtowc, with the character as an
// unsigned value (it is compared as a number, and may not fit the runtime's wint_t, 16 bits
// on the Windows host); or as UTF-8 (compat/utf16.h), where the zero byte that ends the text
// is no continuation byte, so nothing past it is read.
std::size_t decode(const char* text, std::mbstate_t* state, const Context& cx, char32_t* c) {
  if (cx.utf8) {
    std::size_t length = decode_utf8(text, 4, c);
    return length == 0 ? invalid_sequence : length;
  }
  wchar_t w = 0;
  std::size_t n = std::mbrtowc(&w, text, max_char_bytes, state);
  *c = static_cast<std::make_unsigned_t<wchar_t>>(w);
  return n;
}

// Decodes a pattern character into *c and *length; false on an invalid or incomplete
// sequence, which makes the whole match fail.
inline bool decode_pattern(const char* p, std::mbstate_t* state, const Context& cx, char32_t* c,
                           std::size_t* length) {
  auto byte = static_cast<unsigned char>(*p);
  if (cx.ascii_direct && byte < 0x80) {
    *c = byte;
    *length = byte != 0;
    return true;
  }
  std::size_t n = decode(p, state, cx, c);
  if (decode_failed(n)) return false;
  *length = n;
  return true;
}

// Decodes a string character into *c and returns its length (0 at the end). A byte that
// starts no valid sequence stands for itself and resets the state.
inline std::size_t decode_string(const char* s, std::mbstate_t* state, const Context& cx,
                                 char32_t* c) {
  auto byte = static_cast<unsigned char>(*s);
  if (cx.ascii_direct && byte < 0x80) {
    *c = byte;
    return byte != 0;
  }
  std::size_t n = decode(s, state, cx, c);
  if (decode_failed(n)) {
    *state = std::mbstate_t{};
    *c = byte;
    return 1;
  }
  return n;
}

bool is_ascii_upper(char32_t c) { return c >= 'A' && c <= 'Z'; }

bool is_ascii_letter(unsigned char c) { return is_ascii_upper(c) || is_ascii_upper(c ^ 0x20u); }

// towlower, with plain ASCII answered here where the locale is known to agree. A value
// the runtime's wint_t cannot hold (above U+FFFF on the Windows host) has no other case
// there.
char32_t lower(char32_t c, const Context& cx) {
  if (cx.ascii_fold && c < 0x80) return is_ascii_upper(c) ? c + ('a' - 'A') : c;
  if constexpr (sizeof(wint_t) < sizeof(char32_t)) {
    if (c > std::numeric_limits<wint_t>::max()) return c;
  }
  return std::towlower(static_cast<wint_t>(c));
}

char32_t fold(char32_t c, const Context& cx) { return has(cx, FNM_CASEFOLD) ? lower(c, cx) : c; }

bool at_leading_position(const char* s, const Context& cx) {
  return s == cx.string_start || (has(cx, FNM_PATHNAME) && s[-1] == '/');
}

// A period that only a literal period in the pattern may match.
bool is_hidden_period(char32_t sc, const char* s, const Context& cx) {
  return sc == '.' && has(cx, FNM_PERIOD) && at_leading_position(s, cx);
}

bool ordinary_equal(char32_t pc, char32_t sc, const Context& cx) {
  if (pc == sc) return true;
  return has(cx, FNM_CASEFOLD) && lower(pc, cx) == lower(sc, cx);
}

// The bytes below 0x80 whose fold lies in [low, high]: under FNM_CASEFOLD (by ascii_fold)
// a letter belongs where its lower case does.
AsciiSet ascii_folding_into(char32_t low, char32_t high, const Context& cx) {
  AsciiSet set{};
  for (unsigned i = 0; i < 2; ++i) {
    const unsigned base = i * 64;
    const unsigned from = low > base ? low : base;
    const unsigned to = high < base + 63 ? high : base + 63;
    if (from > to) continue;
    set.bits[i] = (~std::uint64_t{0} >> (63 - (to - base))) & (~std::uint64_t{0} << (from - base));
  }
  if (!has(cx, FNM_CASEFOLD)) return set;
  // In the second word, 'A'-'Z' are bits 1-26 and 'a'-'z' bits 33-58.
  constexpr std::uint64_t upper = std::uint64_t{0x3ffffff} << 1;
  constexpr std::uint64_t lower_case = upper << 32;
  set.bits[1] = (set.bits[1] & ~upper) | ((set.bits[1] & lower_case) >> 32);
  return set;
}

// Adds the first bytes of the characters whose fold lies in [low, high]. A character from
// 0x80 up may be among them where `high` is, and under FNM_CASEFOLD wherever: towlower takes
// some to ASCII letters (U+212A to 'k').
void add_range(char32_t low, char32_t high, FirstBytes* first, const Context& cx) {
  first->ascii.add(ascii_folding_into(low, high, cx));
  first->non_ascii |= high >= 0x80 || has(cx, FNM_CASEFOLD);
}

enum class Bracket { matched, not_matched, unterminated, fail };

// Scans the bracket expression whose member list (after the '[') is at *p, testing `test`
// (already folded). Into *first, unless it is null, go the first bytes of the characters
// it may match. On matched and not_matched *p ends past the closing ']'; otherwise it is
// left alone, and so is *first. ASCII members are read on the bytes where ASCII decodes
// directly (decode_pattern), as are most lists.
inline Bracket scan_list(const char** p_io, char32_t test, std::mbstate_t* ps, FirstBytes* first,
                         const Context& cx) {
  const bool escapes = !has(cx, FNM_NOESCAPE);
  const char* p = *p_io;
  const bool negate = *p == '!' || *p == '^';
  if (negate) ++p;
  const char* list = p;
  bool matched = false;
  FirstBytes listed{};
  while (*p != ']' || p == list) {
    if (*p == '\0') return Bracket::unterminated;
    if (*p == '/' && has(cx, FNM_PATHNAME)) return Bracket::fail;
    if (*p == '\\' && escapes) ++p;
    char32_t low = 0;
    std::size_t n = 0;
    if (!decode_pattern(p, ps, cx, &low, &n)) return Bracket::fail;
    p += n;
    char32_t high = low;
    if (p[0] == '-' && p[1] != ']' && p[1] != '\0') {
      ++p;
      if (*p == '\\' && escapes) ++p;
      if (!decode_pattern(p, ps, cx, &high, &n)) return Bracket::fail;
      if (high == 0) return Bracket::unterminated;  // an escaped end of the pattern
      p += n;
    }
    low = fold(low, cx);
    high = fold(high, cx);
    matched |= low <= test && test <= high;
    if (first != nullptr) add_range(low, high, &listed, cx);
  }
  *p_io = p + 1;
  if (first != nullptr) {
    // A negated list may match any character from 0x80 up that it does not list.
    *first = negate ? FirstBytes{listed.ascii.complement(), true} : listed;
  }
  return matched == negate ? Bracket::not_matched : Bracket::matched;
}

// Where ASCII decodes directly the state is initial at every character boundary.
bool state_is_initial(const std::mbstate_t& state, const Context& cx) {
  return cx.ascii_direct || std::mbsinit(&state) != 0;
}

// Where no slash follows, no later bracket expression can fail: all are unterminated.
void remember_unterminated(Unterminated* known, const char* list, const Context& cx) {
  const bool may_fail = has(cx, FNM_PATHNAME) && std::strchr(list, '/') != nullptr;
  const char* high = may_fail ? list : list + std::strlen(list);
  if (known->low == nullptr) known->low = known->high = list;
  if (high > known->high) known->high = high;
}

// scan_list, but not again where the expression is known to be unterminated. Only while the
// pattern's conversion state is initial before and after a scan, as it always is in the
// shift-free encodings that locales use: a skipped scan leaves the state as it is.
inline Bracket scan_bracket(const char** p_io, char32_t test, std::mbstate_t* ps, FirstBytes* first,
                            Unterminated* known, const Context& cx) {
  const char* list = *p_io;
  const bool initial = state_is_initial(*ps, cx);
  if (initial && known->low != nullptr && known->low <= list && list <= known->high) {
    return Bracket::unterminated;
  }
  Bracket verdict = scan_list(p_io, test, ps, first, cx);
  if (verdict == Bracket::unterminated && initial && state_is_initial(*ps, cx)) {
    remember_unterminated(known, list, cx);
  }
  return verdict;
}

// Sets the star's filter from the first bytes of the rest's first element, which ends at
// `after`. The end of the string, and a slash under FNM_PATHNAME, stop the star too.
void set_filter(RestorePoint* star, const FirstBytes& first, const char* after, const Context& cx) {
  star->after_first = after;
  star->byte = 0;
  star->stops_non_ascii = first.non_ascii;
  star->stops = first.ascii;
  star->stops.add('\0');
  if (has(cx, FNM_PATHNAME)) star->stops.add('/');
}

// The filter for a rest that begins with the ASCII character `byte`: it matches itself
// and, under FNM_CASEFOLD, its other case; strchr finds it where nothing else stops the
// star. Only a letter can be the fold of a character from 0x80 up (U+212A, the Kelvin
// sign, folds to 'k'): towlower maps letters to letters, so a digit or a '.' matches
// itself alone, under FNM_CASEFOLD too.
void set_literal_filter(RestorePoint* star, unsigned char byte, const char* after,
                        const Context& cx) {
  const bool folds = has(cx, FNM_CASEFOLD) && is_ascii_letter(byte);
  FirstBytes first{};
  first.ascii.add(byte);
  if (folds) first.ascii.add(byte ^ 0x20u);
  first.non_ascii = folds;
  set_filter(star, first, after, cx);
  if (!folds && !has(cx, FNM_PATHNAME)) star->byte = byte;
}

// Where the pattern at p (after a star run) begins with an ASCII character, plain or
// escaped, or with a bracket expression (an unterminated one is the character '['): sets
// the star's filter. Nothing for anything else, and wherever ASCII is not known to decode
// directly or, under FNM_CASEFOLD, to fold plainly.
void filter_star(const char* p, Unterminated* known, const Context& cx, RestorePoint* star) {
  star->after_first = nullptr;
  if (!cx.ascii_direct || (has(cx, FNM_CASEFOLD) && !cx.ascii_fold)) return;
  auto byte = static_cast<unsigned char>(*p++);
  if (byte == '?') return;
  if (byte == '[') {
    const char* after = p;
    FirstBytes first{};
    std::mbstate_t ps{};
    Bracket verdict = scan_bracket(&after, 0, &ps, &first, known, cx);
    if (verdict == Bracket::fail) return;
    if (verdict != Bracket::unterminated) {
      set_filter(star, first, after, cx);
      return;
    }
  } else if (byte == '\\' && !has(cx, FNM_NOESCAPE)) {
    byte = static_cast<unsigned char>(*p++);
  }
  if (byte == 0 || byte >= 0x80) return;
  set_literal_filter(star, byte, p, cx);
}

// The first position at or after s where the star's rest may match, or null where there
// is none. A skipped position holds the first byte of a character that the rest's first
// element cannot match, and which the star may grow past; so skipping it changes
// nothing. Every byte of a skipped multibyte character is from 0x80 up, and skipped too.
const char* skip_to_candidate(const char* s, const RestorePoint& star) {
  if (star.byte != 0) return std::strchr(s, star.byte);
  for (;; ++s) {
    auto byte = static_cast<unsigned char>(*s);
    if (byte >= 0x80 ? star.stops_non_ascii : star.stops.contains(byte)) return s;
  }
}

// Where the filter stopped at an ASCII byte that does not end the star, the rest's first
// element matches it for certain: the attempt begins past both (the states stay initial,
// as ASCII decodes directly).
void enter_rest(const RestorePoint& star, const char** p, const char** s, const Context& cx) {
  auto byte = static_cast<unsigned char>(**s);
  if (star.after_first == nullptr || byte == 0 || byte >= 0x80) return;
  if (byte == '/' && has(cx, FNM_PATHNAME)) return;
  *p = star.after_first;
  ++*s;
}

// A star run that ends the pattern, met with the string character sc at s.
Step match_final_star(char32_t sc, const char* s, const Context& cx) {
  if (is_hidden_period(sc, s, cx)) return Step::fail;
  if (!has(cx, FNM_PATHNAME) || has(cx, FNM_LEADING_DIR)) return Step::match;
  return std::strchr(s, '/') == nullptr ? Step::match : Step::fail;
}

// A star run, met with the string character sc at *s. Either settles the match, or sets
// the restore point (or clears it where no retry can help).
Step match_star(const char** p_io, const char** s_io, char32_t sc, const std::mbstate_t& ps,
                const std::mbstate_t& ss, RestorePoint* star, Unterminated* known,
                const Context& cx) {
  const char* p = *p_io;
  while (*p == '*') ++p;
  *p_io = p;
  const char* s = *s_io;
  if (*p == '\0') return match_final_star(sc, s, cx);
  if (is_hidden_period(sc, s, cx)) return Step::fail;
  if (*p == '/' && has(cx, FNM_PATHNAME)) {
    // The star spans the rest of this path component; no other length can match.
    *s_io = std::strchr(s, '/');
    if (*s_io == nullptr) return Step::fail;
    star->pattern = nullptr;
    return Step::advance;
  }
  if (sc == 0) return Step::fail;
  star->pattern = p;
  star->string = s;
  star->pattern_state = ps;
  star->string_state = ss;
  filter_star(p, known, cx, star);
  if (star->after_first == nullptr) return Step::advance;
  star->string = *s_io = skip_to_candidate(s, *star);
  if (star->string == nullptr) return Step::fail;
  enter_rest(*star, p_io, s_io, cx);
  return Step::advance;
}

// Moves the restore point one string character on. False when the star may not grow
// (at a slash under FNM_PATHNAME or at the end of the string) or no later position can
// match.
bool advance_restore_point(RestorePoint* star, const Context& cx) {
  if (star->pattern == nullptr) return false;
  char32_t c = 0;
  std::size_t n = decode_string(star->string, &star->string_state, cx, &c);
  if (c == 0 || (c == '/' && has(cx, FNM_PATHNAME))) return false;
  star->string += n;
  if (star->after_first == nullptr) return true;
  star->string = skip_to_candidate(star->string, *star);
  return star->string != nullptr;
}

// The character class steps: `?`, a bracket expression. Both refuse the end of the
// string, a slash under FNM_PATHNAME and a hidden period.
bool class_may_match(char32_t sc, const char* s, const Context& cx) {
  if (sc == 0) return false;
  if (sc == '/' && has(cx, FNM_PATHNAME)) return false;
  return !is_hidden_period(sc, s, cx);
}

// The bracket-expression step, with *p after the '[': a verdict on sc, or the unterminated
// fallback, where the '[' is an ordinary character and the pattern goes on right after it.
Step match_bracket(const char** p_io, std::mbstate_t* ps, char32_t sc, const char* s,
                   Unterminated* known, const Context& cx) {
  if (!class_may_match(sc, s, cx)) return Step::mismatch;
  switch (scan_bracket(p_io, fold(sc, cx), ps, nullptr, known, cx)) {
    case Bracket::matched:
      return Step::advance;
    case Bracket::not_matched:
      return Step::mismatch;
    case Bracket::fail:
      return Step::fail;
    case Bracket::unterminated:
      break;
  }
  return ordinary_equal('[', sc, cx) ? Step::advance : Step::mismatch;
}

// The end of the pattern, met with the string character sc.
Step match_end(char32_t sc, const Context& cx) {
  bool done = sc == 0 || (sc == '/' && has(cx, FNM_LEADING_DIR));
  return done ? Step::match : Step::mismatch;
}

// Every step that is not a star: the end of the pattern, `?`, a bracket expression, an
// escape, an ordinary character. Step::advance means sc is consumed.
Step match_character(char32_t pc, const char** p_io, std::mbstate_t* ps, char32_t sc, const char* s,
                     Unterminated* known, const Context& cx) {
  if (pc == 0) return match_end(sc, cx);
  if (pc == '?') return class_may_match(sc, s, cx) ? Step::advance : Step::mismatch;
  if (pc == '[') return match_bracket(p_io, ps, sc, s, known, cx);
  if (pc == '\\' && !has(cx, FNM_NOESCAPE)) {
    // A final backslash escapes the terminating NUL, which only the end of the string
    // matches; the cursor stays on the NUL.
    std::size_t n = 0;
    if (!decode_pattern(*p_io, ps, cx, &pc, &n)) return Step::fail;
    *p_io += n;
  }
  return ordinary_equal(pc, sc, cx) ? Step::advance : Step::mismatch;
}

// The pattern bytes that stand for themselves alone where ASCII decodes directly: every
// byte below 0x80 but the end of the pattern and those that begin a wildcard, a bracket
// expression or an escape.
constexpr std::array<bool, 256> plain_literals = [] {
  std::array<bool, 256> table{};
  for (std::size_t byte = 1; byte < 0x80; ++byte) table[byte] = true;
  table['*'] = table['?'] = table['['] = table['\\'] = false;
  return table;
}();

// Where ASCII decodes directly: the commonest steps, taken on the bytes while the string
// byte is ASCII: plain characters, question marks, bracket expressions, a final star, the
// end of the pattern. Returns Step::advance with both cursors at the first step left to
// the general one. Before the first star nothing is retried, so a short name is often
// settled here alone.
Step match_ascii(const char** p_io, const char** s_io, std::mbstate_t* ps, Unterminated* known,
                 const Context& cx) {
  const char* p = *p_io;
  const char* s = *s_io;
  for (;; ++p, ++s) {
    auto pb = static_cast<unsigned char>(*p);
    auto sb = static_cast<unsigned char>(*s);
    if (pb == sb && plain_literals[pb]) continue;
    if (sb >= 0x80) break;
    if (plain_literals[pb]) {
      // Under FNM_CASEFOLD, and unless towlower is known to be plain ASCII, the general
      // step asks it.
      if (!has(cx, FNM_CASEFOLD)) return Step::mismatch;
      if (!cx.ascii_fold) break;
      if (lower(pb, cx) != lower(sb, cx)) return Step::mismatch;
      continue;
    }
    if (pb == '?') {
      if (!class_may_match(sb, s, cx)) return Step::mismatch;
      continue;
    }
    if (pb == '[') {
      const char* after = p + 1;
      Step step = match_bracket(&after, ps, sb, s, known, cx);
      if (step != Step::advance) return step;
      p = after - 1;  // the loop steps past the expression's last byte
      continue;
    }
    if (pb == 0) return match_end(sb, cx);
    if (pb == '*' && p[1] == '\0') return match_final_star(sb, s, cx);
    break;
  }
  *p_io = p;
  *s_io = s;
  return Step::advance;
}

// One general step: decodes a pattern and a string character and acts on them.
Step match_step(const char** p_io, const char** s_io, std::mbstate_t* ps, std::mbstate_t* ss,
                RestorePoint* star, Unterminated* known, const Context& cx) {
  char32_t pc = 0;
  std::size_t pn = 0;
  if (!decode_pattern(*p_io, ps, cx, &pc, &pn)) return Step::fail;
  *p_io += pn;
  char32_t sc = 0;
  std::size_t sn = decode_string(*s_io, ss, cx, &sc);
  if (pc == '*') return match_star(p_io, s_io, sc, *ps, *ss, star, known, cx);
  Step step = match_character(pc, p_io, ps, sc, *s_io, known, cx);
  if (step == Step::advance) *s_io += sn;
  return step;
}

// The matcher proper: the fast path where it applies, the general step where it does not,
// and on a mismatch the last star's rest tried one string character on.
int match(const char* p, const char* s, const Context& cx) {
  std::mbstate_t ps{};
  std::mbstate_t ss{};
  RestorePoint star;
  Unterminated known;
  for (;;) {
    Step step = cx.ascii_direct ? match_ascii(&p, &s, &ps, &known, cx) : Step::advance;
    if (step == Step::advance) step = match_step(&p, &s, &ps, &ss, &star, &known, cx);
    if (step == Step::advance) continue;
    if (step == Step::match) return 0;
    if (step == Step::fail || !advance_restore_point(&star, cx)) return FNM_NOMATCH;
    p = star.pattern;
    s = star.string;
    ps = star.pattern_state;
    ss = star.string_state;
    enter_rest(star, &p, &s, cx);
  }
}

}  // namespace

int fnmatch_in(const char* pattern, const char* string, int flags, Encoding encoding) {
  // The locale is asked either way: a call made on a condition costs more than the call.
  const LocaleAscii locale = locale_ascii();
  const LocaleAscii ascii = encoding.ask_locale ? locale : LocaleAscii{};
  const bool utf8 = encoding.decoder == Decoder::utf8;
  const bool ascii_direct = utf8 || ascii.decodes_to_itself;
  const bool ascii_fold = ascii_direct && ascii.case_is_plain;
  return match(pattern, string, Context{string, flags, utf8, ascii_direct, ascii_fold});
}

}  // namespace compat
