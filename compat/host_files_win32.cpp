// The file calls of compat/host_files.h for the Windows runtime: each forwards to the
// runtime's wide call of that meaning, with the UTF-8 name converted at this fence.

#include "compat/host_files.h"

#include <cerrno>
#include <cstring>
#include <cwchar>

#include <direct.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "compat/host_paths_win32.h"
#include "compat/stdlib.h"
#include "compat/utf16.h"

namespace compat::host {

// The host fence hands the layer every name as UTF-8, converted from the wide runtime
// calls; the runtime's locale has no say in it.
bool names_are_utf8() { return true; }

namespace {

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
// shorter than its UTF-16, so a wide buffer of `size` units holds every result that fits,
// and no result longer than the caller's buffer is wanted.
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

// A byte stands for itself in UTF-8: no byte of a multibyte character is a separator.
std::size_t separators_at(const char* text) {
  std::size_t count = 0;
  while (is_separator(text[count])) ++count;
  return count;
}

// Copies the components from `in` up to `end` to `out`, each run of separators between
// them as its first separator alone. Returns the end of what it wrote.
char* copy_components(const char* in, const char* end, char* out) {
  while (in != end) {
    *out++ = *in;
    in += is_separator(*in) ? separators_at(in) : 1;
  }
  return out;
}

}  // namespace

// The runtime's dirname, on the bytes of the name: a drive (a byte other than a separator,
// then a colon) stays in front, and alone gives "."; a root of two like separators stays
// two, any other run becomes its first separator (after a drive too); runs between
// components become their first separator; with no component left, the root, or "C:." or
// "." without one. The result is never longer than `path`, and is written over it.
char* dirname(char* path) {
  static char dot[] = ".";
  if (path == nullptr || path[0] == '\0') return dot;
  bool drive = !is_separator(path[0]) && path[1] == ':';
  char* rest = drive ? path + 2 : path;
  if (*rest == '\0') return dot;
  std::size_t separators = separators_at(rest);
  bool double_root = !drive && separators == 2 && rest[0] == rest[1];
  std::size_t root = separators == 0 ? 0 : double_root ? 2 : 1;
  const char* body = rest + separators;
  const char* end = rest + std::strlen(rest);
  while (end != body && is_separator(end[-1])) --end;   // trailing separators
  while (end != body && !is_separator(end[-1])) --end;  // the last component
  while (end != body && is_separator(end[-1])) --end;   // the separators before it
  if (end == body && root == 0) {
    if (!drive) return dot;
    rest[0] = '.';
    rest[1] = '\0';
    return path;
  }
  *copy_components(body, end, rest + root) = '\0';
  return path;
}

int open(const char* path, int flags, mode_t mode) {
  WideName wide;
  if (!wide.assign(path)) return -1;
  return _wopen(wide.text(), flags, static_cast<int>(mode));
}

int chmod(const char* path, mode_t mode) {
  WideName wide;
  if (!wide.assign(path)) return -1;
  return _wchmod(wide.text(), static_cast<int>(mode));
}

}  // namespace compat::host
