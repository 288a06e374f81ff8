// The directory calls of compat/host_directories.h for Linux and other POSIX hosts: device
// and inode numbers are exact identities here, and the status of an entry is taken
// through its open directory, so that the kernel looks up one name instead of a path.

#include "compat/host_directories.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace compat::host {

struct DirectoryReader {
  DIR* stream;  // the directory open, or null
  // The length of the entries' paths before their names: the kernel takes no path of
  // PATH_MAX bytes or more, so such an entry has no status by path.
  std::size_t prefix_length;
};

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

}  // namespace

DirectoryReader* make_directory_reader() {
  auto* reader = static_cast<DirectoryReader*>(std::malloc(sizeof(DirectoryReader)));
  if (reader == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  reader->stream = nullptr;
  return reader;
}

void free_directory_reader(DirectoryReader* reader) {
  if (reader->stream != nullptr) close_directory(reader);
  std::free(reader);
}

int open_directory(DirectoryReader* reader, const char* path, const Identity& /*identity*/) {
  reader->stream = opendir(path);
  if (reader->stream == nullptr) return -1;
  std::size_t length = std::strlen(path);
  reader->prefix_length = length > 0 && path[length - 1] == '/' ? length : length + 1;
  return 0;
}

// readdir leaves errno alone at the end of the listing and sets it on a failure.
int read_entry(DirectoryReader* reader, Want want, Entry* entry, struct stat* status) {
  errno = 0;
  const dirent* record = readdir(reader->stream);
  if (record == nullptr) return errno == 0 ? 0 : -1;
  entry->name = record->d_name;
  entry->name_length = std::strlen(record->d_name);
  bool beyond_limit = reader->prefix_length + entry->name_length >= PATH_MAX;
  unsigned listed = beyond_limit ? 0 : type_of_d_type[record->d_type & 15];
  bool type_will_do = want == Want::name || (want == Want::kind && listed != 0 && listed != S_IFDIR);
  if (type_will_do) {
    entry->facts = FileFacts{listed, false, 0, {}};
    return 1;
  }
  int result = -1;
  if (beyond_limit) {
    errno = ENAMETOOLONG;
  } else {
    result = ::fstatat(dirfd(reader->stream), entry->name, status, 0);
  }
  facts_of_status(result, *status, &entry->facts);
  return 1;
}

void close_directory(DirectoryReader* reader) {
  (void)closedir(reader->stream);
  reader->stream = nullptr;
}

void describe(const char* path, FileFacts* facts, struct stat* status) {
  facts_of_status(::stat(path, status), *status, facts);
}

}  // namespace compat::host
