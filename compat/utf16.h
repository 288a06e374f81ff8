#pragma once

// Conversions between the UTF-8 that the layer's names are and the UTF-16 of the Windows
// host's wide runtime calls, whose wchar_t holds one UTF-16 unit. Windows allows unpaired
// surrogates in names; one travels as the three-byte form its value would have as a
// character (generalised UTF-8), so that every UTF-16 name comes back unchanged from UTF-8.

#include <cstddef>

namespace compat {

// Decodes the character or encoded unpaired surrogate at the start of the `length` bytes at
// `text` into *value. The number of bytes it takes (1 to 4), or 0 when they are no UTF-8:
// a stray or missing continuation byte, an overlong form, or a value above U+10FFFF.
std::size_t decode_utf8(const char* text, std::size_t length, char32_t* value);

// The number of UTF-8 bytes that the `length` UTF-16 units at `text` take.
std::size_t utf8_length(const wchar_t* text, std::size_t length);

// Writes the UTF-8 of the `length` UTF-16 units at `text` to `out` (utf8_length bytes, no
// zero byte added) and returns the end of what it wrote.
char* write_utf8(const wchar_t* text, std::size_t length, char* out);

// The number of UTF-16 units that the `length` bytes at `text` take, or not_utf8 when they
// are no UTF-8 (see decode_utf8), or hold a pair of surrogates encoded one by one (the
// pair's character has its own four-byte form).
constexpr std::size_t not_utf8 = static_cast<std::size_t>(-1);
std::size_t utf16_length(const char* text, std::size_t length);

// Writes the UTF-16 of the `length` bytes at `text`, which utf16_length has accepted, to
// `out` (utf16_length units, no zero unit added) and returns the end of what it wrote.
wchar_t* write_utf16(const char* text, std::size_t length, wchar_t* out);

}  // namespace compat
