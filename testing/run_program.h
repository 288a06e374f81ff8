#pragma once

#include <optional>
#include <string>
#include <vector>

#include "testing/host.h"

// Runs a built program the way a shell script would, and captures what it did.

namespace orva_testing {

enum class Stdout {
  Pipe,          // captured into RunResult::out
  Closed,        // descriptor 1 closed when the program starts
  DevFull,       // descriptor 1 on /dev/full: every write fails with ENOSPC
  AppendToFile,  // descriptor 1 appends to RunOptions::stdout_file, as `>> file` does
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

// Shorthand: only arguments, everything else as by default.
RunResult run_program(const std::string& program, const std::vector<std::string>& args);

// Text a program wrote through the C runtime's streams, as the test compares it: on the
// Windows host the runtime's text mode writes each newline as CR LF, which this turns back
// into LF; elsewhere the bytes are returned unchanged. Byte-exact output (cat) is compared raw.
std::string as_text(const std::string& bytes);

}  // namespace orva_testing
