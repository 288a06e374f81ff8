#pragma once

// The host's calls on files named by path, where their meaning differs between hosts.
// Names are bytes on POSIX hosts; on the Windows host they are UTF-8, converted to UTF-16
// for the runtime's wide calls, so that no character is lost to a code page.
// host_files_posix.cpp and host_files_win32.cpp implement this header, and only they
// include platform headers for it.

#include <cstddef>

#include <sys/stat.h>
#include <sys/types.h>

namespace compat::host {

// True where names are UTF-8 whatever the locale, as this host converts them; false where
// they are bytes in the locale's encoding.
bool names_are_utf8();

// Writes the absolute form of `path` into `buffer` (`size` bytes), in the manner of the
// Windows runtime's _fullpath: the path is handled as text and need not exist; a null or
// empty path gives the current directory. Returns `buffer`, or null with errno (ERANGE
// when the result and its zero byte do not fit in `size`).
char* fullpath(char* buffer, const char* path, std::size_t size);

// Creates a directory the way the one-argument host call does (no mode of ours is
// applied). 0, or -1 with errno.
int mkdir(const char* path);

// The status of `path` as the host's stat reports it; a trailing separator names the
// directory before it. 0, or -1 with errno.
int stat(const char* path, struct stat* status);

// The directory part of `path` (see compat/libgen.h).
char* dirname(char* path);

// open(2): a descriptor for `path`, `mode` used only with O_CREAT; -1 with errno.
int open(const char* path, int flags, mode_t mode);

// chmod(2): the permission bits the host keeps (on the Windows host only whether the
// file may be written). 0, or -1 with errno.
int chmod(const char* path, mode_t mode);

}  // namespace compat::host
