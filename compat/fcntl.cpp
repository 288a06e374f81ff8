#include "compat/fcntl.h"

#include "compat/host.h"

namespace compat {

int set_binary_mode(int fd) { return host::set_binary_mode(fd); }

bool same_regular_file(int a, int b) { return host::same_regular_file(a, b); }

}  // namespace compat
