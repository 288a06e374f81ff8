#pragma once

// The few host runtime calls whose meaning differs between hosts. Only host_posix.cpp and
// host_win32.cpp implement this header, and only they include platform headers; the rest of
// the layer is host-independent and calls these.

#include <cstddef>
#include <cstdint>
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

namespace compat::host {

// A directory open for reading its entries.
struct Directory;

// One entry of a directory listing, as read_directory gives it.
struct DirectoryEntry {
  const char* name;         // NUL-terminated; valid until the next read or the close
  std::size_t name_length;  // strlen(name)
  // The file-type bits of the entry's status (S_IFREG, S_IFDIR, S_IFIFO, ...) where the
  // listing says what the entry is; 0 where it does not, and for a link, whose status
  // is that of what it leads to.
  unsigned type;
  // For a directory, its number among the files of the listed directory's device where
  // the listing gives one and the status has none (a link, which may lead to another
  // device, has none); else 0.
  std::uint64_t file_id;
};

// Opens the directory at `path` for reading. Null with errno: ENOENT for a missing path,
// ENOTDIR for one that is not a directory, or another error of the host.
Directory* open_directory(const char* path);

// Reads the next entry into *entry ("." and ".." among them where the host lists them).
// False at the end, with errno as it was (so that a caller that sets it to 0 first tells
// the end from a failure), or when the listing fails part-way, with errno set.
bool read_directory(Directory* directory, DirectoryEntry* entry);

void close_directory(Directory* directory);

// The identity of the directory at `path`, whose status is `status`: its device and a
// number unique among the files of that device (st_dev and st_ino where the host's status
// has real file numbers). A file number of 0 means that the identity is not known.
void directory_identity(const char* path, const struct stat& status, std::uint64_t* device,
                        std::uint64_t* file);

// The file-type bits that the listing gives for `entry`, whose full path is `path_length`
// characters long, where a status call on that path would say the same; else 0, and the
// status must be taken.
unsigned listed_type(const DirectoryEntry& entry, std::size_t path_length);

// Whether the directories at the first `a_length` bytes of `a` and at the first
// `b_length` bytes of `b`, whose identities are equal, are one and the same directory:
// true where identities are exact, and where the host cannot tell.
bool same_directory(const char* a, std::size_t a_length, const char* b, std::size_t b_length);

// The status of `entry`, just read from `directory`, whose full path is `path`
// (`path_length` characters): the same result as stat(path), links followed, but cheaper
// to take where the listing already holds it. 0, or -1 with errno.
int stat_in_directory(Directory* directory, const DirectoryEntry& entry, const char* path,
                      std::size_t path_length, struct stat* status);

}  // namespace compat::host

// --- descriptors ---

namespace compat::host {

// Puts descriptor `fd` into binary mode where the runtime translates line ends in text
// mode; does nothing on hosts without a text mode. 0, or -1 with errno.
int set_binary_mode(int fd);

// True when descriptors `a` and `b` are both open on one and the same regular file.
bool same_regular_file(int a, int b);

}  // namespace compat::host
