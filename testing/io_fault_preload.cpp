// Preloaded (LD_PRELOAD) into a dynamically linked tool to give it the results that real
// descriptors seldom give: short writes, calls interrupted by a signal, writes of 0 bytes.
// A statically linked tool never sees it. Settings come from the environment:
//   ORVA_IO_FAULT_WRITE_LIMIT=N  a write to descriptor 1 moves at most N bytes
//   ORVA_IO_FAULT_EINTR=1        every other read, and every other write to descriptor 1,
//                                fails with EINTR without moving any bytes
//   ORVA_IO_FAULT_WRITE_ZERO=1   a write to descriptor 1 reports 0 bytes written; after
//                                1000 of them the process aborts, so a caller that retries
//                                for ever shows up as a crash rather than a hang
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

using ReadFunction = ssize_t (*)(int, void*, size_t);
using WriteFunction = ssize_t (*)(int, const void*, size_t);

size_t setting(const char* name) {
  const char* text = std::getenv(name);
  return text == nullptr ? 0 : std::strtoul(text, nullptr, 10);
}

// Alternates between true and false on each call for one counter.
bool interrupt_now(unsigned& calls) {
  if (setting("ORVA_IO_FAULT_EINTR") == 0) return false;
  return (calls++ % 2) == 0;
}

unsigned read_calls;
unsigned write_calls;
unsigned zero_writes;

}  // namespace

extern "C" ssize_t read(int fd, void* data, size_t size) {
  static auto next = reinterpret_cast<ReadFunction>(dlsym(RTLD_NEXT, "read"));
  if (interrupt_now(read_calls)) {
    errno = EINTR;
    return -1;
  }
  return next(fd, data, size);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  static auto next = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
  if (fd != 1) return next(fd, data, size);
  if (interrupt_now(write_calls)) {
    errno = EINTR;
    return -1;
  }
  if (setting("ORVA_IO_FAULT_WRITE_ZERO") != 0 && size > 0) {
    if (++zero_writes > 1000) std::abort();
    return 0;
  }
  size_t limit = setting("ORVA_IO_FAULT_WRITE_LIMIT");
  if (limit != 0 && size > limit) size = limit;
  return next(fd, data, size);
}
