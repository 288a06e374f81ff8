#pragma once

// Shell-style wildcard matching: `?`, `*`, bracket expressions and backslash escapes, over
// multibyte text in the current locale's encoding, or in UTF-8 on a host whose names are
// UTF-8 whatever the locale (the Windows host).

namespace compat {

// The result for a string that does not match (0 means it matches).
constexpr int FNM_NOMATCH = 1;

// Flag bits. Our own values, which bind every caller of compat::fnmatch.
constexpr int FNM_NOESCAPE = 0x01;     // backslash is an ordinary character
constexpr int FNM_PATHNAME = 0x02;     // only a literal slash matches a slash
constexpr int FNM_PERIOD = 0x04;       // only a literal period matches a leading period
constexpr int FNM_LEADING_DIR = 0x08;  // a used-up pattern matches before a slash
constexpr int FNM_CASEFOLD = 0x10;     // compare after towlower on both sides

// 0 when `string` matches `pattern`, FNM_NOMATCH when it does not. A pattern that holds an
// invalid multibyte sequence matches nothing; invalid bytes in the string match one byte at
// a time. Other flag bits are ignored. No errors, no allocation, no state kept; errno may be
// changed by the decoding. Time is at most proportional to pattern length x string length.
int fnmatch(const char* pattern, const char* string, int flags);

}  // namespace compat
