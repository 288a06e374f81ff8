// The traversal's descriptors on POSIX hosts. A walk opens each directory from a
// descriptor of its parent, holds those of the last 32 levels at most, goes on by path
// when the process runs out of descriptors, and leaves none open once closed; what the
// caller sees is the same either way. Each test runs in a temporary working directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compat/fts.h"
#include "testing/descriptors.h"
#include "testing/readdir_fault.h"
#include "testing/temp_dir.h"

namespace {

using compat::FTS;
using compat::FTSENT;

// The most descriptors a walk holds between two calls.
constexpr int held_at_most = 32;

constexpr int D = compat::FTS_D, DP = compat::FTS_DP, F = compat::FTS_F, NS = compat::FTS_NS,
              DNR = compat::FTS_DNR;

struct Visit {
  int info;
  std::string path;
  int level;
  int error;  // fts_errno
  bool operator==(const Visit&) const = default;
};

void PrintTo(const Visit& v, std::ostream* os) {
  *os << "{" << v.info << ", \"" << v.path << "\", " << v.level << ", " << v.error << "}";
}

int by_name(const FTSENT** a, const FTSENT** b) {
  return std::strcmp((*a)->fts_name, (*b)->fts_name);
}

// Walks `root` and returns its visits, calling `act` after each.
std::vector<Visit> walk(const char* root, int options,
                        const std::function<void(FTS*, const FTSENT*)>& act = {}) {
  std::string text = root;
  char* argv[] = {text.data(), nullptr};
  std::vector<Visit> visits;
  FTS* stream = compat::fts_open(argv, options, by_name);
  if (stream == nullptr) {
    ADD_FAILURE() << "fts_open: " << std::strerror(errno);
    return visits;
  }
  while (FTSENT* p = compat::fts_read(stream)) {
    visits.push_back(
        {p->fts_info, std::string(p->fts_path, p->fts_pathlen), p->fts_level, p->fts_errno});
    if (act) act(stream, p);
  }
  EXPECT_EQ(errno, 0);
  compat::fts_close(stream);
  return visits;
}

// A chain of directories "d" `depth` deep under the new directory `root`, with a file "f"
// at the bottom, built through descriptors: its paths may pass the kernel's limit.
void make_chain(const char* root, int depth) {
  ASSERT_EQ(::mkdir(root, 0755), 0);
  int fd = open(root, O_RDONLY | O_DIRECTORY);
  for (int level = 1; level < depth && fd >= 0; ++level) {
    ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0);
  ASSERT_EQ(close(openat(fd, "f", O_CREAT | O_WRONLY, 0644)), 0);
  close(fd);
}

// The visits of a walk down that chain, which stops at the first entry whose path reaches
// PATH_MAX: that one has no status (FTS_NS with ENAMETOOLONG).
std::vector<Visit> chain_visits(const std::string& root, int depth) {
  std::vector<Visit> visits;
  std::string path = root;
  int level = 0;
  for (; level < depth && path.size() < PATH_MAX; ++level) {
    visits.push_back({D, path, level, 0});
    path += level + 1 < depth ? "/d" : "/f";
  }
  if (path.size() < PATH_MAX) {
    visits.push_back({F, path, level, 0});
  } else {
    visits.push_back({NS, path, level, ENAMETOOLONG});
  }
  while (level-- > 0) {
    path.resize(path.rfind('/'));
    visits.push_back({DP, path, level, 0});
  }
  return visits;
}

class FtsDescriptors : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(saved_cwd_, sizeof saved_cwd_), nullptr);
    ASSERT_EQ(chdir(tmp_.path().c_str()), 0);
    open_before_ = orva_testing::open_descriptor_count();
    ASSERT_GE(open_before_, 0);
  }
  void TearDown() override {
    EXPECT_EQ(orva_testing::open_descriptor_count(), open_before_) << "descriptors left open";
    ASSERT_EQ(chdir(saved_cwd_), 0);
  }

  // Descriptors the walk holds now.
  int held() const { return orva_testing::open_descriptor_count() - open_before_; }

  orva_testing::TempDir tmp_;
  int open_before_ = 0;

 private:
  char saved_cwd_[PATH_MAX] = {};
};

// Down a chain deeper than the bound and than PATH_MAX, with a descriptor for each level
// above until the bound, and the bound from there on: at every pre-order visit the walk
// holds its ancestors' descriptors, never more, with room for exactly one more (the
// listing's) at any time. A walk that needed more would lose them all and show fewer.
TEST_F(FtsDescriptors, ChainPastTheBoundAndThePathLimitHoldsTheLastLevelsOnly) {
  const int depth = PATH_MAX / 2 + 100;
  make_chain("c", depth);
  const std::vector<Visit> expected = chain_visits("c", depth);
  ASSERT_EQ(expected[expected.size() / 2].error, ENAMETOOLONG);
  for (int options : {0, compat::FTS_NOSTAT}) {
    orva_testing::DescriptorLimit limit(held_at_most + 1);
    ASSERT_TRUE(limit.ok());
    int most = 0;
    int first_wrong_level = -1;
    std::vector<Visit> visits = walk("c", options, [&](FTS*, const FTSENT* p) {
      int now = held();
      most = std::max(most, now);
      bool right = p->fts_info != D || now == std::min(p->fts_level, held_at_most);
      if (!right && first_wrong_level < 0) first_wrong_level = p->fts_level;
    });
    EXPECT_TRUE(visits == expected) << "options " << options << ": " << visits.size() << " visits, "
                                    << expected.size() << " expected";
    EXPECT_EQ(most, held_at_most) << "options " << options;
    EXPECT_EQ(first_wrong_level, -1) << "options " << options;
  }
}

// A tree whose every directory has a subdirectory after the walk has come back up: the
// side branches are opened after a deep descent.
void make_comb(int depth) {
  std::string path = "c";
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  for (int level = 1; level < depth; ++level) {
    ASSERT_EQ(::mkdir((path + "/side").c_str(), 0755), 0);
    ASSERT_EQ(close(open((path + "/side/f").c_str(), O_CREAT | O_WRONLY, 0644)), 0);
    path += "/d";
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  }
}

// Out of descriptors, the walk lets go of those it holds and goes on by path: it sees
// what it sees with descriptors to spare, however few there are, as long as one is free,
// and when the client takes every free descriptor in the middle of the walk. With none
// free it cannot read the root, as ever.
TEST_F(FtsDescriptors, RunningOutOfDescriptorsChangesNothingTheCallerSees) {
  const int depth = 2 * held_at_most + 5;
  make_comb(depth);
  const std::vector<Visit> expected = walk("c", 0);
  ASSERT_GT(expected.size(), 300U);
  for (int more : {1, 2, 3, 5, held_at_most, held_at_most + 1}) {
    orva_testing::DescriptorLimit limit(more);
    ASSERT_TRUE(limit.ok());
    std::vector<Visit> visits = walk("c", 0);
    EXPECT_TRUE(visits == expected) << more << " free: " << visits.size() << " visits";
  }
  // The client takes every free one at the spine's level 20, while the walk holds some, and
  // gives them back at level 50.
  std::vector<int> taken;
  {
    orva_testing::DescriptorLimit limit(16);
    ASSERT_TRUE(limit.ok());
    std::vector<Visit> visits = walk("c", 0, [&](FTS*, const FTSENT* p) {
      if (p->fts_info != D || std::strcmp(p->fts_name, "d") != 0) return;
      if (p->fts_level == 20) {
        for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) taken.push_back(fd);
      }
      if (p->fts_level == 50) {
        for (int fd : taken) close(fd);
      }
    });
    EXPECT_TRUE(visits == expected) << "taken: " << visits.size() << " visits";
    EXPECT_FALSE(taken.empty());
  }
  std::vector<Visit> visits;
  {
    orva_testing::DescriptorLimit limit(0);
    ASSERT_TRUE(limit.ok());
    visits = walk("c", 0);
  }
  EXPECT_EQ(visits, (std::vector<Visit>{{D, "c", 0, 0}, {DNR, "c", 0, EMFILE}}));
}

// Whatever state the walk is left in, fts_close closes every descriptor it holds (the
// fixture checks after each test), and a listing that fails lets go of its own.
TEST_F(FtsDescriptors, CloseInTheMiddleAndFailedListingsLeaveNothingOpen) {
  make_chain("c", 2 * held_at_most);
  for (int stop_at : {1, held_at_most / 2, held_at_most + 3}) {
    std::string root = "c";
    char* argv[] = {root.data(), nullptr};
    FTS* stream = compat::fts_open(argv, 0, nullptr);
    ASSERT_NE(stream, nullptr);
    FTSENT* p = nullptr;
    while ((p = compat::fts_read(stream)) != nullptr && p->fts_level < stop_at) {
    }
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(held(), std::min(stop_at, held_at_most));
    compat::fts_close(stream);
    EXPECT_EQ(held(), 0) << stop_at;
  }
  // Listings that fail at once, and after "." and ".." or after "d" too.
  namespace readdir_fault = orva_testing::readdir_fault;
  const int failing_level = held_at_most + 3;
  for (std::size_t records : {0U, 3U}) {
    bool reported = false;
    walk("c", 0, [&](FTS*, const FTSENT* p) {
      // Counting reads a directory too: not between arming the fault and the listing.
      EXPECT_LE(held(), held_at_most);
      if (p->fts_level != failing_level) return;
      if (p->fts_info == D) readdir_fault::fail_after(records, EIO);
      if (p->fts_info == DNR || p->fts_info == compat::FTS_ERR) reported = p->fts_errno == EIO;
    });
    readdir_fault::disarm();
    EXPECT_TRUE(reported) << records;
    EXPECT_EQ(held(), 0) << records;
  }
}

// A directory on the walked path that is moved away and replaced by a link between two
// opens does not lead the walk out of the tree: its descendants are opened from its own
// descriptor, and those of the link's target are never seen.
TEST_F(FtsDescriptors, DirectoryReplacedByALinkDoesNotLeadTheWalkOut) {
  for (const char* dir : {"outside", "outside/x", "r", "r/a", "r/a/x"}) {
    ASSERT_EQ(::mkdir(dir, 0755), 0);
  }
  ASSERT_EQ(close(open("outside/x/secret", O_CREAT | O_WRONLY, 0644)), 0);
  ASSERT_EQ(close(open("r/a/x/mine", O_CREAT | O_WRONLY, 0644)), 0);
  std::vector<Visit> visits = walk("r", 0, [](FTS*, const FTSENT* p) {
    if (p->fts_info != D || std::strcmp(p->fts_path, "r/a/x") != 0) return;
    ASSERT_EQ(rename("r/a", "moved"), 0);
    ASSERT_EQ(symlink("../outside", "r/a"), 0);
  });
  const std::vector<Visit> expected = {
      {D, "r", 0, 0},      {D, "r/a", 1, 0},  {D, "r/a/x", 2, 0}, {F, "r/a/x/mine", 3, 0},
      {DP, "r/a/x", 2, 0}, {DP, "r/a", 1, 0}, {DP, "r", 0, 0},
  };
  EXPECT_EQ(visits, expected);
}

}  // namespace
