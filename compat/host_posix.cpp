// The host calls of compat/host.h for Linux and other POSIX hosts.

#include "compat/host.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <sys/stat.h>
#include <unistd.h>

namespace compat::host {

namespace {

// A stretch of text, walked from its end towards its start.
struct Span {
  const char* begin;
  const char* end;
};

// Takes the last component off `text` into `component`; false when only separators remain.
bool take_last_component(Span* text, Span* component) {
  while (text->end != text->begin && text->end[-1] == '/') --text->end;
  if (text->end == text->begin) return false;
  component->end = text->end;
  while (text->end != text->begin && text->end[-1] != '/') --text->end;
  component->begin = text->end;
  return true;
}

bool is_dot(const Span& component) {
  return component.end - component.begin == 1 && component.begin[0] == '.';
}

bool is_dot_dot(const Span& component) {
  return component.end - component.begin == 2 && component.begin[0] == '.' &&
         component.begin[1] == '.';
}

// Walks `text` backwards, resolving "." and ".." as text. `pending` counts the ".."s met
// and not yet matched; it carries over from a later part of the path to an earlier one.
// Adds to *length the bytes that the kept components need ("/name" each); when `out` is
// not null, also writes them backwards, ending at *out, and moves *out to their start.
void walk_backwards(Span text, std::size_t* pending, std::size_t* length, char** out) {
  Span component{};
  while (take_last_component(&text, &component)) {
    if (is_dot(component)) continue;
    if (is_dot_dot(component)) {
      ++*pending;
      continue;
    }
    if (*pending != 0) {
      --*pending;
      continue;
    }
    auto size = static_cast<std::size_t>(component.end - component.begin);
    *length += 1 + size;
    if (out == nullptr) continue;
    *out -= size;
    std::memcpy(*out, component.begin, size);
    *--*out = '/';
  }
}

Span span_of(const char* text) { return Span{text, text + std::strlen(text)}; }

// Walking the path and then its base backwards lets a ".." cancel what precedes it without
// any intermediate copy, so a long path whose result fits is no problem. A ".." left over at
// the root stays at the root.
std::size_t joined_length(const char* base, const char* path, char* end) {
  std::size_t pending = 0;
  std::size_t length = 0;
  char* out = end;
  char** out_pointer = end == nullptr ? nullptr : &out;
  walk_backwards(span_of(path), &pending, &length, out_pointer);
  walk_backwards(span_of(base), &pending, &length, out_pointer);
  return length;
}

}  // namespace

char* fullpath(char* buffer, const char* path, std::size_t size) {
  if (path == nullptr) path = "";
  char directory[PATH_MAX];
  const char* base = "/";
  if (path[0] != '/') {
    if (getcwd(directory, sizeof directory) == nullptr) return nullptr;
    base = directory;
  }
  std::size_t length = joined_length(base, path, nullptr);
  std::size_t needed = length == 0 ? 2 : length + 1;  // "/" alone for the root
  if (needed > size) {
    errno = ERANGE;
    return nullptr;
  }
  if (length == 0) {
    std::memcpy(buffer, "/", 2);
    return buffer;
  }
  buffer[length] = '\0';
  joined_length(base, path, buffer + length);
  return buffer;
}

int mkdir(const char* path) { return ::mkdir(path, 0777); }

int stat(const char* path, struct stat* status) { return ::stat(path, status); }

namespace {

// Converts with gmtime_r or localtime_r; EINVAL when `timer` does not fit the host's
// time_t (a 32-bit time_t) or the host cannot convert it.
int convert(const time64_t* timer, std::tm* result,
            std::tm* (*host_conversion)(const std::time_t*, std::tm*)) {
  auto converted = static_cast<std::time_t>(*timer);
  std::tm broken_down{};
  if (static_cast<time64_t>(converted) != *timer ||
      host_conversion(&converted, &broken_down) == nullptr) {
    errno = EINVAL;
    return -1;
  }
  *result = broken_down;
  return 0;
}

}  // namespace

int gmtime64(const time64_t* timer, std::tm* result) { return convert(timer, result, gmtime_r); }

int localtime64(const time64_t* timer, std::tm* result) {
  return convert(timer, result, localtime_r);
}

// Our own copy through malloc, so that a test's wrapped allocator sees this allocation too.
char* strdup(const char* text) {
  std::size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(std::malloc(size));
  if (copy == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  std::memcpy(copy, text, size);
  return copy;
}

}  // namespace compat::host

// --- traversal ---

#include <dirent.h>

namespace compat::host {

namespace {

// The host's directory stream is the Directory itself: nothing to allocate around it.
DIR* stream_of(Directory* directory) { return reinterpret_cast<DIR*>(directory); }

// The status type that each d_type names; 0 for a link and for DT_UNKNOWN (file systems
// that do not say).
constexpr unsigned type_of_d_type[16] = {
    0, S_IFIFO, S_IFCHR, 0, S_IFDIR, 0, S_IFBLK, 0, S_IFREG, 0, 0, 0, S_IFSOCK, 0, 0, 0,
};
static_assert(DT_FIFO == 1 && DT_CHR == 2 && DT_DIR == 4 && DT_BLK == 6 && DT_REG == 8 &&
              DT_LNK == 10 && DT_SOCK == 12);

}  // namespace

Directory* open_directory(const char* path) { return reinterpret_cast<Directory*>(opendir(path)); }

// readdir leaves errno alone at the end of the listing and sets it on a failure.
bool read_directory(Directory* directory, DirectoryEntry* entry) {
  const dirent* record = readdir(stream_of(directory));
  if (record == nullptr) return false;
  entry->name = record->d_name;
  entry->name_length = std::strlen(record->d_name);
  entry->type = type_of_d_type[record->d_type & 15];
  entry->file_id = 0;  // the status has st_ino
  return true;
}

void close_directory(Directory* directory) { (void)closedir(stream_of(directory)); }

void directory_identity(const char* /*path*/, const struct stat& status, std::uint64_t* device,
                        std::uint64_t* file) {
  *device = static_cast<std::uint64_t>(status.st_dev);
  *file = static_cast<std::uint64_t>(status.st_ino);
}

// A path too long for the kernel has no status by path (see stat_in_directory).
unsigned listed_type(const DirectoryEntry& entry, std::size_t path_length) {
  return path_length >= PATH_MAX ? 0 : entry.type;
}

// Device and inode numbers are exact here.
bool same_directory(const char* /*a*/, std::size_t /*a_length*/, const char* /*b*/,
                    std::size_t /*b_length*/) {
  return true;
}

// Through the open directory the kernel looks up one name instead of the whole path. A
// path too long for the kernel goes through stat as it is, to fail as stat(path) would.
int stat_in_directory(Directory* directory, const DirectoryEntry& entry, const char* path,
                      std::size_t path_length, struct stat* status) {
  if (path_length >= PATH_MAX) return ::stat(path, status);
  return ::fstatat(dirfd(stream_of(directory)), entry.name, status, 0);
}

}  // namespace compat::host

// --- descriptors ---

namespace compat::host {

// POSIX descriptors carry bytes unchanged.
int set_binary_mode(int /*fd*/) { return 0; }

bool same_regular_file(int a, int b) {
  struct stat first, second;
  if (::fstat(a, &first) != 0 || ::fstat(b, &second) != 0) return false;
  return S_ISREG(first.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace compat::host

// --- files ---

#include "compat/host_files.h"

namespace compat::host {

// Names are bytes, text in the current locale's encoding.
bool names_are_utf8() { return false; }

}  // namespace compat::host
