// mkdir: creates the directories named on its command line, in order. With -p it also
// creates every missing directory on the way and accepts one that already exists.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "compat/arguments.h"
#include "compat/err.h"
#include "compat/libgen.h"
#include "compat/stdio.h"
#include "compat/sys_stat.h"

namespace {

// What became of one operand. Only a directory just created gets the -m permissions.
enum BuildResult { build_failed = 0, build_created = 1, build_existed = 2 };

constexpr mode_t default_mode = 0777;
// Cleared from the umask for the directories on the way, so the walk can go on inside them.
constexpr mode_t owner_write_search = S_IWUSR | S_IXUSR;

int parents;     // -p
int verbose;     // -v
int mode_given;  // -m: new directories get mode_value by a permission change
mode_t mode_value = default_mode;
int exit_status;

[[noreturn]] void usage() {
  compat::fputs("usage: mkdir [-pv] [-m mode] directory_name ...\n", stderr);
  std::exit(1);
}

// The host's mode type has 16 bits: only the low 16 bits of the mode text's value count.
void set_mode(const char* text) {
  void* set = compat::setmode(text);
  if (set == nullptr) compat::errx(1, "invalid file mode: %s", text);
  mode_value = static_cast<mode_t>(compat::getmode(set, default_mode) & 0xffff);
  std::free(set);
}

void announce(const char* path) {
  if (verbose != 0) (void)compat::puts(path);
}

// Whether `path` names an existing directory, after creating it failed with EEXIST.
bool existing_directory(const char* path) {
  struct stat status;
  if (compat::stat(path, &status) != 0) return false;
  return S_ISDIR(status.st_mode);
}

// True when nothing but separators is left: a trailing run of them ends the path, however
// long it is, so "out//" names the final directory "out" and gets its mode.
bool only_separators_follow(const char* p) {
  while (*p == '/') ++p;
  return *p == '\0';
}

// Creates the prefix `path` as a directory on the way or as the final one; false, with
// the prefix reported, when it neither could be made nor already is a directory.
bool create_or_accept(const char* path, bool last, bool& existed) {
  existed = false;
  if (compat::mkdir(path, last ? mode_value : default_mode) == 0) {
    announce(path);
    return true;
  }
  if ((errno == EEXIST || errno == EISDIR) && existing_directory(path)) {
    existed = true;
    return true;
  }
  compat::warnx("%s", path);
  return false;
}

// The -p walk over one operand: each prefix ending at a separator is made or accepted,
// the ones on the way under the user's umask less owner write and search, the last one
// under the user's own umask. The umask is the user's again on every way out. The
// operand stays cut after the last prefix handled, for the permission change.
BuildResult build_parents(char* path) {
  char* p = path;
  if (*p == '/') ++p;  // the root is never created
  bool first = true;
  bool last = false;
  mode_t saved_umask = 0;
  BuildResult result = build_created;
  for (;; ++p) {
    if (*p == '\0') {
      last = true;
    } else if (*p != '/') {
      continue;
    }
    *p = '\0';
    if (!last && only_separators_follow(p + 1)) last = true;
    if (first) {
      saved_umask = static_cast<mode_t>(umask(0));
      umask(static_cast<mode_t>(saved_umask & ~owner_write_search));
      first = false;
    }
    if (last) umask(saved_umask);
    bool existed = false;
    if (!create_or_accept(path, last, existed)) {
      result = build_failed;
      break;
    }
    if (last) {
      if (existed) result = build_existed;
      break;
    }
    *p = '/';
  }
  if (!last) umask(saved_umask);
  return result;
}

// One attempt without -p. A missing or non-directory parent is reported by the operand's
// directory part, anything else by the operand.
BuildResult create_directory(char* path) {
  if (compat::mkdir(path, mode_value) == 0) {
    announce(path);
    return build_created;
  }
  if (errno == ENOTDIR || errno == ENOENT) {
    compat::warnx("%s", compat::dirname(path));
  } else {
    compat::warnx("%s", path);
  }
  return build_failed;
}

void make_operand(char* path) {
  BuildResult result = parents != 0 ? build_parents(path) : create_directory(path);
  if (result == build_failed) exit_status = 1;
  if (result == build_created && mode_given != 0 && compat::chmod(path, mode_value) == -1) {
    compat::warnx("%s", path);
    exit_status = 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  compat::utf8_arguments(&argc, &argv);
  const char* mode_text = nullptr;
  int option;
  while ((option = getopt(argc, argv, "+m:pv")) != -1) {
    switch (option) {
      case 'm':
        mode_text = optarg;
        mode_given = 1;
        break;
      case 'p':
        parents = 1;
        break;
      case 'v':
        verbose = 1;
        break;
      default:
        usage();
    }
  }
  if (optind >= argc) usage();
  if (mode_given != 0) set_mode(mode_text);

  for (int i = optind; i < argc; ++i) make_operand(argv[i]);

  // -v lines that never reached standard output are a failure, not a quiet success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) compat::errx(1, "stdout");
  std::exit(exit_status);
}
