// mkdir, run as a program: what it creates, with which permissions, and what it reports.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using orva_testing::in_dir;
using orva_testing::is_directory;
using orva_testing::permissions;
using orva_testing::Program;
using orva_testing::RunOptions;
using orva_testing::RunResult;
using orva_testing::Stdout;
using orva_testing::TempDir;
using orva_testing::windows_host;

const Program tool = {ORVA_TOOL_MKDIR};
const char usage[] = "usage: mkdir [-pv] [-m mode] directory_name ...\n";

// The permission bits that stat shows for a directory given `posix_bits`, by -m or under
// the umask. On Windows (as measured under Wine) every directory shows 0777: _mkdir
// ignores the umask, and a directory keeps no read-only flag.
int directory_permissions(int posix_bits) { return windows_host ? 0777 : posix_bits; }

// Runs mkdir inside `dir` under `mask` (022 unless a case says otherwise).
RunResult run_in(const TempDir& dir, const std::vector<std::string>& args, unsigned mask = 022) {
  RunOptions options = in_dir(dir.path(), args);
  options.umask = mask;
  return tool.run(options);
}

// The names in `dir`, sorted, as the bytes of their UTF-8.
std::vector<std::string> entries(const TempDir& dir) {
  return orva_testing::list_directory(dir.path());
}

TEST(Mkdir, NoOperandWritesTheUsage) {
  const std::vector<std::string> cases[] = {{}, {"-p"}, {"-v", "-m", "700"}, {"--"}};
  for (const auto& args : cases) {
    TempDir dir;
    RunResult r = run_in(dir, args);
    EXPECT_EQ(r.status, 1) << args.size();
    EXPECT_EQ(r.err, usage);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(entries(dir).empty());
  }
}

// The parser's own report comes first, in the host's words; then the usage text.
TEST(Mkdir, BadOptionIsReportedBeforeTheUsage) {
  const std::vector<std::string> cases[] = {{"-x", "d"}, {"-pz", "d"}, {"-p", "-m"}, {"-m"}};
  for (const auto& args : cases) {
    TempDir dir;
    RunResult r = run_in(dir, args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_TRUE(orva_testing::is_report_then(usage, r.err)) << args[0];
    EXPECT_TRUE(entries(dir).empty()) << args[0];
  }
}

TEST(Mkdir, CreatesEachOperandAndNamesItWithVerbose) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::vector<std::string> created;
  };
  const Case cases[] = {
      {{"d"}, "", {"d"}},
      {{"-v", "d"}, "d\n", {"d"}},
      {{"-v", "d1", "d2"}, "d1\nd2\n", {"d1", "d2"}},
      {{"-v", "--", "-d"}, "-d\n", {"-d"}},
      // Options end at the first operand: "-p" is a second directory.
      {{"d", "-p"}, "", {"-p", "d"}},
      {{"-v", "-", "d"}, "-\nd\n", {"-", "d"}},
      // Names from any script are made and named whole: accented Latin, an emoji outside
      // the BMP, e with a combining acute, Greek, CJK.
      {{"-v", "dír-ü", "emoji-😀", "e\xCC\x81", "Ωμέγα", "日本語"},
       "dír-ü\nemoji-😀\ne\xCC\x81\nΩμέγα\n日本語\n",
       {"dír-ü", "emoji-😀", "e\xCC\x81", "Ωμέγα", "日本語"}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    RunResult r = run_in(dir, c.args);
    EXPECT_EQ(r.status, 0) << c.out;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(entries(dir), c.created);
  }
}

// Without -p, a missing or non-directory parent is named by the operand's directory part;
// every other failure by the operand. The loop goes on after each.
TEST(Mkdir, FailureNamesTheParentOrTheOperandAndGoesOn) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"a/b/c"}, "a/b\n"},
      {{""}, ".\n"},
      {{"f/x"}, "f\n"},
      {{"existing"}, "existing\n"},
      {{"f"}, "f\n"},
      {{"d1", "x/y", "d2"}, "x\n"},
      {{"x/y", "existing", "d2"}, "x\nexisting\n"},
      {{"日本/x"}, "日本\n"},
      {{"😀/ü/x"}, "😀/ü\n"},
      {{"fïle-日本/x"}, "fïle-日本\n"},
      // Under a double-byte code page (932, 936, 949) UTF-8 bytes may be lead bytes: the
      // parent is found on the bytes, never on characters of the code page.
      {{"nox/日本語", "Ж/x", "ß/x", "😀/a"}, "nox\nЖ\nß\n😀\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    orva_testing::write_file(dir / "f", "file");
    orva_testing::write_file(dir / "fïle-日本", "file");
    std::filesystem::create_directory(dir / "existing");
    RunResult r = run_in(dir, c.args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    for (const char* name : {"d1", "d2"}) {
      if (std::find(c.args.begin(), c.args.end(), name) != c.args.end()) {
        EXPECT_TRUE(is_directory(dir / name)) << name;
      }
    }
  }
}

TEST(Mkdir, ParentsCreatesEachMissingDirectoryShortestFirst) {
  struct Case {
    std::vector<std::string> existing;
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{}, {"-p", "-v", "a/b/c"}, "a\na/b\na/b/c\n"},
      {{"a", "a/b"}, {"-pv", "a/b/c"}, "a/b/c\n"},
      {{"a"}, {"-pv", "a"}, ""},
      {{}, {"-pv", "a/b/"}, "a\na/b\n"},
      // The empty component between two separators is found existing, never named.
      {{}, {"-pv", "a//b"}, "a\na//b\n"},
      {{}, {"-pv", "a/./b"}, "a\na/./b\n"},
      {{}, {"-pv", "a/b", "a/c", "a/b"}, "a\na/b\na/c\n"},
      {{"a"}, {"-pv", "a/日本/😀"}, "a/日本\na/日本/😀\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    for (const std::string& d : c.existing) std::filesystem::create_directory(dir / d);
    RunResult r = run_in(dir, c.args);
    EXPECT_EQ(r.status, 0) << c.out;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(is_directory(dir / c.args.back())) << c.out;
  }
  TempDir dir;
  ASSERT_EQ(run_in(dir, {"-p", "a/日本/😀"}).status, 0);
  EXPECT_EQ(orva_testing::list_directory(dir / "a"), std::vector<std::string>{"日本"});
  EXPECT_EQ(orva_testing::list_directory(dir / "a/日本"), std::vector<std::string>{"😀"});
}

// On Windows the temporary directory's absolute path begins with a drive (C:/...).
// A path longer than the 260 characters of old Windows paths is made whole, each
// directory on the way named.
TEST(Mkdir, ParentsCreatesPathsLongerThan260Characters) {
  TempDir dir;
  std::string path, lines;
  for (char letter = 'a'; letter < 'a' + 12; ++letter) {
    path += (path.empty() ? "" : "/") + std::string(24, letter);
    lines += path + "\n";
  }
  RunResult r = run_in(dir, {"-p", "-v", path});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, lines);
  EXPECT_TRUE(is_directory(dir / path));
}

TEST(Mkdir, ParentsAcceptsTheRootAndAbsolutePaths) {
  TempDir dir;
  for (const char* root : {"/", "//", "///"}) {
    RunResult r = run_in(dir, {"-p", root});
    EXPECT_EQ(r.status, 0) << root;
    EXPECT_EQ(r.err, "") << root;
  }
  RunResult r = run_in(dir, {"-pv", dir / "x/y"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, dir / "x\n" + dir / "x/y\n");
  EXPECT_TRUE(is_directory(dir / "x/y"));
}

// A backslash is part of a name to the path builder, not a separator: the whole operand
// is one attempt.
TEST(Mkdir, ParentsTakesBackslashesLiterally) {
  TempDir dir;
  RunResult r = run_in(dir, {"-pv", "a\\b\\c"});
  if (windows_host) {
    // Windows separates at a backslash too: the attempt fails for want of a.
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "a\\b\\c\n");
    EXPECT_TRUE(entries(dir).empty());
    return;
  }
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "a\\b\\c\n");
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"a\\b\\c"}));
}

// Something that is not a directory ends that operand with the prefix named; the next
// operand is still made.
TEST(Mkdir, ParentsStopsAtAFileInTheWay) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"-p", "a/f/b", "next"}, "a/f\n"},
      {{"-p", "a/f", "next"}, "a/f\n"},
      {{"-p", "a/f/", "next"}, "a/f\n"},
      {{"-p", "a/f/b/c/d", "next"}, "a/f\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::filesystem::create_directory(dir / "a");
    orva_testing::write_file(dir / "a/f", "file");
    RunResult r = run_in(dir, c.args);
    EXPECT_EQ(r.status, 1) << c.args[1];
    EXPECT_EQ(r.err, c.err) << c.args[1];
    EXPECT_EQ(orva_testing::read_file(dir / "a/f"), "file");
    EXPECT_TRUE(is_directory(dir / "next")) << c.args[1];
  }
}

// Directories on the way are made under the user's umask less owner write and search, so
// the walk can always go on inside them; the final one under the user's own umask.
TEST(Mkdir, ParentsUmaskOnTheWayAndOnTheFinalDirectory) {
  struct Case {
    unsigned mask;
    int way;
    int final;
  };
  const Case cases[] = {
      {022, 0755, 0755},  {077, 0700, 0700},  {0277, 0700, 0500},
      {0377, 0700, 0400}, {0222, 0755, 0555},
  };
  for (const Case& c : cases) {
    TempDir dir;
    RunResult r = run_in(dir, {"-p", "a/b/c"}, c.mask);
    EXPECT_EQ(r.status, 0) << std::oct << c.mask << ": " << r.err;
    EXPECT_EQ(permissions(dir / "a"), directory_permissions(c.way)) << std::oct << c.mask;
    EXPECT_EQ(permissions(dir / "a/b"), directory_permissions(c.way)) << std::oct << c.mask;
    EXPECT_EQ(permissions(dir / "a/b/c"), directory_permissions(c.final)) << std::oct << c.mask;
  }
}

// The umask is the user's again after every operand, a failed one included.
TEST(Mkdir, ParentsRestoresTheUmaskAfterEachOperand) {
  const std::vector<std::string> cases[] = {
      {"-p", "f/x/y", "d"},  // stops at a directory on the way
      {"-p", "f", "d"},      // stops at the final directory
      {"-p", "a/b", "d"},    // succeeds
      {"-p", "a/b", "a/b", "d"},
  };
  for (const auto& args : cases) {
    TempDir dir;
    orva_testing::write_file(dir / "f", "file");
    run_in(dir, args, 0222);
    EXPECT_EQ(permissions(dir / "d"), directory_permissions(0555)) << args[1];
  }
}

// -m reaches only the operand's own directory, and only when this run created it.
TEST(Mkdir, ModeIsGivenToTheFinalDirectoryAlone) {
  struct Case {
    std::vector<std::string> args;
    unsigned mask;
    std::vector<std::pair<std::string, int>> modes;
  };
  const Case cases[] = {
      {{"-m", "755", "d"}, 077, {{"d", 0755}}},
      {{"-m700", "d"}, 022, {{"d", 0700}}},
      {{"-m", "600", "-m", "711", "d"}, 022, {{"d", 0711}}},  // the last -m counts
      {{"-p", "-m", "700", "a/b"}, 022, {{"a", 0755}, {"a/b", 0700}}},
      {{"-p", "-m", "700", "a/b/"}, 022, {{"a", 0755}, {"a/b", 0700}}},
      {{"-pm", "0", "a/b"}, 077, {{"a", 0700}, {"a/b", 0}}},
      {{"-m", "go-w", "d"}, 0, {{"d", 0755}}},
      // Only the low 16 bits of the value count: 0200755 is 0755 there.
      {{"-m", "200755", "d"}, 022, {{"d", 0755}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    RunResult r = run_in(dir, c.args, c.mask);
    EXPECT_EQ(r.status, 0) << c.args[1] << ": " << r.err;
    for (const auto& [path, mode] : c.modes) {
      EXPECT_EQ(permissions(dir / path), directory_permissions(mode)) << c.args[1] << " " << path;
    }
  }
}

TEST(Mkdir, ModeIsNotGivenToAnExistingDirectory) {
  TempDir dir;
  std::filesystem::create_directory(dir / "d");
  std::filesystem::permissions(dir / "d", std::filesystem::perms(0751));
  RunResult r = run_in(dir, {"-p", "-m", "700", "d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(permissions(dir / "d"), directory_permissions(0751));
}

// Texts that name no change are refused too: they would make a world-writable directory.
TEST(Mkdir, RefusedModeTextStopsBeforeAnythingIsMade) {
  for (const char* text : {"bogus", "", "u", ",", "u+x,g"}) {
    TempDir dir;
    RunResult r = run_in(dir, {"-m", text, "d"});
    EXPECT_EQ(r.status, 1) << text;
    EXPECT_EQ(r.err, std::string("invalid file mode: ") + text + "\n");
    EXPECT_TRUE(entries(dir).empty()) << text;
  }
}

// Any run of trailing separators ends the path once: the directory before them is the
// final one, made under the user's umask, given -m, and accepted quietly if it exists.
TEST(Mkdir, ParentsTreatsTrailingSeparatorsAsOne) {
  for (const char* operand : {"out/", "out//", "out///"}) {
    TempDir dir;
    RunResult r = run_in(dir, {"-pv", "-m", "700", operand}, 022);
    EXPECT_EQ(r.status, 0) << operand << ": " << r.err;
    EXPECT_EQ(r.out, "out\n") << operand;
    EXPECT_EQ(permissions(dir / "out"), directory_permissions(0700)) << operand;

    r = run_in(dir, {"-pv", "-m", "755", operand}, 022);
    EXPECT_EQ(r.status, 0) << operand;
    EXPECT_EQ(r.out, "") << operand;
    EXPECT_EQ(r.err, "") << operand;
    EXPECT_EQ(permissions(dir / "out"), directory_permissions(0700)) << operand;
  }
  TempDir dir;
  RunResult r = run_in(dir, {"-p", "a/b//"}, 0377);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(permissions(dir / "a"), directory_permissions(0700));
  EXPECT_EQ(permissions(dir / "a/b"), directory_permissions(0400));
}

// Two builds racing over the same trees: each finds the other's directories existing and
// goes on. Repeated, so that the processes overlap at many points of the walk.
TEST(Mkdir, ParentsRacingProcessesNeverFail) {
  TempDir dir;
  for (int round = 0; round < 25; ++round) {
    std::string base = "r";
    base += std::to_string(round);
    const std::vector<std::string> first = {"-p", base + "/a/b/c/d/e/f/g/h", base + "/a/b/c/x/y/z",
                                            base + "/a/q/w/e/r/t/y", base + "/m/n/o/p"};
    const std::vector<std::string> second = {"-p", base + "/a/q/w/e/r/t/u",
                                             base + "/a/b/c/d/e/f/g/i", base + "/m/n/o/p/q",
                                             base + "/a/b/c/x/y/z"};
    RunResult results[2];
    std::thread other([&] { results[1] = run_in(dir, second); });
    results[0] = run_in(dir, first);
    other.join();
    for (const RunResult& r : results) {
      EXPECT_EQ(r.status, 0) << "round " << round << ": " << r.err;
      EXPECT_EQ(r.err, "") << "round " << round;
    }
    for (const char* path : {"/a/b/c/d/e/f/g/h", "/a/b/c/d/e/f/g/i", "/a/b/c/x/y/z",
                             "/a/q/w/e/r/t/y", "/a/q/w/e/r/t/u", "/m/n/o/p/q"}) {
      EXPECT_TRUE(is_directory(dir / (base + path))) << base + path;
    }
  }
}

// -v lines that cannot be written make the run fail; the directories are made all the same.
TEST(Mkdir, VerboseOutputThatCannotBeWrittenFails) {
  for (Stdout mode : {Stdout::DevFull, Stdout::Closed, Stdout::ReaderGone}) {
    TempDir dir;
    RunOptions options = in_dir(dir.path(), {"-pv", "a/b"});
    options.stdout_mode = mode;
    RunResult r = tool.run(options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "stdout\n");
    EXPECT_TRUE(is_directory(dir / "a/b"));

    // Without -v nothing is written, and nothing can fail to be.
    options.args = {"-p", "c"};
    r = tool.run(options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  }
}

// Needs a non-root user: the superuser may create directories anywhere.
TEST(Mkdir, DeniedCreationNamesTheOperandOrPrefix) {
  if (orva_testing::running_as_root()) GTEST_SKIP() << "permission checks do not bind root";
  if (windows_host) GTEST_SKIP() << "a read-only directory does not keep Windows from adding to it";
  TempDir dir;
  std::filesystem::create_directory(dir / "ro");
  std::filesystem::permissions(dir / "ro", std::filesystem::perms(0555));
  RunResult r = run_in(dir, {"ro/x", "ok"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ro/x\n");
  r = run_in(dir, {"-p", "ro/x/y", "ok2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ro/x\n");
  EXPECT_TRUE(is_directory(dir / "ok2"));
}

}  // namespace
