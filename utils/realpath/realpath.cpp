// realpath: prints the absolute form of each path on its command line, one per line. The
// paths are handled as text: nothing is looked up in the file system.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "compat/arguments.h"
#include "compat/err.h"
#include "compat/stdio.h"
#include "compat/stdlib.h"

namespace {

bool quiet;  // -q: paths that fail are not reported, only counted in the status
int failed;

[[noreturn]] void usage() {
  compat::fputs("usage: realpath [-q] [path ...]\n", stderr);
  std::exit(1);
}

void print_absolute(const char* path, char* resolved) {
  if (compat::realpath(path, resolved) != nullptr) {
    (void)compat::puts(resolved);
    return;
  }
  if (!quiet) compat::warnx("%s", path);
  failed = 1;
}

// The paths are only useful if they arrive: a write error anywhere, or one that the final
// flush meets, makes the run fail. The flush is checked before the close, since a runtime
// may lose the error of the flush that fclose does.
bool close_stdout() {
  bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  return std::fclose(stdout) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  compat::utf8_arguments(&argc, &argv);
  int option;
  while ((option = getopt(argc, argv, "+q")) != -1) {
    if (option != 'q') usage();
    quiet = true;
  }

  char resolved[compat::PATH_BUFFER_SIZE];
  if (optind >= argc) {
    print_absolute(".", resolved);
  } else {
    for (int i = optind; i < argc; ++i) print_absolute(argv[i], resolved);
  }

  if (!close_stdout()) compat::errx(1, "stdout");
  std::exit(failed);
}
