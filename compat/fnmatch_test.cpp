// The behaviours of compat::fnmatch that carry meaning, as tables. Each case runs in both
// encodings where it holds for both, and also through the reference matcher, so a table
// and the reference cannot drift apart; fnmatch_compare_test.cpp covers everything else on
// generated inputs.
#include "compat/fnmatch.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compat/fnmatch_encoding.h"
#include "compat/fnmatch_locale.h"
#include "testing/alloc_fault.h"
#include "testing/fnmatch_reference.h"
#include "testing/host.h"

namespace {

using compat::Decoder;
using compat::FNM_CASEFOLD;
using compat::FNM_LEADING_DIR;
using compat::FNM_NOESCAPE;
using compat::FNM_NOMATCH;
using compat::FNM_PATHNAME;
using compat::FNM_PERIOD;
using orva_testing::escaped;

constexpr int yes = 0;
constexpr int no = FNM_NOMATCH;

struct Case {
  const char* pattern;
  const char* string;
  int flags;
  int expected;
};

// A case-folded match of a character that has another case beyond ASCII: whether it holds
// is the runtime's towlower's to say (C.UTF-8 folds every letter, the Windows runtime's C
// locale ASCII only); the matcher must agree with it.
int if_towlower_takes(wint_t from, wint_t to) { return std::towlower(from) == to ? yes : no; }

// Runs each case through the matcher with each of `decoders`, given what the locale is
// known to do to ASCII and given nothing (every fold asked of towlower, and every
// character decoded but in UTF-8), and through the reference; and through compat::fnmatch
// with the host's.
template <std::size_t N>
void expect_cases(const Case (&cases)[N],
                  const std::vector<Decoder>& decoders = {Decoder::locale, Decoder::utf8}) {
  for (const Case& c : cases) {
    SCOPED_TRACE("pattern \"" + escaped(c.pattern) + "\" string \"" + escaped(c.string) +
                 "\" flags " + std::to_string(c.flags));
    for (Decoder decoder : decoders) {
      SCOPED_TRACE(decoder == Decoder::utf8 ? "UTF-8" : "the locale's encoding");
      if (decoder == orva_testing::host_decoder) {
        EXPECT_EQ(compat::fnmatch(c.pattern, c.string, c.flags), c.expected);
      }
      for (bool ask_locale : {true, false}) {
        EXPECT_EQ(compat::fnmatch_in(c.pattern, c.string, c.flags, {decoder, ask_locale}),
                  c.expected)
            << (ask_locale ? "" : "nothing known of ASCII");
      }
      EXPECT_EQ(orva_testing::reference_fnmatch(c.pattern, c.string, c.flags, decoder), c.expected);
    }
  }
}

TEST(Fnmatch, FlagValuesAreOurOwn) {
  EXPECT_EQ(FNM_NOMATCH, 1);
  EXPECT_EQ(FNM_NOESCAPE, 0x01);
  EXPECT_EQ(FNM_PATHNAME, 0x02);
  EXPECT_EQ(FNM_PERIOD, 0x04);
  EXPECT_EQ(FNM_LEADING_DIR, 0x08);
  EXPECT_EQ(FNM_CASEFOLD, 0x10);
}

TEST(Fnmatch, WildcardsAndLiterals) {
  const Case cases[] = {
      {"", "", 0, yes},
      {"", "a", 0, no},
      {"*", "", 0, yes},
      {"*", "", FNM_PATHNAME, yes},
      {"***", "abc", 0, yes},  // a run of stars acts as one
      {"?", "", 0, no},
      {"?", "a", 0, yes},
      {"??", "a", 0, no},
      {"a*c", "abbbc", 0, yes},
      {"a*c", "abbbd", 0, no},
      {"*.c", "src/foo/bar.c", 0, yes},
      {"*a*a*b", "aaaaaaaa", 0, no},
      {"*a*a*b", "aaaaaaab", 0, yes},
      {"a?c", "abc", 0, yes},
      {"abc", "abcd", 0, no},
      {"abcd", "abc", 0, no},
      // Bits above FNM_CASEFOLD are ignored.
      {"*", "a/b", 0x7fe0, yes},
      {"a", "A", 0x7fe0, no},
  };
  expect_cases(cases);
}

TEST(Fnmatch, PathnameKeepsWildcardsInsideOneComponent) {
  const Case cases[] = {
      {"*", "a/b", FNM_PATHNAME, no},
      {"*", "a/b", 0, yes},
      {"a*/b", "axx/b", FNM_PATHNAME, yes},
      {"a*/b", "ax/y/b", FNM_PATHNAME, no},
      {"a*/b", "ax/y/b", 0, yes},
      {"*/*.h", "include/x.h", FNM_PATHNAME, yes},
      {"*/*.h", "include/sub/x.h", FNM_PATHNAME, no},
      {"*/b", "abc", FNM_PATHNAME, no},  // a star before a slash that the string lacks
      {"a/*", "a/", FNM_PATHNAME, yes},
      {"?", "/", FNM_PATHNAME, no},
      {"?", "/", 0, yes},
      {"a\\/b", "a/b", FNM_PATHNAME, yes},  // an escaped slash is still a literal slash
      {"*c", "ab/c", FNM_PATHNAME, no},
      {"*c", "ab/c", 0, yes},
  };
  expect_cases(cases);
}

TEST(Fnmatch, PathnameSlashInsideBracketExpressions) {
  const Case cases[] = {
      {"[/]", "/", FNM_PATHNAME, no},
      {"[/]", "/", 0, yes},
      // An unescaped slash anywhere in the list spoils the whole expression.
      {"[a/]", "a", FNM_PATHNAME, no},
      {"[a/]", "a", 0, yes},
      {"[!/]", "a", FNM_PATHNAME, no},
      // An escaped slash is an ordinary member, but a slash in the string is never matched.
      {"[a\\/]", "a", FNM_PATHNAME, yes},
      {"[\\/]", "/", FNM_PATHNAME, no},
      {"[\\/]", "/", 0, yes},
  };
  expect_cases(cases);
}

TEST(Fnmatch, LeadingDirMatchesBeforeASlash) {
  const Case cases[] = {
      {"a*", "a/b", FNM_PATHNAME | FNM_LEADING_DIR, yes},
      {"a*", "a/b", FNM_PATHNAME, no},
      {"a", "a/b", FNM_LEADING_DIR, yes},
      {"a", "a/b", 0, no},
      {"a", "ab/c", FNM_LEADING_DIR, no},
      {"a/b", "a/b/c/d", FNM_LEADING_DIR, yes},
      {"a/b", "a/bc/d", FNM_LEADING_DIR, no},
      {"a?", "ax/y", FNM_PATHNAME | FNM_LEADING_DIR, yes},
      {"*b", "ab/c", FNM_PATHNAME | FNM_LEADING_DIR, yes},
      // The star's later positions are still tried after an early end of pattern fails.
      {"*x", "ax/bx/c", FNM_LEADING_DIR, yes},
      {"*x", "ax/bx/c", FNM_PATHNAME | FNM_LEADING_DIR, yes},
  };
  expect_cases(cases);
}

TEST(Fnmatch, PeriodHidesALeadingPeriod) {
  constexpr int path_period = FNM_PATHNAME | FNM_PERIOD;
  const Case cases[] = {
      {"*", ".profile", FNM_PERIOD, no},
      {"*", ".profile", 0, yes},
      {"?profile", ".profile", FNM_PERIOD, no},
      {"[.]profile", ".profile", FNM_PERIOD, no},
      {"[!a]profile", ".profile", FNM_PERIOD, no},
      {"*.c", ".c", FNM_PERIOD, no},  // even where the star would match nothing
      {".*", ".profile", FNM_PERIOD, yes},
      {"\\.*", ".profile", FNM_PERIOD, yes},
      {"a*", "a.b", FNM_PERIOD, yes},  // not at a leading position
      {"x/*", "x/.y", path_period, no},
      {"x/?y", "x/.y", path_period, no},
      {"x/[.]y", "x/.y", path_period, no},
      {"x/.*", "x/.y", path_period, yes},
      {"a/*", "a/.b", FNM_PERIOD, yes},  // without FNM_PATHNAME only the very start counts
      // A later star meets a leading period after the earlier star has jumped a slash.
      {"a*/*", "ab/.c", path_period, no},
      {"a*/*", "ab/c", path_period, yes},
      {"*b/*", "abb/.c", path_period, no},
      {"*b/.*", "abb/.c", path_period, yes},
      {"*", ".a/b", FNM_LEADING_DIR | FNM_PERIOD, no},
      {"a*", "a/.b", path_period | FNM_LEADING_DIR, yes},
  };
  expect_cases(cases);
}

TEST(Fnmatch, CasefoldLowersBothSides) {
  const Case cases[] = {
      {"[a-z]", "M", FNM_CASEFOLD, yes},
      {"[a-z]", "M", 0, no},
      {"[A-Z]", "m", FNM_CASEFOLD, yes},
      {"ab", "AB", FNM_CASEFOLD, yes},
      {"ab", "AB", 0, no},
      {"*.C", "main.c", FNM_CASEFOLD, yes},
      {"[!x]", "X", FNM_CASEFOLD, no},
  };
  expect_cases(cases);
}

TEST(Fnmatch, BracketExpressions) {
  const Case cases[] = {
      {"[]a]", "]", 0, yes},  // a leading ']' is a member
      {"[]a]", "a", 0, yes},      {"[]a]", "b", 0, no},      {"[!]a]", "]", 0, no},
      {"[!]a]", "b", 0, yes},     {"[^]a]", "]", 0, no},     {"[^]a]", "b", 0, yes},
      {"[a-]", "-", 0, yes},                               // a '-' before ']' is a member
      {"[-a]", "-", 0, yes},      {"[z-a]", "m", 0, no},   // a reversed range matches nothing
      {"[z-a]", "z", 0, no},      {"[a-c]", "a", 0, yes},  // both ends belong to the range
      {"[a-c]", "c", 0, yes},     {"[a-c]", "d", 0, no},     {"[a-cx-z]", "y", 0, yes},
      {"[a-cx-z]", "d", 0, no},   {"[--0]", ".", 0, yes},  // '-' may start a range
      {"[:alpha:]", "a", 0, yes},  // no character classes: ':' and letters are members
      {"[:alpha:]", ":", 0, yes}, {"[:alpha:]", "x", 0, no}, {"[[]", "[", 0, yes},
      {"[a-]]", "]", 0, no},  // the list ends at the first ']', and "]" must follow
      {"[a-]]", "-]", 0, yes},
  };
  expect_cases(cases);
}

TEST(Fnmatch, EscapesInsideBracketExpressions) {
  const Case cases[] = {
      {"[\\]]", "]", 0, yes},  // an escaped ']' does not end the list
      {"[!\\]]", "]", 0, no},
      {"[!\\]]", "a", 0, yes},
      {"[\\!a]", "!", 0, yes},   // an escaped '!' does not negate
      {"[a\\-z]", "-", 0, yes},  // an escaped '-' makes no range
      {"[a\\-z]", "m", 0, no},
      {"[a-\\z]", "m", 0, yes},  // an escaped range end
      {"[\\a-c]", "b", 0, yes},  // an escaped range start
      {"[\\]", "\\", FNM_NOESCAPE, yes},
      {"[\\]", "[]", 0, yes},  // unterminated: "[" and an escaped "]"
      {"[\\]", "\\", 0, no},
      {"[a\\", "[a", 0, yes},  // the list's escape takes the end of the pattern
      {"[\\a-\\c]", "b", 0, yes},
      {"[!\\]]*", "a]", 0, yes},
  };
  expect_cases(cases);
}

TEST(Fnmatch, UnterminatedBracketIsLiteral) {
  const Case cases[] = {
      {"[ab", "[ab", 0, yes},
      {"[ab", "a", 0, no},
      {"[", "[", 0, yes},
      {"[!", "[!", 0, yes},
      {"[*", "[anything", 0, yes},  // what follows the '[' is ordinary pattern text
      {"[?", "[x", 0, yes},
      {"[a-\\", "[a-", 0, yes},  // the range end escapes the pattern's end
      {"[A", "[a", FNM_CASEFOLD, yes},
      {"*[", "x[", 0, yes},
      // The first '[' reads "!-/" as a range; the second reads '!' as its negation and then
      // meets the slash as a member.
      {"[[!-/", "[[!-/", 0, yes},
      {"[[!-/", "[[!-/", FNM_PATHNAME, no},
      {"*[[[", "[[[[[", 0, yes},
  };
  expect_cases(cases);
}

TEST(Fnmatch, BackslashEscapes) {
  const Case cases[] = {
      {"\\*", "*", 0, yes},
      {"\\*", "a", 0, no},
      {"\\*", "\\abc", FNM_NOESCAPE, yes},
      {"\\*", "*", FNM_NOESCAPE, no},
      {"\\?", "?", 0, yes},
      {"\\?", "x", 0, no},
      {"\\[a]", "[a]", 0, yes},
      {"\\\\", "\\", 0, yes},
      // A final backslash escapes the end of the pattern: it matches the end of the string.
      {"a\\", "a", 0, yes},
      {"a\\", "a\\", 0, no},
      {"a\\", "a\\", FNM_NOESCAPE, yes},
      {"a\\", "a", FNM_NOESCAPE, no},
      {"*\\", "x", 0, yes},
      {"*\\", "", 0, no},  // a star before more pattern needs a character
  };
  expect_cases(cases);
}

TEST(Fnmatch, Utf8TextIsMatchedByCharacter) {
  orva_testing::ScopedUtf8Locale utf8;
  const char e_acute[] = "\xc3\xa9";     // U+00E9
  const char e_acute_up[] = "\xc3\x89";  // U+00C9
  const Case cases[] = {
      {"?", e_acute, 0, yes},
      {"??", e_acute, 0, no},
      {"[\xc3\xa9]", e_acute, 0, yes},
      {"[\xc3\xa0-\xc3\xaa]", e_acute, 0, yes},  // U+00E0 to U+00EA
      {"[!\xc3\xa9]", e_acute, 0, no},
      // ASCII lists against a non-ASCII character, and mixed lists against ASCII.
      {"[!a]", e_acute, 0, yes},
      {"[a-z]", e_acute, 0, no},
      {"[\xc3\xa9x]", "x", 0, yes},
      {"[x-\xc3\xa9]", "y", 0, yes},
      {"a[b-]", "a\xc3\xa9", 0, no},
      {"\xc3\xa9", e_acute_up, 0, no},
      {"\xc3\xa9", e_acute_up, FNM_CASEFOLD, if_towlower_takes(0xc9, 0xe9)},
      {"*\xc3\xa9", "caf\xc3\xa9", 0, yes},
      {"\\\xc3\xa9", e_acute, 0, yes},
      // A string byte that starts no valid sequence is one character of its own value.
      {"?", "\xff", 0, yes},
      {"*", "\xff", 0, yes},
      {"a?b",
       "a\xff"
       "b",
       0, yes},
      {"??",
       "\xc3"
       "a",
       0, yes},  // a lead byte without its continuation
      {"?",
       "\xc3"
       "a",
       0, no},
      {"\xc3\xa9", "\xe9", 0, yes},  // U+00E9 against the lone byte 0xE9
      {"?", "\xc0\xaf", 0, no},      // an overlong '/' is two bad bytes
      {"??", "\xc0\xaf", 0, yes},
      {"?", "\xf0\x9f\x98", 0, no},  // an emoji cut short is three bad bytes
      {"???", "\xf0\x9f\x98", 0, yes},
      // A pattern with an invalid sequence matches nothing, not even itself.
      {"\xff", "\xff", 0, no},
      {"*\xff", "a\xff", 0, no},
      {"[\xff]", "\xff", 0, no},
      {"[a-\xff]", "b", 0, no},
      {"\\\xff", "\xff", 0, no},
      {"\xc3", "\xc3", 0, no},
      {"a\xff", "b", 0, no},
      {"\xc0\xaf", "\xc0\xaf", 0, no},
  };
  expect_cases(cases, utf8.decoders());
}

// Characters of three and four bytes: CJK, and an emoji outside the Basic Multilingual
// Plane, each one character however many bytes, on every host.
TEST(Fnmatch, CjkAndEmojiAreOneCharacterEach) {
  orva_testing::ScopedUtf8Locale utf8;
  const char japanese[] = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";  // U+65E5 U+672C U+8A9E
  const char grin[] = "\xf0\x9f\x98\x80";                          // U+1F600
  const Case cases[] = {
      {"?", "\xe6\x97\xa5", 0, yes},
      {"???", japanese, 0, yes},
      {"??", japanese, 0, no},
      {"*\xe6\x9c\xac*", japanese, 0, yes},
      {"[\xe6\x97\xa5\xe6\x9c\xac]?\xe8\xaa\x9e", japanese + 3, 0, no},
      {"?[\xe6\x97\xa5\xe6\x9c\xac]\xe8\xaa\x9e", japanese, 0, yes},
      {"?", grin, 0, yes},
      {"a?b",
       "a\xf0\x9f\x98\x80"
       "b",
       0, yes},
      {"[\xf0\x9f\x98\x80-\xf0\x9f\x98\x8f]", "\xf0\x9f\x98\x81", 0, yes},  // U+1F601
      {"*[!\xf0\x9f\x98\x80]", "x\xf0\x9f\x98\x80", 0, no},
      {"\xf0\x9f\x98\x80", grin, FNM_CASEFOLD, yes},
      {"x/*", "x/\xf0\x9f\x98\x80.txt", FNM_PATHNAME | FNM_PERIOD, yes},
  };
  expect_cases(cases, utf8.decoders());
}

// Where names are UTF-8 whatever the locale (the Windows host, Decoder::utf8), an unpaired
// surrogate comes in its three-byte form and is one character; anything else that is no
// UTF-8 character stands for itself byte by byte. (In a UTF-8 locale mbrtowc decides.)
TEST(Fnmatch, LoneSurrogatesAreOneCharacterWhereNamesAreUtf8) {
  const char high[] = "\xed\xa0\x80";  // U+D800
  const char low[] = "\xed\xbf\xbf";   // U+DFFF
  const Case cases[] = {
      {"?", high, 0, yes},
      {"??", high, 0, no},
      {"a?b",
       "a\xed\xbf\xbf"
       "b",
       0, yes},
      {high, high, 0, yes},
      {high, low, 0, no},
      {"[\xed\xa0\x80-\xed\xbf\xbf]", "\xed\xb2\x80", 0, yes},
      {"[\xed\xa0\x80-\xed\xbf\xbf]", "\xee\x80\x80", 0, no},  // U+E000
      {"??", "\xed\xa0\xbd\xed\xb8\x80", 0, yes},              // a pair written as two is two
      {"????", "\xf4\x90\x80\x80", 0, yes},                    // above U+10FFFF: four bad bytes
      {"?", "\xf5\x80\x80\x80", 0, no},
  };
  expect_cases(cases, {Decoder::utf8});
}

// glibc's C locale is ASCII: every byte from 0x80 up is an invalid sequence. (The Windows
// runtime's C locale decodes every byte to itself instead.)
bool high_bytes_are_invalid() {
  std::mbstate_t state{};
  wchar_t c = 0;
  return std::mbrtowc(&c, "\xc3", 1, &state) == static_cast<std::size_t>(-1);
}

TEST(Fnmatch, CLocaleTreatsHighBytesAsInvalid) {
  orva_testing::ScopedLocale c_locale("C");
  ASSERT_TRUE(c_locale.ok());
  if (!high_bytes_are_invalid()) GTEST_SKIP() << "this C locale decodes every byte";
  const Case cases[] = {
      {"??", "\xc3\xa9", 0, yes},  // two bytes, two characters
      {"?", "\xc3\xa9", 0, no},        {"*", "\xc3\xa9", 0, yes},
      {"\xc3\xa9", "\xc3\xa9", 0, no}, {"*.c", "src/foo/bar.c", 0, yes},
  };
  expect_cases(cases, {Decoder::locale});
}

// The matcher decodes and folds ASCII itself where locale_ascii vouches for the locale; in
// the locales it vouches for by name, that must agree with mbrtowc and towlower byte for byte.
TEST(Fnmatch, LocaleAsciiClaimsHoldForEveryByte) {
  for (const char* name : {"C", "POSIX", "C.UTF-8", "C.utf8"}) {
    orva_testing::ScopedLocale locale(name);
    if (!locale.ok()) continue;
    SCOPED_TRACE(name);
    // The Windows host vouches for no locale, which is always exact; nothing to hold it to.
    if (orva_testing::windows_host) {
      EXPECT_FALSE(compat::locale_ascii().decodes_to_itself);
      EXPECT_FALSE(compat::locale_ascii().case_is_plain);
      continue;
    }
    ASSERT_TRUE(compat::locale_ascii().decodes_to_itself);
    ASSERT_TRUE(compat::locale_ascii().case_is_plain);
    for (int byte = 0; byte < 0x80; ++byte) {
      const char text[2] = {static_cast<char>(byte), '\0'};
      std::mbstate_t state{};
      wchar_t c = L'?';
      std::size_t length = std::mbrtowc(&c, text, 1, &state);
      EXPECT_EQ(length, byte == 0 ? 0u : 1u) << byte;
      EXPECT_EQ(static_cast<int>(c), byte);
      EXPECT_NE(std::mbsinit(&state), 0) << byte;
      const int plain_lower = byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
      EXPECT_EQ(static_cast<int>(std::towlower(static_cast<wint_t>(byte))), plain_lower) << byte;
    }
  }
}

// A star followed by an ASCII digit or punctuation skips non-ASCII characters even under
// FNM_CASEFOLD: no character from 0x80 up folds to an ASCII character but a letter. (The
// matcher folds only the values that towlower takes: up to U+FFFF on the Windows host.)
TEST(Fnmatch, OnlyLettersAreFoldsOfNonAsciiCharacters) {
  orva_testing::ScopedUtf8Locale utf8;
  const unsigned end = std::min(0x110000u, std::numeric_limits<wint_t>::max() + 1u);
  for (unsigned c = 0x80; c < end; ++c) {
    const wint_t lower = std::towlower(static_cast<wint_t>(c));
    if (lower < 0x80) {
      EXPECT_TRUE((lower >= 'a' && lower <= 'z')) << std::hex << c << " folds to " << lower;
    }
  }
}

// Where the first element after a star is known, positions that cannot begin a match are
// skipped, and at the rest the element is taken as matched; these are the cases where a
// byte from 0x80 up must still stop the skipping, or where the element is unusual.
TEST(Fnmatch, StarSkipsOnlyPositionsThatCannotMatch) {
  orva_testing::ScopedUtf8Locale utf8;
  const char kelvin[] = "x\xe2\x84\xaa";  // x, U+212A KELVIN SIGN: C.UTF-8's towlower gives 'k'
  const int kelvin_folds = if_towlower_takes(0x212a, 'k');
  const Case cases[] = {
      {"*k", kelvin, FNM_CASEFOLD, kelvin_folds},
      {"*K", kelvin, FNM_CASEFOLD, kelvin_folds},
      {"*k", kelvin, 0, no},
      {"*[j-l]", kelvin, FNM_CASEFOLD, kelvin_folds},
      {"*[j-l]", kelvin, 0, no},
      {"*[!a]", "a\xc3\xa9", 0, yes},          // a negated list takes any non-ASCII character
      {"*[a-\xc3\xa9]", "-\xc3\xa0", 0, yes},  // a range that ends beyond ASCII
      {"*[a-\xc3\xa9]b",
       "\xc3\xa0\xc3\xa9"
       "b",
       0, yes},
      {"*[ab", "x[ab", 0, yes},  // an unterminated '[' is the literal '['
      {"*[ab", "xab", 0, no},
      {"*\\*", "ab*", 0, yes},  // an escaped star is a literal
      {"*\\*", "ab", 0, no},
      {"*.c", "a.b.c", 0, yes},  // the later '.' is tried after the first
      {"*.C", "A.B.C", FNM_CASEFOLD, yes},
      {"*/x", "a/b/x", FNM_PATHNAME, no},  // the skipping stops at a slash
      {"*x", "a/b/x", FNM_PATHNAME, no},
      {"*[x/]", "ax", FNM_PATHNAME, no},
      {"*[0-9]", "abc123", 0, yes},
      {"*[0-9]", "abc12x", 0, no},
      {"*[!0-9]", "123", 0, no},
      {"*\xc3\xa9", "caf\xc3\xa9", 0, yes},  // a non-ASCII first element: no skipping
  };
  expect_cases(cases, utf8.decoders());
}

// A locale that lowers an ASCII letter to something else: Turkish takes I to U+0131.
// The matcher must then ask towlower, not fold ASCII itself.
TEST(Fnmatch, CasefoldFollowsTowlowerInATurkishLocale) {
  orva_testing::ScopedLocale turkish("tr_TR.UTF-8");
  if (!turkish.ok()) GTEST_SKIP() << "no tr_TR.UTF-8 locale";
  EXPECT_FALSE(compat::locale_ascii().case_is_plain);
  const Case cases[] = {
      {"I", "\xc4\xb1", FNM_CASEFOLD, yes},  // U+0131 dotless i
      {"I", "i", FNM_CASEFOLD, no},
      {"*I", "xi", FNM_CASEFOLD, no},
      {"*I", "x\xc4\xb1", FNM_CASEFOLD, yes},
      {"[H-J]", "i", FNM_CASEFOLD, yes},  // the range is h to j, and i is between
      {"*[I]", "xi", FNM_CASEFOLD, no},
  };
  expect_cases(cases);
}

TEST(Fnmatch, ManyStarRunsNeitherRecurseNorBacktrack) {
  // 100,000 star runs: a recursion per star would exhaust the stack, and backtracking over
  // every star would never finish. 20,000 unterminated brackets: a scan of each to the end
  // of the pattern, again at every star, would not finish either. Through compat::fnmatch,
  // and through the general step alone (nothing known of the locale's ASCII).
  std::string pattern;
  for (int i = 0; i < 100000; ++i) pattern += "*a";
  std::string string(200000, 'a');
  std::string brackets;
  for (int i = 0; i < 20000; ++i) brackets += "*[";
  const std::string opening(40000, '[');
  for (bool general : {false, true}) {
    SCOPED_TRACE(general ? "general step" : "compat::fnmatch");
    auto run = [general](const std::string& p, const std::string& s, int flags) {
      if (!general) return compat::fnmatch(p.c_str(), s.c_str(), flags);
      return compat::fnmatch_in(p.c_str(), s.c_str(), flags, {Decoder::locale, false});
    };
    EXPECT_EQ(run(pattern, string, 0), yes);
    EXPECT_EQ(run(pattern + "b", string, 0), no);
    EXPECT_EQ(run(pattern + "b", string, FNM_PATHNAME), no);
    EXPECT_EQ(run(brackets, opening, 0), yes);
    EXPECT_EQ(run(brackets + "b", opening, 0), no);
  }
}

TEST(Fnmatch, NeverAllocates) {
  orva_testing::alloc_fault::reset_count();
  compat::fnmatch("*[a-z]?\\x*\xc3\xa9", "abc/x\xc3\xa9", FNM_CASEFOLD);
  compat::fnmatch("*/*[!a", "x/[!ay", FNM_PATHNAME | FNM_PERIOD);
  EXPECT_EQ(orva_testing::alloc_fault::count(), 0u);
}

}  // namespace
