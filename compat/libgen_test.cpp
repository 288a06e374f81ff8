// The layer's dirname. On POSIX hosts it is the C library's; on the Windows host it is our
// own, on the bytes of a UTF-8 name, and must agree with the runtime's wherever the
// runtime's cannot go wrong: on ASCII names.
#include "compat/libgen.h"

#include <libgen.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/host.h"
#include "testing/words.h"

namespace {

std::string dirname_of(std::string path) { return compat::dirname(path.data()); }

std::string runtime_dirname_of(std::string path) { return ::dirname(path.data()); }

// Every name of up to six characters from those that mean something to dirname, against
// the runtime's own (Windows host only; elsewhere the two are one function).
TEST(Dirname, AgreesWithTheRuntimesOnEveryShortAsciiName) {
  if (!orva_testing::windows_host) GTEST_SKIP() << "the C library's dirname is the layer's";
  const char alphabet[] = {'a', 'C', ':', '/', '\\', '.'};
  const std::vector<std::string> names = orva_testing::words(alphabet, 6);
  int differences = 0;
  for (const std::string& name : names) {
    std::string expected = runtime_dirname_of(name);
    std::string got = dirname_of(name);
    if (got != expected && ++differences <= 10) {
      ADD_FAILURE() << "\"" << name << "\": \"" << got << "\", the runtime's \"" << expected
                    << "\"";
    }
  }
  EXPECT_EQ(differences, 0) << "of " << names.size() << " names";
}

// A byte of a multibyte UTF-8 character is never a separator, whatever the code page.
TEST(Dirname, TakesUtf8NamesByteByByte) {
  struct Case {
    const char* path;
    const char* parent;
  };
  const Case cases[] = {
      {"nox/日本語", "nox"}, {"日本語/x", "日本語"}, {"Ж/x", "Ж"},
      {"😀/a", "😀"},          {"a/ß/", "a"},          {"日本語", "."},
  };
  for (const Case& c : cases) EXPECT_EQ(dirname_of(c.path), c.parent) << c.path;
}

}  // namespace
