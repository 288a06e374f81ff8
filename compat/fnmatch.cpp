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
#include "compat/fnmatch.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <type_traits>

#if __has_include(<langinfo.h>)
#include <langinfo.h>
#endif

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
};

// The position the last star's rest is tried at next, with the states a retry starts from.
struct RestorePoint {
  bool active;
  const char* pattern;  // after the star run
  const char* string;
  std::mbstate_t pattern_state;
  std::mbstate_t string_state;
  // The plain ASCII character the rest begins with, where ASCII decodes directly, and its
  // towlower: retries skip the positions that cannot match it. 0 when there is none.
  unsigned char literal;
  wint_t folded_literal;
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

#if __has_include(<langinfo.h>)
// True in the C locale and in UTF-8 locales, the encodings where plain ASCII is known to
// decode to itself without touching the conversion state.
bool ascii_decodes_directly() {
  const char* codeset = nl_langinfo(CODESET);
  if (codeset[0] == 'U') return std::strcmp(codeset, "UTF-8") == 0;
  return codeset[0] == 'A' && std::strcmp(codeset, "ANSI_X3.4-1968") == 0;
}
#else
// A host that cannot name the locale's codeset decodes every byte.
bool ascii_decodes_directly() { return false; }
#endif

bool decode_failed(std::size_t length) {
  return length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2);
}

// Decodes a pattern character into *c and *length; false on an invalid or incomplete
// sequence, which makes the whole match fail.
inline bool decode_pattern(const char* p, std::mbstate_t* state, const Context& cx, wint_t* c,
                           std::size_t* length) {
  auto byte = static_cast<unsigned char>(*p);
  if (cx.ascii_direct && byte < 0x80) {
    *c = byte;
    *length = byte != 0;
    return true;
  }
  wchar_t w = 0;
  std::size_t n = std::mbrtowc(&w, p, max_char_bytes, state);
  if (decode_failed(n)) return false;
  *c = static_cast<wint_t>(static_cast<std::make_unsigned_t<wchar_t>>(w));
  *length = n;
  return true;
}

// Decodes a string character into *c and returns its length (0 at the end). A byte that
// starts no valid sequence stands for itself and resets the state.
inline std::size_t decode_string(const char* s, std::mbstate_t* state, const Context& cx,
                                 wint_t* c) {
  auto byte = static_cast<unsigned char>(*s);
  if (cx.ascii_direct && byte < 0x80) {
    *c = byte;
    return byte != 0;
  }
  wchar_t w = 0;
  std::size_t n = std::mbrtowc(&w, s, max_char_bytes, state);
  if (decode_failed(n)) {
    *state = std::mbstate_t{};
    *c = byte;
    return 1;
  }
  *c = static_cast<wint_t>(static_cast<std::make_unsigned_t<wchar_t>>(w));
  return n;
}

wint_t fold(wint_t c, const Context& cx) { return has(cx, FNM_CASEFOLD) ? std::towlower(c) : c; }

bool at_leading_position(const char* s, const Context& cx) {
  return s == cx.string_start || (has(cx, FNM_PATHNAME) && s[-1] == '/');
}

// A period that only a literal period in the pattern may match.
bool is_hidden_period(wint_t sc, const char* s, const Context& cx) {
  return sc == '.' && has(cx, FNM_PERIOD) && at_leading_position(s, cx);
}

bool ordinary_equal(wint_t pc, wint_t sc, const Context& cx) {
  if (pc == sc) return true;
  return has(cx, FNM_CASEFOLD) && std::towlower(pc) == std::towlower(sc);
}

enum class Bracket { matched, not_matched, unterminated, fail };

// Scans the member list that starts after '[' at *p, testing `test` (already folded).
// On matched and not_matched *p ends past the closing ']'; otherwise it is left alone.
Bracket scan_bracket(const char** p_io, wint_t test, std::mbstate_t* ps, const Context& cx) {
  const bool escapes = !has(cx, FNM_NOESCAPE);
  const char* p = *p_io;
  const bool negate = *p == '!' || *p == '^';
  if (negate) ++p;
  const char* list = p;
  bool matched = false;
  for (;;) {
    if (*p == ']' && p > list) break;
    if (*p == '\0') return Bracket::unterminated;
    if (*p == '/' && has(cx, FNM_PATHNAME)) return Bracket::fail;
    if (*p == '\\' && escapes) ++p;
    wint_t low = 0;
    std::size_t n = 0;
    if (!decode_pattern(p, ps, cx, &low, &n)) return Bracket::fail;
    p += n;
    low = fold(low, cx);
    if (p[0] != '-' || p[1] == ']' || p[1] == '\0') {
      matched |= low == test;
      continue;
    }
    ++p;
    if (*p == '\\' && escapes) ++p;
    wint_t high = 0;
    if (!decode_pattern(p, ps, cx, &high, &n)) return Bracket::fail;
    if (high == 0) return Bracket::unterminated;  // an escaped end of the pattern
    p += n;
    high = fold(high, cx);
    matched |= low <= test && test <= high;
  }
  *p_io = p + 1;
  return matched == negate ? Bracket::not_matched : Bracket::matched;
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
Bracket scan_bracket_once(const char** p_io, wint_t test, std::mbstate_t* ps,
                          UnterminatedBrackets* known, const Context& cx) {
  const char* bracket = *p_io;
  const char* previous = known->last;
  known->last = bracket;
  if (!state_is_initial(*ps, cx)) return scan_bracket(p_io, test, ps, cx);
  if (known_unterminated(*known, bracket)) return Bracket::unterminated;
  Bracket verdict = scan_bracket(p_io, test, ps, cx);
  if (verdict == Bracket::unterminated && state_is_initial(*ps, cx)) {
    remember_unterminated(known, bracket, previous, cx);
  }
  return verdict;
}

// The ordinary ASCII character that the pattern at p begins with (escaped or not), or 0.
unsigned char leading_literal(const char* p, const Context& cx) {
  auto byte = static_cast<unsigned char>(p[0]);
  if (byte == '\\' && !has(cx, FNM_NOESCAPE))
    byte = static_cast<unsigned char>(p[1]);
  else if (byte == '*' || byte == '?' || byte == '[')
    return 0;
  return cx.ascii_direct && byte < 0x80 ? byte : 0;
}

// The first position at or after s where the rest of the pattern may match, given that it
// begins with star.literal. A skipped position holds a plain ASCII character that differs
// from the literal (also under towlower) and is no slash under FNM_PATHNAME: there the rest
// fails at its first character and the star grows by that one byte, so skipping it
// changes nothing. Bytes from 0x80 up are left to the full decoder.
const char* skip_to_candidate(const char* s, const RestorePoint& star, const Context& cx) {
  const bool pathname = has(cx, FNM_PATHNAME);
  const bool casefold = has(cx, FNM_CASEFOLD);
  for (;; ++s) {
    auto byte = static_cast<unsigned char>(*s);
    if (byte == star.literal || byte == 0 || byte >= 0x80) return s;
    if (byte == '/' && pathname) return s;
    if (casefold && std::towlower(byte) == star.folded_literal) return s;
  }
}

// A star run, met with the string character sc (of the given length) at *s. Either
// settles the match, or sets the restore point (or clears it where no retry can help).
Step match_star(const char** p_io, const char** s_io, wint_t sc, const std::mbstate_t& ps,
                const std::mbstate_t& ss, RestorePoint* star, const Context& cx) {
  const char* p = *p_io;
  while (*p == '*') ++p;
  *p_io = p;
  const char* s = *s_io;
  if (is_hidden_period(sc, s, cx)) return Step::fail;
  if (*p == '\0') {
    if (!has(cx, FNM_PATHNAME) || has(cx, FNM_LEADING_DIR)) return Step::match;
    return std::strchr(s, '/') == nullptr ? Step::match : Step::fail;
  }
  if (*p == '/' && has(cx, FNM_PATHNAME)) {
    // The star spans the rest of this path component; no other length can match.
    *s_io = std::strchr(s, '/');
    if (*s_io == nullptr) return Step::fail;
    star->active = false;
    return Step::advance;
  }
  if (sc == 0) return Step::fail;
  *star = RestorePoint{true, p, s, ps, ss, leading_literal(p, cx), 0};
  if (star->literal == 0) return Step::advance;
  star->folded_literal = fold(star->literal, cx);
  star->string = *s_io = skip_to_candidate(s, *star, cx);
  return Step::advance;
}

// Moves the restore point one string character on. False when the star may not grow:
// at a slash under FNM_PATHNAME or at the end of the string.
bool advance_restore_point(RestorePoint* star, const Context& cx) {
  if (!star->active) return false;
  wint_t c = 0;
  std::size_t n = decode_string(star->string, &star->string_state, cx, &c);
  if (c == 0 || (c == '/' && has(cx, FNM_PATHNAME))) return false;
  star->string += n;
  if (star->literal != 0) star->string = skip_to_candidate(star->string, *star, cx);
  return true;
}

// The character class steps: `?`, a bracket expression. Both refuse the end of the
// string, a slash under FNM_PATHNAME and a hidden period.
bool class_may_match(wint_t sc, const char* s, const Context& cx) {
  if (sc == 0) return false;
  if (sc == '/' && has(cx, FNM_PATHNAME)) return false;
  return !is_hidden_period(sc, s, cx);
}

// The bracket-expression step: a verdict on sc, or the unterminated fallback, where the
// '[' is an ordinary character and the pattern goes on right after it.
Step match_bracket(const char** p_io, std::mbstate_t* ps, wint_t sc, const char* s,
                   UnterminatedBrackets* unterminated, const Context& cx) {
  if (!class_may_match(sc, s, cx)) return Step::mismatch;
  switch (scan_bracket_once(p_io, fold(sc, cx), ps, unterminated, cx)) {
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

// Every step that is not a star: the end of the pattern, `?`, a bracket expression, an
// escape, an ordinary character. Step::advance means sc is consumed.
Step match_character(wint_t pc, const char** p_io, std::mbstate_t* ps, wint_t sc, const char* s,
                     UnterminatedBrackets* unterminated, const Context& cx) {
  if (pc == 0) {
    bool done = sc == 0 || (sc == '/' && has(cx, FNM_LEADING_DIR));
    return done ? Step::match : Step::mismatch;
  }
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

int match(const char* p, const char* s, const Context& cx) {
  std::mbstate_t ps{};
  std::mbstate_t ss{};
  RestorePoint star{};
  UnterminatedBrackets unterminated{};
  for (;;) {
    wint_t pc = 0;
    std::size_t pn = 0;
    if (!decode_pattern(p, &ps, cx, &pc, &pn)) return FNM_NOMATCH;
    p += pn;
    wint_t sc = 0;
    std::size_t sn = decode_string(s, &ss, cx, &sc);

    Step step = Step::mismatch;
    if (pc == '*') {
      step = match_star(&p, &s, sc, ps, ss, &star, cx);
    } else {
      step = match_character(pc, &p, &ps, sc, s, &unterminated, cx);
      if (step == Step::advance) s += sn;
    }
    if (step == Step::advance) continue;
    if (step == Step::match) return 0;
    if (step == Step::fail || !advance_restore_point(&star, cx)) return FNM_NOMATCH;
    p = star.pattern;
    s = star.string;
    ps = star.pattern_state;
    ss = star.string_state;
    unterminated.last = nullptr;
  }
}

}  // namespace

int fnmatch(const char* pattern, const char* string, int flags) {
  const Context cx{string, flags, ascii_decodes_directly()};
  return match(pattern, string, cx);
}

}  // namespace compat
