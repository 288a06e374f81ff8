// mkdir, stat, and the mode functions.
#include "compat/sys_stat.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "testing/alloc_fault.h"
#include "testing/temp_dir.h"

namespace {

using orva_testing::TempDir;

struct ModeCase {
  const char* text;
  mode_t base;
  int expected;
};

// getmode of what setmode made of `text`; fails the test when setmode refuses it.
int mode_of(const char* text, mode_t base) {
  void* set = compat::setmode(text);
  EXPECT_NE(set, nullptr) << "refused: \"" << text << "\"";
  if (set == nullptr) return -12345;
  int mode = compat::getmode(set, base);
  std::free(set);
  return mode;
}

TEST(Getmode, OctalTextsAreTakenAsTheyStand) {
  const ModeCase cases[] = {
      {"755", 0777, 0755},
      {"0", 0777, 0},
      {"  17", 0777, 017},  // leading white space skipped
      {"\t\n 7", 0, 07},
      {"75x", 0777, 075},  // stops at the first non-octal character
      {"758", 0777, 075},  // 8 is not octal
      {"7,u+w", 0, 07},    // the rest is ignored, even a symbolic tail
      {"777", 0, 0777},    // the base plays no part
      {"777", 0123, 0777},
      {"+644", 0777, 0644},  // one sign
      {"-1", 0777, -1},      // minus negates in 32-bit unsigned arithmetic
      {"-0", 0777, 0},
      {"1000755", 0777, 01000755},                 // more than 16 bits: the caller cuts
      {"37777777777", 0777, -1},                   // the largest 32-bit value
      {"40000000000", 0777, -1},                   // beyond 32 bits: the largest value, as strtoul
      {"-40000000000", 0777, -1},                  // overflow wins over the sign
      {"00000000000000000000000644", 0777, 0644},  // leading zeros never overflow
  };
  for (const ModeCase& c : cases) {
    EXPECT_EQ(mode_of(c.text, c.base), c.expected) << "text \"" << c.text << "\"";
  }
}

TEST(Getmode, MinusOneKeepsAll16BitsForTheCaller) {
  EXPECT_EQ(static_cast<mode_t>(mode_of("-1", 0777) & 0xffff), 0xffffU);
}

TEST(Getmode, SymbolicTextsActOnTheBaseAsChmodDoes) {
  const ModeCase cases[] = {
      {"u=rwx,go=rx", 0, 0755}, {"go-w", 0777, 0755},     {"a-x", 0777, 0666},
      {"u-w", 0777, 0577},      {"-w", 0777, 0555},  // no who: all of them
      {"+x", 0644, 0755},       {"=r", 0777, 0444},       {"u+x", 0644, 0744},
      {"g+w,o-r", 0644, 0660},  {"ug=rw,o=", 0777, 0660},  // = with nothing clears the who bits
      {"a=", 0777, 0},          {"u=", 0777, 0077},       {"o+rwx", 0, 0007},
      {"uuu+r", 0, 0400},                              // repeated letters change nothing
      {"ugo+r", 0, 0444},       {"u=-w", 0777, 0077},  // u= clears, then -w on nothing left
      {"u-+w", 0577, 0777},                            // - with nothing, then +w
      {"u+w", 04755, 04755},                           // bits above the permissions are kept
      {"a-rwx", 02777, 02000},
  };
  for (const ModeCase& c : cases) {
    EXPECT_EQ(mode_of(c.text, c.base), c.expected) << "text \"" << c.text << "\"";
  }
}

// An operator with no permissions after it is a change of nothing, but a stated one.
TEST(Getmode, OperatorsWithNothingToApplyChangeNothing) {
  const ModeCase cases[] = {
      {"-", 0777, 0777},
      {"+", 0, 0},
      {"u+", 0750, 0750},
      {"g+w,o-", 0755, 0775},
  };
  for (const ModeCase& c : cases) {
    EXPECT_EQ(mode_of(c.text, c.base), c.expected) << "text \"" << c.text << "\"";
  }
}

TEST(Setmode, RefusesTextsOutsideTheRecognisedForms) {
  const char* const refused[] = {
      "u+s",
      "u+t",
      "u+X",
      "+u",
      "y",  // letters outside [rwx], copy forms
      "8",
      " ",
      "--1",
      " -",
      "\t+",  // no octal digit after space and sign
      "u+r-w",
      "u+rw+x",
      "r+w",
      "u+w;",
      "u+w ",  // outside who* op* perm*
      "g+w,y",
      " u+w",
      "U+W",
      // A clause without an operator names no change: almost certainly a mistake.
      "",
      "u",
      "x",
      "rwx",
      ",",
      "g+w,x",
      "u+w,",
      ",,g-w",
      "u+x,g",
  };
  for (const char* text : refused) {
    errno = 0;
    void* set = compat::setmode(text);
    EXPECT_EQ(set, nullptr) << "accepted: \"" << text << "\"";
    EXPECT_EQ(errno, EINVAL) << "text \"" << text << "\"";
    std::free(set);
  }
}

TEST(Setmode, MakesAPrivateCopy) {
  char text[] = "755";
  void* set = compat::setmode(text);
  ASSERT_NE(set, nullptr);
  EXPECT_NE(set, static_cast<void*>(text));
  text[0] = '0';
  EXPECT_EQ(compat::getmode(set, 0), 0755);
  std::free(set);
}

TEST(Setmode, GivesNullWithEnomemWhenTheCopyCannotBeMade) {
  orva_testing::alloc_fault::fail_nth(1, true);
  errno = 0;
  void* set = compat::setmode("755");
  bool fired = orva_testing::alloc_fault::fired();
  orva_testing::alloc_fault::disarm();
  if (!fired) {
    std::free(set);
    GTEST_SKIP() << "the host's strdup allocates where the wrapped allocator cannot see";
  }
  EXPECT_EQ(set, nullptr);
  EXPECT_EQ(errno, ENOMEM);
  std::free(set);
}

TEST(Strmode, WritesTheSameTwelveBytesForEveryMode) {
  const char expected[12] = {'-', '-', '-', '-', '-', '-', '-', '-', '-', '-', ' ', '\0'};
  const mode_t modes[] = {0, 0777, S_IFDIR | 0755, S_IFREG | 0644, 0xa1ff /* link */, 0xffff};
  for (mode_t mode : modes) {
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);
    compat::strmode(mode, buffer);
    EXPECT_EQ(std::memcmp(buffer, expected, sizeof expected), 0) << "mode " << mode;
    EXPECT_EQ(buffer[12], 'z') << "wrote past 12 bytes for mode " << mode;
  }
}

TEST(Mkdir, IgnoresTheMode) {
  TempDir dir;
  const std::string with_0 = dir / "with0";
  const std::string with_777 = dir / "with777";
  ASSERT_EQ(compat::mkdir(with_0.c_str(), 0), 0);
  ASSERT_EQ(compat::mkdir(with_777.c_str(), 0777), 0);
  EXPECT_TRUE(orva_testing::is_directory(with_0));
  EXPECT_EQ(orva_testing::permissions(with_0), orva_testing::permissions(with_777));
}

TEST(Mkdir, PassesTheHostErrorThrough) {
  TempDir dir;
  const std::string existing = dir / "d";
  const std::string under_missing = dir / "missing/d";
  ASSERT_EQ(compat::mkdir(existing.c_str(), 0777), 0);

  struct Case {
    const std::string& path;
    int error;
  };
  const Case cases[] = {{existing, EEXIST}, {under_missing, ENOENT}};
  for (const Case& c : cases) {
    errno = 0;
    EXPECT_EQ(compat::mkdir(c.path.c_str(), 0777), -1) << c.path;
    EXPECT_EQ(errno, c.error) << c.path;
  }
}

#ifndef _WIN32
// The Windows runtime reports a regular file on the way as ENOENT.
TEST(Mkdir, PassesEnotdirThrough) {
  TempDir dir;
  orva_testing::write_file(dir / "f", "x");
  errno = 0;
  EXPECT_EQ(compat::mkdir((dir / "f/d").c_str(), 0777), -1);
  EXPECT_EQ(errno, ENOTDIR);
}
#endif

TEST(Stat, ReportsTheKindOfFile) {
  TempDir dir;
  orva_testing::write_file(dir / "f", "abc");
  struct stat status {};
  ASSERT_EQ(compat::stat(dir.path().c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  ASSERT_EQ(compat::stat((dir / "f").c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_EQ(status.st_size, 3);
}

TEST(Stat, ATrailingSeparatorNamesTheDirectory) {
  TempDir dir;
  struct stat status {};
  ASSERT_EQ(compat::stat((dir.path() + "/").c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  ASSERT_EQ(compat::stat("/", &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
}

TEST(Stat, FailsWithTheHostError) {
  TempDir dir;
  struct stat status {};
  errno = 0;
  EXPECT_EQ(compat::stat((dir / "none").c_str(), &status), -1);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
