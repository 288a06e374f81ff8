// The descriptor calls of compat/host_descriptors.h for Linux and other POSIX hosts.

#include "compat/host_descriptors.h"

#include <sys/stat.h>

namespace compat::host {

// POSIX descriptors carry bytes unchanged.
int set_binary_mode(int /*fd*/) { return 0; }

bool same_regular_file(int a, int b) {
  struct stat first, second;
  if (::fstat(a, &first) != 0 || ::fstat(b, &second) != 0) return false;
  return S_ISREG(first.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace compat::host
