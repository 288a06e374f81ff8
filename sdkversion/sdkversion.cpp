// orva-sdkversion: proves that the SDK's tool directory is on the search path and, on
// request, prints the facts fixed into the SDK when it was built.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compat/arguments.h"
#include "compat/stdio.h"
#include "sdkversion/build_facts.h"

namespace {

struct OptionRow {
  const char* short_option;  // only the first character counts
  const char* long_option;   // compared whole
  const char* value;         // what the report prints for this row
  const char* description;   // third column of the help
};

// The help row must come first: its requested flag is what selects the help.
constexpr OptionRow option_table[] = {
    {"h", "help", "###", "This help information"},
    {"v", "version", build_revision, "Version of the SDK codebase from Git"},
    {"d", "date", build_time, "Time when the SDK was compiled"},
    {"c", "changed", build_changed, "Time of last change to SDK codebase"},
    {"o", "os", build_os, "Host operating system running the SDK"},
    {"m", "machine", build_machine, "Processor type running the SDK"},
    {nullptr, nullptr, nullptr, nullptr},
};

constexpr int row_count = static_cast<int>(sizeof option_table / sizeof option_table[0]) - 1;
constexpr int failure_status = -1;

// Parallel to option_table: 1 once the command line names the row.
int requested[row_count];

[[noreturn]] void report_unrecognized_option(const char* text) {
  compat::fprintf(stderr, "orva-sdkversion: Unrecognized option \"%s\". Try -h.\n", text);
  std::exit(failure_status);
}

// A letter is a whole character: a lead byte of UTF-8 (0xC0 and up) takes the
// continuation bytes after it, so the report quotes the character and not a broken part
// of it.
std::size_t letter_length(const char* letter) {
  std::size_t length = 1;
  if (static_cast<unsigned char>(letter[0]) < 0xC0) return length;
  while (length < 4 && (static_cast<unsigned char>(letter[length]) & 0xC0) == 0x80) ++length;
  return length;
}

[[noreturn]] void report_unrecognized_letter(const char* letter) {
  char text[6] = {'-'};
  std::size_t length = letter_length(letter);
  std::memcpy(text + 1, letter, length);
  text[1 + length] = '\0';
  report_unrecognized_option(text);
}

// Marks every row whose long option is `name`; false when none is.
bool request_long_option(const char* name) {
  bool found = false;
  for (int row = 0; option_table[row].short_option != nullptr; ++row) {
    if (std::strcmp(option_table[row].long_option, name) == 0) {
      requested[row] = 1;
      found = true;
    }
  }
  return found;
}

// Marks every row whose short option starts with `letter`; false when none does.
bool request_short_option(char letter) {
  bool found = false;
  for (int row = 0; option_table[row].short_option != nullptr; ++row) {
    if (option_table[row].short_option[0] == letter) {
      requested[row] = 1;
      found = true;
    }
  }
  return found;
}

void parse_argument(const char* arg) {
  if (std::strcmp(arg, "--") == 0 || std::strcmp(arg, "-") == 0 || arg[0] != '-') {
    report_unrecognized_option(arg);
  }
  if (arg[1] == '-') {
    if (!request_long_option(arg + 2)) report_unrecognized_option(arg);
    return;
  }
  for (const char* letter = arg + 1; *letter != '\0'; ++letter) {
    if (!request_short_option(*letter)) report_unrecognized_letter(letter);
  }
}

void print_help() {
  compat::fputs(
      "orva-sdkversion: Information about the ORVA Application SDK\n"
      "(Tools for the operating system of the Tessik Game Console)\n---\n"
      "This program identifies the location and version of the SDK.\n"
      "If you can run this as a shell command, your PATH is correct.\n---\n"
      "Futher, this command can give information about the SDK:\n"
      "Short option | Long option | What it prints\n",
      stderr);
  for (int row = 0; option_table[row].short_option != nullptr; ++row) {
    compat::fprintf(stderr, " %11s   %11s   %s\n", option_table[row].short_option,
                    option_table[row].long_option, option_table[row].description);
  }
  compat::fputs("---\n", stderr);
}

void print_report() {
  for (int row = 0; option_table[row].short_option != nullptr; ++row) {
    if (requested[row] != 0) compat::printf("%s ", option_table[row].value);
  }
  compat::putchar('\n');
}

// A script that reads the report must learn that it got nothing: check the stream's
// error flag and the final close, which flushes what is still buffered.
bool close_stream(FILE* stream) {
  bool failed = std::ferror(stream) != 0;
  return std::fclose(stream) == 0 && !failed;
}

}  // namespace

int main(int argc, char** argv) {
  compat::utf8_arguments(&argc, &argv);
  for (int i = 1; i < argc; ++i) parse_argument(argv[i]);

  if (requested[0] != 0) {
    print_help();
    if (std::fflush(stderr) != 0 || std::ferror(stderr) != 0) std::exit(failure_status);
    std::exit(0);
  }
  print_report();
  if (!close_stream(stdout)) {
    int error = errno;
    compat::fprintf(stderr, "orva-sdkversion: cannot write the report: %s\n", std::strerror(error));
    std::exit(failure_status);
  }
  std::exit(0);
}
