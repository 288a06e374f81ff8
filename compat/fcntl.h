#pragma once

// Opening files, and the descriptor helpers that a byte-exact copy needs on every host.

#include <fcntl.h>
#include <sys/types.h>

namespace compat {

// Opens `path` as open(2) does, with the host's O_* flags; `mode` counts only with
// O_CREAT. A descriptor, or -1 with errno from the host.
int open(const char* path, int flags, mode_t mode = 0);

// Makes descriptor `fd` carry bytes unchanged: binary mode where the host's runtime has a
// text mode (which writes LF as CR LF, drops CR on input and ends a file at Ctrl-Z);
// nothing elsewhere. 0, or -1 with errno.
int set_binary_mode(int fd);

// True when descriptors `a` and `b` are both open on one and the same regular file (same
// device and file number), so that copying one onto the other would feed on itself.
bool same_regular_file(int a, int b);

}  // namespace compat
