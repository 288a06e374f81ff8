#include "compat/fts_ancestors.h"

#include <cerrno>
#include <cstdlib>

namespace compat {

namespace {

constexpr std::size_t FIRST_SLOT_COUNT = 64;

std::size_t home_slot(std::uint64_t device, std::uint64_t file, std::size_t slot_count) {
  std::uint64_t mixed = (file ^ (device << 32 | device >> 32)) * 0x9E3779B97F4A7C15U;
  return static_cast<std::size_t>(mixed >> 32) & (slot_count - 1);
}

std::size_t home_of(const FTSENT* entry, std::size_t slot_count) {
  return home_slot(entry->fts_dev, entry->fts_ino, slot_count);
}

void insert(FTSENT** slots, std::size_t slot_count, FTSENT* entry) {
  std::size_t i = home_of(entry, slot_count);
  while (slots[i] != nullptr) i = (i + 1) & (slot_count - 1);
  slots[i] = entry;
}

// Keeps the table at most half full, so that probes stay short.
bool make_room(FtsAncestors* set) {
  if (2 * (set->count + 1) <= set->slot_count) return true;
  std::size_t slot_count = set->slot_count == 0 ? FIRST_SLOT_COUNT : 2 * set->slot_count;
  auto** slots = static_cast<FTSENT**>(std::calloc(slot_count, sizeof(FTSENT*)));
  if (slots == nullptr) {
    errno = ENOMEM;
    return false;
  }
  for (std::size_t i = 0; i < set->slot_count; ++i) {
    if (set->slots[i] != nullptr) insert(slots, slot_count, set->slots[i]);
  }
  std::free(set->slots);
  set->slots = slots;
  set->slot_count = slot_count;
  return true;
}

// True when an entry whose home is `home` may sit at `to` after the gap at `gap` closes:
// its probe from home then still passes no empty slot. Positions wrap around the table.
bool may_move(std::size_t home, std::size_t gap, std::size_t to, std::size_t mask) {
  return ((to - home) & mask) >= ((to - gap) & mask);
}

}  // namespace

bool fts_ancestors_add(FtsAncestors* set, FTSENT* entry) {
  if (entry->fts_ino == 0) return true;
  if (!make_room(set)) return false;
  insert(set->slots, set->slot_count, entry);
  ++set->count;
  return true;
}

namespace {

// The slot that holds `entry`, or slot_count. Found from its home, or (should its identity
// have changed since it was added) by looking at every slot.
std::size_t slot_of(const FtsAncestors* set, const FTSENT* entry) {
  std::size_t mask = set->slot_count - 1;
  for (std::size_t i = home_of(entry, set->slot_count); set->slots[i] != nullptr;
       i = (i + 1) & mask) {
    if (set->slots[i] == entry) return i;
  }
  for (std::size_t i = 0; i < set->slot_count; ++i) {
    if (set->slots[i] == entry) return i;
  }
  return set->slot_count;
}

}  // namespace

// Backward-shift deletion: the entries after the gap that may move back do, so that every
// remaining entry is found again from its home without passing an empty slot.
void fts_ancestors_remove(FtsAncestors* set, const FTSENT* entry) {
  if (set->count == 0 || entry->fts_ino == 0) return;
  std::size_t mask = set->slot_count - 1;
  std::size_t gap = slot_of(set, entry);
  if (gap == set->slot_count) return;
  for (std::size_t i = (gap + 1) & mask; set->slots[i] != nullptr; i = (i + 1) & mask) {
    if (may_move(home_of(set->slots[i], set->slot_count), gap, i, mask)) {
      set->slots[gap] = set->slots[i];
      gap = i;
    }
  }
  set->slots[gap] = nullptr;
  --set->count;
}

FTSENT* fts_ancestors_find(const FtsAncestors* set, std::uint64_t device, std::uint64_t file) {
  if (set->count == 0 || file == 0) return nullptr;
  std::size_t mask = set->slot_count - 1;
  for (std::size_t i = home_slot(device, file, set->slot_count); set->slots[i] != nullptr;
       i = (i + 1) & mask) {
    if (set->slots[i]->fts_ino == file && set->slots[i]->fts_dev == device) return set->slots[i];
  }
  return nullptr;
}

void fts_ancestors_free(FtsAncestors* set) {
  std::free(set->slots);
  *set = FtsAncestors{};
}

}  // namespace compat
