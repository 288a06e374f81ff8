// The build-facts script, run the way the build runs it: the form of each fact, the
// overrides, SOURCE_DATE_EPOCH, and the fallbacks outside a Git checkout.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/build_fact_forms.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

using orva_testing::RunOptions;
using orva_testing::RunResult;

struct Facts {
  int status = -1;
  std::string err;
  std::string source;  // the generated source
  std::string revision, time, changed, os, machine;
};

std::string fact(const std::string& source, const std::string& name) {
  std::smatch m;
  std::regex line("const char " + name + "\\[\\] = \"([^\"]*)\";");
  return std::regex_search(source, m, line) ? m[1].str() : "<missing>";
}

// Runs the script with `definitions` (-D...) and `env` (NAME=VALUE), from `source_dir`.
Facts run_script(const std::string& source_dir, std::vector<std::string> definitions,
                 const std::vector<std::string>& env = {}) {
  orva_testing::TempDir out_dir;
  const std::string output = out_dir / "build_facts.cpp";
  RunOptions options;
  options.args = {"-DSOURCE_DIR=" + source_dir, "-DOUTPUT=" + output};
  options.args.insert(options.args.end(), definitions.begin(), definitions.end());
  options.args.push_back("-P");
  options.args.push_back(ORVA_BUILD_FACTS_SCRIPT);
  options.extra_env = env;
  options.extra_env.push_back("SOURCE_DATE_EPOCH=");  // unless the case sets it below
  if (!env.empty() && env[0].rfind("SOURCE_DATE_EPOCH=", 0) == 0) options.extra_env.pop_back();
  RunResult r = orva_testing::run_program(ORVA_CMAKE_COMMAND, options);
  std::string source = orva_testing::read_file(output);
  return {r.status,
          r.err,
          source,
          fact(source, "build_revision"),
          fact(source, "build_time"),
          fact(source, "build_changed"),
          fact(source, "build_os"),
          fact(source, "build_machine")};
}

void expect_documented_forms(const Facts& f) {
  for (const orva_testing::BuildFactForm& form : orva_testing::build_fact_forms) {
    const std::string value = fact(f.source, form.variable);
    EXPECT_TRUE(std::regex_match(value, std::regex(form.form))) << form.variable << ": " << value;
  }
}

TEST(BuildFacts, EveryFactHasItsFormInThisCheckout) {
  Facts f = run_script(ORVA_SOURCE_DIR, {});
  ASSERT_EQ(f.status, 0) << f.err;
  expect_documented_forms(f);
}

TEST(BuildFacts, EveryFallbackHasItsFormOutsideAGitCheckout) {
  orva_testing::TempDir not_a_checkout;
  Facts f =
      run_script(not_a_checkout.path(), {}, {"GIT_CEILING_DIRECTORIES=" + not_a_checkout.path()});
  ASSERT_EQ(f.status, 0) << f.err;
  expect_documented_forms(f);
  EXPECT_EQ(f.revision, "00000000");
  EXPECT_EQ(f.changed, "1970-01-01T00:00:00+00:00");
}

TEST(BuildFacts, BuildTimeComesFromSourceDateEpoch) {
  struct Case {
    long long epoch;  // seconds
    const char* time;
  };
  const Case cases[] = {
      {0, "1970-01-01T00:00:00Z"},
      {1700000000, "2023-11-14T22:13:20Z"},
      {951782400, "2000-02-29T00:00:00Z"},
  };
  for (const Case& c : cases) {
    const std::string setting = "SOURCE_DATE_EPOCH=" + std::to_string(c.epoch);
    Facts f = run_script(ORVA_SOURCE_DIR, {}, {setting});
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.time, c.time) << setting;
  }
}

TEST(BuildFacts, OverridesReplaceEachFact) {
  Facts f = run_script(ORVA_SOURCE_DIR,
                       {"-DREVISION=0123abcd", "-DBUILD_TIME=2024-01-02T03:04:05Z",
                        "-DCHANGED=2024-01-01T23:00:00-05:30", "-DOS=Msys", "-DMACHINE=x86_64"});
  ASSERT_EQ(f.status, 0) << f.err;
  EXPECT_EQ(f.revision, "0123abcd");
  EXPECT_EQ(f.time, "2024-01-02T03:04:05Z");
  EXPECT_EQ(f.changed, "2024-01-01T23:00:00-05:30");
  EXPECT_EQ(f.os, "Msys");
  EXPECT_EQ(f.machine, "x86_64");
}

TEST(BuildFacts, OverrideOutOfFormStopsTheBuild) {
  for (const char* definition :
       {"-DREVISION=0123ABCD", "-DREVISION=0123abc", "-DBUILD_TIME=2024-01-02 03:04:05Z",
        "-DCHANGED=2024-01-01T23:00:00Z", "-DOS=two words"}) {
    Facts f = run_script(ORVA_SOURCE_DIR, {definition});
    EXPECT_NE(f.status, 0) << definition;
  }
}

}  // namespace
