#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/host.h"

// Runs a built program the way a shell script would, and captures what it did.

namespace orva_testing {

enum class Stdout {
  Pipe,          // captured into RunResult::out
  Closed,        // descriptor 1 closed when the program starts
  DevFull,       // descriptor 1 on /dev/full: every write fails with ENOSPC
  AppendToFile,  // descriptor 1 appends to RunOptions::stdout_file, as `>> file` does
  // Descriptor 1 is a pipe whose reader has gone: every write fails (EPIPE). On POSIX hosts
  // the program starts with SIGPIPE ignored, as a script that ignores it starts it;
  // otherwise the signal would end it before any write could fail.
  ReaderGone,
};

enum class Stdin {
  Pipe,      // fed RunOptions::input, then end of input
  Closed,    // descriptor 0 closed when the program starts
  FromFile,  // descriptor 0 reads RunOptions::stdin_file, as `< file` does
};

struct RunOptions {
  std::vector<std::string> args;  // arguments after the program name
  std::string input;              // bytes on standard input
  std::string cwd;                // working directory; empty: the test's own
  // The whole environment as NAME=VALUE; unset means the test's own environment.
  std::optional<std::vector<std::string>> env;
  std::vector<std::string> extra_env;  // NAME=VALUE added to (or replacing in) the above
  std::optional<unsigned> umask;       // the program's umask; unset: the test's own
  Stdout stdout_mode = Stdout::Pipe;
  std::string stdout_file;  // for Stdout::AppendToFile; created when missing
  Stdin stdin_mode = Stdin::Pipe;
  std::string stdin_file;  // for Stdin::FromFile; must exist
  std::string argv0;       // the name the program is started under; empty: its path
};

struct RunResult {
  int status = -1;      // exit status 0..255, or -1 when the program was killed
  int term_signal = 0;  // the signal that killed it, or 0
  std::string out;      // standard output bytes
  std::string err;      // standard error bytes
};

// Starts `program` with `options` and waits for it. Fails the calling test (and returns a
// result with status -1) when the program cannot be started.
RunResult run_program(const std::string& program, const RunOptions& options);

// Text a program wrote through the C runtime's streams, as the test compares it: on the
// Windows host the runtime's text mode writes each newline as CR LF, which this turns back
// into LF; elsewhere the bytes are returned unchanged.
std::string as_text(const std::string& bytes);

// How a test compares one of a program's output streams.
enum class Output {
  Text,   // through as_text: the same lines on every host
  Bytes,  // byte for byte, as written (what cat copies)
};

// A built program under test, and how its tests compare its two output streams.
struct Program {
  std::string path;
  Output out = Output::Text;
  Output err = Output::Text;

  // run_program, with each output stream converted as said above.
  RunResult run(const RunOptions& options) const;
  RunResult run(const std::vector<std::string>& args) const;
  // In the directory `cwd`, with `input` on standard input.
  RunResult run_in(const std::string& cwd, const std::vector<std::string>& args,
                   const std::string& input = "") const;
};

// Options for a run in the directory `cwd` with `args` and `input` on standard input.
RunOptions in_dir(const std::string& cwd, const std::vector<std::string>& args,
                  const std::string& input = "");

// Succeeds when `err` is a report of the option parser's own (in the host's words) followed
// by `usage`.
::testing::AssertionResult is_report_then(const std::string& usage, const std::string& err);

}  // namespace orva_testing
