// The traversal when the heap fails: every allocation of a whole walk is made to fail in
// turn, once or from then on, until a walk completes with no failure. Each run must end
// as declared (fts_open null with ENOMEM, or a walk that stops with FTS_ERR and FTS_STOP,
// or a complete walk when only a sort failed), return only true visits, and leave nothing
// behind: no descriptor (on the Windows host, handle) open after fts_close, and no memory:
// the binary runs under AddressSanitizer, whose leak check fails it otherwise.
#include <algorithm>
#include <cerrno>
#include <compare>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "compat/fts.h"
#include "testing/alloc_fault.h"
#include "testing/descriptors.h"
#include "testing/host.h"
#include "testing/temp_dir.h"

namespace {

using compat::FTS;
using compat::FTSENT;
namespace alloc_fault = orva_testing::alloc_fault;

// A visit as its fts_info and a hash of its path: recording one allocates nothing, so
// that only the traversal's own allocations meet the faults (the C++ runtime's operator
// new may go through the wrapped malloc too).
struct Visit {
  int info;
  std::size_t path_hash;
  auto operator<=>(const Visit&) const = default;
};

int by_name(const FTSENT** a, const FTSENT** b) {
  return std::strcmp((*a)->fts_name, (*b)->fts_name);
}

struct Plan {
  std::vector<char*> argv;
  std::vector<Visit> expected;  // sorted, from a walk without failures
  std::vector<Visit> seen;      // its room is made before any fault is armed
  std::size_t completed = 0;
  std::size_t stopped = 0;
  std::size_t refused = 0;
  std::size_t unreadable = 0;  // entries the host could not read or describe for want of memory
  int descriptors = 0;         // open before any walk
  // The first fault found, kept while faults are armed (reporting one allocates) and
  // reported afterwards.
  const char* problem = nullptr;
  std::size_t problem_nth = 0;
};

void note_problem(Plan* plan, bool ok, const char* problem) {
  if (ok || plan->problem != nullptr) return;
  plan->problem = problem;
  plan->problem_nth = alloc_fault::count();
}

void ask_for_children(FTS* stream, const FTSENT* p) {
  if (p->fts_info != compat::FTS_D) return;
  if (std::strcmp(p->fts_name, "small") == 0) compat::fts_children(stream, 0);
  if (std::strcmp(p->fts_name, "big") == 0) compat::fts_children(stream, compat::FTS_NAMEONLY);
}

std::size_t path_hash(const FTSENT* p) {
  return std::hash<std::string_view>{}(std::string_view(p->fts_path, p->fts_pathlen));
}

// What the client holds stays readable after a stop (AddressSanitizer fails any read of
// freed memory): the stopped entry's path as it was returned, terminated, and the paths of
// the directories above it.
void check_held_paths(Plan* plan, const FTSENT* held, std::size_t returned_hash) {
  note_problem(plan, path_hash(held) == returned_hash, "the held entry's path changed");
  note_problem(plan, std::strlen(held->fts_path) == held->fts_pathlen,
               "the held entry's path does not end where it did");
  note_problem(plan, std::strlen(held->fts_accpath) == held->fts_pathlen,
               "the held entry's access path does not end where it did");
  for (const FTSENT* p = held->fts_parent; p->fts_level >= compat::FTS_ROOTLEVEL;
       p = p->fts_parent) {
    note_problem(plan, std::memcmp(p->fts_path, held->fts_path, p->fts_pathlen) == 0,
                 "a held directory's path is not the start of its entry's");
    note_problem(plan, std::memcmp(p->fts_accpath, held->fts_path, p->fts_pathlen) == 0,
                 "a held directory's access path is not the start of its entry's");
  }
}

// Walks the plan's roots into plan->seen (sorted), asking for child lists on the way: a
// list with status in "small" (which fts_read then uses) and a names-only list in "big"
// (which it reads again). Returns true when the walk completed.
bool walk_once(Plan* plan) {
  plan->seen.clear();
  FTS* stream = compat::fts_open(plan->argv.data(), 0, by_name);
  if (stream == nullptr) {
    note_problem(plan, errno == ENOMEM, "fts_open failed without ENOMEM");
    ++plan->refused;
    return false;
  }
  bool unreadable = false;
  std::size_t returned_hash = 0;  // of the path of the entry returned last
  while (FTSENT* p = compat::fts_read(stream)) {
    returned_hash = path_hash(p);
    // A host whose directory reading or status call allocates through the wrapped malloc
    // (the Windows host, for a listing and for a long name in UTF-16) cannot read that
    // directory or take that status.
    if (orva_testing::windows_host &&
        (p->fts_info == compat::FTS_DNR || p->fts_info == compat::FTS_NS)) {
      note_problem(plan, p->fts_errno == ENOMEM, "FTS_DNR or FTS_NS without ENOMEM");
      unreadable = true;
      continue;
    }
    if (plan->seen.size() == plan->seen.capacity()) {
      note_problem(plan, false, "more visits than the tree holds");
      break;
    }
    plan->seen.push_back({p->fts_info, returned_hash});
    ask_for_children(stream, p);
  }
  int end_errno = errno;
  bool stopped = (stream->fts_options & compat::FTS_STOP) != 0;
  if (stopped) {
    note_problem(plan, end_errno == ENOMEM, "stopped without ENOMEM");
    note_problem(plan, stream->fts_cur->fts_info == compat::FTS_ERR, "stopped entry not FTS_ERR");
    check_held_paths(plan, stream->fts_cur, returned_hash);
    note_problem(plan, compat::fts_read(stream) == nullptr, "read after a stop");
    note_problem(plan, compat::fts_children(stream, 0) == nullptr, "children after a stop");
    ++plan->stopped;
  } else {
    note_problem(plan, end_errno == 0, "walk ended with errno set");
    ++plan->completed;
  }
  plan->unreadable += unreadable ? 1 : 0;
  note_problem(plan, compat::fts_close(stream) == 0, "fts_close failed");
  note_problem(plan, orva_testing::open_descriptor_count() == plan->descriptors,
               "a descriptor left open after fts_close");
  std::sort(plan->seen.begin(), plan->seen.end());
  return !stopped && !unreadable;
}

void walk_under_fault(void* context, std::size_t /*nth*/) {
  auto* plan = static_cast<Plan*>(context);
  // A complete walk (at most a sort failed, which only changes the order) returns all of
  // the true walk; any other a part of it.
  if (walk_once(plan)) {
    note_problem(plan, plan->seen == plan->expected, "a complete walk differs from the true one");
  } else {
    note_problem(plan,
                 std::includes(plan->expected.begin(), plan->expected.end(), plan->seen.begin(),
                               plan->seen.end()),
                 "a visit that the true walk does not have");
  }
}

class FtsAllocation : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tmp_ / "t";
    std::vector<std::string> dirs = {"", "/big", "/small", "/deep"};
    for (const std::string& dir : dirs) std::filesystem::create_directory(root_ + dir);
    // More entries than the first sort array holds (3 roots and 40 spare).
    for (int i = 0; i < 45; ++i) orva_testing::write_file(root_ + "/big/f" + std::to_string(i), "");
    for (const char* name : {"a", "b", "c"}) orva_testing::write_file(root_ + "/small/" + name, "");
    // Names long enough to outgrow the first path buffer, where the host allows them; the
    // buffer moves at the first of the last three, and the others are allocated after.
    std::error_code ec;
    std::string deep = root_ + "/deep/" + std::string(200, 'x') + "/" + std::string(200, 'y');
    if (std::filesystem::create_directories(deep, ec)) {
      for (char c : {'u', 'v', 'z'}) orva_testing::write_file(deep + "/" + std::string(200, c), "");
    }
    roots_ = {root_ + "/small", root_ + "/big", root_ + "/deep"};
    for (std::string& root : roots_) plan_.argv.push_back(root.data());
    plan_.argv.push_back(nullptr);
    plan_.seen.reserve(1000);
    plan_.descriptors = orva_testing::open_descriptor_count();
    ASSERT_GE(plan_.descriptors, 0);
    ASSERT_TRUE(walk_once(&plan_));
    ASSERT_EQ(plan_.problem, nullptr) << plan_.problem;
    plan_.expected = plan_.seen;
    plan_.completed = 0;
    ASSERT_GT(plan_.expected.size(), 50U);
  }

  void run_every_failure(bool persistent) {
    std::size_t runs = alloc_fault::for_each_failure(walk_under_fault, &plan_, persistent, 10000);
    EXPECT_EQ(plan_.problem, nullptr)
        << plan_.problem << ", at allocation " << plan_.problem_nth << " of a run";
    ASSERT_NE(runs, 0U) << "no walk completed";
    EXPECT_GT(runs, 50U) << "fewer allocations than entries";
    EXPECT_GT(plan_.refused, 0U);
    EXPECT_GT(plan_.stopped, 0U);
    // The last run had no failure: it walked the whole tree.
    EXPECT_GE(plan_.completed, 1U);
  }

  orva_testing::TempDir tmp_;
  std::string root_;
  std::vector<std::string> roots_;
  Plan plan_;
};

TEST_F(FtsAllocation, EachFailingAllocationOnceIsHandled) { run_every_failure(false); }

TEST_F(FtsAllocation, FailuresFromEachAllocationOnAreHandled) { run_every_failure(true); }

// A failed sort is silent: the roots keep the reverse order they were gathered in.
TEST_F(FtsAllocation, FailedSortKeepsTheRootsInReverseOrder) {
  // The stream, the path buffer, the root-parent and three roots come first; then the
  // sort array.
  alloc_fault::fail_nth(7, false);
  FTS* stream = compat::fts_open(plan_.argv.data(), 0, by_name);
  alloc_fault::disarm();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->fts_nitems, 0U);
  EXPECT_EQ(stream->fts_array, nullptr);
  std::vector<std::string> names;
  for (FTSENT* p = compat::fts_children(stream, 0); p != nullptr; p = p->fts_link) {
    names.emplace_back(p->fts_name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{roots_[2], roots_[1], roots_[0]}));
  compat::fts_close(stream);
}

}  // namespace
