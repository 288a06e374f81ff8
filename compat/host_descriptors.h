#pragma once

// The host's calls on open descriptors, where their meaning differs between hosts.
// host_descriptors_posix.cpp and host_descriptors_win32.cpp implement this header.

namespace compat::host {

// Puts descriptor `fd` into binary mode where the runtime translates line ends in text
// mode; does nothing on hosts without a text mode. 0, or -1 with errno.
int set_binary_mode(int fd);

// True when descriptors `a` and `b` are both open on one and the same regular file.
bool same_regular_file(int a, int b);

}  // namespace compat::host
