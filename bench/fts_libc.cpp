// The C library's fts, the baseline of fts_bench. Kept apart from compat/fts.h: the C
// library's <fts.h> defines the FTS_* names as macros.
#include "bench/fts_libc.h"

#include <fts.h>

namespace fts_libc {

fts_walk::Tally walk(const char* root, fts_walk::Status status) {
  char* argv[] = {const_cast<char*>(root), nullptr};
  int options = FTS_PHYSICAL | FTS_NOCHDIR;
  if (status == fts_walk::Status::skipped) options |= FTS_NOSTAT;
  FTS* stream = fts_open(argv, options, nullptr);
  if (stream == nullptr) return {};
  fts_walk::Tally tally{};
  while (FTSENT* entry = fts_read(stream)) {
    ++tally.entries;
    if (entry->fts_info == FTS_D) ++tally.directories;
  }
  fts_close(stream);
  return tally;
}

}  // namespace fts_libc
