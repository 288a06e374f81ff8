#pragma once

// The few host runtime calls whose meaning differs between hosts. Only host_posix.cpp and
// host_win32.cpp implement this header, and only they include platform headers; the rest of
// the layer is host-independent and calls these.

#include <cstddef>
#include <ctime>

#include <sys/stat.h>

#include "compat/time.h"

namespace compat::host {

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

// Converts *timer to broken-down UTC (gmtime64) or local (localtime64) time in *result.
// 0, or -1 with errno EINVAL when the host cannot convert the time (*result untouched).
int gmtime64(const time64_t* timer, std::tm* result);
int localtime64(const time64_t* timer, std::tm* result);

// A heap copy of `text` that the caller frees with free(); null with ENOMEM.
char* strdup(const char* text);

}  // namespace compat::host

// --- traversal ---

#include <dirent.h>

namespace compat::host {

// The status of `name`, an entry of the open directory `directory`, whose full path is
// `path` (`path_length` characters): the same result as stat(path), links followed, but
// possibly cheaper to take. 0, or -1 with errno.
int stat_in_directory(DIR* directory, const char* name, const char* path,
                      std::size_t path_length, struct stat* status);

}  // namespace compat::host

// --- pattern matching ---

namespace compat::host {

// True where names are UTF-8 whatever the locale, as the host fence converts them: the
// matcher then decodes UTF-8 itself, not in the locale's encoding. A lone surrogate comes
// in its three-byte form there. A constant rather than a call: the matcher reads it on
// every call.
extern const bool names_are_utf8;

// True when, in the current LC_CTYPE locale, mbrtowc decodes every byte below 0x80 to
// itself and leaves the conversion state initial; false when that is not known.
bool ascii_decodes_to_itself();

// True when, in the current LC_CTYPE locale, ascii_decodes_to_itself() holds and towlower
// maps every value below 0x80 to its plain ASCII lower case (A-Z to a-z, the rest to
// itself); false when that is not known.
bool ascii_case_is_plain();

}  // namespace compat::host

// --- descriptors ---

namespace compat::host {

// Puts descriptor `fd` into binary mode where the runtime translates line ends in text
// mode; does nothing on hosts without a text mode. 0, or -1 with errno.
int set_binary_mode(int fd);

// True when descriptors `a` and `b` are both open on one and the same regular file.
bool same_regular_file(int a, int b);

}  // namespace compat::host
