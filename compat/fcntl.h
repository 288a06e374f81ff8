#pragma once

// Descriptor helpers that a byte-exact copy needs on every host.

namespace compat {

// Makes descriptor `fd` carry bytes unchanged: binary mode where the host's runtime has a
// text mode (which writes LF as CR LF, drops CR on input and ends a file at Ctrl-Z);
// nothing elsewhere. 0, or -1 with errno.
int set_binary_mode(int fd);

// True when descriptors `a` and `b` are both open on one and the same regular file (same
// device and file number), so that copying one onto the other would feed on itself.
bool same_regular_file(int a, int b);

}  // namespace compat
