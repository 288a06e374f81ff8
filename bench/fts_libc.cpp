// The C library's fts, the baseline of fts_bench. Kept apart from compat/fts.h: the C
// library's <fts.h> defines the FTS_* names as macros.
#include <fts.h>

#include <cstddef>

namespace fts_libc {

// Walks `root` with status, without changing directory, and returns the number of entries
// returned (directories twice); 0 when the stream cannot be opened.
std::size_t walk(const char* root) {
  char* argv[] = {const_cast<char*>(root), nullptr};
  FTS* stream = fts_open(argv, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
  if (stream == nullptr) return 0;
  std::size_t entries = 0;
  while (fts_read(stream) != nullptr) ++entries;
  fts_close(stream);
  return entries;
}

}  // namespace fts_libc
