// What every host's program tests share on top of run_program.
#include "testing/run_program.h"

namespace orva_testing {

RunResult Program::run(const RunOptions& options) const {
  RunResult r = run_program(path, options);
  if (out == Output::Text) r.out = as_text(r.out);
  if (err == Output::Text) r.err = as_text(r.err);
  return r;
}

RunResult Program::run(const std::vector<std::string>& args) const {
  RunOptions options;
  options.args = args;
  return run(options);
}

RunResult Program::run_in(const std::string& cwd, const std::vector<std::string>& args,
                          const std::string& input) const {
  return run(in_dir(cwd, args, input));
}

RunOptions in_dir(const std::string& cwd, const std::vector<std::string>& args,
                  const std::string& input) {
  RunOptions options;
  options.args = args;
  options.input = input;
  options.cwd = cwd;
  return options;
}

::testing::AssertionResult is_report_then(const std::string& usage, const std::string& err) {
  if (err.size() > usage.size() && err.ends_with(usage)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "not a report followed by the usage: \"" << err << "\"";
}

}  // namespace orva_testing
