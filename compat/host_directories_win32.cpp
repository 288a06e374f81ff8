// The directory calls of compat/host_directories.h for the Windows runtime. A directory is
// listed through a handle whose identity listing gives each entry's attributes, size and
// times, so that the status of an entry needs the host again only where it is a reparse
// point.
//
// Identities. The runtime's status has no file numbers, and those that the host gives
// (the volume's file index) are not unique under Wine, which shows the directories of
// every mounted Unix file system on one volume with their own inode numbers. A directory's
// final path (every link and junction on the way resolved) is unique everywhere, so its
// identity is the volume's serial number and a hash of its final path. Opening each
// directory to ask for that path would cost more than the whole listing: a directory
// listed in another is named by that one's final path, a backslash and its name, so its
// hash follows from its parent's without asking the host.

#include "compat/host_directories.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <direct.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include "compat/host_files.h"
#include "compat/host_paths_win32.h"
#include "compat/utf16.h"

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

// --- identities ---

constexpr std::uint64_t hash_basis = 14695981039346656037ULL;  // FNV-1a, 64 bits
constexpr std::uint64_t hash_prime = 1099511628211ULL;

// Continues `hash` over the `length` UTF-16 units at `text`.
std::uint64_t hash_units(std::uint64_t hash, const wchar_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    hash = (hash ^ static_cast<std::uint16_t>(text[i])) * hash_prime;
  }
  return hash;
}

// The hash of the final path of `handle`'s directory, without trailing backslashes (a
// drive's root has one), so that "\\" and a name continue it; 0 when the host cannot say.
std::uint64_t final_path_hash(HANDLE handle) {
  wchar_t local[PATH_BUFFER_SIZE];
  wchar_t* text = local;
  DWORD length = GetFinalPathNameByHandleW(handle, text, PATH_BUFFER_SIZE, FILE_NAME_NORMALIZED);
  // A longer path: `length` is the size it needs, its zero included.
  if (length >= PATH_BUFFER_SIZE) {
    DWORD size = length;
    text = static_cast<wchar_t*>(std::malloc(size * sizeof(wchar_t)));
    length =
        text == nullptr ? 0 : GetFinalPathNameByHandleW(handle, text, size, FILE_NAME_NORMALIZED);
    if (length >= size) length = 0;
  }
  while (length > 0 && text[length - 1] == L'\\') --length;
  std::uint64_t hash = length == 0 ? 0 : hash_units(hash_basis, text, length);
  if (text != local) std::free(text);
  return hash;
}

// A handle on the file or directory at `path` (links and junctions followed) that can tell
// about it and nothing more, or INVALID_HANDLE_VALUE.
HANDLE open_to_describe(const char* path) {
  WideName wide;
  if (!wide.assign(path)) return INVALID_HANDLE_VALUE;
  return CreateFileW(wide.text(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The identity of the directory at `path`, whose status is `status`. Where the directory
// cannot be opened to ask, the identity stays unknown and no cycle is seen through it.
Identity identity_by_path(const char* path, const struct stat& status) {
  Identity identity{static_cast<std::uint64_t>(status.st_dev), 0};
  HANDLE handle = open_to_describe(path);
  if (handle == INVALID_HANDLE_VALUE) return identity;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(handle, &information)) {
    identity.device = information.dwVolumeSerialNumber;
    identity.file = final_path_hash(handle);
  }
  CloseHandle(handle);
  return identity;
}

// The identity of the directory `name`, listed in the directory whose identity is
// `listed_in`: on its volume, and named by its final path and the name.
Identity identity_in(const Identity& listed_in, WideText name) {
  if (is_dot_or_dot_dot(name)) return {listed_in.device, name.length == 1 ? listed_in.file : 0};
  if (listed_in.file == 0) return {listed_in.device, 0};
  const wchar_t separator = L'\\';
  return {listed_in.device,
          hash_units(hash_units(listed_in.file, &separator, 1), name.text, name.length)};
}

}  // namespace

void describe(const char* path, FileFacts* facts, struct stat* status) {
  *facts = FileFacts{};
  facts->has_status = true;
  if (host::stat(path, status) != 0) {
    facts->status_error = errno;
    return;
  }
  facts->type = status->st_mode & S_IFMT;
  if (S_ISDIR(status->st_mode)) facts->identity = identity_by_path(path, *status);
}

// --- listings ---

namespace {

// Every Windows file system keeps a name in at most 255 UTF-16 units, each at most three
// bytes of UTF-8.
constexpr std::size_t max_name_units = 255;
constexpr std::size_t max_name_bytes = 3 * max_name_units;

}  // namespace

// Reads one directory at a time. `buffer` holds the records of one listing call; `next`
// is the record to read next in it. `path` holds the directory's path and a '/', with room
// for an entry's name after it: each entry's name is written there, so that its path is at
// hand.
struct DirectoryReader {
  HANDLE handle;   // of the directory open, or INVALID_HANDLE_VALUE
  bool ended;      // the host has no more records
  unsigned drive;  // the runtime's st_dev for the entries: the number of their drive
  Identity identity;
  const FILE_ID_BOTH_DIR_INFO* next;  // null when `buffer` is used up
  char* path;
  std::size_t path_size;      // of the block at `path`
  std::size_t prefix_length;  // of `path`, before the names
  alignas(LONGLONG) unsigned char buffer[16384];
};

namespace {

// Fills the buffer with the next records (the first ones with FileIdBothDirectoryRestartInfo).
// False at the end (error ERROR_NO_MORE_FILES) or on failure.
bool fetch_records(DirectoryReader* reader, FILE_INFO_BY_HANDLE_CLASS which) {
  if (!GetFileInformationByHandleEx(reader->handle, which, reader->buffer, sizeof reader->buffer)) {
    reader->next = nullptr;
    return false;
  }
  reader->next = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reader->buffer);
  return true;
}

// The next record into *record: 1, 0 at the end, -1 with errno on failure.
int next_record(DirectoryReader* reader, const FILE_ID_BOTH_DIR_INFO** record) {
  if (reader->next == nullptr) {
    if (reader->ended) return 0;
    if (!fetch_records(reader, FileIdBothDirectoryInfo)) {
      reader->ended = true;
      DWORD error = GetLastError();
      if (error == ERROR_NO_MORE_FILES) return 0;
      errno = errno_of(error);
      return -1;
    }
  }
  *record = reader->next;
  reader->next =
      (*record)->NextEntryOffset == 0
          ? nullptr
          : reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
                reinterpret_cast<const unsigned char*>(*record) + (*record)->NextEntryOffset);
  return 1;
}

// Copies `path` and a '/' into the reader's path, with room for any name after it. False
// with errno ENOMEM.
bool set_path(DirectoryReader* reader, const char* path) {
  std::size_t length = std::strlen(path);
  std::size_t prefix = length > 0 && path[length - 1] == '/' ? length : length + 1;
  std::size_t size = prefix + max_name_bytes + 1;
  if (size > reader->path_size) {
    auto* grown = static_cast<char*>(std::realloc(reader->path, size));
    if (grown == nullptr) {
      errno = ENOMEM;
      return false;
    }
    reader->path = grown;
    reader->path_size = size;
  }
  std::memcpy(reader->path, path, length);
  reader->path[prefix - 1] = '/';
  reader->prefix_length = prefix;
  return true;
}

}  // namespace

DirectoryReader* make_directory_reader() {
  auto* reader = static_cast<DirectoryReader*>(std::malloc(sizeof(DirectoryReader)));
  if (reader == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  reader->handle = INVALID_HANDLE_VALUE;
  reader->path = nullptr;
  reader->path_size = 0;
  return reader;
}

void free_directory_reader(DirectoryReader* reader) {
  if (reader->handle != INVALID_HANDLE_VALUE) close_directory(reader);
  std::free(reader->path);
  std::free(reader);
}

// Every directory is opened by its path, whatever its place: paths stay within MAX_PATH
// unless the user enables long paths, and opening a directory relative to a handle takes
// NtCreateFile, from ntdll, outside KERNEL32 and msvcrt, the only libraries the tools import.
int open_directory(DirectoryReader* reader, const char* path, const Identity& identity,
                   const Place& /*place*/) {
  WideName wide;
  if (!wide.assign(path) || !set_path(reader, path)) return -1;
  HANDLE handle = CreateFileW(wide.text(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = open_errno(path, GetLastError());
    return -1;
  }
  reader->handle = handle;
  reader->drive = drive_number(path);
  reader->identity = identity;
  reader->ended = !fetch_records(reader, FileIdBothDirectoryRestartInfo);
  // A directory without a single record (a drive's root lists no "." or "..") is empty;
  // anything else that cannot be listed (a file opened by that path) is no directory.
  DWORD error = reader->ended ? GetLastError() : ERROR_SUCCESS;
  if (reader->ended && error != ERROR_NO_MORE_FILES && error != ERROR_FILE_NOT_FOUND) {
    close_directory(reader);
    errno = open_errno(path, error);
    return -1;
  }
  return 0;
}

int read_entry(DirectoryReader* reader, Want want, bool dots, Entry* entry, struct stat* status) {
  const FILE_ID_BOTH_DIR_INFO* record = nullptr;
  int got;
  do {
    got = next_record(reader, &record);
    if (got <= 0) return got;
  } while (!dots && is_dot_or_dot_dot(name_of(*record)));
  WideText name = name_of(*record);
  // No file system here has longer names; one that did would not fit `path`.
  if (name.length > max_name_units) {
    reader->ended = true;
    reader->next = nullptr;
    errno = ENAMETOOLONG;
    return -1;
  }
  char* name_start = reader->path + reader->prefix_length;
  char* end = write_utf8(name.text, name.length, name_start);
  *end = '\0';
  entry->name = name_start;
  entry->name_length = static_cast<std::size_t>(end - name_start);
  bool described = listing_describes(*record);
  bool is_directory = (record->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  unsigned listed = !described ? 0 : is_directory ? _S_IFDIR : _S_IFREG;
  if (want == Want::name || (want == Want::kind && listed == _S_IFREG)) {
    entry->facts = FileFacts{listed, false, 0, {}};
    return 1;
  }
  // A reparse point's status is that of what it leads to: the runtime's own call follows it.
  if (!described) {
    describe(reader->path, &entry->facts, status);
    return 1;
  }
  status_of(*record, reader->drive, status);
  entry->facts = FileFacts{listed, true, 0, {}};
  if (is_directory) entry->facts.identity = identity_in(reader->identity, name);
  return 1;
}

void close_directory(DirectoryReader* reader) {
  CloseHandle(reader->handle);
  reader->handle = INVALID_HANDLE_VALUE;
}

}  // namespace compat::host
