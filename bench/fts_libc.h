#pragma once

// What fts_bench.cpp and fts_libc.cpp share. Includes neither <fts.h> nor compat/fts.h:
// the C library's header defines the FTS_* names as macros.

#include <cstddef>

namespace fts_walk {

// Whether the walk asks for each entry's status (FTS_NOSTAT left out) or not.
enum class Status { taken, skipped };

// What one walk saw: every entry fts_read returned (directories twice) and, of those,
// the directories in pre-order (FTS_D). Both sides count the same way.
struct Tally {
  std::size_t entries;
  std::size_t directories;
};

}  // namespace fts_walk

namespace fts_libc {

// Walks `root` with the C library's fts, FTS_PHYSICAL | FTS_NOCHDIR, and FTS_NOSTAT when
// `status` is skipped. A zero tally when the stream cannot be opened.
fts_walk::Tally walk(const char* root, fts_walk::Status status);

}  // namespace fts_libc
