// The host calls of compat/host.h for the Windows runtime: each forwards to the runtime's
// own call of that meaning.

#include "compat/host.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <direct.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "compat/stdlib.h"

namespace compat::host {

// The runtime's _fullpath may fail without setting errno; the failure it documents is a
// result too long for the buffer, so that is what errno says then.
char* fullpath(char* buffer, const char* path, std::size_t size) {
  errno = 0;
  char* result = _fullpath(buffer, path, size);
  if (result == nullptr && errno == 0) errno = ERANGE;
  return result;
}

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

// "C:" alone names the current directory of drive C, which always exists; the runtime
// neither creates nor describes it (_mkdir fails with ENOENT, _stat64 fails), which would
// stop mkdir -p at the drive of every absolute operand such as "C:/out".
bool is_drive_designator(const char* path) {
  return ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && path[2] == '\0';
}

}  // namespace

int mkdir(const char* path) {
  if (is_drive_designator(path)) {
    errno = EEXIST;
    return -1;
  }
  return _mkdir(path);
}

namespace {

// The length of the root at the start of `path`: "/" or "\" (1), "C:\" or "C:/" (3), else 0.
std::size_t root_length(const char* path) {
  if (is_separator(path[0])) return 1;
  if (path[0] != '\0' && path[1] == ':' && is_separator(path[2])) return 3;
  return 0;
}

// The length of `path` without its trailing separators, a root's own separator kept.
std::size_t trimmed_length(const char* path) {
  std::size_t length = std::strlen(path);
  std::size_t root = root_length(path);
  while (length > root && is_separator(path[length - 1])) --length;
  return length;
}

int stat_as_is(const char* path, struct stat* status) {
  struct _stat64 host_status {};
  if (_stat64(path, &host_status) != 0) return -1;
  *status = {};
  status->st_dev = host_status.st_dev;
  status->st_ino = host_status.st_ino;
  status->st_mode = host_status.st_mode;
  status->st_nlink = host_status.st_nlink;
  status->st_uid = host_status.st_uid;
  status->st_gid = host_status.st_gid;
  status->st_rdev = host_status.st_rdev;
  status->st_size = static_cast<decltype(status->st_size)>(host_status.st_size);
  status->st_atime = static_cast<decltype(status->st_atime)>(host_status.st_atime);
  status->st_mtime = static_cast<decltype(status->st_mtime)>(host_status.st_mtime);
  status->st_ctime = static_cast<decltype(status->st_ctime)>(host_status.st_ctime);
  return 0;
}

}  // namespace

// The runtime's _stat64 fails on a trailing separator ("a/"), where POSIX stat names the
// directory a, so the separators go before the call; a root ("/", "C:\") keeps its own.
int stat(const char* path, struct stat* status) {
  if (is_drive_designator(path)) {
    const char current_directory[] = {path[0], ':', '.', '\0'};
    return stat_as_is(current_directory, status);
  }
  std::size_t length = trimmed_length(path);
  if (path[length] == '\0') return stat_as_is(path, status);
  char trimmed[PATH_BUFFER_SIZE];
  if (length >= sizeof trimmed) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(trimmed, path, length);
  trimmed[length] = '\0';
  return stat_as_is(trimmed, status);
}

namespace {

// The runtime's conversions return storage of their own, copied out at once.
int convert(const time64_t* timer, std::tm* result,
            std::tm* (*host_conversion)(const __time64_t*)) {
  const std::tm* converted = host_conversion(timer);
  if (converted == nullptr) {
    errno = EINVAL;
    return -1;
  }
  *result = *converted;
  return 0;
}

}  // namespace

int gmtime64(const time64_t* timer, std::tm* result) { return convert(timer, result, _gmtime64); }

int localtime64(const time64_t* timer, std::tm* result) {
  return convert(timer, result, _localtime64);
}

char* strdup(const char* text) { return _strdup(text); }

}  // namespace compat::host

// --- traversal ---

#include <dirent.h>

namespace compat::host {

// The runtime has no status call relative to an open directory: the full path it is.
int stat_in_directory(DIR* /*directory*/, const char* /*name*/, const char* path,
                      std::size_t /*path_length*/, struct stat* status) {
  return host::stat(path, status);
}

}  // namespace compat::host

// --- pattern matching ---

namespace compat::host {

// The host fence hands the layer every name as UTF-8, converted from the wide runtime
// calls; the runtime's locale has no say in it.
const bool names_are_utf8 = true;

// The runtime's code pages are not checked here (some are multibyte, with ASCII bytes as
// trail bytes); false leaves every byte to mbrtowc, which is always exact.
bool ascii_decodes_to_itself() { return false; }

// Without a known code page nothing is known of towlower either.
bool ascii_case_is_plain() { return false; }

}  // namespace compat::host

// --- descriptors ---

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace compat::host {

int set_binary_mode(int fd) { return _setmode(fd, _O_BINARY) == -1 ? -1 : 0; }

namespace {

// The identity of the disk file behind `fd`: false for anything but a regular file.
bool disk_file_identity(int fd, BY_HANDLE_FILE_INFORMATION* identity) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
  if (!GetFileInformationByHandle(handle, identity)) return false;
  return (identity->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

// The runtime's stat reports no inode numbers; the volume and file index identify a file.
bool same_regular_file(int a, int b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  if (!disk_file_identity(a, &first) || !disk_file_identity(b, &second)) return false;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace compat::host
