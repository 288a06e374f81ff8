// Names between UTF-8 and UTF-16: every UTF-16 name, unpaired surrogates included, comes
// back unchanged, and bytes that are no UTF-8 are refused rather than guessed at.
#include "compat/utf16.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Units = std::vector<wchar_t>;

std::string to_utf8(const Units& units) {
  std::string out(compat::utf8_length(units.data(), units.size()), '\0');
  char* end = compat::write_utf8(units.data(), units.size(), out.data());
  EXPECT_EQ(end, out.data() + out.size());
  return out;
}

Units to_utf16(const std::string& bytes) {
  std::size_t length = compat::utf16_length(bytes.data(), bytes.size());
  if (length == compat::not_utf8) return {L'!'};
  Units out(length);
  wchar_t* end = compat::write_utf16(bytes.data(), bytes.size(), out.data());
  EXPECT_EQ(end, out.data() + out.size());
  return out;
}

TEST(Utf16, EveryNameConvertsToUtf8AndBack) {
  struct Case {
    const char* comment;
    Units units;
    std::string utf8;
  };
  const Case cases[] = {
      {"empty", {}, ""},
      {"ASCII", {L'a', L'/', L'.'}, "a/."},
      {"two bytes: accented Latin, Greek", {0xE9, 0x3A9}, "\xC3\xA9\xCE\xA9"},
      {"e and a combining acute stay two characters", {L'e', 0x301}, "e\xCC\x81"},
      {"three bytes: CJK", {0x65E5, 0x672C}, "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"a pair: an emoji outside the BMP", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {"the last character", {0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
      {"the edges of each length",
       {0x7F, 0x80, 0x7FF, 0x800, 0xFFFF},
       "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {"a lone high surrogate",
       {L'a', 0xD800, L'b'},
       "a\xED\xA0\x80"
       "b"},
      {"a lone low surrogate", {0xDC00}, "\xED\xB0\x80"},
      {"a high surrogate at the end", {0xD83D}, "\xED\xA0\xBD"},
      {"two high surrogates, then a pair",
       {0xD800, 0xD83D, 0xDE00},
       "\xED\xA0\x80\xF0\x9F\x98\x80"},
      {"reversed pair", {0xDE00, 0xD83D}, "\xED\xB8\x80\xED\xA0\xBD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_utf8(c.units), c.utf8) << c.comment;
    EXPECT_EQ(to_utf16(c.utf8), c.units) << c.comment;
  }
}

TEST(Utf16, BytesThatAreNoUtf8AreRefused) {
  const std::string cases[] = {
      "\x80",              // a continuation byte alone
      "a\xC3",             // a sequence cut short
      "\xE6\x97",          // a three-byte sequence cut short
      "\xC3(",             // a lead byte without its continuation
      "\xC0\xAF",          // an overlong "/"
      "\xE0\x80\xAF",      // another overlong "/"
      "\xF0\x80\x80\xAF",  // and another
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF8\x88\x80\x80\x80",
      "\xFF",
      "\xED\xA0\xBD\xED\xB8\x80",  // a surrogate pair encoded one by one: the emoji
  };
  for (const std::string& bytes : cases) {
    EXPECT_EQ(compat::utf16_length(bytes.data(), bytes.size()), compat::not_utf8) << bytes;
  }
}

TEST(Utf16, DecodeTakesOneCharacterAtATime) {
  struct Case {
    std::string bytes;
    std::size_t taken;
    char32_t value;
  };
  const Case cases[] = {
      {"ab", 1, U'a'},
      {"\xE6\x97\xA5x", 3, U'\x65E5'},
      {"\xF0\x9F\x98\x80", 4, U'\x1F600'},
      {"\xED\xA0\x80", 3, 0xD800},
      {"\xE6\x97", 0, 0},
  };
  for (const Case& c : cases) {
    char32_t value = 0;
    EXPECT_EQ(compat::decode_utf8(c.bytes.data(), c.bytes.size(), &value), c.taken) << c.bytes;
    EXPECT_EQ(value, c.value) << c.bytes;
  }
}

}  // namespace
