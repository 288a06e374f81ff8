// realpath as text, and reallocf's ownership rules.
#include "compat/stdlib.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "testing/alloc_fault.h"
#include "testing/temp_dir.h"

namespace {

namespace alloc_fault = orva_testing::alloc_fault;

// Runs the test body inside a fresh directory and returns to the old one afterwards.
class InTempDir : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(old_, sizeof old_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    cwd_ = here;
  }
  void TearDown() override { ASSERT_EQ(chdir(old_), 0); }

  orva_testing::TempDir dir_;
  char old_[4096] = {};
  std::string cwd_;
};

using Realpath = InTempDir;

// The result of compat::realpath, or "null, errno N" on failure.
std::string resolve(const char* path) {
  char buffer[compat::PATH_BUFFER_SIZE];
  std::memset(buffer, 'z', sizeof buffer);
  errno = 0;
  const char* result = compat::realpath(path, buffer);
  if (result == nullptr) return "null, errno " + std::to_string(errno);
  EXPECT_EQ(result, buffer);
  return result;
}

TEST_F(Realpath, TheEmptyPathAndDotAreTheCurrentDirectory) {
  EXPECT_EQ(resolve(""), cwd_);
  EXPECT_EQ(resolve("."), cwd_);
}

TEST_F(Realpath, APathNeedNotExist) {
  const std::string result = resolve("no-such-name");
  EXPECT_EQ(result.rfind(cwd_, 0), 0U) << result;
  EXPECT_EQ(result.substr(result.size() - 12), "no-such-name");
  EXPECT_EQ(result.size(), cwd_.size() + 1 + 12);  // one separator between
}

TEST_F(Realpath, AResultOf259CharactersFitsAndOneOf260DoesNot) {
  // The result is the current directory, a separator and the name: fill it to 259.
  std::string prefix = resolve("x");
  prefix.pop_back();
  ASSERT_LT(prefix.size(), 200U) << prefix;
  const std::string fits(259 - prefix.size(), 'r');
  EXPECT_EQ(resolve(fits.c_str()), prefix + fits);
  EXPECT_EQ(resolve((fits + "s").c_str()), "null, errno " + std::to_string(ERANGE));
}

// Resolution as text is the POSIX host's own; the Windows runtime's _fullpath has rules of
// its own (drive letters, backslashes), which these cases do not describe.
#ifndef _WIN32

TEST_F(Realpath, ResolvesRelativePathsAsText) {
  struct Case {
    const char* path;
    std::string expected;  // "@" stands for the current directory
  };
  const Case cases[] = {
      {"", "@"},                        // the empty path is the current directory
      {".", "@"},
      {"./", "@"},
      {"a", "@/a"},                     // need not exist
      {"a/b/c", "@/a/b/c"},
      {"a//b///c", "@/a/b/c"},          // repeated separators collapse
      {"a/b/", "@/a/b"},                // trailing separator dropped
      {"a/./b/.", "@/a/b"},
      {"a/../b", "@/b"},
      {"a/b/../../c", "@/c"},
      {"..a/.b/...", "@/..a/.b/..."},   // names that only start with dots are names
      {"a\\b", "@/a\\b"},               // a backslash is an ordinary character here
  };
  for (const Case& c : cases) {
    std::string expected = c.expected;
    expected.replace(0, 1, cwd_);
    EXPECT_EQ(resolve(c.path), expected) << "path \"" << c.path << "\"";
  }
}

TEST_F(Realpath, DoesNotFollowSymbolicLinks) {
  ASSERT_EQ(::mkdir("real", 0777), 0);
  ASSERT_EQ(::mkdir("real/inner", 0777), 0);
  ASSERT_EQ(symlink("real/inner", "link"), 0);
  EXPECT_EQ(resolve("link/.."), cwd_);
  EXPECT_EQ(resolve("link"), cwd_ + "/link");
}

TEST(RealpathAbsolute, ResolvesAsText) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"/", "/"},
      {"//", "/"},
      {"/..", "/"},                    // .. at the root stays at the root
      {"/../../a", "/a"},
      {"/a/../..", "/"},
      {"/a/b/../../../c/", "/c"},
      {"///usr//./lib/", "/usr/lib"},
      {"/no/such/place", "/no/such/place"},
  };
  for (const Case& c : cases) EXPECT_EQ(resolve(c.path), c.expected) << "path " << c.path;
}

TEST(RealpathAbsolute, AResultOf259CharactersFitsAndOneOf260DoesNot) {
  const std::string fits = "/" + std::string(258, 'n');       // 259 characters
  const std::string too_long = "/" + std::string(259, 'n');   // 260 characters
  EXPECT_EQ(resolve(fits.c_str()), fits);
  EXPECT_EQ(resolve((fits + "/").c_str()), fits);
  EXPECT_EQ(resolve(too_long.c_str()), "null, errno " + std::to_string(ERANGE));
  EXPECT_EQ(resolve((too_long + "/x/..").c_str()), "null, errno " + std::to_string(ERANGE));
}

TEST(RealpathAbsolute, ALongPathWhoseResultFitsSucceeds) {
  const std::string separators = "/" + std::string(1000, '/') + "a" + std::string(1000, '/');
  EXPECT_EQ(resolve(separators.c_str()), "/a");

  std::string cancelled = "/keep";
  for (int i = 0; i < 100; ++i) cancelled += "/" + std::string(200, 'd');
  for (int i = 0; i < 100; ++i) cancelled += "/..";
  EXPECT_EQ(resolve(cancelled.c_str()), "/keep");

  std::string dots = "/x";
  for (int i = 0; i < 1000; ++i) dots += "/.";
  EXPECT_EQ(resolve(dots.c_str()), "/x");
}

#endif  // _WIN32

TEST(RealpathNull, ANullBufferIsRefused) {
  errno = 0;
  EXPECT_EQ(compat::realpath("/a", nullptr), nullptr);
  EXPECT_EQ(errno, EINVAL);
}

// The analyzer does not see that reallocf takes the block over, and reports leaks that
// AddressSanitizer, which does see it, would catch for real.
// NOLINTBEGIN(clang-analyzer-unix.Malloc)

TEST(Reallocf, ResizesAndKeepsTheContents) {
  auto* block = static_cast<char*>(std::malloc(4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(compat::reallocf(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "abc");
  std::free(block);
}

// Under AddressSanitizer a leak (block not freed) or a double free fails the test.
TEST(Reallocf, AFailedResizeFreesTheBlockOnce) {
  void* block = std::malloc(16);
  ASSERT_NE(block, nullptr);
  alloc_fault::fail_nth(1, false);
  errno = 0;
  void* result = compat::reallocf(block, 1 << 20);
  bool fired = alloc_fault::fired();
  alloc_fault::disarm();
  EXPECT_TRUE(fired);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(errno, ENOMEM);
}

TEST(Reallocf, ASizeOfZeroFreesTheBlockOnceAndGivesNull) {
  void* block = std::malloc(16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(compat::reallocf(block, 0), nullptr);
}

TEST(Reallocf, ANullBlockAllocates) {
  void* block = compat::reallocf(nullptr, 32);
  EXPECT_NE(block, nullptr);
  std::free(block);
}

// NOLINTEND(clang-analyzer-unix.Malloc)

}  // namespace
