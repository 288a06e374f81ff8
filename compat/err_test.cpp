// The diagnostics: exactly the caller's text on standard error, and the exit status.
#include "compat/err.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Death-test matchers are regular expressions; match these bytes literally, whole.
std::string exactly(const std::string& bytes) {
  std::string pattern = "^";
  for (char c : bytes) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) pattern += '\\';
    pattern += c;
  }
  return pattern + "$";
}

TEST(Warnx, WritesTheFormattedTextAndANewlineOnly) {
  testing::internal::CaptureStderr();
  compat::warnx("%s", "a/b");
  compat::warnx("%d %s", 7, "x");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "a/b\n7 x\n");
}

TEST(Warnx, LeavesErrnoOutOfTheMessage) {
  errno = ENOENT;
  testing::internal::CaptureStderr();
  compat::warnx("%s", "missing");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "missing\n");
}

TEST(ErrxDeathTest, WritesTheMessageAndANewlineThenExitsWithTheStatus) {
  EXPECT_EXIT(compat::errx(1, "invalid file mode: %s", "x"), testing::ExitedWithCode(1),
              exactly("invalid file mode: x\n"));
  EXPECT_EXIT(compat::errx(3, "%s", "stdout"), testing::ExitedWithCode(3), exactly("stdout\n"));
}

TEST(ErrxDeathTest, FlushesStandardOutputOnTheWayOut) {
  // The child's standard output goes to its standard error, fully buffered: the buffered
  // text comes out after the message only if exit, not _exit, ended the process.
  EXPECT_EXIT(
      {
        if (dup2(2, 1) < 0) std::abort();
        std::setvbuf(stdout, nullptr, _IOFBF, 1024);
        std::fputs("buffered", stdout);
        compat::errx(0, "done");
      },
      testing::ExitedWithCode(0), exactly("done\nbuffered"));
}

TEST(ErrcDeathTest, WritesTheErrorTextASpaceAndTheMessageWithoutANewline) {
  const std::string expected = std::string(std::strerror(ENOENT)) + " no such: f";
  EXPECT_EXIT(compat::errc(2, ENOENT, "no such: %s", "f"), testing::ExitedWithCode(2),
              exactly(expected));
}

TEST(ErrcDeathTest, UsesTheGivenErrorNumberNotErrno) {
  const std::string expected = std::string(std::strerror(EEXIST)) + " d";
  EXPECT_EXIT(
      {
        errno = ENOENT;
        compat::errc(1, EEXIST, "%s", "d");
      },
      testing::ExitedWithCode(1), exactly(expected));
}

}  // namespace
