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
// Characters are decoded as the caller's Encoding says (compat/fnmatch_encoding.h): in the
// current locale (mbrtowc), or as UTF-8 whatever the locale: there an unpaired surrogate
// in its three-byte form is one character, and bytes that are no UTF-8 character are an
// invalid sequence (in the string each stands for itself, in the pattern it matches
// nothing), as in a UTF-8 locale.
//
// Where ASCII decodes to itself (in UTF-8, or where locale_ascii says so), a star whose
// rest begins with an ASCII character or a bracket expression works out once which first
// bytes that element can match, skips the string positions it cannot, and takes the
// element as matched at the ASCII ones it must. Under FNM_CASEFOLD that needs towlower of
// ASCII to be plain (locale_ascii again). Anywhere else every position is decoded and
// tried as before.
//
// There too, the commonest steps (plain characters, `?`, bracket expressions of ASCII
// members, a final star, the end of the pattern) are taken on the bytes themselves while
// the string byte is ASCII, without the general step's decoding; the rest go through it.
// The locale is asked once per call: a call costs a few nanoseconds, the same order as
// matching a short name, so the steps before the first star run before the rest of the
// matcher's state is set up.
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
  // The locale decodes a byte below 0x80 to itself and leaves the state initial, so those
  // bytes may skip mbrtowc.
  bool ascii_direct;
  // Under FNM_CASEFOLD: towlower of a value below 0x80 is its plain ASCII lower case, so
  // those values may skip towlower.
  bool ascii_fold;
  // Decoder::utf8: decode_utf8 stands in for mbrtowc, and ASCII decodes directly.
  bool utf8;
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
  AsciiSet without(const AsciiSet& other) const {
    return AsciiSet{{bits[0] & ~other.bits[0], bits[1] & ~other.bits[1]}};
  }
  AsciiSet complement() const { return AsciiSet{{~bits[0], ~bits[1]}}; }
};

// The first bytes of the characters a pattern element may match: the ASCII ones exactly,
// and whether characters from 0x80 up may be among them.
struct FirstBytes {
  AsciiSet ascii;
  bool non_ascii;
};

// How a star's retries find the next position worth trying: not at all (every position
// is), with strchr for one byte, by comparing a few bytes, or by looking bytes up in a set.
enum class Skip : unsigned char { none, to_byte, to_literal, to_set };

// The position the last star's rest is tried at next, with the states a retry starts from.
struct RestorePoint {
  bool active = false;  // the rest of the members are set with it
  const char* pattern;  // after the star run
  const char* string;
  std::mbstate_t pattern_state;
  std::mbstate_t string_state;
  // Where ASCII decodes directly and the first element of the rest is an ASCII character
  // or a bracket expression, retries skip every position the star may grow past whose
  // first byte that element cannot match (skip_to_candidate). At a byte in `matches` the
  // element matches for certain, and the retry goes on at `after_first`.
  Skip skip;
  unsigned char literal[3];  // Skip::to_byte: [0]; to_literal: all three
  bool stops_non_ascii;      // to_literal, to_set: stop at every byte from 0x80 up
  unsigned last_skipped;     // to_literal: 0x7f, or 0xff without stops_non_ascii
  AsciiSet stops;            // to_set
  AsciiSet matches;
  const char* after_first;
};

// What is known about bracket expressions (by the pattern position of their '['), so that
// an unterminated one, whose scan runs to the end of the pattern, is not scanned again for
// every retry and every following '['.
struct UnterminatedBrackets {
  // Every bracket at or after this one is unterminated. Once one bracket is unterminated,
  // no later one can be terminated: its scan would have met the later one's closing ']' as
  // a member position (a bare ']' is never a range end, and both scans step through the
  // same escape-aware characters) and stopped there. A later one can still fail on a
  // slash under FNM_PATHNAME, so this is set only where no slash follows.
  const char* all_from;
  // Otherwise: every bracket the parse meets from `low` to `high` was found unterminated,
  // and `last` is the previous bracket this pass met.
  const char* low;
  const char* high;
  const char* last;
};

enum class Step { advance, match, mismatch, fail };

bool has(const Context& cx, int flag) { return (cx.flags & flag) != 0; }

constexpr std::size_t invalid_sequence = static_cast<std::size_t>(-1);

bool decode_failed(std::size_t length) {
  return length == invalid_sequence || length == static_cast<std::size_t>(-2);
}

// mbrtowc, with the character as an unsigned value: a decoded character is compared as an
// unsigned number, and may not fit the runtime's wint_t (16 bits on the Windows host).
std::size_t decode_in_locale(const char* text, std::mbstate_t* state, char32_t* c) {
  wchar_t w = 0;
  std::size_t n = std::mbrtowc(&w, text, max_char_bytes, state);
  *c = static_cast<std::make_unsigned_t<wchar_t>>(w);
  return n;
}

// The UTF-8 character at `text`, from a byte from 0x80 up, into *c: its length, or
// invalid_sequence where the bytes are no character (see compat/utf16.h; a surrogate in its
// three-byte form is a character of its own, as the host hands over an unpaired surrogate
// of a name). The zero byte that ends the text is no continuation byte, so nothing past
// it is read.
std::size_t decode_utf8(const char* text, char32_t* c) {
  std::size_t length = compat::decode_utf8(text, 4, c);
  return length == 0 ? invalid_sequence : length;
}

// A character from a byte from 0x80 up, or any character where ASCII does not decode
// directly: as UTF-8 or in the current locale, as the encoding says.
std::size_t decode_multibyte(const char* text, std::mbstate_t* state, const Context& cx,
                             char32_t* c) {
  return cx.utf8 ? decode_utf8(text, c) : decode_in_locale(text, state, c);
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
  std::size_t n = decode_multibyte(p, state, cx, c);
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
  std::size_t n = decode_multibyte(s, state, cx, c);
  if (decode_failed(n)) {
    *state = std::mbstate_t{};
    *c = byte;
    return 1;
  }
  return n;
}

bool is_ascii_upper(char32_t c) { return c >= 'A' && c <= 'Z'; }

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

// After the '[' at *p: skips a negation byte, and says whether there was one.
bool skip_negation(const char** p) {
  if (**p != '!' && **p != '^') return false;
  ++*p;
  return true;
}

enum class Member { next, end, unterminated, fail };

// Reads the member list entry at *p (the list starts at `list`): on Member::next the
// folded range [*low, *high] it stands for (a single character is a range of one), on
// Member::end the closing ']'. *p moves past what was read; on unterminated and fail it
// is left undefined.
Member read_member(const char** p_io, const char* list, std::mbstate_t* ps, const Context& cx,
                   char32_t* low, char32_t* high) {
  const bool escapes = !has(cx, FNM_NOESCAPE);
  const char* p = *p_io;
  if (*p == ']' && p > list) {
    *p_io = p + 1;
    return Member::end;
  }
  if (*p == '\0') return Member::unterminated;
  if (*p == '/' && has(cx, FNM_PATHNAME)) return Member::fail;
  if (*p == '\\' && escapes) ++p;
  std::size_t n = 0;
  if (!decode_pattern(p, ps, cx, low, &n)) return Member::fail;
  p += n;
  *low = *high = fold(*low, cx);
  if (p[0] == '-' && p[1] != ']' && p[1] != '\0') {
    ++p;
    if (*p == '\\' && escapes) ++p;
    if (!decode_pattern(p, ps, cx, high, &n)) return Member::fail;
    if (*high == 0) return Member::unterminated;  // an escaped end of the pattern
    p += n;
    *high = fold(*high, cx);
  }
  *p_io = p;
  return Member::next;
}

// The bytes below 0x80 whose value lies in [low, high].
AsciiSet ascii_range(char32_t low, char32_t high) {
  AsciiSet set{};
  for (unsigned i = 0; i < 2; ++i) {
    const unsigned base = i * 64;
    const unsigned from = low > base ? low : base;
    const unsigned to = high < base + 63 ? high : base + 63;
    if (from > to) continue;
    set.bits[i] = (~std::uint64_t{0} >> (63 - (to - base))) & (~std::uint64_t{0} << (from - base));
  }
  return set;
}

// The bytes below 0x80 whose fold lies in [low, high]: under FNM_CASEFOLD (by
// ascii_fold) a letter belongs where its lower case does.
AsciiSet ascii_folding_into(char32_t low, char32_t high, const Context& cx) {
  AsciiSet set = ascii_range(low, high);
  if (!has(cx, FNM_CASEFOLD)) return set;
  // In the second word, 'A'-'Z' are bits 1-26 and 'a'-'z' bits 33-58.
  constexpr std::uint64_t upper = std::uint64_t{0x3ffffff} << 1;
  constexpr std::uint64_t lower_case = upper << 32;
  set.bits[1] = (set.bits[1] & ~upper) | ((set.bits[1] & lower_case) >> 32);
  return set;
}

// Whether a character from 0x80 up may fold into a range that ends at `high`. Under
// FNM_CASEFOLD any may: towlower takes some to ASCII letters (U+212A to 'k').
bool non_ascii_may_fold_into(char32_t high, const Context& cx) {
  return high >= 0x80 || has(cx, FNM_CASEFOLD);
}

bool is_ascii_letter(unsigned char c) { return is_ascii_upper(c) || is_ascii_upper(c ^ 0x20u); }

// The bytes below 0x80 equal to the ASCII character `byte` under the flags: under
// FNM_CASEFOLD (by ascii_fold) a letter in either case.
AsciiSet ascii_equal_to(unsigned char byte, const Context& cx) {
  AsciiSet set{};
  set.add(byte);
  if (has(cx, FNM_CASEFOLD) && is_ascii_letter(byte)) set.add(byte ^ 0x20u);
  return set;
}

enum class Bracket { matched, not_matched, unterminated, fail };

// Scans the bracket expression after the '[' at *p, testing `test` (already folded). Into
// *members, unless it is null, go the first bytes of the characters it may match. On matched and
// not_matched *p ends past the closing ']'; otherwise it is left alone, and so is *members.
Bracket scan_bracket(const char** p_io, char32_t test, std::mbstate_t* ps, FirstBytes* members,
                     const Context& cx) {
  const char* p = *p_io;
  const bool negate = skip_negation(&p);
  const char* list = p;
  bool matched = false;
  FirstBytes listed{};
  for (;;) {
    char32_t low = 0;
    char32_t high = 0;
    switch (read_member(&p, list, ps, cx, &low, &high)) {
      case Member::next:
        matched |= low <= test && test <= high;
        if (members != nullptr) {
          listed.ascii.add(ascii_folding_into(low, high, cx));
          listed.non_ascii |= non_ascii_may_fold_into(high, cx);
        }
        continue;
      case Member::end:
        *p_io = p;
        // A negated list may match any character from 0x80 up that it does not list.
        if (members != nullptr)
          *members = negate ? FirstBytes{listed.ascii.complement(), true} : listed;
        return matched == negate ? Bracket::not_matched : Bracket::matched;
      case Member::unterminated:
        return Bracket::unterminated;
      case Member::fail:
        return Bracket::fail;
    }
  }
}

// Where ASCII decodes directly the state is initial at every character boundary.
bool state_is_initial(const std::mbstate_t& state, const Context& cx) {
  return cx.ascii_direct || std::mbsinit(&state) != 0;
}

bool known_unterminated(const UnterminatedBrackets& known, const char* bracket) {
  if (known.all_from != nullptr && bracket >= known.all_from) return true;
  return known.low != nullptr && known.low <= bracket && bracket <= known.high;
}

void remember_unterminated(UnterminatedBrackets* known, const char* bracket, const char* previous,
                           const Context& cx) {
  if (!has(cx, FNM_PATHNAME) || std::strchr(bracket, '/') == nullptr) {
    known->all_from = bracket;
  } else if (known->low != nullptr && previous == known->high && bracket > known->high) {
    known->high = bracket;
  } else {
    known->low = known->high = bracket;
  }
}

// scan_bracket, skipping the scans whose verdict is already known to be "unterminated".
// Only while the pattern's conversion state is initial before and after a scan, as it
// always is in the shift-free encodings that locales use: a skipped scan leaves the state
// as it is.
Bracket scan_bracket_once(const char** p_io, char32_t test, std::mbstate_t* ps, FirstBytes* members,
                          UnterminatedBrackets* known, const Context& cx) {
  const char* bracket = *p_io;
  const char* previous = known->last;
  known->last = bracket;
  const bool initial = state_is_initial(*ps, cx);
  if (initial && known_unterminated(*known, bracket)) return Bracket::unterminated;
  Bracket verdict = scan_bracket(p_io, test, ps, members, cx);
  if (initial && verdict == Bracket::unterminated && state_is_initial(*ps, cx)) {
    remember_unterminated(known, bracket, previous, cx);
  }
  return verdict;
}

// The first bytes of the characters the bracket expression after the '[' at p may match,
// or those equal to '[' where it is unterminated. Returns where the pattern goes on after
// it, or null where it ends the match instead. The pattern state is initial here, as
// ASCII decodes directly.
const char* bracket_first_bytes(const char* p, UnterminatedBrackets* known, const Context& cx,
                                FirstBytes* first) {
  const char* after = p;
  std::mbstate_t ps{};
  switch (scan_bracket_once(&after, 0, &ps, first, known, cx)) {
    case Bracket::matched:
    case Bracket::not_matched:
      return after;
    case Bracket::unterminated:
      *first = FirstBytes{ascii_equal_to('[', cx), has(cx, FNM_CASEFOLD)};
      return p;
    case Bracket::fail:
      break;
  }
  return nullptr;
}

// Sets the star's filter from the first bytes of the rest's first element, which ends
// at `after`. The end of the string, and a slash under FNM_PATHNAME, stop the star too,
// but are matched by no element that begins the rest.
void set_filter(RestorePoint* star, AsciiSet first, bool non_ascii, const char* after,
                const Context& cx) {
  AsciiSet ends{};
  ends.add('\0');
  if (has(cx, FNM_PATHNAME)) ends.add('/');
  star->stops = first;
  star->stops.add(ends);
  star->stops_non_ascii = non_ascii;
  star->matches = first.without(ends);
  star->after_first = after;
}

// The filter for a rest that begins with the ASCII character `byte`: it matches itself
// and, under FNM_CASEFOLD, its other case; strchr finds it where nothing else stops the
// star. Only a letter can be the fold of a character from 0x80 up (U+212A, the Kelvin
// sign, folds to 'k'): towlower maps letters to letters, so a digit or a '.' matches
// itself alone, under FNM_CASEFOLD too.
void set_literal_filter(RestorePoint* star, unsigned char byte, const char* after,
                        const Context& cx) {
  const bool folds = has(cx, FNM_CASEFOLD) && is_ascii_letter(byte);
  const bool pathname = has(cx, FNM_PATHNAME);
  set_filter(star, ascii_equal_to(byte, cx), folds, after, cx);
  star->literal[0] = byte;
  star->literal[1] = folds ? byte ^ 0x20u : byte;
  star->literal[2] = pathname ? '/' : byte;
  star->last_skipped = folds ? 0x7f : 0xff;
  star->skip = folds || pathname ? Skip::to_literal : Skip::to_byte;
}

// Where the pattern at p (after a star run) begins with an ASCII character, plain or
// escaped, or with a bracket expression: sets the star's filter and returns true. False
// for anything else, and wherever ASCII is not known to decode directly or, under
// FNM_CASEFOLD, to fold plainly.
bool filter_star(const char* p, UnterminatedBrackets* known, const Context& cx,
                 RestorePoint* star) {
  if (!cx.ascii_direct || (has(cx, FNM_CASEFOLD) && !cx.ascii_fold)) return false;
  auto byte = static_cast<unsigned char>(p[0]);
  if (byte == '[') {
    FirstBytes first{};
    const char* after = bracket_first_bytes(p + 1, known, cx, &first);
    if (after == nullptr) return false;
    set_filter(star, first.ascii, first.non_ascii, after, cx);
    star->skip = Skip::to_set;
    return true;
  }
  if (byte == '?') return false;
  const char* after = p + 1;
  if (byte == '\\' && !has(cx, FNM_NOESCAPE)) byte = static_cast<unsigned char>(*after++);
  if (byte == 0 || byte >= 0x80) return false;
  set_literal_filter(star, byte, after, cx);
  return true;
}

// Where the star's filter knows that the rest's first element matches the byte at *s, the
// attempt begins past that element (the states stay initial, as ASCII decodes directly).
void enter_rest(const RestorePoint& star, const char** p, const char** s) {
  auto byte = static_cast<unsigned char>(**s);
  if (star.skip == Skip::none || byte >= 0x80 || !star.matches.contains(byte)) return;
  *p = star.after_first;
  ++*s;
}

// The first position at or after s where the star's rest may match, or null where there
// is none. A skipped position holds the first byte of a character that the rest's first
// element cannot match, and which the star may grow past; so skipping it changes
// nothing. Every byte of a skipped multibyte character is from 0x80 up, and skipped too.
const char* skip_to_candidate(const char* s, const RestorePoint& star) {
  switch (star.skip) {
    case Skip::none:
      break;
    case Skip::to_byte:
      return std::strchr(s, star.literal[0]);
    case Skip::to_literal:
      for (;; ++s) {
        auto byte = static_cast<unsigned char>(*s);
        if (byte == star.literal[0] || byte == star.literal[1] || byte == star.literal[2]) return s;
        // NUL, and with stops_non_ascii every byte from 0x80 up, in one comparison.
        if (byte - 1u >= star.last_skipped) return s;
      }
    case Skip::to_set:
      for (;; ++s) {
        auto byte = static_cast<unsigned char>(*s);
        if (byte >= 0x80 ? star.stops_non_ascii : star.stops.contains(byte)) return s;
      }
  }
  return s;
}

// A star run that ends the pattern, met with the string character sc at s.
Step match_final_star(char32_t sc, const char* s, const Context& cx) {
  if (is_hidden_period(sc, s, cx)) return Step::fail;
  if (!has(cx, FNM_PATHNAME) || has(cx, FNM_LEADING_DIR)) return Step::match;
  return std::strchr(s, '/') == nullptr ? Step::match : Step::fail;
}

// A star run, met with the string character sc (of the given length) at *s. Either
// settles the match, or sets the restore point (or clears it where no retry can help).
Step match_star(const char** p_io, const char** s_io, char32_t sc, const std::mbstate_t& ps,
                const std::mbstate_t& ss, RestorePoint* star, UnterminatedBrackets* unterminated,
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
    star->active = false;
    return Step::advance;
  }
  if (sc == 0) return Step::fail;
  star->active = true;
  star->pattern = p;
  star->string = s;
  star->pattern_state = ps;
  star->string_state = ss;
  star->skip = Skip::none;
  if (!filter_star(p, unterminated, cx, star)) return Step::advance;
  star->string = *s_io = skip_to_candidate(s, *star);
  if (star->string == nullptr) return Step::fail;
  enter_rest(*star, p_io, s_io);
  return Step::advance;
}

// Moves the restore point one string character on. False when the star may not grow
// (at a slash under FNM_PATHNAME or at the end of the string) or no later position can
// match.
bool advance_restore_point(RestorePoint* star, const Context& cx) {
  if (!star->active) return false;
  char32_t c = 0;
  std::size_t n = decode_string(star->string, &star->string_state, cx, &c);
  if (c == 0 || (c == '/' && has(cx, FNM_PATHNAME))) return false;
  star->string += n;
  if (star->skip == Skip::none) return true;
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

// The bracket-expression step: a verdict on sc, or the unterminated fallback, where the
// '[' is an ordinary character and the pattern goes on right after it.
Step match_bracket(const char** p_io, std::mbstate_t* ps, char32_t sc, const char* s,
                   UnterminatedBrackets* unterminated, const Context& cx) {
  if (!class_may_match(sc, s, cx)) return Step::mismatch;
  switch (scan_bracket_once(p_io, fold(sc, cx), ps, nullptr, unterminated, cx)) {
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
                     UnterminatedBrackets* unterminated, const Context& cx) {
  if (pc == 0) return match_end(sc, cx);
  if (pc == '?') return class_may_match(sc, s, cx) ? Step::advance : Step::mismatch;
  if (pc == '[') return match_bracket(p_io, ps, sc, s, unterminated, cx);
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

// One end of a member of an ASCII list at *p (after any escape): the byte, or 0 for a byte
// from 0x80 up, which the ASCII scan leaves to the general one.
unsigned char ascii_member(const char* p) {
  auto byte = static_cast<unsigned char>(*p);
  return byte < 0x80 ? byte : 0;
}

// scan_bracket, by byte comparisons, for a list of ASCII bytes where ASCII decodes directly
// and, under FNM_CASEFOLD, folds plainly: the commonest bracket expressions, without the
// decoding. False, with *verdict and *p left alone, for anything else.
bool scan_ascii_bracket(const char** p_io, char32_t test, const Context& cx, Bracket* verdict) {
  if (!cx.ascii_direct || (has(cx, FNM_CASEFOLD) && !cx.ascii_fold)) return false;
  const bool escapes = !has(cx, FNM_NOESCAPE);
  const char* p = *p_io;
  const bool negate = skip_negation(&p);
  const char* list = p;
  bool matched = false;
  for (;;) {
    if (*p == ']' && p > list) break;
    if (*p == '\0') return *verdict = Bracket::unterminated, true;
    if (*p == '/' && has(cx, FNM_PATHNAME)) return *verdict = Bracket::fail, true;
    if (*p == '\\' && escapes) ++p;
    // An escaped end of the pattern is a member that matches nothing, and then the end.
    if (*p == '\0') continue;
    char32_t low = ascii_member(p++);
    char32_t high = low;
    if (p[0] == '-' && p[1] != ']' && p[1] != '\0') {
      ++p;
      if (*p == '\\' && escapes) ++p;
      if (*p == '\0') return *verdict = Bracket::unterminated, true;
      high = ascii_member(p++);
    }
    if (low == 0 || high == 0) return false;
    matched |= fold(low, cx) <= test && test <= fold(high, cx);
  }
  *p_io = p + 1;
  *verdict = matched == negate ? Bracket::not_matched : Bracket::matched;
  return true;
}

// The bracket-expression step of match_plain_ascii, against the ASCII string byte sb: by
// scan_ascii_bracket where that decides, else by the general step, which also remembers
// an unterminated expression (and is the one to ask once it is known to be one).
Step match_plain_bracket(const char** p_io, std::mbstate_t* ps, unsigned char sb, const char* s,
                         UnterminatedBrackets* known, const Context& cx) {
  if (!class_may_match(sb, s, cx)) return Step::mismatch;
  const char* bracket = *p_io;
  Bracket verdict = Bracket::unterminated;
  if (known_unterminated(*known, bracket) ||
      !scan_ascii_bracket(p_io, fold(sb, cx), cx, &verdict) || verdict == Bracket::unterminated) {
    return match_bracket(p_io, ps, sb, s, known, cx);
  }
  known->last = bracket;
  if (verdict == Bracket::matched) return Step::advance;
  return verdict == Bracket::fail ? Step::fail : Step::mismatch;
}

// Where ASCII decodes directly: the commonest steps, taken without decoding while the
// string byte is ASCII: plain characters, question marks, bracket expressions, a final
// star, the end of the pattern. Returns Step::advance with both cursors past the steps
// taken, where the general steps must go on.
Step match_plain_ascii(const char** p_io, const char** s_io, std::mbstate_t* ps,
                       UnterminatedBrackets* unterminated, const Context& cx) {
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
      Step step = match_plain_bracket(&after, ps, sb, s, unterminated, cx);
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
                RestorePoint* star, UnterminatedBrackets* unterminated, const Context& cx) {
  char32_t pc = 0;
  std::size_t pn = 0;
  if (!decode_pattern(*p_io, ps, cx, &pc, &pn)) return Step::fail;
  *p_io += pn;
  char32_t sc = 0;
  std::size_t sn = decode_string(*s_io, ss, cx, &sc);
  if (pc == '*') return match_star(p_io, s_io, sc, *ps, *ss, star, unterminated, cx);
  Step step = match_character(pc, p_io, ps, sc, *s_io, unterminated, cx);
  if (step == Step::advance) *s_io += sn;
  return step;
}

// The steps before the first star, where ASCII decodes directly: plain characters and
// question marks against ASCII string bytes, a final star, the end of the pattern. No
// star means nothing to retry, so a mismatch here is final. Returns Step::advance with
// both cursors at the first step left to match's loop (anything else, a bracket
// expression included: the loop remembers unterminated ones).
Step match_leading_steps(const char** p_io, const char** s_io, const Context& cx) {
  const char* p = *p_io;
  const char* s = *s_io;
  for (;; ++p, ++s) {
    auto pb = static_cast<unsigned char>(*p);
    auto sb = static_cast<unsigned char>(*s);
    if (pb == sb && plain_literals[pb]) continue;
    if (sb >= 0x80) break;
    if (pb == '?') {
      if (!class_may_match(sb, s, cx)) return Step::mismatch;
      continue;
    }
    if (pb == 0) return match_end(sb, cx);
    if (pb == '*' && p[1] == '\0') return match_final_star(sb, s, cx);
    if (plain_literals[pb] && !has(cx, FNM_CASEFOLD)) return Step::mismatch;
    break;
  }
  *p_io = p;
  *s_io = s;
  return Step::advance;
}

// The matcher proper. Its state is set up only past the leading steps: a short pattern
// often needs none.
int match(const char* p, const char* s, const Context& cx) {
  if (cx.ascii_direct) {
    Step step = match_leading_steps(&p, &s, cx);
    if (step != Step::advance) return step == Step::match ? 0 : FNM_NOMATCH;
  }
  std::mbstate_t ps{};
  std::mbstate_t ss{};
  RestorePoint star;
  UnterminatedBrackets unterminated{};
  for (;;) {
    Step step = cx.ascii_direct ? match_plain_ascii(&p, &s, &ps, &unterminated, cx) : Step::advance;
    if (step == Step::advance) step = match_step(&p, &s, &ps, &ss, &star, &unterminated, cx);
    if (step == Step::advance) continue;
    if (step == Step::match) return 0;
    if (step == Step::fail || !advance_restore_point(&star, cx)) return FNM_NOMATCH;
    p = star.pattern;
    s = star.string;
    ps = star.pattern_state;
    ss = star.string_state;
    unterminated.last = nullptr;
    enter_rest(star, &p, &s);
  }
}

}  // namespace

int fnmatch_in(const char* pattern, const char* string, int flags, Encoding encoding) {
  const LocaleAscii ascii = encoding.ask_locale ? locale_ascii() : LocaleAscii{};
  const bool utf8 = encoding.decoder == Decoder::utf8;
  const bool ascii_direct = utf8 || ascii.decodes_to_itself;
  const Context cx{string, flags, ascii_direct, ascii_direct && ascii.case_is_plain, utf8};
  return match(pattern, string, cx);
}

}  // namespace compat
