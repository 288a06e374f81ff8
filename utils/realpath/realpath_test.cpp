// realpath, run as a program: absolute paths formed as text, failures and output errors.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using orva_testing::in_dir;
using orva_testing::Program;
using orva_testing::RunOptions;
using orva_testing::RunResult;
using orva_testing::Stdout;
using orva_testing::TempDir;
using orva_testing::windows_host;

const Program tool = {ORVA_TOOL_REALPATH};
const char usage[] = "usage: realpath [-q] [path ...]\n";
constexpr size_t buffer_size = 260;  // the host's path limit, terminating zero included

// Windows writes absolute paths with backslashes.
constexpr char separator = windows_host ? '\\' : '/';

// The directory as the program sees it from inside: with every symbolic link resolved (on
// Windows also with its drive letter and backslashes).
std::string physical(const TempDir& dir) {
  std::u8string text = std::filesystem::canonical(orva_testing::fs_path(dir.path())).u8string();
  return {text.begin(), text.end()};
}

// The absolute form of `relative` (written with "/") under the absolute directory `here`.
std::string under(const std::string& here, std::string relative) {
  for (char& c : relative) {
    if (c == '/') c = separator;
  }
  return here + separator + relative;
}

// A relative path whose absolute form, seen from `cwd`, is `length` bytes long: as many
// copies of `filler` as fit, then "x"s.
std::string path_of_absolute_length(const std::string& cwd, size_t length,
                                    const std::string& filler = "x") {
  size_t size = length - cwd.size() - 1;
  std::string path;
  while (path.size() + filler.size() <= size) path += filler;
  path.append(size - path.size(), 'x');
  return path;
}

TEST(Realpath, NoPathPrintsTheCurrentDirectory) {
  TempDir dir;
  RunResult r = tool.run_in(dir.path(), {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, physical(dir) + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(tool.run_in(dir.path(), {"-q"}).out, physical(dir) + "\n");
}

// Paths are worked out as text: they need not exist, "." and ".." are resolved by name,
// and repeated separators collapse.
TEST(Realpath, PathsAreMadeAbsoluteAsText) {
  TempDir dir;
  const std::string here = physical(dir);
  const std::string drive = here.substr(0, 2);  // Windows only: "C:"
  struct Case {
    std::string path;
    std::string absolute;
    std::string on_windows;
    std::string on_wine = "";  // where Wine's runtime differs from Windows
  };
  // The path form is the host's: on Windows a backslash separates too, a root has its
  // drive, a trailing separator stays, and a leading "//" names a network share. Wine
  // gives a leading "/" its Unix root, drive Z:.
  const Case cases[] = {
      {"missing/file", here + "/missing/file", here + "\\missing\\file"},
      {"a/../b", here + "/b", here + "\\b"},
      {"./c/./d/", here + "/c/d", here + "\\c\\d\\"},
      {"e//f", here + "/e/f", here + "\\e\\f"},
      {"/", "/", drive + "\\", "Z:\\"},
      {"/..", "/", drive + "\\", "Z:\\"},
      {"//x//y/", "/x/y", "\\\\x\\\\y\\"},
      {"-", here + "/-", here + "\\-"},
      {"a\\b", here + "/a\\b", here + "\\a\\b"},
      // Names from any script come out whole, in UTF-8.
      {"日本語", here + "/日本語", here + "\\日本語"},
      {"a/日本/😀", here + "/a/日本/😀", here + "\\a\\日本\\😀"},
      {"dír-ü/../Ωμέγα/e\xCC\x81", here + "/Ωμέγα/e\xCC\x81", here + "\\Ωμέγα\\e\xCC\x81"},
  };
  for (const Case& c : cases) {
    RunResult r = tool.run_in(dir.path(), {c.path});
    EXPECT_EQ(r.status, 0) << c.path;
    std::string absolute = windows_host ? c.on_windows : c.absolute;
    if (windows_host && !c.on_wine.empty() && r.out == c.on_wine + "\n") absolute = c.on_wine;
    EXPECT_EQ(r.out, absolute + "\n") << c.path;
    EXPECT_EQ(r.err, "") << c.path;
  }
}

// 259 bytes and the zero byte fill the buffer exactly; one byte more does not fit. The
// bytes are those of the UTF-8, however few characters they make.
TEST(Realpath, AbsoluteFormMustFitTwoHundredSixtyBytes) {
  TempDir dir;
  const std::string here = physical(dir);
  ASSERT_LT(here.size() + 2, buffer_size - 1);
  for (const std::string filler : {"x", "日", "😀"}) {
    const std::string fits = path_of_absolute_length(here, buffer_size - 1, filler);
    const std::string too_long = fits + "x";

    RunResult r = tool.run_in(dir.path(), {fits});
    EXPECT_EQ(r.status, 0) << filler;
    EXPECT_EQ(r.out, under(here, fits) + "\n");

    r = tool.run_in(dir.path(), {too_long});
    EXPECT_EQ(r.status, 1) << filler;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, too_long + "\n");
  }
}

// A failed path is named on standard error (unless -q) and the others are still printed.
TEST(Realpath, FailureIsCountedAndTheRestPrinted) {
  TempDir dir;
  const std::string here = physical(dir);
  const std::string too_long = path_of_absolute_length(here, buffer_size + 40);
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"a", too_long, "b"}, too_long + "\n"},
      {{"-q", "a", too_long, "b"}, ""},
      {{"-qq", "a", too_long, "b"}, ""},
      {{"-q", "-q", "a", too_long, "b"}, ""},
  };
  const std::string printed = under(here, "a") + "\n" + under(here, "b") + "\n";
  for (const Case& c : cases) {
    RunResult r = tool.run_in(dir.path(), c.args);
    EXPECT_EQ(r.status, 1) << c.args[0];
    EXPECT_EQ(r.out, printed) << c.args[0];
    EXPECT_EQ(r.err, c.err) << c.args[0];
  }
}

// The default "." fails, and is named as ".", where the current directory is too long.
TEST(Realpath, FailingDefaultPathIsNamedAsDot) {
  if (windows_host) GTEST_SKIP() << "Windows keeps the current directory within 260 bytes";
  TempDir dir;
  std::string deep = dir.path();
  while (deep.size() < buffer_size + 20) deep += "/" + std::string(30, 'd');
  std::filesystem::create_directories(deep);
  RunResult r = tool.run_in(deep, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, ".\n");
  r = tool.run_in(deep, {"-q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
}

// Options end at the first path and at "--"; after that "-q" is a path like any other.
TEST(Realpath, OptionsEndAtTheFirstPath) {
  TempDir dir;
  const std::string here = physical(dir);
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"a", "-q"}, under(here, "a") + "\n" + under(here, "-q") + "\n"},
      {{"--", "-q"}, under(here, "-q") + "\n"},
      {{"-q", "--", "-x"}, under(here, "-x") + "\n"},
      {{"-", "-q"}, under(here, "-") + "\n" + under(here, "-q") + "\n"},
  };
  for (const Case& c : cases) {
    RunResult r = tool.run_in(dir.path(), c.args);
    EXPECT_EQ(r.status, 0) << c.args[0];
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
  }
}

// The parser's report in the host's words, then the usage text, which names the program
// whatever it was started as; no path is printed.
TEST(Realpath, UnknownOptionIsReportedBeforeTheUsage) {
  TempDir dir;
  const std::vector<std::string> cases[] = {{"-x"}, {"-x", "a"}, {"-qx", "a"}, {"-q", "-z"}};
  for (const auto& args : cases) {
    RunOptions options = in_dir(dir.path(), args);
    options.argv0 = "other-name";
    RunResult r = tool.run(options);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(orva_testing::is_report_then(usage, r.err)) << args[0];
  }
}

// Output that never arrives is a failure, reported as "stdout" after any path failures.
TEST(Realpath, OutputThatCannotBeWrittenFails) {
  TempDir dir;
  const std::string too_long = path_of_absolute_length(physical(dir), buffer_size + 1);
  for (Stdout mode : {Stdout::DevFull, Stdout::Closed, Stdout::ReaderGone}) {
    RunOptions options = in_dir(dir.path(), {"a"});
    options.stdout_mode = mode;
    RunResult r = tool.run(options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stdout\n");

    options.args = {"a", too_long};
    r = tool.run(options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, too_long + "\nstdout\n");
  }
  // More output than one stream buffer holds fails in the middle, not only at the close.
  RunOptions options = in_dir(dir.path(), std::vector<std::string>(2000, "some/path"));
  options.stdout_mode = Stdout::DevFull;
  RunResult r = tool.run(options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "stdout\n");
}

}  // namespace
