#include "compat/fcntl.h"

#include "compat/host_descriptors.h"
#include "compat/host_files.h"

namespace compat {

int open(const char* path, int flags, mode_t mode) { return host::open(path, flags, mode); }

int set_binary_mode(int fd) { return host::set_binary_mode(fd); }

bool same_regular_file(int a, int b) { return host::same_regular_file(a, b); }

}  // namespace compat
