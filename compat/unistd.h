#pragma once

// Reading and writing descriptors; calls that the Windows runtime lacks, and a few small
// functions that nothing in the tools calls yet, which exist so that code written against
// POSIX and BSD interfaces links on every host and keep no state.

#include <cstddef>

#include <sys/stat.h>
#include <sys/types.h>

namespace compat {

// read(2) and write(2). On a host whose terminal shows characters rather than bytes (a
// Windows console), a standard descriptor that is one shows every UTF-8 character written
// to it whole, and gives what is typed as UTF-8, ending the input at a line that begins
// with Ctrl-Z.
ssize_t read(int fd, void* data, std::size_t size);
ssize_t write(int fd, const void* data, std::size_t size);

// Unsupported calls: each reads none of its arguments, changes nothing, and returns -1
// with errno ENOSYS, on every host.

// Returning to a directory through a descriptor (the traversal's directory-changing walk).
int fchdir(int descriptor);
// Links, symbolic links, FIFOs and pipes: the Windows runtime has none of these.
int link(const char* existing_path, const char* new_path);
int symlink(const char* target, const char* link_path);
int mkfifo(const char* path, mode_t mode);
int pipe(int descriptors[2]);
// Calls on an open descriptor that the Windows runtime names otherwise or lacks.
int fchmod(int descriptor, mode_t mode);
int fsync(int descriptor);
// Calls relative to a directory descriptor: the Windows runtime has no directory descriptors.
int fstatat(int directory, const char* path, struct stat* status, int flags);
int fchmodat(int directory, const char* path, mode_t mode, int flags);
int mkdirat(int directory, const char* path, mode_t mode);
int unlinkat(int directory, const char* path, int flags);
int renameat(int old_directory, const char* old_path, int new_directory, const char* new_path);
int linkat(int old_directory, const char* old_path, int new_directory, const char* new_path,
           int flags);
int symlinkat(const char* target, int directory, const char* link_path);

// Small functions without callers.

// 0: no process here runs with changed user or group ids.
int issetugid();
// Null: the host keeps no login name that the tools could use.
char* getlogin();
// Does nothing: the tools never print a name of their own taken from the command line.
void setprogname(const char* name);
// "" for every id: the host has no user or group database for these ids. Both return the
// same static empty string, which the caller must not modify or free.
const char* user_from_uid(unsigned int uid, int no_name);
const char* group_from_gid(unsigned int gid, int no_name);

// Copies `source` into `destination` up to and including its zero byte, but at most `count`
// bytes; the rest of `destination` is left as it was. Returns the length of `source`, or
// `count` when no zero byte came within `count` bytes (`destination` is then unterminated).
std::size_t strncpy_nopad(char* destination, const char* source, std::size_t count);

// Reads a yes-or-no answer from its first character: 1 for 1 T Y t y, 0 for 0 F N f n,
// -1 for anything else (the empty text and bytes of 128 or more included).
int rpmatch(const char* response);

// The number of bytes of `text` before its first zero byte, looking at no more than
// `count` bytes: `count` when none of them is zero. `flags` is ignored.
std::size_t strnlen_checked(const char* text, int flags, std::size_t count);

}  // namespace compat
