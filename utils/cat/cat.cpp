// cat: copies the files named on its command line, and standard input for "-" or when no
// file is named, to standard output byte for byte, through one 4096-byte buffer and the
// descriptor calls alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compat/arguments.h"
#include "compat/err.h"
#include "compat/fcntl.h"
#include "compat/stdio.h"
#include "compat/unistd.h"

namespace {

// Chunk sizes are unsigned int: the count type of read and write on every host.
constexpr unsigned buffer_size = 4096;

int exit_status;
int lines_flag;          // -l: the run fails before anything is copied
const char* input_name;  // the operand, or "stdin"; read errors name it
char* buffer;            // made at the first opened input, kept until the process ends

[[noreturn]] void usage() {
  static const char text[] = "usage: cat [-lu] [file ...]\n";
  (void)compat::fwrite(text, 1, sizeof text - 1, stderr);
  std::exit(1);
}

// Reads up to `size` bytes; a signal that interrupts the call is not an error.
ssize_t read_retrying(int fd, char* data, unsigned size) {
  ssize_t count;
  do {
    count = compat::read(fd, data, size);
  } while (count < 0 && errno == EINTR);
  return count;
}

// Writes all of `data`, continuing a short write from where it stopped. A failed write,
// or one that moves no bytes and so would never finish, ends the run.
void write_all(int fd, const char* data, unsigned size) {
  while (size > 0) {
    ssize_t count = compat::write(fd, data, size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) compat::errx(1, "stdout");
    data += count;
    size -= static_cast<unsigned>(count);
  }
}

// Once per run, at the first input that opened: the status query of standard output is
// also the check that it is usable at all.
void make_buffer(int out) {
  struct stat output_status;
  if (fstat(out, &output_status) != 0) compat::errx(1, "stdout");
  buffer = static_cast<char*>(std::malloc(buffer_size));
  if (buffer == nullptr) compat::errx(1, "malloc() failure of IO buffer");
}

void copy_input(int in, int out) {
  ssize_t count;
  while ((count = read_retrying(in, buffer, buffer_size)) > 0) {
    write_all(out, buffer, static_cast<unsigned>(count));
  }
  if (count < 0) {
    compat::warnx("%s", input_name);
    exit_status = 1;
  }
}

// Opens the file `operand` read-only, in binary mode where the host has a text mode;
// -1, reported, when it cannot be opened.
int open_input(const char* operand) {
  int in = compat::open(operand, O_RDONLY);
  if (in < 0) {
    compat::warnx("%s", operand);
    exit_status = 1;
    return in;
  }
  (void)compat::set_binary_mode(in);
  return in;
}

// Copies one input: standard input for a null or "-" operand, else the named file.
// Only a descriptor opened here is closed here: standard input stays open for a later
// "-", and a file that was given descriptor 0 is not left behind for that "-" to read.
void cat_input(const char* operand) {
  bool from_stdin = operand == nullptr || std::strcmp(operand, "-") == 0;
  input_name = from_stdin ? "stdin" : operand;
  int in = from_stdin ? 0 : open_input(operand);
  if (in < 0) return;
  int out = fileno(stdout);
  // The host hands out the lowest free descriptor: an input that got the output's
  // descriptor means standard output was closed.
  if (in == out) compat::errx(1, "stdout");
  if (buffer == nullptr) make_buffer(out);
  // Copying the very file that standard output writes to would read back what was just
  // written: `cat f >> f` would fill the disk.
  if (compat::same_regular_file(in, out)) {
    compat::warnx("%s", input_name);
    exit_status = 1;
  } else {
    copy_input(in, out);
  }
  if (!from_stdin) close(in);
}

}  // namespace

int main(int argc, char** argv) {
  compat::utf8_arguments(&argc, &argv);
  // What is read is what is written, on hosts with a text mode too.
  (void)compat::set_binary_mode(0);
  (void)compat::set_binary_mode(fileno(stdout));
  int option;
  while ((option = getopt(argc, argv, "+lu")) != -1) {
    switch (option) {
      case 'l':
        lines_flag = 1;
        break;
      case 'u':
        std::setbuf(stdout, nullptr);
        break;
      default:
        usage();
    }
  }
  if (lines_flag != 0) compat::errx(1, "stdout");

  if (optind >= argc) {
    cat_input(nullptr);
  } else {
    for (int i = optind; i < argc; ++i) cat_input(argv[i]);
  }

  if (std::fclose(stdout) != 0) compat::errx(1, "stdout");
  std::exit(exit_status);
}
