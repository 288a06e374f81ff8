// The matcher against the literal recursive algorithm on generated inputs: a seeded
// generator over the characters that mean something to the matcher, every flag
// combination, in the C locale and in C.UTF-8, in both encodings: the locale's (where it
// reads UTF-8, for the UTF-8 runs) and UTF-8; each given what the locale is known to do to
// ASCII and given nothing, and compat::fnmatch in the host's.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compat/fnmatch.h"
#include "compat/fnmatch_encoding.h"
#include "testing/fnmatch_reference.h"
#include "testing/words.h"

namespace {

using compat::Decoder;
using orva_testing::escaped;

// Pattern and string pieces: the special characters, letters in both cases, a two-byte
// UTF-8 letter in both cases (U+00E9, U+00C9), a CJK character, an emoji outside the Basic
// Multilingual Plane, a lone surrogate in its three-byte form (one character where names
// are UTF-8 whatever the locale, three bad bytes in C.UTF-8), a byte that starts no valid
// sequence, and a UTF-8 lead byte on its own.
// clang-format off
const char* const pieces[] = {
    "*", "*", "?", "[", "]", "!", "^", "-", "\\", "/", "/", ".", "a", "b", "A", "B", "z", "a",
    ":", "[", "\xc3\xa9", "\xc3\x89", "\xe6\x97\xa5", "\xf0\x9f\x98\x80", "\xed\xa0\x80", "\xff", "\xc3"};
// clang-format on
constexpr std::size_t piece_count = sizeof pieces / sizeof pieces[0];

// xorshift64*: small, fast and the same on every host.
struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1DULL;
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() >> 33) % n; }
};

const char* random_piece(Random* random) { return pieces[random->below(piece_count)]; }

void append_random(Random* random, std::string* text, std::size_t max_pieces) {
  std::size_t n = random->below(max_pieces + 1);
  for (std::size_t i = 0; i < n; ++i) *text += random_piece(random);
}

// A bracket expression of one to three members, single pieces or ranges, in `pattern`;
// in `string` one of its member ends (range ends are where off-by-one faults hide) or,
// now and then, any piece.
void append_bracket(Random* random, std::string* pattern, std::string* string) {
  *pattern += '[';
  if (random->below(3) == 0) *pattern += random->below(2) == 0 ? '!' : '^';
  const char* chosen = random_piece(random);
  for (std::size_t n = 1 + random->below(3); n > 0; --n) {
    const char* low = random_piece(random);
    *pattern += low;
    if (random->below(2) == 0) chosen = low;
    if (random->below(2) == 0) continue;
    const char* high = random_piece(random);
    *pattern += '-';
    *pattern += high;
    if (random->below(2) == 0) chosen = high;
  }
  if (random->below(8) != 0) *pattern += ']';
  *string += chosen;
}

// One piece of pattern, and in `string` something that matches it or nearly does: the
// piece itself (swapped in case now and then), a few random pieces for a star, one for a
// question mark or a bracket, or nothing or a random piece by mistake.
void append_piece(Random* random, std::string* pattern, std::string* string) {
  if (random->below(6) == 0) return append_bracket(random, pattern, string);
  const char* piece = random_piece(random);
  *pattern += piece;
  std::size_t mistake = random->below(12);
  if (mistake == 0) return;
  if (mistake == 1 || *piece == '?') {
    *string += random_piece(random);
  } else if (*piece == '*') {
    append_random(random, string, 3);
  } else if (*piece >= 'a' && *piece <= 'z' && random->below(3) == 0) {
    *string += static_cast<char>(*piece - 'a' + 'A');
  } else {
    *string += piece;
  }
}

// A pattern of up to seven pieces, with a string built along it so that a good share of
// the pairs match or nearly match; a third of the strings are random instead.
void generate(Random* random, std::string* pattern, std::string* string) {
  pattern->clear();
  string->clear();
  for (std::size_t n = random->below(8); n > 0; --n) append_piece(random, pattern, string);
  if (random->below(3) != 0) return;
  string->clear();
  append_random(random, string, 8);
}

const char* decoder_name(Decoder decoder) {
  return decoder == Decoder::utf8 ? "UTF-8" : "the locale's encoding";
}

// The matcher in `decoder`, given what the locale is known to do to ASCII and given
// nothing, and compat::fnmatch where it uses that decoder, against the reference: true
// where all agree; else adds a failure for each that does not, printing the case.
bool agree(const std::string& pattern, const std::string& string, int flags, Decoder decoder) {
  const char* p = pattern.c_str();
  const char* s = string.c_str();
  const int expected = orva_testing::reference_fnmatch(p, s, flags, decoder);
  const struct {
    const char* name;
    int result;
  } runs[] = {
      {"", compat::fnmatch_in(p, s, flags, {decoder, true})},
      {", nothing known of ASCII", compat::fnmatch_in(p, s, flags, {decoder, false})},
      {", compat::fnmatch",
       decoder == orva_testing::host_decoder ? compat::fnmatch(p, s, flags) : expected},
  };
  bool agreed = true;
  for (const auto& run : runs) {
    if (run.result == expected) continue;
    agreed = false;
    ADD_FAILURE() << "pattern \"" << escaped(pattern) << "\" string \"" << escaped(string)
                  << "\" flags " << flags << " in " << decoder_name(decoder) << run.name << ": got "
                  << run.result << ", reference " << expected;
  }
  return agreed;
}

// Runs `rounds` generated pairs through all 32 flag combinations in each of `decoders`;
// returns the number of pairs and flags compared, and fails the test (printing the first
// few mismatches) on differences.
std::size_t compare_generated(std::uint64_t seed, std::size_t rounds,
                              const std::vector<Decoder>& decoders) {
  Random random{seed};
  std::size_t comparisons = 0;
  int mismatches = 0;
  std::string pattern;
  std::string string;
  for (std::size_t round = 0; round < rounds && mismatches < 10; ++round) {
    generate(&random, &pattern, &string);
    for (int flags = 0; flags < 32; ++flags) {
      ++comparisons;
      for (Decoder decoder : decoders) {
        if (!agree(pattern, string, flags, decoder)) ++mismatches;
      }
    }
  }
  return comparisons;
}

// A million comparisons per locale; the inputs are short so that the reference's recursion
// stays cheap, and the two locales take a few seconds even with sanitizers.
constexpr std::size_t rounds_per_locale = 32000;

TEST(FnmatchCompare, GeneratedInputsInTheCLocale) {
  orva_testing::ScopedLocale c_locale("C");
  ASSERT_TRUE(c_locale.ok());
  const std::vector<Decoder> both{Decoder::locale, Decoder::utf8};
  EXPECT_GE(compare_generated(0x243F6A8885A308D3ULL, rounds_per_locale, both), 1000000u);
}

TEST(FnmatchCompare, GeneratedInputsInCUtf8) {
  orva_testing::ScopedUtf8Locale utf8;
  EXPECT_GE(compare_generated(0x13198A2E03707344ULL, rounds_per_locale, utf8.decoders()), 1000000u);
}

// A UTF-8 locale whose towlower is not plain ASCII (Turkish lowers I to U+0131): ASCII
// still decodes directly, but every case fold goes through towlower.
TEST(FnmatchCompare, GeneratedInputsInATurkishLocale) {
  orva_testing::ScopedLocale turkish("tr_TR.UTF-8");
  if (!turkish.ok()) GTEST_SKIP() << "no tr_TR.UTF-8 locale";
  const std::vector<Decoder> both{Decoder::locale, Decoder::utf8};
  EXPECT_GE(compare_generated(0xA4093822299F31D0ULL, rounds_per_locale / 4, both), 250000u);
}

// Every pattern of up to four pieces from a small alphabet, against every string of up
// to two characters from another, under every flag combination but FNM_CASEFOLD (the
// alphabet has no case): the corners a random generator may miss.
TEST(FnmatchCompare, ExhaustiveShortInputsInCUtf8) {
  orva_testing::ScopedUtf8Locale utf8;
  const char* const pattern_alphabet[] = {"*", "?", "[", "]", "!", "-", "\\", "/", ".", "a"};
  const char* const string_alphabet[] = {"a", "/", ".", "]", "\xff"};
  const std::vector<std::string> patterns = orva_testing::words(pattern_alphabet, 4);
  const std::vector<std::string> strings = orva_testing::words(string_alphabet, 2);
  const std::vector<Decoder> decoders = utf8.decoders();
  int mismatches = 0;
  for (const std::string& pattern : patterns) {
    for (const std::string& string : strings) {
      for (int flags = 0; flags < compat::FNM_CASEFOLD && mismatches < 10; ++flags) {
        for (Decoder decoder : decoders) {
          if (!agree(pattern, string, flags, decoder)) ++mismatches;
        }
      }
    }
  }
}

}  // namespace
