// The traversal on real trees built in a temporary directory. Each test runs with that
// directory as the working directory, so roots and the expected paths are short and
// relative, as a client would write them.
#include "compat/fts.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "testing/host.h"
#include "testing/temp_dir.h"
#ifndef _WIN32
#include "testing/readdir_fault.h"
#endif

namespace {

using compat::FTS;
using compat::FTSENT;

constexpr int D = compat::FTS_D, DP = compat::FTS_DP, F = compat::FTS_F, NS = compat::FTS_NS,
              DNR = compat::FTS_DNR, DOT = compat::FTS_DOT, ERR = compat::FTS_ERR,
              DEFAULT = compat::FTS_DEFAULT, NSOK = compat::FTS_NSOK, DC = compat::FTS_DC;

// What a client sees of one visit.
struct Visit {
  int info;
  std::string path;
  std::string name;
  int level;
  int error;  // fts_errno
  bool operator==(const Visit&) const = default;
};

void PrintTo(const Visit& v, std::ostream* os) {
  *os << "{" << v.info << ", \"" << v.path << "\", \"" << v.name << "\", " << v.level << ", "
      << v.error << "}";
}

Visit visit_of(const FTSENT* p) {
  return {p->fts_info, std::string(p->fts_path, p->fts_pathlen), p->fts_name, p->fts_level,
          p->fts_errno};
}

// A constant's value and the name a trace gives it.
struct Named {
  int value;
  const char* name;
};
constexpr Named info_names[] = {{D, "D"},     {DC, "DC"},    {DEFAULT, "DEFAULT"}, {DNR, "DNR"},
                                {DOT, "DOT"}, {DP, "DP"},    {ERR, "ERR"},         {F, "F"},
                                {NS, "NS"},   {NSOK, "NSOK"}};
constexpr Named error_names[] = {
    {ENOENT, "ENOENT"}, {EACCES, "EACCES"}, {EIO, "EIO"}, {ENAMETOOLONG, "ENAMETOOLONG"}};

template <std::size_t N>
std::string name_of(int value, const Named (&names)[N]) {
  for (const Named& n : names) {
    if (n.value == value) return n.name;
  }
  return std::to_string(value);
}

// How deep `path` lies below the longest of `roots` it begins with (0 below none).
int depth_below_roots(const std::string& path, const std::vector<std::string>& roots) {
  const std::string* longest = nullptr;
  for (const std::string& root : roots) {
    bool below = path.compare(0, root.size(), root) == 0 &&
                 (path.size() == root.size() || root.back() == '/' || path[root.size()] == '/');
    if (below && (longest == nullptr || root.size() > longest->size())) longest = &root;
  }
  if (longest == nullptr || path.size() == longest->size()) return 0;
  const std::string_view rest = std::string_view(path).substr(longest->size());
  const auto slashes = std::count(rest.begin(), rest.end(), '/');
  return static_cast<int>(slashes) + (longest->back() == '/' ? 1 : 0);
}

// A walk as one line, so that a table of walks reads as the walks: each visit as its info
// code and path, then only what the path does not say already: its name where that is not
// the path's last part ("name=..."), its level where that is not the path's depth below
// its root ("@N"), and its fts_errno where set.
std::string trace(const std::vector<Visit>& visits, const std::vector<std::string>& roots) {
  std::string text;
  for (const Visit& v : visits) {
    if (!text.empty()) text += ", ";
    text.append(name_of(v.info, info_names)).append(" ").append(v.path);
    if (v.name != v.path.substr(v.path.rfind('/') + 1)) text.append(" name=").append(v.name);
    if (v.level != depth_below_roots(v.path, roots)) {
      text.append(" @").append(std::to_string(v.level));
    }
    if (v.error != 0) text.append(" ").append(name_of(v.error, error_names));
  }
  return text;
}

int by_name(const FTSENT** a, const FTSENT** b) {
  return std::strcmp((*a)->fts_name, (*b)->fts_name);
}

// Ported code declares its comparison with the conventional type and passes it unchanged.
static_assert(std::is_same_v<decltype(FTS::fts_compar), int (*)(const FTSENT**, const FTSENT**)>);
static_assert(std::is_same_v<decltype(&compat::fts_open),
                             FTS* (*)(char* const*, int, int (*)(const FTSENT**, const FTSENT**))>);

int by_name_reversed(const FTSENT** a, const FTSENT** b) { return by_name(b, a); }

struct CloseStream {
  void operator()(FTS* stream) const { compat::fts_close(stream); }
};

// A stream that is closed when it goes.
using Stream = std::unique_ptr<FTS, CloseStream>;

// fts_open on `roots`, which it copies.
Stream open_stream(std::vector<std::string> roots, int options, compat::FtsCompare compar) {
  std::vector<char*> argv;
  argv.reserve(roots.size() + 1);
  for (std::string& root : roots) argv.push_back(root.data());
  argv.push_back(nullptr);
  return Stream(compat::fts_open(argv.data(), options, compar));
}

// A stream and the first entry it returned: null when fts_open or that fts_read failed.
struct Started {
  Stream stream;
  FTSENT* first = nullptr;
};

Started start(const std::vector<std::string>& roots, int options, compat::FtsCompare compar) {
  Started started = {open_stream(roots, options, compar)};
  if (started.stream != nullptr) started.first = compat::fts_read(started.stream.get());
  return started;
}

// Called after each visit; may set instructions or change the tree.
using Action = std::function<void(FTS*, FTSENT*)>;

struct Walk {
  std::vector<std::string> roots;
  std::vector<Visit> visits;
  int end_errno = -1;  // errno when fts_read returned null
};

Walk walk(const std::vector<std::string>& roots, int options, compat::FtsCompare compar = by_name,
          const Action& act = {}) {
  Walk result;
  result.roots = roots;
  Stream stream = open_stream(roots, options, compar);
  if (stream == nullptr) {
    ADD_FAILURE() << "fts_open: " << std::strerror(errno);
    return result;
  }
  while (FTSENT* p = compat::fts_read(stream.get())) {
    result.visits.push_back(visit_of(p));
    if (act) act(stream.get(), p);
    if (result.visits.size() > 10000) break;
  }
  result.end_errno = errno;
  return result;
}

std::string trace(const Walk& w) { return trace(w.visits, w.roots); }

// Paths ending in "/" become directories, others files holding their own name.
void make_tree(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (path.back() == '/') {
      ASSERT_TRUE(std::filesystem::create_directory(orva_testing::fs_path(path))) << path;
    } else {
      orva_testing::write_file(path, path);
    }
  }
}

#ifndef _WIN32
// A FIFO, and links to a file, to a directory and to nothing, in r.
void make_special_files() {
  ASSERT_EQ(mkfifo("r/fifo", 0644), 0);
  ASSERT_EQ(symlink("plain", "r/to-file"), 0);
  ASSERT_EQ(symlink("d", "r/to-dir"), 0);
  ASSERT_EQ(symlink("nowhere", "r/to-nothing"), 0);
}

// Runs `body` with listings that say nothing of their entries' types.
void walk_without_listed_types(const std::function<void()>& body) {
  orva_testing::readdir_fault::hide_types(true);
  body();
  orva_testing::readdir_fault::hide_types(false);
}
#else
// The Windows host has no FIFOs, and its links need rights a test does not have.
void make_special_files() {}

// Its listings always say what their entries are.
void walk_without_listed_types(const std::function<void()>& /*body*/) {}
#endif

class Fts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(saved_cwd_, sizeof saved_cwd_), nullptr);
    ASSERT_EQ(chdir(tmp_.path().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(saved_cwd_), 0); }

  orva_testing::TempDir tmp_;

 private:
  char saved_cwd_[PATH_MAX] = {};
};

// The words of `text`, split at spaces.
std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> list;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = std::min(text.find(' ', at), text.size());
    list.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return list;
}

// A walk over a tree of its own, started in the directory `cwd` of that tree.
struct WalkCase {
  const char* behaviour;  // the test's name
  const char* tree;       // the paths make_tree takes, separated by spaces
  const char* roots;      // separated by spaces
  int options;
  compat::FtsCompare compar;
  const char* visits;  // as trace writes them
  const char* cwd = ".";
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.behaviour; }

class FtsWalk : public Fts, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(FtsWalk, Visits) {
  const WalkCase& c = GetParam();
  make_tree(words(c.tree));
  ASSERT_EQ(chdir(c.cwd), 0);
  Walk w = walk(words(c.roots), c.options, c.compar);
  EXPECT_EQ(trace(w), c.visits);
  EXPECT_EQ(w.end_errno, 0);
}

const char roots_tree[] = "b/ b/x a c/ c/y/";
const char abc_tree[] = "a/ a/b/ a/b/c/ a/b/c/x";

const WalkCase walk_cases[] = {
    {"FilesOnceAndDirectoriesBeforeAndAfterTheirContents", "r/ r/f r/d/ r/d/g r/e/", "r",
     compat::FTS_PHYSICAL, by_name, "D r, D r/d, F r/d/g, DP r/d, D r/e, DP r/e, F r/f, DP r"},
    // Roots come in argument order, or sorted by their whole paths: c/y after b, and a
    // root without status last.
    {"RootsInArgumentOrderWithoutAComparison", roots_tree, "c/y a missing b", 0, nullptr,
     "D c/y, DP c/y, F a, NS missing ENOENT, D b, F b/x, DP b"},
    {"RootsSortedByTheirWholePaths", roots_tree, "c/y a missing b", 0, by_name,
     "F a, D b, F b/x, DP b, D c/y, DP c/y, NS missing ENOENT"},
    // A root's name is what follows its last slash; a trailing slash leaves an empty name
    // and is not doubled; "." and ".." are walked like any directory.
    {"RootNameFollowsTheLastSlash", abc_tree, "a/b/c", 0, by_name, "D a/b/c, F a/b/c/x, DP a/b/c"},
    {"RootTrailingSlashLeavesAnEmptyName", abc_tree, "a/b/c/", 0, by_name,
     "D a/b/c/, F a/b/c/x, DP a/b/c/"},
    {"DotRootIsWalkedLikeAnyDirectory", abc_tree, ".", 0, by_name,
     "D ., D ./c, F ./c/x, DP ./c, DP .", "a/b"},
    {"DotDotRootIsWalkedLikeAnyDirectory", abc_tree, "..", 0, by_name,
     "D .., D ../c, F ../c/x, DP ../c, DP ..", "a/b/c"},
    // p\q is one directory on POSIX hosts and q inside p on Windows: the same walk either
    // way.
    {"RootBackslashIsNoSeparator", "p/ p\\q/ p\\q/y", "p\\q", 0, by_name,
     "D p\\q, F p\\q/y, DP p\\q"},
    {"SeeDotReturnsDotEntriesWithoutDescending", "r/ r/f", "r", compat::FTS_SEEDOT, by_name,
     "D r, DOT r/., DOT r/.., F r/f, DP r"},
    {"WithoutSeeDotNoDotEntries", "r/ r/f", "r", 0, by_name, "D r, F r/f, DP r"},
    {"ComparisonSortsEverySiblingList", "r/ r/a r/b/ r/b/x r/b/y r/c", "r", 0, by_name_reversed,
     "D r, F r/c, D r/b, F r/b/y, F r/b/x, DP r/b, F r/a, DP r"},
};

INSTANTIATE_TEST_SUITE_P(Fts, FtsWalk, ::testing::ValuesIn(walk_cases),
                         [](const ::testing::TestParamInfo<WalkCase>& test) {
                           return std::string(test.param.behaviour);
                         });

TEST_F(Fts, SlashRootKeepsItsNameAndPrefixesEntriesOnce) {
  auto [stream, root] = start({"/"}, 0, nullptr);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(visit_of(root), (Visit{D, "/", "/", 0, 0}));
  FTSENT* p = compat::fts_read(stream.get());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p->fts_path, p->fts_pathlen), std::string("/") + p->fts_name);
  EXPECT_EQ(p->fts_level, 1);
}

// The entry has a status record unless `no_status`: zeroed when no status could be taken,
// else the runtime's own status call on the entry's path, field by field (taken at the
// visit, before a directory is read, which may change its access time).
void check_status_record(const FTSENT* p, bool no_status) {
  EXPECT_EQ(p->fts_statp == nullptr, no_status) << p->fts_name;
  if (no_status || p->fts_info == compat::FTS_DP) return;
  if (p->fts_info == NS) {
    const unsigned char zero[sizeof(struct stat)] = {};
    EXPECT_EQ(std::memcmp(p->fts_statp, zero, sizeof zero), 0) << "record not zeroed";
    return;
  }
  struct stat host {};
  ASSERT_EQ(orva_testing::host_stat(std::string(p->fts_path, p->fts_pathlen), &host), 0);
  const struct stat& ours = *p->fts_statp;
  std::string at = p->fts_path;
  EXPECT_EQ(ours.st_dev, host.st_dev) << at;
  EXPECT_EQ(ours.st_ino, host.st_ino) << at;
  EXPECT_EQ(ours.st_mode, host.st_mode) << at;
  EXPECT_EQ(ours.st_nlink, host.st_nlink) << at;
  EXPECT_EQ(ours.st_uid, host.st_uid) << at;
  EXPECT_EQ(ours.st_gid, host.st_gid) << at;
  EXPECT_EQ(ours.st_rdev, host.st_rdev) << at;
  EXPECT_EQ(ours.st_size, host.st_size) << at;
  EXPECT_EQ(ours.st_atime, host.st_atime) << at;
  EXPECT_EQ(ours.st_mtime, host.st_mtime) << at;
  EXPECT_EQ(ours.st_ctime, host.st_ctime) << at;
}

// Walks `roots` with and without FTS_NOSTAT, checking each visit's status record.
void expect_visits_with_and_without_records(const std::vector<std::string>& roots,
                                            const std::string& visits) {
  for (int options : {0, compat::FTS_NOSTAT}) {
    Walk w = walk(roots, options, by_name,
                  [&](FTS*, FTSENT* p) { check_status_record(p, options != 0); });
    EXPECT_EQ(trace(w), visits) << "options " << options;
  }
}

TEST_F(Fts, StatusOptionsDecideTheRecordsNotTheInfoCodes) {
  make_tree({"r/", "r/d/", "r/f"});
  expect_visits_with_and_without_records({"r", "missing"},
                                         "NS missing ENOENT, D r, D r/d, DP r/d, F r/f, DP r");
}

// Names from any script come back whole, byte for byte, and a size in its full 64 bits.
TEST_F(Fts, NamesFromAnyScriptAndSizesBeyondFourGigabytes) {
  make_tree({"r/", "r/日本/", "r/日本/😀", "r/Ωμέγα", "r/e\xCC\x81/", "r/dír-ü", "r/sparse"});
  constexpr std::uintmax_t five_gib = std::uintmax_t{5} << 30;
  std::filesystem::resize_file(orva_testing::fs_path("r/sparse"), five_gib);
  std::string expected = "D r, F r/dír-ü, D r/e\xCC\x81, DP r/e\xCC\x81, F r/sparse, ";
  // Windows allows an unpaired surrogate in a name: it comes back in its three-byte form.
  // (Wine keeps names as UTF-8 Unix names and cannot hold one.)
  const wchar_t lone[] = {L'r', L'/', L's', static_cast<wchar_t>(0xD800), L'\0'};
  if (orva_testing::windows_host && std::ofstream(std::filesystem::path(lone))) {
    expected += "F r/s\xED\xA0\x80, ";
  }
  expected += "F r/Ωμέγα, D r/日本, F r/日本/😀, DP r/日本, DP r";
  Walk w = walk({"r"}, 0, by_name, [&](FTS*, FTSENT* p) {
    check_status_record(p, false);
    if (std::strcmp(p->fts_name, "sparse") == 0) {
      EXPECT_EQ(static_cast<std::uintmax_t>(p->fts_statp->st_size), five_gib);
    }
  });
  EXPECT_EQ(trace(w), expected);
}

// Paths longer than the 260 characters of old Windows paths are walked, and come back
// whole; on the Windows host every call on them takes the long form of the wide calls.
TEST_F(Fts, PathsLongerThan260CharactersComeBackWhole) {
  const std::string d1 = "r/" + std::string(100, 'a'), d2 = d1 + "/" + std::string(100, 'b');
  const std::string file = d2 + "/" + std::string(100, 'c');
  make_tree({"r/", d1 + "/", d2 + "/", file});
  const std::string visits =
      "D r, D " + d1 + ", D " + d2 + ", F " + file + ", DP " + d2 + ", DP " + d1 + ", DP r";
  for (int options : {0, compat::FTS_NOSTAT}) {
    Walk w = walk({"r"}, options, by_name);
    EXPECT_EQ(trace(w), visits) << "options " << options;
  }
}

// A directory has one identity, whether the listing gave it or its path did (FTS_AGAIN
// takes the status afresh by path), and a real one: a file number of 0 turns the cycle
// check off for it.
TEST_F(Fts, ListingAndPathGiveADirectoryOneIdentity) {
  make_tree({"r/", "r/d/", "r/d/e/", "r/f"});
  const FTSENT* repeated = nullptr;
  std::uint64_t device = 0, file = 0;
  int compared = 0;
  walk({"r"}, 0, by_name, [&](FTS* stream, FTSENT* p) {
    if (p->fts_info != D) return;
    if (p == repeated) {
      EXPECT_EQ(p->fts_dev, device) << p->fts_path;
      EXPECT_EQ(p->fts_ino, file) << p->fts_path;
      ++compared;
      repeated = nullptr;
      return;
    }
    EXPECT_NE(p->fts_ino, 0U) << p->fts_path;
    device = p->fts_dev;
    file = p->fts_ino;
    repeated = p;
    compat::fts_set(stream, p, compat::FTS_AGAIN);
  });
  EXPECT_EQ(compared, 3);
}

// What the walk learns from the directory listing is what a status call on each entry
// would say: every record field by field, and the same info codes without records. The
// tree holds what the host can hold: read-only, executable-named, hidden and sparse files,
// empty and full directories, and on POSIX a FIFO and links to a file, a directory and
// nothing.
TEST_F(Fts, RecordsFromTheListingAreThoseOfTheStatusCall) {
  make_tree({"r/", "r/plain", "r/ro", "r/tool.exe", "r/run.BAT", "r/x.cmd", "r/y.Com",
             "r/a.exe.txt", "r/.hidden", "r/empty/", "r/d/", "r/d/f", "r/sparse"});
  // Times that differ from file to file, so that no field can come from the wrong entry.
  const std::pair<const char*, int> days_back[] = {
      {"r/plain", 400}, {"r/ro", 800}, {"r/tool.exe", 1200}, {"r/d/f", 1600}};
  for (const auto& [name, days] : days_back) {
    std::filesystem::path path = orva_testing::fs_path(name);
    std::filesystem::last_write_time(
        path, std::filesystem::last_write_time(path) - std::chrono::hours(24 * days));
  }
  ASSERT_EQ(chmod("r/ro", 0444), 0);
  orva_testing::make_hidden("r/.hidden");
  std::filesystem::resize_file("r/sparse", std::uintmax_t{5} << 30);
  make_special_files();
  Walk with_status =
      walk({"r"}, 0, by_name, [](FTS*, FTSENT* p) { check_status_record(p, false); });
  EXPECT_GE(with_status.visits.size(), 16U);
  EXPECT_EQ(walk({"r"}, compat::FTS_NOSTAT).visits, with_status.visits);
  walk_without_listed_types([&] {
    EXPECT_EQ(
        walk({"r"}, 0, by_name, [](FTS*, FTSENT* p) { check_status_record(p, false); }).visits,
        with_status.visits);
    EXPECT_EQ(walk({"r"}, compat::FTS_NOSTAT).visits, with_status.visits);
  });
}

TEST_F(Fts, EmptyDirectoryAndVanishedDirectory) {
  make_tree({"r/", "r/empty/", "r/gone/", "r/gone/x"});
  Walk w = walk({"r"}, 0, by_name, [](FTS*, FTSENT* p) {
    // Gone between its pre-order visit and its scan: it cannot be read.
    if (p->fts_info == D && std::strcmp(p->fts_name, "gone") == 0) {
      ASSERT_EQ(unlink("r/gone/x"), 0);
      ASSERT_EQ(rmdir("r/gone"), 0);
    }
  });
  EXPECT_EQ(trace(w), "D r, D r/empty, DP r/empty, D r/gone, DNR r/gone ENOENT, DP r");
}

// Instructions given on the entry just returned.
TEST_F(Fts, InstructionsOnTheCurrentEntry) {
  make_tree({"r/", "r/d/", "r/d/g", "r/f"});
  struct Case {
    const char* comment;
    const char* target;  // the entry's path
    int target_info;     // at this visit
    int instr;
    const char* visits;
  };
  const Case cases[] = {
      {"skip a directory: at once post-order, contents never read", "r/d", D, compat::FTS_SKIP,
       "D r, D r/d, DP r/d, F r/f, DP r"},
      {"skip on a root directory acts at the next read", "r", D, compat::FTS_SKIP, "D r, DP r"},
      {"again on a file returns it once more", "r/f", F, compat::FTS_AGAIN,
       "D r, D r/d, F r/d/g, DP r/d, F r/f, F r/f, DP r"},
      {"again on a pre-order directory returns it once more, then descends", "r/d", D,
       compat::FTS_AGAIN, "D r, D r/d, D r/d, F r/d/g, DP r/d, F r/f, DP r"},
      {"follow on the current entry does nothing", "r/d", D, compat::FTS_FOLLOW,
       "D r, D r/d, F r/d/g, DP r/d, F r/f, DP r"},
      {"instruction 0 is accepted and does nothing", "r/d", D, 0,
       "D r, D r/d, F r/d/g, DP r/d, F r/f, DP r"},
  };
  for (const Case& c : cases) {
    bool given = false;
    Walk w = walk({"r"}, 0, by_name, [&](FTS* stream, FTSENT* p) {
      if (given || p->fts_info != c.target_info || std::string(p->fts_path) != c.target) return;
      given = true;
      EXPECT_EQ(compat::fts_set(stream, p, c.instr), 0);
    });
    EXPECT_EQ(trace(w), c.visits) << c.comment;
    EXPECT_EQ(w.end_errno, 0) << c.comment;
  }
}

// Instructions given on the entries of a child list, before fts_read reaches them.
TEST_F(Fts, InstructionsOnChildListEntries) {
  make_tree({"r/", "r/a/", "r/a/x", "r/b", "r/c/", "r/c/z"});
  struct Case {
    const char* comment;
    int instr_a, instr_b, instr_c;
    const char* visits;
  };
  const int none = compat::FTS_NOINSTR, skip = compat::FTS_SKIP, again = compat::FTS_AGAIN;
  const Case cases[] = {
      {"skip on later entries: never returned; on the first: returned, not descended", skip, skip,
       skip, "D r, D r/a, DP r/a, DP r"},
      {"again on a later entry: it comes back twice", none, again, none,
       "D r, D r/a, F r/a/x, DP r/a, F r/b, F r/b, D r/c, F r/c/z, DP r/c, DP r"},
  };
  for (const Case& c : cases) {
    Walk w = walk({"r"}, 0, by_name, [&](FTS* stream, FTSENT* p) {
      if (p->fts_level != 0 || p->fts_info != D) return;
      FTSENT* a = compat::fts_children(stream, 0);
      ASSERT_NE(a, nullptr);
      ASSERT_NE(a->fts_link, nullptr);
      ASSERT_NE(a->fts_link->fts_link, nullptr);
      compat::fts_set(stream, a, c.instr_a);
      compat::fts_set(stream, a->fts_link, c.instr_b);
      compat::fts_set(stream, a->fts_link->fts_link, c.instr_c);
    });
    EXPECT_EQ(trace(w), c.visits) << c.comment;
  }
}

// The child list keeps the statuses taken when it was built; FTS_FOLLOW takes them afresh.
TEST_F(Fts, FollowOnAChildListEntryTakesItsStatusAfresh) {
  struct Case {
    bool follow;
    const char* visits;
  };
  const Case cases[] = {
      {false, "D r, F r/a, F r/b, DP r"},
      {true, "D r, F r/a, D r/b, F r/b/z, DP r/b, DP r"},
  };
  for (const Case& c : cases) {
    make_tree({"r/", "r/a", "r/b"});
    Walk w = walk({"r"}, 0, by_name, [&](FTS* stream, FTSENT* p) {
      if (p->fts_level != 0 || p->fts_info != D) return;
      FTSENT* a = compat::fts_children(stream, 0);
      ASSERT_NE(a, nullptr);
      ASSERT_NE(a->fts_link, nullptr);
      // b turns from a file into a directory after its status was taken.
      ASSERT_EQ(unlink("r/b"), 0);
      make_tree({"r/b/", "r/b/z"});
      if (c.follow) compat::fts_set(stream, a->fts_link, compat::FTS_FOLLOW);
    });
    EXPECT_EQ(trace(w), c.visits) << (c.follow ? "with" : "without") << " FTS_FOLLOW";
    std::filesystem::remove_all("r");
  }
}

TEST_F(Fts, AgainKeepsAnEarlierStatusErrorUntilThePostOrderVisit) {
  bool given = false;
  Walk w = walk({"later"}, 0, by_name, [&](FTS* stream, FTSENT* p) {
    if (given || p->fts_info != NS) return;
    given = true;
    make_tree({"later/", "later/e"});
    compat::fts_set(stream, p, compat::FTS_AGAIN);
  });
  EXPECT_EQ(trace(w), "NS later ENOENT, D later ENOENT, F later/e, ERR later ENOENT");
}

TEST_F(Fts, ChildrenBeforeTheFirstReadIsTheRootList) {
  make_tree({"b/", "a"});
  Stream stream = open_stream({"b", "a", "nowhere"}, 0, nullptr);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->fts_cur->fts_info, compat::FTS_INIT);
  FTSENT* list = compat::fts_children(stream.get(), 0);
  std::vector<std::pair<std::string, int>> seen;
  for (FTSENT* p = list; p != nullptr; p = p->fts_link) seen.emplace_back(p->fts_name, p->fts_info);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"b", D}, {"a", F}, {"nowhere", NS}}));
  // Nothing was scanned: the first read returns the first of those very entries.
  EXPECT_EQ(compat::fts_read(stream.get()), list);
}

TEST_F(Fts, ChildrenReportsNoEntriesWithErrnoZeroAndBadInstrWithEinval) {
  make_tree({"r/", "r/empty/", "r/f"});
  auto [stream, r] = start({"r"}, 0, by_name);
  ASSERT_NE(r, nullptr);
  FTS* s = stream.get();
  errno = 0;
  EXPECT_EQ(compat::fts_children(s, 1), nullptr);
  EXPECT_EQ(errno, EINVAL);
  FTSENT* empty = compat::fts_read(s);
  ASSERT_EQ(visit_of(empty), (Visit{D, "r/empty", "empty", 1, 0}));
  errno = EIO;
  EXPECT_EQ(compat::fts_children(s, 0), nullptr);
  EXPECT_EQ(errno, 0) << "an empty directory";
  ASSERT_EQ(visit_of(compat::fts_read(s)), (Visit{DP, "r/empty", "empty", 1, 0}));
  ASSERT_EQ(visit_of(compat::fts_read(s)), (Visit{F, "r/f", "f", 1, 0}));
  errno = EIO;
  EXPECT_EQ(compat::fts_children(s, 0), nullptr);
  EXPECT_EQ(errno, 0) << "a file";
  ASSERT_EQ(visit_of(compat::fts_read(s)), (Visit{DP, "r", "r", 0, 0}));
  EXPECT_EQ(compat::fts_read(s), nullptr);
  EXPECT_EQ(errno, 0);
  errno = EIO;
  EXPECT_EQ(compat::fts_children(s, 0), nullptr) << "after the end";
  EXPECT_EQ(errno, 0);
}

TEST_F(Fts, ChildrenOfAnUnreadableDirectoryIsNullWithItsError) {
  make_tree({"r/"});
  auto [stream, r] = start({"r"}, 0, nullptr);
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(rmdir("r"), 0);
  EXPECT_EQ(compat::fts_children(stream.get(), 0), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(r->fts_info, D) << "fts_children leaves the directory as it was";
}

TEST_F(Fts, ReadUsesAChildListWithStatusButRereadsANamesOnlyList) {
  make_tree({"r/", "r/a", "r/b"});
  for (int instr : {0, compat::FTS_NAMEONLY}) {
    auto [stream, r] = start({"r"}, 0, by_name);
    ASSERT_NE(r, nullptr);
    FTSENT* list = compat::fts_children(stream.get(), instr);
    ASSERT_NE(list, nullptr);
    std::vector<FTSENT*> listed;
    for (FTSENT* p = list; p != nullptr; p = p->fts_link) {
      listed.push_back(p);
      EXPECT_EQ(p->fts_info, instr == 0 ? F : NSOK) << p->fts_name;
    }
    ASSERT_EQ(listed.size(), 2U);
    orva_testing::write_file("r/a", "grown after the listing");  // a new size
    FTSENT* a = compat::fts_read(stream.get());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(visit_of(a), (Visit{F, "r/a", "a", 1, 0}));
    ASSERT_NE(a->fts_statp, nullptr);
    if (instr == 0) {
      EXPECT_EQ(a, listed[0]) << "the listed entry itself";
      EXPECT_EQ(a->fts_statp->st_size, 3) << "the status taken at the listing";
    } else {
      EXPECT_EQ(a->fts_statp->st_size, 23) << "a status taken afresh";
    }
    EXPECT_EQ(visit_of(compat::fts_read(stream.get())), (Visit{F, "r/b", "b", 1, 0}));
  }
}

// A child list belongs to the pre-order directory it was built for: when that entry turns
// out to be something else (FTS_AGAIN), the list goes, and a later directory gets its own.
TEST_F(Fts, ChildListOfAnEntryThatIsNoLongerADirectoryIsDropped) {
  make_tree({"r/", "r/d/", "r/d/x", "r/e/", "r/e/y"});
  bool given = false;
  Walk w = walk({"r"}, 0, by_name, [&](FTS* stream, FTSENT* p) {
    if (given || p->fts_info != D || std::strcmp(p->fts_name, "d") != 0) return;
    given = true;
    ASSERT_NE(compat::fts_children(stream, 0), nullptr);
    std::filesystem::remove_all("r/d");
    make_tree({"r/d"});
    compat::fts_set(stream, p, compat::FTS_AGAIN);
  });
  EXPECT_EQ(trace(w), "D r, D r/d, F r/d, D r/e, F r/e/y, DP r/e, DP r");
}

// A names-only list dropped by FTS_SKIP leaves no trace: a later list with status is used
// as it is, with the statuses taken when it was built.
TEST_F(Fts, ListWithStatusAfterASkippedNamesOnlyListIsUsedAsItIs) {
  make_tree({"r/", "r/a/", "r/a/x", "r/b/", "r/b/y"});
  auto [stream, r] = start({"r"}, 0, by_name);
  ASSERT_NE(r, nullptr);
  FTS* s = stream.get();
  FTSENT* a = compat::fts_read(s);
  ASSERT_EQ(visit_of(a), (Visit{D, "r/a", "a", 1, 0}));
  ASSERT_NE(compat::fts_children(s, compat::FTS_NAMEONLY), nullptr);
  compat::fts_set(s, a, compat::FTS_SKIP);
  ASSERT_EQ(visit_of(compat::fts_read(s)), (Visit{DP, "r/a", "a", 1, 0}));
  ASSERT_EQ(visit_of(compat::fts_read(s)), (Visit{D, "r/b", "b", 1, 0}));
  FTSENT* listed = compat::fts_children(s, 0);
  ASSERT_NE(listed, nullptr);
  orva_testing::write_file("r/b/y", "grown after the listing");
  FTSENT* y = compat::fts_read(s);
  EXPECT_EQ(y, listed);
  ASSERT_EQ(visit_of(y), (Visit{F, "r/b/y", "y", 2, 0}));
  EXPECT_EQ(y->fts_statp->st_size, 5) << "the status taken at the listing";
}

TEST_F(Fts, WithoutComparisonEntriesComeInDirectoryReadingOrder) {
  make_tree({"r/"});
  for (int i = 0; i < 30; ++i) make_tree({"r/n" + std::to_string(i * 7919 % 1000)});
  std::vector<std::string> reading_order;
  DIR* dir = opendir("r");
  ASSERT_NE(dir, nullptr);
  while (const dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      reading_order.emplace_back(e->d_name);
    }
  }
  closedir(dir);
  std::vector<std::string> walked;
  for (const Visit& v : walk({"r"}, 0, nullptr).visits) {
    if (v.level == 1) walked.push_back(v.name);
  }
  EXPECT_EQ(walked, reading_order);
}

TEST_F(Fts, ComparisonIsNotCalledForOneRoot) {
  make_tree({"r/", "r/a", "r/b"});
  static int calls;
  calls = 0;
  auto counting = [](const FTSENT**, const FTSENT**) {
    ++calls;
    return 0;
  };
  Stream stream = open_stream({"r"}, 0, counting);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(stream->fts_array, nullptr);
}

TEST_F(Fts, SortArrayKeepsFortySpareSlots) {
  make_tree({"r/", "r/a", "r/b", "r/c"});
  auto [stream, r] = start({"r"}, 0, by_name);
  ASSERT_NE(r, nullptr);
  FTSENT* a = compat::fts_read(stream.get());
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->fts_name, "a");
  EXPECT_EQ(stream->fts_nitems, 43U);
  EXPECT_NE(stream->fts_array, nullptr);
}

TEST(FtsOpen, RefusesOptionsOutsideTheMaskAndMissingRoots) {
  struct Case {
    int options;
    bool empty_argv;
    int error;  // 0: the stream opens
  };
  const Case cases[] = {
      {0x0ff, false, 0},      {0, false, 0},       {0x100, false, EINVAL},
      {0x200, false, EINVAL}, {-1, false, EINVAL}, {0, true, EINVAL},
  };
  char root[] = "/nonexistent-root";
  for (const Case& c : cases) {
    char* argv[] = {c.empty_argv ? nullptr : root, nullptr};
    errno = 0;
    FTS* stream = compat::fts_open(argv, c.options, nullptr);
    if (c.error == 0) {
      ASSERT_NE(stream, nullptr) << c.options;
      EXPECT_EQ(stream->fts_options, c.options | compat::FTS_NOCHDIR);
      EXPECT_EQ(stream->fts_rfd, 0);
      compat::fts_close(stream);
    } else {
      EXPECT_EQ(stream, nullptr) << c.options;
      EXPECT_EQ(errno, c.error) << c.options;
    }
  }
}

TEST(FtsOpen, EmptyRootAnywhereFailsWithEnoent) {
  char a[] = "/", empty[] = "", b[] = "/tmp";
  char* first[] = {empty, a, nullptr};
  char* later[] = {a, b, empty, nullptr};
  for (char** argv : {first, later}) {
    for (compat::FtsCompare compar : {compat::FtsCompare{nullptr}, by_name}) {
      errno = 0;
      EXPECT_EQ(compat::fts_open(argv, 0, compar), nullptr);
      EXPECT_EQ(errno, ENOENT);
    }
  }
}

TEST(FtsOpen, LongestRootSizesThePathBuffer) {
  struct Case {
    std::size_t longest;
    std::size_t capacity;
  };
  const Case cases[] = {{1, 516}, {259, 516}, {260, 517}, {300, 557}, {5000, 5257}};
  for (const Case& c : cases) {
    std::string longest(c.longest, 'x'), other = "y";
    char* argv[] = {other.data(), longest.data(), nullptr};
    FTS* stream = compat::fts_open(argv, 0, nullptr);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->fts_pathlen, c.capacity) << c.longest;
    compat::fts_close(stream);
  }
}

TEST_F(Fts, FreshEntriesAndTheStreamStartClean) {
  make_tree({"r/", "r/f"});
  Stream stream = open_stream({"r"}, compat::FTS_NOCHDIR, nullptr);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->fts_clientptr, nullptr);
  int token = 0;
  compat::fts_set_clientptr(stream.get(), &token);
  EXPECT_EQ(compat::fts_get_clientptr(stream.get()), &token);
  ASSERT_NE(compat::fts_read(stream.get()), nullptr);
  FTSENT* f = compat::fts_read(stream.get());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(compat::fts_get_stream(f), stream.get());
  EXPECT_EQ(f->fts_number, 0);
  EXPECT_EQ(f->fts_pointer, nullptr);
  EXPECT_EQ(f->fts_flags, 0U);
  EXPECT_EQ(f->fts_instr, compat::FTS_NOINSTR);
  EXPECT_EQ(f->fts_cycle, nullptr);
  EXPECT_EQ(f->fts_namelen, 1U);
  EXPECT_EQ(f->fts_parent->fts_level, 0);
  EXPECT_EQ(f->fts_parent->fts_parent->fts_level, compat::FTS_ROOTPARENTLEVEL);
}

TEST_F(Fts, SetRefusesInstructionsAboveFour) {
  make_tree({"f"});
  auto [stream, f] = start({"f"}, 0, nullptr);
  ASSERT_NE(f, nullptr);
  struct Case {
    int instr;
    int result;
    int stored;
  };
  const Case cases[] = {{5, 1, compat::FTS_NOINSTR},
                        {-1, 1, compat::FTS_NOINSTR},
                        {0, 0, 0},
                        {compat::FTS_SKIP, 0, compat::FTS_SKIP}};
  for (const Case& c : cases) {
    errno = 0;
    EXPECT_EQ(compat::fts_set(nullptr, f, c.instr), c.result) << c.instr;
    EXPECT_EQ(errno, c.result == 1 ? EINVAL : 0) << c.instr;
    EXPECT_EQ(f->fts_instr, c.stored) << c.instr;
  }
}

TEST_F(Fts, AfterTheEndReadKeepsReturningNullWithoutTouchingErrno) {
  make_tree({"f"});
  auto [stream, f] = start({"f"}, 0, nullptr);
  ASSERT_NE(f, nullptr);
  errno = EIO;
  EXPECT_EQ(compat::fts_read(stream.get()), nullptr);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(stream->fts_cur, nullptr);
  errno = EIO;
  EXPECT_EQ(compat::fts_read(stream.get()), nullptr);
  EXPECT_EQ(errno, EIO);
}

TEST_F(Fts, CloseFreesEverythingInEveryState) {
  make_tree({"r/", "r/d/", "r/d/g", "r/f"});
  // Closed after 0, 1, 2, ... reads, with and without a child list kept: the leak checker
  // sees anything left behind.
  for (int reads = 0; reads < 12; ++reads) {
    for (bool children : {false, true}) {
      Stream stream = open_stream({"r", "r/d", "missing"}, 0, by_name);
      ASSERT_NE(stream, nullptr);
      for (int i = 0; i < reads && compat::fts_read(stream.get()) != nullptr; ++i) {
      }
      if (children) compat::fts_children(stream.get(), reads % 2 == 0 ? 0 : compat::FTS_NAMEONLY);
      EXPECT_EQ(compat::fts_close(stream.release()), 0);
    }
  }
}

// Trees that only a POSIX host can build: FIFOs, symbolic links, directories closed by
// their permissions, and paths beyond the 260 bytes of the Windows runtime.
#ifndef _WIN32

namespace readdir_fault = orva_testing::readdir_fault;

TEST_F(Fts, FifoIsDefaultAndABrokenLinkHasNoStatus) {
  make_tree({"r/", "r/f"});
  ASSERT_EQ(mkfifo("r/p", 0644), 0);
  ASSERT_EQ(symlink("nowhere", "r/s"), 0);  // its status fails
  expect_visits_with_and_without_records({"r"}, "D r, F r/f, DEFAULT r/p, NS r/s ENOENT, DP r");
}

std::string other_device_directory(const std::string& here) {
  struct stat local {};
  if (stat(here.c_str(), &local) != 0) return "";
  for (const char* candidate : {"/proc", "/sys", "/dev", "/dev/shm", "/run"}) {
    struct stat st {};
    if (stat(candidate, &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev != local.st_dev) {
      return candidate;
    }
  }
  return "";
}

// A directory on another device, reached through a link since stat follows links.
TEST_F(Fts, XdevDoesNotDescendIntoAnotherDevice) {
  std::string other = other_device_directory(tmp_.path());
  if (other.empty()) GTEST_SKIP() << "no directory on another device to link to";
  make_tree({"r/", "r/d/", "r/d/g"});
  ASSERT_EQ(symlink(other.c_str(), "r/other"), 0);
  EXPECT_EQ(trace(walk({"r"}, compat::FTS_XDEV)),
            "D r, D r/d, F r/d/g, DP r/d, D r/other, DP r/other, DP r");
}

TEST_F(Fts, UnreadableDirectoryIsReturnedAsDnrWithoutPostOrderVisit) {
  if (orva_testing::running_as_root()) GTEST_SKIP() << "root reads every directory";
  make_tree({"r/", "r/locked/", "r/locked/x"});
  ASSERT_EQ(chmod("r/locked", 0), 0);
  EXPECT_EQ(trace(walk({"r"}, 0)), "D r, D r/locked, DNR r/locked EACCES, DP r");
}

TEST_F(Fts, LongNameGrowsThePathBufferAndHeldEntriesFollowIt) {
  // Two 255-byte levels leave 2 bytes of room in the first 516-byte buffer for a third.
  const std::string a(255, 'a'), b(255, 'b'), c(255, 'c');
  make_tree({"r/", "r/" + a + "/", "r/" + a + "/" + b + "/", "r/" + a + "/" + b + "/" + c, "r/z/",
             "r/z/later"});
  const std::vector<std::string> roots = {"r", "r/z"};
  Stream stream = open_stream(roots, 0, nullptr);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->fts_pathlen, 516U);
  std::vector<FTSENT*> held;  // every entry returned so far that the stream still holds
  std::vector<Visit> visits;
  while (FTSENT* p = compat::fts_read(stream.get())) {
    visits.push_back(visit_of(p));
    if (p->fts_info == D) held.push_back(p);
    if (p->fts_info == DP) held.pop_back();
    for (const FTSENT* h : held) {
      EXPECT_EQ(h->fts_path, stream->fts_path) << h->fts_name;
      EXPECT_EQ(h->fts_accpath, stream->fts_path) << h->fts_name;
    }
    if (p->fts_level == 2 && p->fts_info == D) {
      // The scan of this directory grows the buffer by prefix + name + 1 and the slack.
      std::size_t prefix = p->fts_pathlen + 1;
      ASSERT_EQ(stream->fts_pathlen, 516U);
      FTSENT* list = compat::fts_children(stream.get(), 0);
      ASSERT_NE(list, nullptr);
      EXPECT_EQ(stream->fts_pathlen, 516U + prefix + 255 + 1 + 256);
      EXPECT_EQ(list->fts_path, stream->fts_path);
      EXPECT_EQ(p->fts_path, stream->fts_path) << "the directory itself follows";
    }
  }
  EXPECT_EQ(errno, 0);
  const std::string deep = "r/" + a + "/" + b;
  // r/z comes first inside r (level 1), then as the second root, whose entry moved with
  // the buffer.
  EXPECT_EQ(trace(visits, roots),
            "D r, D r/" + a + ", D " + deep + ", F " + deep + "/" + c + ", DP " + deep + ", DP r/" +
                a + ", D r/z @1, F r/z/later @2, DP r/z @1, DP r, D r/z, F r/z/later, DP r/z");
}

// A directory met again below itself (through a link: the status follows links) is
// returned once, as FTS_DC with fts_cycle the directory it repeats, and never descended.
// A link to a sibling is no cycle: its entries are reached through the link's path.
TEST_F(Fts, DirectoryCyclesAreReturnedOnceAndNotDescended) {
  make_tree({"r/", "r/f", "r/d/", "r/d/g", "r/a/", "r/a/b/"});
  ASSERT_EQ(symlink(".", "r/dot1"), 0);
  ASSERT_EQ(symlink(".", "r/dot2"), 0);
  ASSERT_EQ(symlink("../..", "r/a/b/up"), 0);
  ASSERT_EQ(symlink("d", "r/sib"), 0);
  for (int options : {0, compat::FTS_NOSTAT}) {
    const FTSENT* root = nullptr;
    std::vector<const FTSENT*> cycles;
    Walk w = walk({"r"}, options, by_name, [&](FTS*, FTSENT* p) {
      if (p->fts_level == 0) root = p;
      if (p->fts_info == DC) cycles.push_back(p->fts_cycle);
      if (p->fts_info != DC) {
        EXPECT_EQ(p->fts_cycle, nullptr) << p->fts_path;
      }
    });
    EXPECT_EQ(trace(w),
              "D r, D r/a, D r/a/b, DC r/a/b/up, DP r/a/b, DP r/a, D r/d, F r/d/g, DP r/d, "
              "DC r/dot1, DC r/dot2, F r/f, D r/sib, F r/sib/g, DP r/sib, DP r")
        << "options " << options;
    EXPECT_EQ(cycles, std::vector<const FTSENT*>(3, root)) << "options " << options;
  }
  // A child list classifies the same way.
  auto [stream, r] = start({"r"}, 0, by_name);
  ASSERT_NE(r, nullptr);
  std::vector<int> infos;
  for (FTSENT* p = compat::fts_children(stream.get(), 0); p != nullptr; p = p->fts_link) {
    infos.push_back(p->fts_info);
    if (p->fts_info == DC) {
      EXPECT_EQ(p->fts_cycle, r);
    }
  }
  EXPECT_EQ(infos, (std::vector<int>{D, D, DC, DC, F, D}));
}

// Links back up make the walk end, however many there are: each level holds two links to
// itself, which would double the walk at every level were they descended.
TEST_F(Fts, LinksToItselfAtEveryLevelEndTheWalk) {
  make_tree({"r/", "r/x/", "r/x/y/"});
  for (const char* dir : {"r", "r/x", "r/x/y"}) {
    for (const char* link : {"/l1", "/l2"}) {
      ASSERT_EQ(symlink(".", (std::string(dir) + link).c_str()), 0);
    }
  }
  Walk w = walk({"r"}, 0);
  EXPECT_EQ(w.visits.size(), 3U * 2 + 3U * 2);  // each directory twice, each link once
  EXPECT_EQ(w.end_errno, 0);
}

// A listing that fails part-way is no complete listing: the directory keeps the error and
// comes back as FTS_ERR (FTS_DNR when nothing was read), the entries read before the
// failure may come, and the walk goes on with the siblings.
TEST_F(Fts, ListingThatFailsPartWayIsReported) {
  make_tree({"r/", "r/d/", "r/d/g1", "r/d/g2", "r/d/g3", "r/e/"});
  struct Case {
    std::size_t records;     // read before the failure, "." and ".." among them
    int last_info;           // of r/d
    std::size_t most_files;  // of r/d's entries, before it
  };
  const Case cases[] = {{0, DNR, 0}, {3, ERR, 3}};
  for (const Case& c : cases) {
    Walk w = walk({"r"}, 0, by_name, [&](FTS*, FTSENT* p) {
      if (p->fts_info == D && std::strcmp(p->fts_name, "d") == 0) {
        readdir_fault::fail_after(c.records, EIO);
      }
    });
    readdir_fault::disarm();
    ASSERT_GE(w.visits.size(), 6U) << c.records;
    std::vector<Visit> d_visits(w.visits.begin() + 1, w.visits.end() - 3);
    EXPECT_EQ(d_visits.front(), (Visit{D, "r/d", "d", 1, 0}));
    EXPECT_EQ(d_visits.back(), (Visit{c.last_info, "r/d", "d", 1, EIO})) << c.records;
    EXPECT_LE(d_visits.size() - 2, c.most_files) << c.records;
    EXPECT_GE(d_visits.size() - 2, c.most_files == 0 ? 0U : 1U) << c.records;
    for (std::size_t i = 1; i + 1 < d_visits.size(); ++i) EXPECT_EQ(d_visits[i].info, F);
    const std::vector<Visit> tail(w.visits.end() - 3, w.visits.end());
    EXPECT_EQ(trace(tail, {"r"}), "D r/e, DP r/e, DP r");
    EXPECT_EQ(w.end_errno, 0);
  }
}

// A child list whose listing fails is null with the error; the walk then reads the
// directory afresh.
TEST_F(Fts, ChildListWhoseListingFailsIsNullWithTheError) {
  make_tree({"r/", "r/d/", "r/d/g1", "r/d/g2"});
  for (std::size_t records : {0U, 3U}) {
    Walk w = walk({"r"}, 0, by_name, [&](FTS* stream, FTSENT* p) {
      if (p->fts_info != D || std::strcmp(p->fts_name, "d") != 0) return;
      readdir_fault::fail_after(records, EIO);
      EXPECT_EQ(compat::fts_children(stream, 0), nullptr) << records;
      EXPECT_EQ(errno, EIO) << records;
      readdir_fault::disarm();
    });
    EXPECT_EQ(trace(w), "D r, D r/d, F r/d/g1, F r/d/g2, DP r/d, DP r") << records;
  }
}

// Beyond the kernel's path limit a status by path fails, and the walk says so with and
// without status records: the listing's file type does not stand in for it there.
TEST_F(Fts, EntriesBeyondThePathLimitHaveNoStatusWithOrWithoutRecords) {
  // 16 directories of 250-byte names under r: the last one's path (4,017 bytes) is within
  // the limit, its file's (4,268) is not.
  const std::string name(250, 'n');
  ASSERT_EQ(::mkdir("r", 0755), 0);
  int fd = open("r", O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 16 && fd >= 0; ++level) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
    int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0);
  ASSERT_EQ(close(openat(fd, name.c_str(), O_CREAT | O_WRONLY, 0644)), 0);
  close(fd);
  Walk with_status = walk({"r"}, 0);
  ASSERT_EQ(with_status.visits.size(), 2U * 17 + 1);
  EXPECT_EQ(with_status.visits[17].info, NS);
  EXPECT_EQ(with_status.visits[17].error, ENAMETOOLONG);
  EXPECT_EQ(walk({"r"}, compat::FTS_NOSTAT).visits, with_status.visits);
}

TEST_F(Fts, ChainTwoThousandDeep) {
  constexpr int depth = 2000;
  // The chain's relative path is 4,001 bytes: within the host's limit, so opened by path.
  ASSERT_EQ(::mkdir("c", 0755), 0);
  int fd = open("c", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 1; i < depth; ++i) {
    ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  ASSERT_EQ(close(openat(fd, "f", O_CREAT | O_WRONLY, 0644)), 0);
  close(fd);

  std::string path = "c";
  std::vector<Visit> expected;
  for (int level = 0; level < depth; ++level) {
    if (level > 0) path += "/d";
    expected.push_back({D, path, level == 0 ? "c" : "d", level, 0});
  }
  expected.push_back({F, path + "/f", "f", depth, 0});
  for (int level = depth - 1; level >= 0; --level) {
    expected.push_back({DP, path, level == 0 ? "c" : "d", level, 0});
    path.resize(path.size() - (level > 0 ? 2 : 0));
  }
  Walk w = walk({"c"}, 0);
  EXPECT_EQ(w.visits.size(), expected.size());
  EXPECT_TRUE(w.visits == expected);
  EXPECT_EQ(w.end_errno, 0);
}

#endif  // _WIN32

}  // namespace
