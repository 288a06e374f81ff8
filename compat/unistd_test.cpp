// The unsupported-call stubs and the small functions.
#include "compat/unistd.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "testing/temp_dir.h"

namespace {

using orva_testing::TempDir;

// Each call names real, usable paths and descriptors, to show the stubs touch none of them.
struct StubCase {
  const char* name;
  int (*call)(const TempDir& dir, int descriptor);
};

const StubCase stub_cases[] = {
    {"fchdir", [](const TempDir&, int fd) { return compat::fchdir(fd); }},
    {"link",
     [](const TempDir& d, int) { return compat::link((d / "f").c_str(), (d / "n").c_str()); }},
    {"symlink",
     [](const TempDir& d, int) { return compat::symlink("f", (d / "n").c_str()); }},
    {"mkfifo", [](const TempDir& d, int) { return compat::mkfifo((d / "n").c_str(), 0666); }},
    {"pipe",
     [](const TempDir&, int) {
       int descriptors[2] = {-1, -1};
       int result = compat::pipe(descriptors);
       return descriptors[0] == -1 && descriptors[1] == -1 ? result : 0;
     }},
    {"fchmod", [](const TempDir&, int fd) { return compat::fchmod(fd, 0); }},
    {"fsync", [](const TempDir&, int fd) { return compat::fsync(fd); }},
    {"fstatat",
     [](const TempDir&, int fd) {
       struct stat status {};
       return compat::fstatat(fd, "f", &status, 0);
     }},
    {"fchmodat", [](const TempDir&, int fd) { return compat::fchmodat(fd, "f", 0, 0); }},
    {"mkdirat", [](const TempDir&, int fd) { return compat::mkdirat(fd, "n", 0777); }},
    {"unlinkat", [](const TempDir&, int fd) { return compat::unlinkat(fd, "f", 0); }},
    {"renameat", [](const TempDir&, int fd) { return compat::renameat(fd, "f", fd, "n"); }},
    {"linkat", [](const TempDir&, int fd) { return compat::linkat(fd, "f", fd, "n", 0); }},
    {"symlinkat", [](const TempDir&, int fd) { return compat::symlinkat("f", fd, "n"); }},
};

TEST(Stubs, FourteenCallsEachFailWithEnosysAndTouchNothing) {
  EXPECT_EQ(sizeof stub_cases / sizeof stub_cases[0], 14U);
  TempDir dir;
  orva_testing::write_file(dir / "f", "data");
  int descriptor = open((dir / "f").c_str(), O_RDONLY);
  ASSERT_GE(descriptor, 0);
  for (const StubCase& c : stub_cases) {
    errno = EPERM;  // a stale ENOSYS cannot pass
    EXPECT_EQ(c.call(dir, descriptor), -1) << c.name;
    EXPECT_EQ(errno, ENOSYS) << c.name;
  }
  EXPECT_EQ(orva_testing::read_file(dir / "f"), "data");
  EXPECT_EQ(orva_testing::permissions(dir / "f") & 0600, 0600);
  EXPECT_FALSE(orva_testing::exists(dir / "n"));
  close(descriptor);
}

TEST(Stubs, FchdirChangesNoDirectoryWhateverTheDescriptor) {
  TempDir dir;
  // A descriptor of another directory where the host can open one (the Windows runtime
  // cannot: then -1, which is among the cases anyway).
  int descriptor = open(dir.path().c_str(), O_RDONLY);
  char before[PATH_MAX];
  char after[PATH_MAX];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  for (int any : {descriptor, -1, 0, 12345}) {
    errno = 0;
    EXPECT_EQ(compat::fchdir(any), -1);
    EXPECT_EQ(errno, ENOSYS);
  }
  ASSERT_NE(getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);
  if (descriptor >= 0) close(descriptor);
}

TEST(SmallFunctions, GiveTheirFixedResults) {
  EXPECT_EQ(compat::issetugid(), 0);
  EXPECT_EQ(compat::getlogin(), nullptr);
  compat::setprogname("other");
  const char* user = compat::user_from_uid(0, 0);
  const char* group = compat::group_from_gid(12345, 1);
  EXPECT_STREQ(user, "");
  EXPECT_EQ(user, group);  // one static empty string
}

TEST(StrncpyNopad, CopiesUpToTheZeroByteOrTheCount) {
  struct Case {
    const char* source;
    std::size_t count;
    std::size_t result;
    const char* destination;  // the 8 bytes afterwards; '#' marks bytes left as they were
  };
  const Case cases[] = {
      {"abc", 8, 3, "abc\0####"},   // the zero byte is copied, the rest is not padded
      {"abc", 4, 3, "abc\0####"},   // room for the zero byte exactly
      {"abc", 3, 3, "abc#####"},    // no room for it: unterminated, count returned
      {"abcdef", 2, 2, "ab######"},
      {"", 5, 0, "\0#######"},
      {"abc", 0, 0, "########"},    // a count of 0 copies nothing
  };
  for (const Case& c : cases) {
    char destination[8];
    std::memset(destination, '#', sizeof destination);
    EXPECT_EQ(compat::strncpy_nopad(destination, c.source, c.count), c.result) << c.source;
    EXPECT_EQ(std::memcmp(destination, c.destination, sizeof destination), 0)
        << c.source << " " << c.count;
  }
}

TEST(Rpmatch, ReadsTheFirstCharacterOnly) {
  struct Case {
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"1", 1},  {"T", 1},   {"Y", 1},      {"t", 1},     {"y", 1},  {"yes", 1}, {"Yikes", 1},
      {"0", 0},  {"F", 0},   {"N", 0},      {"f", 0},     {"n", 0},  {"no", 0},  {"never", 0},
      {"", -1},  {" y", -1}, {"2", -1},     {"x", -1},    {"O", -1}, {"\xd9", -1},
      {"\x80y", -1},  // a byte of 128 or more is not an answer
  };
  for (const Case& c : cases) EXPECT_EQ(compat::rpmatch(c.text), c.expected) << c.text;
}

TEST(StrnlenChecked, CountsUpToTheCountOrTheFirstZeroByte) {
  const char text[] = {'a', 'b', 'c', '\0', 'd'};
  EXPECT_EQ(compat::strnlen_checked(text, 0, 3), 3U);
  EXPECT_EQ(compat::strnlen_checked(text, 99, 2), 2U);
  EXPECT_EQ(compat::strnlen_checked(text, 0, 0), 0U);
  EXPECT_EQ(compat::strnlen_checked(text, 0, 5), 3U);  // stops at the zero byte
  EXPECT_EQ(compat::strnlen_checked("", 0, 4), 0U);
}

}  // namespace
