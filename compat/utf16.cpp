#include "compat/utf16.h"

namespace compat {

namespace {

constexpr char32_t surrogate_first = 0xD800;
constexpr char32_t low_surrogate_first = 0xDC00;
constexpr char32_t surrogate_last = 0xDFFF;
constexpr char32_t last_character = 0x10FFFF;

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

bool is_high_surrogate(char32_t unit) {
  return unit >= surrogate_first && unit < low_surrogate_first;
}

bool is_low_surrogate(char32_t unit) {
  return unit >= low_surrogate_first && unit <= surrogate_last;
}

// The value of a surrogate pair that starts at text[i], or 0 when none does.
char32_t pair_at(const wchar_t* text, std::size_t length, std::size_t i) {
  auto high = static_cast<char32_t>(text[i]);
  if (!is_high_surrogate(high) || i + 1 >= length) return 0;
  auto low = static_cast<char32_t>(text[i + 1]);
  if (!is_low_surrogate(low)) return 0;
  return 0x10000 + ((high - surrogate_first) << 10) + (low - low_surrogate_first);
}

std::size_t encoded_length(char32_t value) {
  if (value < 0x80) return 1;
  if (value < 0x800) return 2;
  if (value < 0x10000) return 3;
  return 4;
}

char* encode(char32_t value, char* out) {
  std::size_t length = encoded_length(value);
  if (length == 1) {
    *out++ = static_cast<char>(value);
    return out;
  }
  static constexpr unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (std::size_t i = length - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (value & 0x3F));
    value >>= 6;
  }
  out[0] = static_cast<char>(lead[length] | value);
  return out + length;
}

}  // namespace

std::size_t decode_utf8(const char* text, std::size_t length, char32_t* value) {
  auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) {
    *value = lead;
    return 1;
  }
  // The lead byte gives the length and the smallest value that length may carry.
  std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (size == 0 || lead >= 0xF8 || size > length) return 0;
  char32_t decoded = lead & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (!is_continuation(byte)) return 0;
    decoded = (decoded << 6) | (byte & 0x3F);
  }
  if (decoded < smallest[size] || decoded > last_character) return 0;
  *value = decoded;
  return size;
}

std::size_t utf8_length(const wchar_t* text, std::size_t length) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < length; ++i) {
    char32_t pair = pair_at(text, length, i);
    if (pair != 0) {
      bytes += 4;
      ++i;
    } else {
      bytes += encoded_length(static_cast<char32_t>(text[i]));
    }
  }
  return bytes;
}

char* write_utf8(const wchar_t* text, std::size_t length, char* out) {
  for (std::size_t i = 0; i < length; ++i) {
    char32_t pair = pair_at(text, length, i);
    if (pair != 0) {
      out = encode(pair, out);
      ++i;
    } else {
      out = encode(static_cast<char32_t>(text[i]), out);
    }
  }
  return out;
}

// A high surrogate encoded alone and a low one right after it would make a pair in UTF-16
// and so come back as the four-byte form: two texts for one name. Only the four-byte form
// is taken.
std::size_t utf16_length(const char* text, std::size_t length) {
  std::size_t units = 0;
  char32_t value = 0;
  bool after_high_surrogate = false;
  for (std::size_t i = 0; i < length;) {
    std::size_t size = decode_utf8(text + i, length - i, &value);
    if (size == 0 || (after_high_surrogate && is_low_surrogate(value))) return not_utf8;
    after_high_surrogate = is_high_surrogate(value);
    units += value >= 0x10000 ? 2 : 1;
    i += size;
  }
  return units;
}

wchar_t* write_utf16(const char* text, std::size_t length, wchar_t* out) {
  char32_t value = 0;
  for (std::size_t i = 0; i < length;) {
    i += decode_utf8(text + i, length - i, &value);
    if (value >= 0x10000) {
      value -= 0x10000;
      *out++ = static_cast<wchar_t>(surrogate_first + (value >> 10));
      *out++ = static_cast<wchar_t>(low_surrogate_first + (value & 0x3FF));
    } else {
      *out++ = static_cast<wchar_t>(value);
    }
  }
  return out;
}

}  // namespace compat
