// orva-sdkversion, run as a program: what it prints, where, and with which status.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/build_fact_forms.h"
#include "testing/run_program.h"

namespace {

using orva_testing::Program;
using orva_testing::RunOptions;
using orva_testing::RunResult;
using orva_testing::Stdout;

const Program tool = {ORVA_TOOL_ORVA_SDKVERSION};

const char help_text[] =
    "orva-sdkversion: Information about the ORVA Application SDK\n"
    "(Tools for the operating system of the Tessik Game Console)\n"
    "---\n"
    "This program identifies the location and version of the SDK.\n"
    "If you can run this as a shell command, your PATH is correct.\n"
    "---\n"
    "Futher, this command can give information about the SDK:\n"
    "Short option | Long option | What it prints\n"
    "           h          help   This help information\n"
    "           v       version   Version of the SDK codebase from Git\n"
    "           d          date   Time when the SDK was compiled\n"
    "           c       changed   Time of last change to SDK codebase\n"
    "           o            os   Host operating system running the SDK\n"
    "           m       machine   Processor type running the SDK\n"
    "---\n";

std::string error_for(const std::string& text) {
  return "orva-sdkversion: Unrecognized option \"" + text + "\". Try -h.\n";
}

// The values this build printed for -v, -d, -c, -o, -m, each read on its own.
std::string value_of(const std::string& option) {
  std::string out = tool.run({option}).out;
  return out.substr(0, out.size() - 2);  // drop the trailing space and newline
}

TEST(SdkVersion, NoArgumentsPrintsANewlineAlone) {
  RunResult r = tool.run(RunOptions{});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n");
  EXPECT_EQ(r.err, "");
}

TEST(SdkVersion, EachValueIsOneWordInItsForm) {
  for (const orva_testing::BuildFactForm& fact : orva_testing::build_fact_forms) {
    RunResult r = tool.run({fact.option});
    EXPECT_EQ(r.status, 0) << fact.option;
    EXPECT_TRUE(std::regex_match(r.out, std::regex(std::string(fact.form) + " \n")))
        << fact.option << " printed \"" << r.out << "\"";
    EXPECT_EQ(r.err, "") << fact.option;
  }
}

TEST(SdkVersion, ReportFollowsTableOrderWithASpaceAfterEachValue) {
  const std::string v = value_of("-v"), d = value_of("-d"), c = value_of("-c"), o = value_of("-o"),
                    m = value_of("-m");
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"-o", "-m"}, o + " " + m + " \n"},
      {{"-mo"}, o + " " + m + " \n"},
      {{"-m", "-o"}, o + " " + m + " \n"},
      {{"-vdcom"}, v + " " + d + " " + c + " " + o + " " + m + " \n"},
      {{"-mocdv"}, v + " " + d + " " + c + " " + o + " " + m + " \n"},
      {{"--machine", "--changed", "--version"}, v + " " + c + " " + m + " \n"},
      {{"--os", "-d"}, d + " " + o + " \n"},
  };
  for (const Case& k : cases) {
    RunResult r = tool.run(k.args);
    EXPECT_EQ(r.status, 0) << k.args[0];
    EXPECT_EQ(r.out, k.out) << k.args[0];
    EXPECT_EQ(r.err, "");
  }
}

TEST(SdkVersion, NamingARowTwicePrintsItOnce) {
  const std::string v = value_of("-v");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-v", "-v"}, {"-vv"}, {"--version", "-v"}, {"--version", "--version"}}) {
    RunResult r = tool.run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, v + " \n") << args[0];
  }
}

TEST(SdkVersion, HelpGoesToStandardErrorAndWinsOverTheReport) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-h"}, {"--help"}, {"-vh"}, {"-hv"}, {"--date", "-h"}, {"-h", "-h"}, {"-h", "--os"}}) {
    RunResult r = tool.run(args);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_EQ(r.err, help_text) << args[0];
  }
}

TEST(SdkVersion, RejectsTheOffendingTextWithStatusMinusOne) {
  struct Case {
    std::vector<std::string> args;
    std::string offending;
  };
  const Case cases[] = {
      // Whole-argument rejections, in the order of the parser's tests.
      {{"--"}, "--"},
      {{"-"}, "-"},
      {{"foo"}, "foo"},
      {{""}, ""},
      {{"v"}, "v"},
      // Long options match only whole and case-sensitively.
      {{"--HELP"}, "--HELP"},
      {{"--hel"}, "--hel"},
      {{"--help=1"}, "--help=1"},
      {{"---"}, "---"},
      {{"--h"}, "--h"},
      {{"--version "}, "--version "},
      // A bad letter of a cluster is reported alone, with one hyphen.
      {{"-V"}, "-V"},
      {{"-vx"}, "-x"},
      {{"-help"}, "-e"},
      {{"-v-"}, "--"},
      {{"-v "}, "- "},
      // Names from any script come back whole, in UTF-8; a bad letter is a whole character.
      {{"日本語"}, "日本語"},
      {{"--😀"}, "--😀"},
      {{"--vérsion"}, "--vérsion"},
      {{"-vü"}, "-ü"},
      {{"-d日x"}, "-日"},
      {{"-😀v"}, "-😀"},
      {{"-e\xCC\x81"}, "-e"},
  };
  for (const Case& c : cases) {
    RunResult r = tool.run(c.args);
    EXPECT_EQ(r.status, 255) << "argument \"" << c.args[0] << "\"";
    EXPECT_EQ(r.out, "") << "argument \"" << c.args[0] << "\"";
    EXPECT_EQ(r.err, error_for(c.offending)) << "argument \"" << c.args[0] << "\"";
  }
}

TEST(SdkVersion, FirstErrorWinsAndNothingElseIsPrinted) {
  struct Case {
    std::vector<std::string> args;
    std::string offending;
  };
  const Case cases[] = {
      {{"-h", "-x"}, "-x"},           {{"-v", "foo"}, "foo"}, {{"-x", "-y"}, "-x"},
      {{"--help", "--", "-h"}, "--"}, {{"-vq", "-z"}, "-q"},  {{"-d", "-", "-h"}, "-"},
  };
  for (const Case& c : cases) {
    RunResult r = tool.run(c.args);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, error_for(c.offending));
  }
}

TEST(SdkVersion, NameIsFixedWhateverItIsStartedAs) {
  RunOptions options;
  options.args = {"-x"};
  options.argv0 = "some-other-name";
  RunResult r = tool.run(options);
  EXPECT_EQ(r.err, error_for("-x"));
  options.args = {"-h"};
  EXPECT_EQ(tool.run(options).err, help_text);
}

TEST(SdkVersion, ReportThatCannotBeWrittenIsAFailure) {
  for (Stdout mode : {Stdout::Closed, Stdout::DevFull, Stdout::ReaderGone}) {
    RunOptions options;
    options.args = {"-vdcom"};
    options.stdout_mode = mode;
    RunResult r = tool.run(options);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err.rfind("orva-sdkversion: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  }
}

TEST(SdkVersion, EmptyReportThatCannotBeWrittenIsAFailure) {
  RunOptions options;
  options.stdout_mode = Stdout::DevFull;
  RunResult r = tool.run(options);
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err, "");
}

TEST(SdkVersion, HelpIsUnaffectedByAClosedStandardOutput) {
  RunOptions options;
  options.args = {"-h"};
  options.stdout_mode = Stdout::Closed;
  RunResult r = tool.run(options);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, help_text);
}

}  // namespace
