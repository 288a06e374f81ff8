#include "compat/unistd.h"

#include <cerrno>
#include <cstring>

#include "compat/host_console.h"

namespace compat {

ssize_t read(int fd, void* data, std::size_t size) { return host::read(fd, data, size); }

ssize_t write(int fd, const void* data, std::size_t size) { return host::write(fd, data, size); }

namespace {

int not_supported() {
  errno = ENOSYS;
  return -1;
}

// The one static empty string of the functions that return a name.
constexpr char empty_name[] = "";

}  // namespace

int fchdir(int) { return not_supported(); }
int link(const char*, const char*) { return not_supported(); }
int symlink(const char*, const char*) { return not_supported(); }
int mkfifo(const char*, mode_t) { return not_supported(); }
int pipe(int[2]) { return not_supported(); }
int fchmod(int, mode_t) { return not_supported(); }
int fsync(int) { return not_supported(); }
int fstatat(int, const char*, struct stat*, int) { return not_supported(); }
int fchmodat(int, const char*, mode_t, int) { return not_supported(); }
int mkdirat(int, const char*, mode_t) { return not_supported(); }
int unlinkat(int, const char*, int) { return not_supported(); }
int renameat(int, const char*, int, const char*) { return not_supported(); }
int linkat(int, const char*, int, const char*, int) { return not_supported(); }
int symlinkat(const char*, int, const char*) { return not_supported(); }

int issetugid() { return 0; }
char* getlogin() { return nullptr; }
void setprogname(const char*) {}
const char* user_from_uid(unsigned int, int) { return empty_name; }
const char* group_from_gid(unsigned int, int) { return empty_name; }

std::size_t strncpy_nopad(char* destination, const char* source, std::size_t count) {
  for (std::size_t copied = 0; copied != count; ++copied) {
    destination[copied] = source[copied];
    if (source[copied] == '\0') return copied;
  }
  return count;
}

int rpmatch(const char* response) {
  char first = response[0];
  if (first == '\0') return -1;  // strchr would find the terminator
  if (std::strchr("1TYty", first) != nullptr) return 1;
  if (std::strchr("0FNfn", first) != nullptr) return 0;
  return -1;
}

std::size_t strnlen_checked(const char* text, int, std::size_t count) {
  const void* zero = std::memchr(text, '\0', count);
  if (zero == nullptr) return count;
  return static_cast<std::size_t>(static_cast<const char*>(zero) - text);
}

}  // namespace compat
