#pragma once

// The identities (device and file number) of the directories on a walk's way down from
// its root, so that a directory met again below itself is known as a cycle in constant
// time. An open-addressing table of the entries themselves, with linear probing.

#include <cstddef>
#include <cstdint>

#include "compat/fts.h"

namespace compat {

struct FtsAncestors {
  FTSENT** slots;          // null for an empty slot
  std::size_t slot_count;  // a power of two, or 0 before the first add
  std::size_t count;
};

// Adds `entry`, by its fts_dev and fts_ino. False with ENOMEM when the table cannot grow;
// the set is then unchanged. An entry whose fts_ino is 0 (identity unknown) is not added.
bool fts_ancestors_add(FtsAncestors* set, FTSENT* entry);

// Removes `entry`, if the set holds it. errno is left alone.
void fts_ancestors_remove(FtsAncestors* set, const FTSENT* entry);

// The entry with `device` and file number `file`, or null. A file number of 0 (identity
// unknown) is never found.
FTSENT* fts_ancestors_find(const FtsAncestors* set, std::uint64_t device, std::uint64_t file);

// Frees the table; the set is empty again.
void fts_ancestors_free(FtsAncestors* set);

}  // namespace compat
