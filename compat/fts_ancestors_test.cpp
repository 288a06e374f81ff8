// The set of directories above a walk's position: found by identity after any mix of
// additions and removals, as long as they stay in it.
#include "compat/fts_ancestors.h"

#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

namespace {

using compat::FTSENT;

// Adds and removes entries as a walk does, deeper and back up again, with identities
// chosen to collide in the table, and checks every identity against the set at each step.
TEST(FtsAncestors, FindsExactlyTheEntriesItHolds) {
  constexpr std::size_t count = 300;
  std::vector<FTSENT> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    entries[i] = FTSENT{};
    entries[i].fts_dev = i % 3;
    entries[i].fts_ino = 1 + (i % 7) * 64 + i / 7;  // many share low bits
  }
  compat::FtsAncestors set{};
  std::vector<std::size_t> path;  // the entries in the set, in the order added
  std::mt19937 random(7);
  for (int step = 0; step < 5000; ++step) {
    bool deeper = path.empty() || (path.size() < count && random() % 3 != 0);
    if (deeper) {
      std::size_t next = path.size();  // each depth has its own entry
      ASSERT_TRUE(compat::fts_ancestors_add(&set, &entries[next]));
      path.push_back(next);
    } else {
      compat::fts_ancestors_remove(&set, &entries[path.back()]);
      path.pop_back();
    }
    std::set<std::size_t> held(path.begin(), path.end());
    for (std::size_t i = 0; i < count; ++i) {
      const FTSENT* found =
          compat::fts_ancestors_find(&set, entries[i].fts_dev, entries[i].fts_ino);
      ASSERT_EQ(found, held.count(i) != 0 ? &entries[i] : nullptr) << "step " << step << ", " << i;
    }
  }
  compat::fts_ancestors_free(&set);
}

// A file number of 0 is an identity that the host could not take: never a match.
TEST(FtsAncestors, UnknownIdentityIsNeverFound) {
  FTSENT unknown{};
  FTSENT known{};
  known.fts_ino = 5;
  compat::FtsAncestors set{};
  ASSERT_TRUE(compat::fts_ancestors_add(&set, &unknown));
  ASSERT_TRUE(compat::fts_ancestors_add(&set, &known));
  EXPECT_EQ(compat::fts_ancestors_find(&set, 0, 0), nullptr);
  EXPECT_EQ(compat::fts_ancestors_find(&set, 0, 5), &known);
  EXPECT_EQ(compat::fts_ancestors_find(&set, 1, 5), nullptr);
  compat::fts_ancestors_remove(&set, &unknown);
  compat::fts_ancestors_remove(&set, &known);
  EXPECT_EQ(compat::fts_ancestors_find(&set, 0, 5), nullptr);
  compat::fts_ancestors_free(&set);
}

}  // namespace
