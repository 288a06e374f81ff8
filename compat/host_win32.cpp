// The host calls of compat/host.h for the Windows runtime: each forwards to the runtime's
// own call of that meaning. Names are UTF-8 here: every call that takes or gives a name is
// the runtime's wide one, with the name converted at this fence (compat/utf16.h).

#include "compat/host.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>

#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include "compat/stdlib.h"
#include "compat/utf16.h"

namespace compat::host {

namespace {

// A UTF-8 name as the zero-terminated UTF-16 that the wide calls take: in `local_` when it
// fits (every path of the host's usual length does), else on the heap.
class WideName {
 public:
  WideName() = default;
  WideName(const WideName&) = delete;
  WideName& operator=(const WideName&) = delete;
  ~WideName() { release(); }

  // Converts the `length` bytes at `name`. False with errno EILSEQ when they are no UTF-8
  // (no file can have that name here), or ENOMEM.
  bool assign(const char* name, std::size_t length) {
    std::size_t units = utf16_length(name, length);
    if (units == not_utf8) {
      errno = EILSEQ;
      return false;
    }
    std::size_t size = units + 1;
    release();
    if (size > sizeof local_ / sizeof local_[0]) {
      text_ = static_cast<wchar_t*>(std::malloc(size * sizeof(wchar_t)));
      if (text_ == nullptr) {
        text_ = local_;
        errno = ENOMEM;
        return false;
      }
    }
    *write_utf16(name, length, text_) = L'\0';
    return true;
  }
  bool assign(const char* name) { return assign(name, std::strlen(name)); }

  const wchar_t* text() const { return text_; }

 private:
  void release() {
    if (text_ != local_) std::free(text_);
    text_ = local_;
  }

  wchar_t local_[PATH_BUFFER_SIZE];
  wchar_t* text_ = local_;
};

// Writes the UTF-8 of the zero-terminated `text` and a zero byte into `out` (`size`
// bytes). False when that does not fit.
bool utf8_into(char* out, std::size_t size, const wchar_t* text) {
  std::size_t units = std::wcslen(text);
  if (utf8_length(text, units) >= size) return false;
  *write_utf8(text, units, out) = '\0';
  return true;
}

}  // namespace

// The runtime's _wfullpath may fail without setting errno; the failure it documents is a
// result too long for the buffer, so that is what errno says then. A UTF-8 result is never
// shorter than its UTF-16, so a wide buffer of `size` units holds every result that fits.
char* fullpath(char* buffer, const char* path, std::size_t size) {
  WideName wide;
  if (path != nullptr && !wide.assign(path)) return nullptr;
  wchar_t absolute[PATH_BUFFER_SIZE];
  std::size_t wide_size = size < PATH_BUFFER_SIZE ? size : PATH_BUFFER_SIZE;
  errno = 0;
  if (_wfullpath(absolute, path == nullptr ? nullptr : wide.text(), wide_size) == nullptr) {
    if (errno == 0) errno = ERANGE;
    return nullptr;
  }
  if (!utf8_into(buffer, size, absolute)) {
    errno = ERANGE;
    return nullptr;
  }
  return buffer;
}

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

// "C:" alone names the current directory of drive C, which always exists; the runtime
// neither creates nor describes it (_wmkdir fails with ENOENT, _wstat64 fails), which
// would stop mkdir -p at the drive of every absolute operand such as "C:/out".
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
  WideName wide;
  if (!wide.assign(path)) return -1;
  return _wmkdir(wide.text());
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

// The status of the first `length` bytes of `path`. `struct stat` is the runtime's
// _stat64 record in this build (_FILE_OFFSET_BITS=64): 64-bit sizes and times.
int stat_of(const char* path, std::size_t length, struct stat* status) {
  WideName wide;
  if (!wide.assign(path, length)) return -1;
  return _wstat64(wide.text(), status);
}

}  // namespace

// The runtime's _wstat64 fails on a trailing separator ("a/"), where POSIX stat names the
// directory a, so the separators go before the call; a root ("/", "C:\") keeps its own.
int stat(const char* path, struct stat* status) {
  if (is_drive_designator(path)) {
    const char current_directory[] = {path[0], ':', '.', '\0'};
    return stat_of(current_directory, 3, status);
  }
  return stat_of(path, trimmed_length(path), status);
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

namespace compat::host {

namespace {

// The errno for the Windows error `error` of a directory listing.
int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    default:
      return EIO;
  }
}

// True when the longest leading part of `path` that exists (the whole path without its
// trailing separators, or a part that ends before a separator) is no directory.
bool leads_through_file(const char* path) {
  std::size_t length = std::strlen(path);
  std::size_t root = root_length(path);
  for (std::size_t end = length; end > root; --end) {
    if (end < length && !is_separator(path[end])) continue;
    std::size_t part = end;
    while (part > root && is_separator(path[part - 1])) --part;
    WideName wide;
    if (part == 0 || !wide.assign(path, part)) return false;
    DWORD attributes = GetFileAttributesW(wide.text());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  return false;
}

// The errno for a listing of `path` that could not start with `error`: a path that is, or
// leads through, something other than a directory is ENOTDIR, as opendir reports it.
int open_errno(const char* path, DWORD error) {
  return leads_through_file(path) ? ENOTDIR : errno_of(error);
}

// The runtime's st_dev for a file at `path`: the number of the drive it names (A: is 0),
// else that of the current drive.
unsigned drive_number(const char* path) {
  char letter = path[0];
  if (letter != '\0' && path[1] == ':') {
    if (letter >= 'a' && letter <= 'z') return static_cast<unsigned>(letter - 'a');
    if (letter >= 'A' && letter <= 'Z') return static_cast<unsigned>(letter - 'A');
  }
  return static_cast<unsigned>(_getdrive() - 1);
}

// The listing's names are counted UTF-16, not terminated.
struct WideText {
  const wchar_t* text;
  std::size_t length;
};

WideText name_of(const FILE_ID_BOTH_DIR_INFO& record) {
  return {record.FileName, record.FileNameLength / sizeof(wchar_t)};
}

wchar_t ascii_lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

// What the runtime's status takes from the name: the extensions it deems executable,
// after the last dot, in any case.
bool has_executable_extension(WideText name) {
  std::size_t dot = name.length;
  while (dot > 0 && name.text[dot - 1] != L'.') --dot;
  if (dot == 0 || name.length - dot != 3) return false;
  static const wchar_t executable[][4] = {L"exe", L"bat", L"cmd", L"com"};
  for (const wchar_t* extension : executable) {
    bool same = true;
    for (std::size_t i = 0; i < 3; ++i)
      same = same && ascii_lower(name.text[dot + i]) == extension[i];
    if (same) return true;
  }
  return false;
}

// The mode bits by the runtime's rules: read for all; write unless read-only; search for
// a directory, execute for a file with an executable extension; the same for the owner,
// the group and the others.
unsigned short mode_of(const FILE_ID_BOTH_DIR_INFO& record) {
  bool directory = (record.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  unsigned mode = directory ? _S_IFDIR | 0555 : _S_IFREG | 0444;
  if ((record.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) mode |= 0222;
  if (!directory && has_executable_extension(name_of(record))) mode |= 0111;
  return static_cast<unsigned short>(mode);
}

// Seconds since 1970 of a time in 100-nanosecond units since 1601, cut towards zero.
__time64_t seconds_of(LARGE_INTEGER time) {
  constexpr long long units_before_1970 = 116444736000000000LL;
  return (time.QuadPart - units_before_1970) / 10000000;
}

// The status of the entry `record` as the runtime's _wstat64 gives it for its path.
void status_of(const FILE_ID_BOTH_DIR_INFO& record, unsigned drive, struct stat* status) {
  *status = {};
  status->st_dev = drive;
  status->st_rdev = drive;
  status->st_mode = mode_of(record);
  status->st_nlink = 1;
  status->st_size = record.EndOfFile.QuadPart;
  status->st_atime = seconds_of(record.LastAccessTime);
  status->st_mtime = seconds_of(record.LastWriteTime);
  status->st_ctime = seconds_of(record.CreationTime);
}

bool is_dot_or_dot_dot(WideText name) {
  return name.length >= 1 && name.length <= 2 && name.text[0] == L'.' &&
         (name.length == 1 || name.text[1] == L'.');
}

// True when the listing holds the entry's status: not for a reparse point (a symbolic link
// or a junction), whose status is that of what it leads to, nor for a name that ends in a
// dot or a space, which the host's path rules cut off, so that a status by path fails.
bool listing_describes(const FILE_ID_BOTH_DIR_INFO& record) {
  if ((record.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;
  WideText name = name_of(record);
  if (name.length == 0 || is_dot_or_dot_dot(name)) return true;
  wchar_t last = name.text[name.length - 1];
  return last != L'.' && last != L' ';
}

}  // namespace

// A directory open for listing, through a handle whose identity listing gives each entry's
// attributes, size, times and file number, so that neither the status nor the identity of
// an entry needs the host again. `buffer` holds the records of one listing call; `next`
// is the record to read next in it.
struct Directory {
  HANDLE handle;
  bool ended;      // the host has no more records
  unsigned drive;  // the runtime's st_dev for the entries: the number of their drive
  const FILE_ID_BOTH_DIR_INFO* next;     // null when `buffer` is used up
  const FILE_ID_BOTH_DIR_INFO* current;  // the record read last
  char name[3 * MAX_PATH + 1];           // its name in UTF-8: 3 bytes at most a unit
  alignas(LONGLONG) unsigned char buffer[16384];
};

namespace {

// Fills the buffer with the next records (the first ones with FileIdBothDirectoryRestartInfo).
// False at the end (error ERROR_NO_MORE_FILES) or on failure.
bool fetch_records(Directory* directory, FILE_INFO_BY_HANDLE_CLASS which) {
  if (!GetFileInformationByHandleEx(directory->handle, which, directory->buffer,
                                    sizeof directory->buffer)) {
    directory->next = nullptr;
    return false;
  }
  directory->next = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(directory->buffer);
  return true;
}

}  // namespace

Directory* open_directory(const char* path) {
  WideName wide;
  if (!wide.assign(path)) return nullptr;
  HANDLE handle = CreateFileW(wide.text(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = open_errno(path, GetLastError());
    return nullptr;
  }
  auto* directory = static_cast<Directory*>(std::malloc(sizeof(Directory)));
  if (directory == nullptr) {
    CloseHandle(handle);
    errno = ENOMEM;
    return nullptr;
  }
  directory->handle = handle;
  directory->drive = drive_number(path);
  directory->current = nullptr;
  directory->ended = !fetch_records(directory, FileIdBothDirectoryRestartInfo);
  // A directory without a single record (a drive's root lists no "." or "..") is empty;
  // anything else that cannot be listed (a file opened by that path) is no directory.
  DWORD error = directory->ended ? GetLastError() : ERROR_SUCCESS;
  if (directory->ended && error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND) {
    CloseHandle(handle);
    std::free(directory);
    errno = open_errno(path, error);
    return nullptr;
  }
  return directory;
}

bool read_directory(Directory* directory, DirectoryEntry* entry) {
  if (directory->next == nullptr) {
    if (directory->ended) return false;
    if (!fetch_records(directory, FileIdBothDirectoryInfo)) {
      directory->ended = true;
      DWORD error = GetLastError();
      if (error != ERROR_NO_MORE_FILES) errno = errno_of(error);
      return false;
    }
  }
  const FILE_ID_BOTH_DIR_INFO* record = directory->next;
  directory->current = record;
  directory->next =
      record->NextEntryOffset == 0
          ? nullptr
          : reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
                reinterpret_cast<const unsigned char*>(record) + record->NextEntryOffset);
  WideText name = name_of(*record);
  // No file system here has longer names; one that did would not fit `name`.
  if (name.length > MAX_PATH) {
    directory->ended = true;
    directory->next = nullptr;
    errno = ENAMETOOLONG;
    return false;
  }
  char* end = write_utf8(name.text, name.length, directory->name);
  *end = '\0';
  entry->name = directory->name;
  entry->name_length = static_cast<std::size_t>(end - directory->name);
  bool described = listing_describes(*record);
  bool is_directory = (record->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry->type = !described ? 0 : is_directory ? _S_IFDIR : _S_IFREG;
  entry->file_id =
      described && is_directory ? static_cast<std::uint64_t>(record->FileId.QuadPart) : 0;
  return true;
}

void close_directory(Directory* directory) {
  CloseHandle(directory->handle);
  std::free(directory);
}

namespace {

// A handle on the file or directory at the first `length` bytes of `path` (links and
// junctions followed) that can tell about it and nothing more, or INVALID_HANDLE_VALUE.
HANDLE open_to_describe(const char* path, std::size_t length) {
  WideName wide;
  if (!wide.assign(path, length)) return INVALID_HANDLE_VALUE;
  return CreateFileW(wide.text(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

// The runtime's status reports no file numbers (st_ino is 0): a directory is known by the
// serial number of its volume and its file index there. When the directory cannot be
// opened to ask, its identity stays unknown (file number 0) and no cycle is seen through it.
void directory_identity(const char* path, const struct stat& status, std::uint64_t* device,
                        std::uint64_t* file) {
  *device = static_cast<std::uint64_t>(status.st_dev);
  *file = 0;
  HANDLE handle = open_to_describe(path, std::strlen(path));
  if (handle == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(handle, &information)) {
    *device = information.dwVolumeSerialNumber;
    *file = std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
  }
  CloseHandle(handle);
}

unsigned listed_type(const DirectoryEntry& entry, std::size_t /*path_length*/) {
  return entry.type;
}

namespace {

// The final path of the directory at the first `length` bytes of `path`, as the host
// resolves every link and junction on the way, into `out` (`size` units).
bool final_path(const char* path, std::size_t length, wchar_t* out, DWORD size) {
  HANDLE handle = open_to_describe(path, length);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = GetFinalPathNameByHandleW(handle, out, size, FILE_NAME_NORMALIZED);
  CloseHandle(handle);
  return written != 0 && written < size;
}

}  // namespace

// A file number is unique on its volume, but Wine gives the directories of every mounted
// Unix file system one volume and their own inode numbers, so that the roots of two
// mounts look alike: the final paths of the two tell them apart. Where a final path cannot
// be had, the identities decide.
bool same_directory(const char* a, std::size_t a_length, const char* b, std::size_t b_length) {
  wchar_t first[2 * MAX_PATH];
  wchar_t second[2 * MAX_PATH];
  if (!final_path(a, a_length, first, 2 * MAX_PATH) ||
      !final_path(b, b_length, second, 2 * MAX_PATH)) {
    return true;
  }
  return std::wcscmp(first, second) == 0;
}

// The listing holds the status of every entry but a reparse point (and a name the host's
// path rules change); those take the runtime's own status call, which follows the point.
int stat_in_directory(Directory* directory, const DirectoryEntry& entry, const char* path,
                      std::size_t /*path_length*/, struct stat* status) {
  if (entry.type == 0) return host::stat(path, status);
  status_of(*directory->current, directory->drive, status);
  return 0;
}

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

// --- the runtime's calls that the tools make by their POSIX names ---

// The runtime's own open and chmod would read a UTF-8 name in the ANSI code page and lose
// every character outside it. These definitions take the place of the runtime's in every
// program that links the layer, so that code written against POSIX opens and changes
// files by their UTF-8 names unchanged.

extern "C" int open(const char* path, int flags, ...) {
  int mode = 0;
  if ((flags & _O_CREAT) != 0) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, int);
    va_end(arguments);
  }
  compat::host::WideName wide;
  if (!wide.assign(path)) return -1;
  return _wopen(wide.text(), flags, mode);
}

extern "C" int chmod(const char* path, int mode) {
  compat::host::WideName wide;
  if (!wide.assign(path)) return -1;
  return _wchmod(wide.text(), mode);
}

// --- files ---

#include "compat/host_files.h"

namespace compat::host {

// The host fence hands the layer every name as UTF-8, converted from the wide runtime
// calls; the runtime's locale has no say in it.
bool names_are_utf8() { return true; }

}  // namespace compat::host
