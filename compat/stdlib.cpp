#include "compat/stdlib.h"

#include <cerrno>
#include <cstdlib>

#include "compat/host_files.h"

namespace compat {

char* realpath(const char* path, char* resolved) {
  if (resolved == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  return host::fullpath(resolved, path, PATH_BUFFER_SIZE);
}

void* reallocf(void* block, std::size_t size) {
  // realloc(block, 0) may free the block and return null itself; never free it again.
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  void* resized = std::realloc(block, size);
  if (resized == nullptr) std::free(block);
  return resized;
}

}  // namespace compat
