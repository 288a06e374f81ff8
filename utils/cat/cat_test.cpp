// cat, run as a program: the bytes it copies, what it reports and its exit status.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using orva_testing::in_dir;
using orva_testing::Output;
using orva_testing::Program;
using orva_testing::RunOptions;
using orva_testing::RunResult;
using orva_testing::Stdin;
using orva_testing::Stdout;
using orva_testing::TempDir;
using orva_testing::windows_host;

// cat's standard output is compared byte for byte; its diagnostics are text.
const Program tool = {ORVA_TOOL_CAT, Output::Bytes, Output::Text};
const char usage[] = "usage: cat [-lu] [file ...]\n";

// cat's path as the Windows command interpreter takes it: unquoted, so it must hold no
// space, with backslashes and the drive that Wine gives the Unix root.
std::string windows_command_name(std::string path) {
  if (path.find(' ') != std::string::npos) ADD_FAILURE() << "a space in " << path;
  if (path[0] == '/') path.insert(0, "Z:");
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// Runs `script` with the host's shell in `dir`, CAT standing for cat: for redirections
// onto files. What the shell writes is cat's, compared as cat's is. Windows has no POSIX
// shell; its command interpreter has the same <, > and >>.
RunResult shell_in(const TempDir& dir, std::string script) {
  Program shell = tool;
  shell.path = "/bin/sh";
  std::string cat = "\"$0\"";
  RunOptions options = in_dir(dir.path(), {"-c", "", tool.path});
  if (windows_host) {
    const char* interpreter = std::getenv("COMSPEC");
    shell.path = interpreter != nullptr ? interpreter : "C:\\windows\\system32\\cmd.exe";
    cat = windows_command_name(tool.path);
    options.args = {"/c", ""};
  }
  for (size_t at = script.find("CAT"); at != std::string::npos; at = script.find("CAT", at)) {
    script.replace(at, 3, cat);
    at += cat.size();
  }
  options.args[1] = script;
  return shell.run(options);
}

std::string random_bytes(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xff);
  return bytes;
}

// Files a, b and c with one-letter contents, and three named in other scripts, in a fresh
// directory.
struct ThreeFiles {
  TempDir dir;
  ThreeFiles() {
    orva_testing::write_file(dir / "a", "A");
    orva_testing::write_file(dir / "b", "B");
    orva_testing::write_file(dir / "c", "C");
    orva_testing::write_file(dir / "fïle-日本.txt", "J");
    orva_testing::write_file(dir / "😀", "E");
    orva_testing::write_file(dir / "Ωμέγα-e\xCC\x81", "G");
  }
};

TEST(Cat, CopiesOperandsInOrderWithDashForStandardInput) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
  };
  const Case cases[] = {
      {{}, "in\n", "in\n"},
      {{"-"}, "in", "in"},
      {{"a", "b", "c"}, "in", "ABC"},
      // Standard input is read to its end once; a second "-" finds it at its end.
      {{"a", "-", "b", "-"}, "in", "AinB"},
      {{"-", "-"}, "in", "in"},
      {{"a", "a"}, "", "AA"},
      {{"-u", "a"}, "", "A"},
      {{"-uu", "--", "a"}, "", "A"},
      {{"empty", "a", "empty"}, "", "A"},
      {{"fïle-日本.txt", "a", "😀", "Ωμέγα-e\xCC\x81"}, "", "JAEG"},
  };
  for (const Case& c : cases) {
    ThreeFiles files;
    orva_testing::write_file(files.dir / "empty", "");
    RunResult r = tool.run_in(files.dir.path(), c.args, c.input);
    EXPECT_EQ(r.status, 0) << c.out;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "") << c.out;
  }
}

// Sizes around the 4096-byte chunks, through files and through standard input, alone and
// one after another: the output is the inputs, byte for byte.
// A file whose path is longer than the 260 characters of old Windows paths is read.
TEST(Cat, ReadsAFileWhosePathIsLongerThan260Characters) {
  TempDir dir;
  std::string path;
  for (char letter = 'a'; letter < 'a' + 12; ++letter) {
    path += (path.empty() ? "" : "/") + std::string(24, letter);
  }
  std::filesystem::create_directories(orva_testing::fs_path(dir.path() + "/" + path));
  orva_testing::write_file(dir / (path + "/f"), "far away");
  EXPECT_EQ(tool.run_in(dir.path(), {path + "/f"}).out, "far away");
  EXPECT_EQ(tool.run({dir.path() + "/" + path + "/f"}).out, "far away");
}

TEST(Cat, LargeBinaryInputsAreCopiedExactly) {
  const size_t sizes[] = {1, 4095, 4096, 4097, 8191, 8192, 8193, 3 * 4096 + 1, (1u << 20) + 3};
  TempDir dir;
  std::vector<std::string> args;
  std::string all;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    std::string name = "f";
    name += std::to_string(i);
    const std::string bytes = random_bytes(sizes[i], static_cast<unsigned>(i));
    orva_testing::write_file(dir / name, bytes);
    args.push_back(name);
    all += bytes;

    RunResult r = tool.run_in(dir.path(), {name});
    EXPECT_EQ(r.status, 0) << sizes[i];
    EXPECT_TRUE(r.out == bytes) << sizes[i] << " bytes: got " << r.out.size();
    // The helper feeds standard input in one blocking write, which can only finish while
    // cat still reads it if the whole input fits the pipe: larger inputs come from a file.
    r = bytes.size() <= 65536 ? tool.run_in(dir.path(), {}, bytes) : shell_in(dir, "CAT < " + name);
    EXPECT_EQ(r.status, 0) << sizes[i];
    EXPECT_TRUE(r.out == bytes) << sizes[i] << " bytes from stdin: got " << r.out.size();
  }
  const std::string piped = random_bytes(12289, 99);
  args.insert(args.begin() + 3, "-");
  all.insert(sizes[0] + sizes[1] + sizes[2], piped);
  RunResult r = tool.run_in(dir.path(), args, piped);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out == all) << "got " << r.out.size() << " of " << all.size() << " bytes";
  EXPECT_EQ(r.err, "");
}

// Line ends and Ctrl-Z are bytes like any other: nothing adds a CR, drops one or ends the
// input at 0x1A, whether cat reads a file, a pipe or a redirected file, or writes to a pipe
// or a file.
TEST(Cat, LineEndAndEndOfFileBytesAreCopiedExactly) {
  const std::string bytes =
      "one\r\ntwo\nthree\r\r\n\x1a"
      "after\x1a\n\r\n\r";
  TempDir dir;
  orva_testing::write_file(dir / "data", bytes);
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
  };
  const Case cases[] = {
      {{"data"}, "", bytes},
      {{}, bytes, bytes},
      {{"-u", "data", "-", "data"}, bytes, bytes + bytes + bytes},
  };
  for (const Case& c : cases) {
    RunResult r = tool.run_in(dir.path(), c.args, c.input);
    EXPECT_EQ(r.status, 0) << c.args.size();
    EXPECT_EQ(r.out, c.out) << c.args.size();
    EXPECT_EQ(r.err, "") << c.args.size();
  }
  RunResult r = shell_in(dir, "CAT < data > copy && CAT data - < data >> copy");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(orva_testing::read_file(dir / "copy"), bytes + bytes + bytes);
}

// An input that cannot be opened or read is named alone on standard error; the others are
// still copied, in order.
TEST(Cat, UnreadableInputsAreNamedAndSkipped) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"a", "missing", "b"}, "AB", "missing\n"},
      {{"m1", "m2"}, "", "m1\nm2\n"},
      {{"a", "dir", "b"}, "AB", "dir\n"},
      {{"dir", "-"}, "in", "dir\n"},
      // Options end at the first operand: "-u" is a file name here.
      {{"a", "-u"}, "A", "-u\n"},
      {{"--", "-x", "a"}, "A", "-x\n"},
      {{"a", "日本-missing", "b"}, "AB", "日本-missing\n"},
      {{"😀-missing", "Ωμέγα-e"}, "", "😀-missing\nΩμέγα-e\n"},
      // Wildcards are the shell's to expand, never the program's.
      {{"*.txt", "?"}, "", "*.txt\n?\n"},
  };
  for (const Case& c : cases) {
    ThreeFiles files;
    std::filesystem::create_directory(files.dir / "dir");
    RunResult r = tool.run_in(files.dir.path(), c.args, "in");
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(Cat, DoubleDashMakesAHyphenNameAFile) {
  TempDir dir;
  orva_testing::write_file(dir / "-x", "X");
  RunResult r = tool.run_in(dir.path(), {"--", "-x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "X");
}

// The parser's report, in the host's words, then the usage text; nothing is read.
TEST(Cat, UnknownOptionIsReportedBeforeTheUsage) {
  const std::vector<std::string> cases[] = {{"-x"}, {"-x", "a"}, {"-u", "-z", "a"}, {"-lz"}};
  for (const auto& args : cases) {
    ThreeFiles files;
    RunResult r = tool.run_in(files.dir.path(), args, "in");
    EXPECT_EQ(r.status, 1) << args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(orva_testing::is_report_then(usage, r.err));
  }
}

TEST(Cat, LetterLFailsBeforeCopying) {
  const std::vector<std::string> cases[] = {{"-l"}, {"-l", "a"}, {"-lu", "a"}, {"-u", "-l"}};
  for (const auto& args : cases) {
    ThreeFiles files;
    RunResult r = tool.run_in(files.dir.path(), args, "in");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "stdout\n");
  }
}

TEST(Cat, OutputThatCannotBeWrittenEndsTheRun) {
  struct Case {
    Stdout mode;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {Stdout::DevFull, {"a", "b"}},
      {Stdout::DevFull, {}},
      {Stdout::DevFull, {"-u", "-"}},
      // With descriptor 1 free, the first file opened gets it: that must be seen as the
      // closed output it is, not read from or written to.
      {Stdout::Closed, {"a", "b"}},
      {Stdout::Closed, {"-"}},
      {Stdout::Closed, {}},
      {Stdout::ReaderGone, {"a", "b"}},
  };
  for (const Case& c : cases) {
    ThreeFiles files;
    RunOptions options = in_dir(files.dir.path(), c.args, "in");
    options.stdout_mode = c.mode;
    RunResult r = tool.run(options);
    EXPECT_EQ(r.status, 1) << c.args.size();
    EXPECT_EQ(r.err, "stdout\n") << c.args.size();
    EXPECT_EQ(orva_testing::read_file(files.dir / "a"), "A");
  }
}

// Only descriptors that cat opened are closed by it: a file that got descriptor 0 because
// standard input was closed is closed after its copy, so a later "-" finds standard
// input closed instead of reading that file again.
TEST(Cat, ClosedStandardInputIsReportedForEachDash) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{}, "", "stdin\n"},
      {{"-"}, "", "stdin\n"},
      {{"a", "-"}, "A", "stdin\n"},
      {{"a", "-", "b", "-", "c"}, "ABC", "stdin\nstdin\n"},
  };
  for (const Case& c : cases) {
    ThreeFiles files;
    RunOptions options = in_dir(files.dir.path(), c.args);
    options.stdin_mode = Stdin::Closed;
    RunResult r = tool.run(options);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

// An input that is the regular file standard output writes to is named and skipped:
// copying it would feed the output back into the input.
TEST(Cat, InputThatIsTheOutputFileIsNotCopied) {
  struct Case {
    const char* script;
    std::string out_file;
    std::string err;
  };
  const Case cases[] = {
      {"CAT a out b >> out", "0AB", "out\n"},
      {"CAT out >> out", "0", "out\n"},
      {"CAT a link >> out", "0A", "link\n"},  // link: a second name of out
      {"CAT a out > out", "A", "out\n"},
  };
  for (const Case& c : cases) {
    ThreeFiles files;
    orva_testing::write_file(files.dir / "out", "0");
    std::filesystem::create_hard_link(files.dir / "out", files.dir / "link");
    RunResult r = shell_in(files.dir, c.script);
    EXPECT_EQ(r.status, 1) << c.script;
    EXPECT_EQ(r.err, c.err) << c.script;
    EXPECT_EQ(orva_testing::read_file(files.dir / "out"), c.out_file) << c.script;
  }
  // Another file, and the same name on another descriptor, are copied as usual.
  ThreeFiles files;
  RunResult r = shell_in(files.dir, "CAT b c >> a");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(orva_testing::read_file(files.dir / "a"), "ABC");
  r = shell_in(files.dir, "CAT b c > out && CAT out");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "BC");
}

// The same for standard input on the output file, as `cat a - b < out >> out` has it. (The
// Windows command interpreter will not open one file for both, so no shell arranges it.)
TEST(Cat, StandardInputThatIsTheOutputFileIsNotCopied) {
  ThreeFiles files;
  orva_testing::write_file(files.dir / "out", "0");
  RunOptions options = in_dir(files.dir.path(), {"a", "-", "b"});
  options.stdin_mode = Stdin::FromFile;
  options.stdin_file = files.dir / "out";
  options.stdout_mode = Stdout::AppendToFile;
  options.stdout_file = files.dir / "out";
  RunResult r = tool.run(options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "stdin\n");
  EXPECT_EQ(orva_testing::read_file(files.dir / "out"), "0AB");
}

// The I/O seam that gives cat short, interrupted and empty writes is preloaded through the
// dynamic loader (null: the host has none to preload through).
#if defined(ORVA_IO_FAULT_PRELOAD)
const char* const io_fault_preload = ORVA_IO_FAULT_PRELOAD;
#else
const char* const io_fault_preload = nullptr;
#endif

#if defined(ORVA_STATIC_TOOLS)
constexpr bool tools_are_static = true;
#else
constexpr bool tools_are_static = false;
#endif

// Why the seam cannot reach cat in this build, or null when it can.
const char* io_seam_missing() {
  if (io_fault_preload == nullptr) return "this host has no preloading for the I/O seam";
  if (tools_are_static) return "a statically linked cat cannot load the I/O seam";
  return nullptr;
}

// The seam works through the dynamic loader; ASan must be told it is not first in line.
RunOptions with_io_faults(RunOptions options, const std::vector<std::string>& settings) {
  options.extra_env = settings;
  options.extra_env.push_back(std::string("LD_PRELOAD=") + io_fault_preload);
  options.extra_env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  return options;
}

// Short writes are continued from where they stopped, and reads and writes interrupted by
// a signal are tried again: nothing is lost, nothing repeated.
TEST(Cat, ShortAndInterruptedTransfersLoseNothing) {
  if (const char* missing = io_seam_missing()) GTEST_SKIP() << missing;
  TempDir dir;
  const std::string first = random_bytes(10000, 1);
  const std::string piped = random_bytes(5000, 2);
  orva_testing::write_file(dir / "first", first);
  const std::vector<std::string> settings[] = {
      {"ORVA_IO_FAULT_WRITE_LIMIT=7"},
      {"ORVA_IO_FAULT_EINTR=1"},
      {"ORVA_IO_FAULT_WRITE_LIMIT=1000", "ORVA_IO_FAULT_EINTR=1"},
  };
  for (const auto& setting : settings) {
    RunResult r = tool.run(with_io_faults(in_dir(dir.path(), {"first", "-"}, piped), setting));
    EXPECT_EQ(r.status, 0) << setting[0] << ": " << r.err;
    EXPECT_TRUE(r.out == first + piped) << setting[0] << ": got " << r.out.size() << " bytes";
  }
}

// A write that moves no bytes would never finish: it is a failure of the output.
TEST(Cat, WriteOfZeroBytesIsAFailure) {
  if (const char* missing = io_seam_missing()) GTEST_SKIP() << missing;
  ThreeFiles files;
  RunResult r = tool.run(
      with_io_faults(in_dir(files.dir.path(), {"a", "b"}), {"ORVA_IO_FAULT_WRITE_ZERO=1"}));
  EXPECT_EQ(r.term_signal, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "stdout\n");
}

}  // namespace
