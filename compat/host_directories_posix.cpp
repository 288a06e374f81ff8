// The directory calls of compat/host_directories.h for Linux and other POSIX hosts: device
// and inode numbers are exact identities here, and the status of an entry is taken
// through its open directory, so that the kernel looks up one name instead of a path.
//
// Opening a directory by its path makes the kernel look up every name on the path again:
// a walk down a chain of n directories would cost n²/2 lookups. So the reader keeps a
// descriptor of each directory it lists that may hold directories, for the last
// `held_levels` levels of the walk, and opens a directory from its parent's descriptor by
// its name, or from the nearest ancestor it still holds by the names from there. It opens
// by path a root, a directory with no ancestor held (after the walk has come back up more
// than `held_levels` levels), and any directory once the process runs out of descriptors:
// then it lets go of all it holds. A walk therefore holds at most `held_levels`
// descriptors between calls, and one more (the listing's) during a call.

#include "compat/host_directories.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace compat::host {

namespace {

constexpr int held_levels = 32;

}  // namespace

// A directory listed, where the walk sits: its place and, once held, a descriptor.
struct HeldDirectory {
  int fd;
  int level;
  std::size_t length;  // of its path
  Identity identity;
};

struct DirectoryReader {
  DIR* stream;  // the directory open, or null
  // The length of the entries' paths before their names: the kernel takes no path of
  // PATH_MAX bytes or more, so such an entry has no status by path.
  std::size_t prefix_length;
  // The directory open, and whether an entry read from it is or may be a directory: only
  // then is it worth a descriptor once its listing is closed.
  HeldDirectory listed;
  bool lists_directories;
  // The directories held, each at its level modulo held_levels: those whose bits are set
  // in held_mask, none deeper than deepest_held. The table grows with the levels held (up
  // to held_levels), so that a shallow walk pays for no deeper one.
  HeldDirectory* held;
  int held_slots;
  std::uint32_t held_mask;
  int deepest_held;
};
static_assert(held_levels <= 32);

namespace {

// The status type that each d_type names; 0 for a link and for DT_UNKNOWN (file systems
// that do not say).
constexpr unsigned type_of_d_type[16] = {
    0, S_IFIFO, S_IFCHR, 0, S_IFDIR, 0, S_IFBLK, 0, S_IFREG, 0, 0, 0, S_IFSOCK, 0, 0, 0,
};
static_assert(DT_FIFO == 1 && DT_CHR == 2 && DT_DIR == 4 && DT_BLK == 6 && DT_REG == 8 &&
              DT_LNK == 10 && DT_SOCK == 12);

// The facts that a status call's `result` gives, with *status taken.
void facts_of_status(int result, const struct stat& status, FileFacts* facts) {
  *facts = FileFacts{};
  facts->has_status = true;
  if (result != 0) {
    facts->status_error = errno;
    return;
  }
  facts->type = status.st_mode & S_IFMT;
  if (S_ISDIR(status.st_mode)) {
    facts->identity = {static_cast<std::uint64_t>(status.st_dev),
                       static_cast<std::uint64_t>(status.st_ino)};
  }
}

bool same_identity(const Identity& a, const Identity& b) {
  return a.file != 0 && a.file == b.file && a.device == b.device;
}

bool is_dot_or_dot_dot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool out_of_descriptors(int error) { return error == EMFILE || error == ENFILE; }

// How opendir opens a directory.
constexpr int directory_flags = O_RDONLY | O_NONBLOCK | O_DIRECTORY | O_CLOEXEC;

bool is_held(const DirectoryReader* reader, int slot) {
  return (reader->held_mask >> slot & 1) != 0;
}

void let_go(DirectoryReader* reader, int slot) {
  if (!is_held(reader, slot)) return;
  (void)::close(reader->held[slot].fd);
  reader->held_mask &= ~(std::uint32_t{1} << slot);
}

// Lets go of every directory held at `level` or deeper: in a walk, a directory opened at
// `level` is below none of them.
void let_go_from(DirectoryReader* reader, int level) {
  if (level > reader->deepest_held) return;
  reader->deepest_held = level - 1;
  for (std::uint32_t mask = reader->held_mask; mask != 0; mask &= mask - 1) {
    int slot = std::countr_zero(mask);
    if (reader->held[slot].level >= level) let_go(reader, slot);
  }
}

// True when `fd` is open on the directory with `identity`.
bool is_directory(int fd, const Identity& identity) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return false;
  Identity opened{static_cast<std::uint64_t>(status.st_dev),
                  static_cast<std::uint64_t>(status.st_ino)};
  return same_identity(opened, identity);
}

constexpr int no_ancestor_held = -2;

// A descriptor of the directory at `path` (with `identity`, at `place`), opened from the
// parent held with the identity `place` names, or else from the nearest ancestor held,
// whose descriptor must then lead to `identity`. -1 with errno when the parent cannot
// open it or descriptors run out; no_ancestor_held when no held directory serves.
int open_from_ancestor(DirectoryReader* reader, const char* path, const Identity& identity,
                       const Place& place) {
  for (int level = place.level - 1; level >= 0 && level >= place.level - held_levels; --level) {
    if (!is_held(reader, level % held_levels)) continue;
    const HeldDirectory& held = reader->held[level % held_levels];
    if (held.level != level) continue;
    bool parent = level == place.level - 1;
    if (parent ? held.length != place.parent_length || !same_identity(held.identity, place.parent)
               : held.length >= place.parent_length) {
      continue;
    }
    const char* names = path + held.length;
    while (*names == '/') ++names;
    int fd = ::openat(held.fd, names, directory_flags);
    if (parent || (fd < 0 && out_of_descriptors(errno))) return fd;
    if (fd >= 0 && is_directory(fd, identity)) return fd;
    if (fd >= 0) (void)::close(fd);
    return no_ancestor_held;
  }
  return no_ancestor_held;
}

// Makes room for `slots` directories held; false, with nothing held lost, when memory is
// short (the walk then goes on by path).
bool grow_held(DirectoryReader* reader, int slots) {
  auto size = static_cast<std::size_t>(slots) * sizeof(HeldDirectory);
  auto* grown = static_cast<HeldDirectory*>(std::realloc(reader->held, size));
  if (grown == nullptr) return false;
  reader->held = grown;
  reader->held_slots = slots;
  return true;
}

// Keeps a descriptor of the directory listed, in place of the one `held_levels` levels
// above it. Out of descriptors, the reader lets go of all it holds.
void hold_listed(DirectoryReader* reader) {
  int slot = reader->listed.level % held_levels;
  if (slot >= reader->held_slots && !grow_held(reader, slot + 1)) return;
  let_go(reader, slot);
  int fd = ::fcntl(dirfd(reader->stream), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    let_go_from(reader, 0);
    return;
  }
  reader->held[slot] = reader->listed;
  reader->held[slot].fd = fd;
  reader->held_mask |= std::uint32_t{1} << slot;
  if (reader->deepest_held < reader->listed.level) reader->deepest_held = reader->listed.level;
}

}  // namespace

DirectoryReader* make_directory_reader() {
  auto* reader = static_cast<DirectoryReader*>(std::malloc(sizeof(DirectoryReader)));
  if (reader == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  reader->stream = nullptr;
  reader->held = nullptr;
  reader->held_slots = 0;
  reader->held_mask = 0;
  reader->deepest_held = -1;
  return reader;
}

void free_directory_reader(DirectoryReader* reader) {
  if (reader->stream != nullptr) (void)closedir(reader->stream);
  let_go_from(reader, 0);
  std::free(reader->held);
  std::free(reader);
}

int open_directory(DirectoryReader* reader, const char* path, const Identity& identity,
                   const Place& place) {
  let_go_from(reader, place.level);
  int fd = open_from_ancestor(reader, path, identity, place);
  if (fd == no_ancestor_held) fd = ::open(path, directory_flags);
  // Out of descriptors, the walk goes on by path without those it holds.
  if (fd < 0 && out_of_descriptors(errno) && reader->held_mask != 0) {
    let_go_from(reader, 0);
    fd = ::open(path, directory_flags);
  }
  if (fd < 0) return -1;
  reader->stream = fdopendir(fd);
  if (reader->stream == nullptr) {
    int error = errno;
    (void)::close(fd);
    errno = error;
    return -1;
  }
  std::size_t length = std::strlen(path);
  reader->prefix_length = length > 0 && path[length - 1] == '/' ? length : length + 1;
  reader->listed = {-1, place.level, length, identity};
  reader->lists_directories = false;
  return 0;
}

// readdir leaves errno alone at the end of the listing and sets it on a failure.
int read_entry(DirectoryReader* reader, Want want, bool dots, Entry* entry, struct stat* status) {
  const dirent* record;
  do {
    errno = 0;
    record = readdir(reader->stream);
    if (record == nullptr) return errno == 0 ? 0 : -1;
  } while (!dots && is_dot_or_dot_dot(record->d_name));
  entry->name = record->d_name;
  entry->name_length = std::strlen(record->d_name);
  bool beyond_limit = reader->prefix_length + entry->name_length >= PATH_MAX;
  unsigned listed = beyond_limit ? 0 : type_of_d_type[record->d_type & 15];
  bool type_will_do =
      want == Want::name || (want == Want::kind && listed != 0 && listed != S_IFDIR);
  if (type_will_do) {
    entry->facts = FileFacts{listed, false, 0, {}};
  } else {
    int result = -1;
    if (beyond_limit) {
      errno = ENAMETOOLONG;
    } else {
      result = ::fstatat(dirfd(reader->stream), entry->name, status, 0);
    }
    facts_of_status(result, *status, &entry->facts);
  }
  unsigned type = entry->facts.type;
  if (type == S_IFDIR || type == 0) reader->lists_directories |= !is_dot_or_dot_dot(entry->name);
  return 1;
}

void close_directory(DirectoryReader* reader) {
  if (reader->lists_directories) hold_listed(reader);
  (void)closedir(reader->stream);
  reader->stream = nullptr;
}

void describe(const char* path, FileFacts* facts, struct stat* status) {
  facts_of_status(::stat(path, status), *status, facts);
}

}  // namespace compat::host
