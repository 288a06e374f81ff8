// The matcher against the literal recursive algorithm. Input: one byte of flags (the low
// five bits) and one of encoding (bit 0: the C.UTF-8 locale, else C; bit 1: the UTF-8
// decoder, else the locale's; bit 2: nothing assumed of the locale's ASCII, else what
// locale_ascii knows), then the pattern, a NUL byte, and the string. Inputs are kept
// short, and star runs few, because the reference's time grows exponentially with the
// star runs.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "compat/fnmatch_encoding.h"
#include "testing/fnmatch_reference.h"

namespace {

constexpr std::size_t max_text = 40;
constexpr int max_star_runs = 6;

int star_runs(const std::string& pattern) {
  int runs = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '*' && (i == 0 || pattern[i - 1] != '*')) ++runs;
  }
  return runs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int flags = data[0] & 0x1f;
  const char* locale = (data[1] & 1) != 0 ? "C.UTF-8" : "C";
  const auto decoder = (data[1] & 2) != 0 ? compat::Decoder::utf8 : compat::Decoder::locale;
  const bool ask_locale = (data[1] & 4) == 0;
  std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  std::size_t nul = rest.find('\0');
  std::string pattern = rest.substr(0, nul);
  std::string string = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
  string = string.substr(0, string.find('\0'));
  if (pattern.size() > max_text || string.size() > max_text) return 0;
  if (star_runs(pattern) > max_star_runs) return 0;
  if (std::setlocale(LC_ALL, locale) == nullptr) return 0;

  const compat::Encoding encoding{decoder, ask_locale};
  int expected = orva_testing::reference_fnmatch(pattern.c_str(), string.c_str(), flags, decoder);
  int actual = compat::fnmatch_in(pattern.c_str(), string.c_str(), flags, encoding);
  if (actual == expected) return 0;
  std::fprintf(stderr, "pattern \"%s\"\nstring \"%s\"\n", orva_testing::escaped(pattern).c_str(),
               orva_testing::escaped(string).c_str());
  std::fprintf(stderr, "flags %d, locale %s, encoding byte %d: got %d, reference %d\n", flags,
               locale, data[1] & 7, actual, expected);
  std::abort();
}
