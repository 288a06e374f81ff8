#pragma once

// Depth-first traversal of file hierarchies in the BSD manner. A stream walks each root
// and returns every file once and every directory twice, before its contents (FTS_D) and
// after them (FTS_DP). The working directory is never changed: every entry is reached
// through its full path in the stream's shared path buffer. On POSIX hosts the stream opens
// each directory from a descriptor of its parent, and so holds up to 32 descriptors of
// directories between calls (one more during a call), until fts_close; when the process
// runs out of descriptors, it lets go of them and goes on by path.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>

namespace compat {

// Options of fts_open, kept in fts_options.
constexpr int FTS_COMFOLLOW = 0x001;  // accepted; no effect
constexpr int FTS_LOGICAL = 0x002;    // accepted; no effect
constexpr int FTS_NOCHDIR = 0x004;    // always set: the working directory never changes
constexpr int FTS_NOSTAT = 0x008;     // entries carry no status record
constexpr int FTS_PHYSICAL = 0x010;   // accepted; no effect
constexpr int FTS_SEEDOT = 0x020;     // return "." and ".." as FTS_DOT
constexpr int FTS_XDEV = 0x040;       // do not descend into another device than the root's
constexpr int FTS_WHITEOUT = 0x080;   // accepted; no effect
constexpr int FTS_OPTIONMASK = 0x0ff;
constexpr int FTS_NAMEONLY = 0x100;  // private: the child list holds names only
constexpr int FTS_STOP = 0x200;      // private: out of memory; every later read returns null

// Levels in fts_level.
constexpr int FTS_ROOTPARENTLEVEL = -1;
constexpr int FTS_ROOTLEVEL = 0;

// Info codes in fts_info.
constexpr int FTS_D = 1;        // directory, pre-order
constexpr int FTS_DC = 2;       // directory that causes a cycle; fts_cycle is the one it repeats
constexpr int FTS_DEFAULT = 3;  // neither a directory nor a regular file
constexpr int FTS_DNR = 4;      // directory that cannot be read; fts_errno says why
constexpr int FTS_DOT = 5;      // "." or ".." met inside a directory (FTS_SEEDOT)
constexpr int FTS_DP = 6;       // directory, post-order
constexpr int FTS_ERR = 7;      // error; fts_errno (or errno, with FTS_STOP) says which
constexpr int FTS_F = 8;        // regular file
constexpr int FTS_INIT = 9;     // the stream's initial entry
constexpr int FTS_NS = 10;      // no status could be taken; fts_errno says why
constexpr int FTS_NSOK = 11;    // no status was asked for

// Instructions for fts_set, kept in fts_instr.
constexpr int FTS_AGAIN = 1;    // return the entry again
constexpr int FTS_FOLLOW = 2;   // take the entry's status afresh when it is reached
constexpr int FTS_NOINSTR = 3;  // no instruction
constexpr int FTS_SKIP = 4;     // do not return the entry, or do not descend into it

// Scan modes of the directory scan.
constexpr int FTS_SCAN_CHILD = 1;  // fts_children: entries with status
constexpr int FTS_SCAN_NAMES = 2;  // fts_children with FTS_NAMEONLY: names only
constexpr int FTS_SCAN_READ = 3;   // the list fts_read descends into

struct FTS;

struct FTSENT {
  FTSENT* fts_cycle;        // with FTS_DC: the directory above that this one is again
  FTSENT* fts_parent;       // the directory holding this entry
  FTSENT* fts_link;         // next sibling
  std::int64_t fts_number;  // the client's; 0 at first
  void* fts_pointer;        // the client's; null at first
  char* fts_accpath;        // the path the file is reached through
  char* fts_path;           // the shared path buffer; the path is its first fts_pathlen bytes
  int fts_errno;            // error of this entry, or 0
  int fts_symfd;            // unused; 0
  std::size_t fts_pathlen;  // length of the full path
  std::size_t fts_namelen;  // length of fts_name
  // Set for directories: the identity that the cycle check compares. On the Windows host,
  // whose status has no file numbers, the volume's serial number and the file index.
  std::uint64_t fts_ino;
  std::uint64_t fts_dev;
  std::int64_t fts_nlink;   // set for directories
  int fts_level;            // depth: -1 root-parent, 0 roots
  int fts_info;             // FTS_D, FTS_F, ...
  std::uint32_t fts_flags;  // always 0
  int fts_instr;            // instruction from fts_set
  struct stat* fts_statp;   // status record; null with FTS_NOSTAT
  char* fts_name;           // file name, NUL-terminated
  FTS* fts_fts;             // the stream that made the entry
};

// The comparison for sorting siblings: negative, zero or positive as *a sorts before, with
// or after *b.
using FtsCompare = int (*)(const FTSENT** a, const FTSENT** b);

struct FTS {
  FTSENT* fts_cur;          // the entry fts_read returned last (at first the initial entry)
  FTSENT* fts_child;        // the list fts_children built, kept for the next fts_read
  FTSENT** fts_array;       // the sort array
  std::uint64_t fts_dev;    // device of the current root
  char* fts_path;           // the shared path buffer
  int fts_rfd;              // unused; 0
  std::size_t fts_pathlen;  // capacity of fts_path in bytes
  std::size_t fts_nitems;   // capacity of fts_array in entries
  FtsCompare fts_compar;    // the client's comparison, or null
  int fts_options;          // the options, FTS_NOCHDIR and the private bits
  void* fts_clientptr;      // the client's; null at first
};

// Opens a stream on the null-terminated list of root paths `argv`. With `compar`, roots
// and every sibling list are sorted with it. The stream, or null with errno: EINVAL for
// options outside FTS_OPTIONMASK or no roots, ENOENT for an empty root path, or the heap's
// error; nothing stays allocated on failure. The caller closes the stream with fts_close.
FTS* fts_open(char* const* argv, int options, FtsCompare compar);

// The next entry, owned by the stream; it stays valid until the walk moves past it. Null
// at the end (errno 0), or with FTS_STOP set after a failure (errno says which).
FTSENT* fts_read(FTS* stream);

// The list of entries inside the current directory (before the first fts_read: the roots),
// owned by the stream. `instr` is 0 or FTS_NAMEONLY. Null with errno 0 when there are
// none; null with errno set on failure (EINVAL for another `instr`).
FTSENT* fts_children(FTS* stream, int instr);

// Stores instruction `instr` (0 to 4) in `entry` for fts_read; 0, or 1 with EINVAL.
int fts_set(FTS* stream, FTSENT* entry, int instr);

// Frees the stream and everything it holds, in whatever state it is; returns 0.
int fts_close(FTS* stream);

void* fts_get_clientptr(FTS* stream);
void fts_set_clientptr(FTS* stream, void* pointer);
FTS* fts_get_stream(FTSENT* entry);

}  // namespace compat
