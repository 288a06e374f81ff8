#pragma once

// Directory listings and what the host tells of each file in them, for the traversal.
// host_directories_posix.cpp and host_directories_win32.cpp implement this header.

#include <cstddef>
#include <cstdint>

#include <sys/stat.h>

namespace compat::host {

// What tells a directory from every other: its device, and a number that no other
// directory of that device has. A number of 0 means that the identity is not known.
struct Identity {
  std::uint64_t device;
  std::uint64_t file;
};

// What the host tells of one file.
struct FileFacts {
  // The file-type bits (S_IFREG, S_IFDIR, S_IFIFO, ...): the status's where it was taken,
  // else the listing's; 0 where neither tells.
  unsigned type;
  // Whether a status was taken: into the caller's record, or, where that failed, with
  // its errno in status_error (and type 0).
  bool has_status;
  int status_error;
  // For a directory whose status was taken: its identity; else {0, 0}.
  Identity identity;
};

// How much read_entry learns of an entry.
enum class Want {
  name,    // the name, and the type where the listing gives it
  kind,    // also the type where the listing does not give it, and the status of a
           // directory (its identity and link count); no status for other files
  status,  // the status of every entry
};

// One entry of a directory listing.
struct Entry {
  const char* name;         // NUL-terminated; valid until the next read or the close
  std::size_t name_length;  // strlen(name)
  FileFacts facts;
};

// Reads directories, one at a time: a walk makes one, so that listing a directory
// allocates nothing. A host may keep what it needs to reach the next directories sooner
// until the reader is freed: on POSIX hosts, descriptors of directories listed before. The
// Windows host opens every directory by its path (host_directories_win32.cpp says why).
struct DirectoryReader;

// A reader with no directory open; null with errno ENOMEM.
DirectoryReader* make_directory_reader();

// Frees `reader`, closing the directory it has open, if any, and whatever it holds.
void free_directory_reader(DirectoryReader* reader);

// Where a directory sits in a walk: its level, and the directory it was listed in.
struct Place {
  int level;  // 0 for a root
  // The length of the leading part of the directory's path that is its parent's path, and
  // the parent's identity as given when it was opened; 0 and {0, 0} for a root.
  std::size_t parent_length;
  Identity parent;
};

// Opens the directory at `path` for reading with `reader`, which has none open.
// `identity` is the directory's own, as describe or read_entry gave it: its entries'
// identities may build on it. A host may reach the directory from one that the reader
// listed before and still holds, instead of looking up every name of `path` again: from
// the parent that `place` names (its level, path length and identity all match), or from
// an older ancestor if what it reaches has `identity`. Whatever the reader holds and
// whatever the calls before, the directory opened is the one at `path`, except that a
// directory on the way moved or replaced since it was listed is still the one listed.
// 0, or -1 with errno: ENOENT for a missing path, ENOTDIR for one that is not a
// directory, or another error of the host.
int open_directory(DirectoryReader* reader, const char* path, const Identity& identity,
                   const Place& place);

// Reads the next entry of the directory open in `reader` into *entry and, as `want` asks,
// its status into *status: what stat gives for the entry's path (the directory's path, a
// '/' unless that ends in one, and the name), links followed, taken from the listing or
// through the open directory where that is cheaper. "." and ".." come too, where the host
// lists them, only with `dots`. 1 for an entry, 0 at the end, -1 with errno when the
// listing fails part-way.
int read_entry(DirectoryReader* reader, Want want, bool dots, Entry* entry, struct stat* status);

// Closes the directory open in `reader`.
void close_directory(DirectoryReader* reader);

// The status of `path` into *status, as stat gives it (a trailing separator names the
// directory before it), and the rest of what the host tells of the file into *facts,
// which always has a status (or its error).
void describe(const char* path, FileFacts* facts, struct stat* status);

}  // namespace compat::host
