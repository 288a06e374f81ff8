// Our traversal on the Windows host against the walks it is held to, on one tree in the
// same run:
//   (a) ours     compat::fts_open(root, FTS_PHYSICAL, nullptr), every entry read, with
//                status;
//   (b) status   a plain recursive FindFirstFileW/FindNextFileW walk that calls _wstat64 on
//                each entry's full path: the per-entry status walk, the baseline;
//   (c) listing  the same walk without the status calls: what reading the directories
//                costs alone, the floor.
// The tree is a binary tree of directories 10 levels deep with 48 files in each directory
// (1,023 directories with the root, 49,104 files), built in the temporary directory and
// removed at the end. After one warm-up round, each of N rounds runs the three walks, in
// an order that turns from round to round so that none always comes first; prints the
// median and the fastest of each walk in ms, what each walk counted, and the ratios a/b
// and c/b of the medians and of the fastest rounds. Exit status 1 when the tree cannot be
// built or the walks disagree.
//
//   fts_walk_win32 [--rounds N]     N from 1 to 1000, 5 by default
//
// A timing program, not a test: run it by hand, under Wine or on Windows.
#include <windows.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compat/fts.h"

namespace {

constexpr int tree_levels = 10;
constexpr int files_per_directory = 48;
constexpr int default_rounds = 5;
constexpr int max_rounds = 1000;

// What a walk saw. Each directory, the root included, counts once; an entry whose status
// could not be taken, or that is neither a directory nor a regular file, is an error.
struct Counts {
  long directories;
  long files;
  long errors;
};

bool operator==(const Counts& a, const Counts& b) {
  return a.directories == b.directories && a.files == b.files && a.errors == b.errors;
}

// --- The tree ---

// `path` is a directory; creates file00.c, file01.c, ... in it and leaves `path` as it was.
bool make_files(std::wstring& path) {
  std::size_t length = path.size();
  bool made = true;
  wchar_t name[32];
  for (int f = 0; made && f < files_per_directory; ++f) {
    std::swprintf(name, sizeof name / sizeof name[0], L"\\file%02d.c", f);
    path += name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    made = file != INVALID_HANDLE_VALUE;
    if (made) CloseHandle(file);
    path.resize(length);
  }
  return made;
}

// `path` is a directory at `level` (the root's is 1): gives it its files and, above the
// last level, two subdirectories d0 and d1, each made the same way. `path` is left as it
// was.
bool make_level(std::wstring& path, int level) {
  if (!make_files(path)) return false;
  if (level == tree_levels) return true;
  std::size_t length = path.size();
  bool made = true;
  for (const wchar_t* name : {L"\\d0", L"\\d1"}) {
    path += name;
    made = CreateDirectoryW(path.c_str(), nullptr) && make_level(path, level + 1);
    path.resize(length);
    if (!made) break;
  }
  return made;
}

bool is_dot_or_dot_dot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Removes everything inside the directory `path` and then the directory itself; `path`
// is left as it was. False when anything remains.
bool remove_tree(std::wstring& path) {
  std::size_t length = path.size();
  path += L"\\*";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path.c_str(), &found);
  path.resize(length);
  bool removed = true;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (is_dot_or_dot_dot(found.cFileName)) continue;
      path += L'\\';
      path += found.cFileName;
      bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      removed = (directory ? remove_tree(path) : DeleteFileW(path.c_str()) != 0) && removed;
      path.resize(length);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryW(path.c_str()) && removed;
}

// A new, empty directory fts-walk-PID-N in the temporary directory, its path in `path`.
bool make_scratch_directory(std::wstring& path) {
  wchar_t base[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) return false;
  wchar_t name[64];
  for (int n = 0; n < 100; ++n) {
    std::swprintf(name, sizeof name / sizeof name[0], L"fts-walk-%lu-%d", GetCurrentProcessId(), n);
    path = std::wstring(base) + name;
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// `path` in UTF-8, the encoding of the names the layer takes.
std::string utf8_of(const std::wstring& path) {
  int size = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, text.data(), size, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(size - 1));
  return text;
}

// --- The walks ---

// (a) Our traversal, with status.
Counts walk_ours(const std::string& root) {
  char* argv[] = {const_cast<char*>(root.c_str()), nullptr};
  compat::FTS* stream = compat::fts_open(argv, compat::FTS_PHYSICAL, nullptr);
  Counts counts{0, 0, 1};
  if (stream == nullptr) return counts;
  counts.errors = 0;
  while (compat::FTSENT* entry = compat::fts_read(stream)) {
    if (entry->fts_info == compat::FTS_D) {
      ++counts.directories;
    } else if (entry->fts_info == compat::FTS_F) {
      ++counts.files;
    } else if (entry->fts_info != compat::FTS_DP) {
      ++counts.errors;
    }
  }
  compat::fts_close(stream);
  return counts;
}

// Whether `path` is a directory, from its status; -1 when no status can be taken.
int directory_by_status(const std::wstring& path) {
  struct _stat64 status;
  if (_wstat64(path.c_str(), &status) != 0) return -1;
  return (status.st_mode & _S_IFMT) == _S_IFDIR ? 1 : 0;
}

// Counts the entries of the directory `path` and of every directory below it. With
// `take_status` each entry's status is taken on its full path and says what it is;
// without, the find data does. `path` is extended on the way down and left as it was.
void walk_listing(std::wstring& path, bool take_status, Counts& counts) {
  std::size_t length = path.size();
  path += L"\\*";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(path.c_str(), &found);
  path.resize(length);
  if (search == INVALID_HANDLE_VALUE) {
    ++counts.errors;
    return;
  }
  do {
    if (is_dot_or_dot_dot(found.cFileName)) continue;
    path += L'\\';
    path += found.cFileName;
    int directory = take_status ? directory_by_status(path)
                                : (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory < 0) {
      ++counts.errors;
    } else if (directory > 0) {
      ++counts.directories;
      walk_listing(path, take_status, counts);
    } else {
      ++counts.files;
    }
    path.resize(length);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// (b) and (c): the root counts as a directory, and with status its status is taken too,
// as our traversal does.
Counts walk_with_find(const std::wstring& root, bool take_status) {
  Counts counts{1, 0, 0};
  if (take_status && directory_by_status(root) != 1) ++counts.errors;
  std::wstring path = root;
  walk_listing(path, take_status, counts);
  return counts;
}

// --- Timing ---

struct Tree {
  std::wstring root;
  std::string root_utf8;
};

enum WalkKind { ours, with_status, listing_only, walk_kinds };

const char* const walk_labels[walk_kinds] = {
    "(a) ours: fts_read with status",
    "(b) find walk, _wstat64 on each entry",
    "(c) find walk alone",
};

Counts run_walk(WalkKind kind, const Tree& tree) {
  if (kind == ours) return walk_ours(tree.root_utf8);
  return walk_with_find(tree.root, kind == with_status);
}

double now_ms() {
  LARGE_INTEGER ticks, frequency;
  QueryPerformanceCounter(&ticks);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t middle = values.size() / 2;
  if (values.size() % 2 == 1) return values[middle];
  return (values[middle - 1] + values[middle]) / 2;
}

struct Timings {
  std::vector<double> ms[walk_kinds];
  Counts counts[walk_kinds];
};

// One round: each walk once, starting with walk `first`.
void run_round(const Tree& tree, int first, Timings& timings) {
  for (int i = 0; i < walk_kinds; ++i) {
    auto kind = static_cast<WalkKind>((first + i) % walk_kinds);
    double start = now_ms();
    Counts counts = run_walk(kind, tree);
    timings.ms[kind].push_back(now_ms() - start);
    timings.counts[kind] = counts;
  }
}

Timings time_walks(const Tree& tree, int rounds) {
  Timings timings;
  run_round(tree, 0, timings);  // warm-up: not kept
  for (std::vector<double>& ms : timings.ms) ms.clear();
  for (int round = 0; round < rounds; ++round) run_round(tree, round % walk_kinds, timings);
  return timings;
}

bool counts_agree(const Timings& timings) {
  const Counts& first = timings.counts[0];
  for (const Counts& counts : timings.counts) {
    if (!(counts == first) || counts.errors != 0) return false;
  }
  return true;
}

double fastest(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

// The ratio of walk `kind` to the per-entry status walk, of the medians and of the fastest
// rounds: other work on a shared machine only ever adds time, so the fastest rounds are
// the steadier figure there.
void print_ratio(const char* label, const Timings& timings, WalkKind kind) {
  const std::vector<double>& baseline = timings.ms[with_status];
  std::printf("ratio %-45s %.2f median, %.2f fastest\n", label,
              median(timings.ms[kind]) / median(baseline),
              fastest(timings.ms[kind]) / fastest(baseline));
}

void print_timings(const Timings& timings, int rounds) {
  std::printf("rounds: %d, after one warm-up round\n\n", rounds);
  std::printf("%-40s %10s %10s %12s %8s %7s\n", "walk", "median ms", "fastest ms", "directories",
              "files", "errors");
  for (int kind = 0; kind < walk_kinds; ++kind) {
    const Counts& counts = timings.counts[kind];
    const std::vector<double>& ms = timings.ms[kind];
    std::printf("%-40s %10.1f %10.1f %12ld %8ld %7ld\n", walk_labels[kind], median(ms), fastest(ms),
                counts.directories, counts.files, counts.errors);
  }
  std::printf("\n");
  print_ratio("a/b (ours / per-entry status walk)", timings, ours);
  print_ratio("c/b (listing alone / per-entry status walk)", timings, listing_only);
}

// The number of rounds from the command line, or 0 when it is not understood.
int rounds_from(int argc, char** argv) {
  if (argc == 1) return default_rounds;
  if (argc != 3 || std::strcmp(argv[1], "--rounds") != 0) return 0;
  char* end = nullptr;
  long rounds = std::strtol(argv[2], &end, 10);
  if (*end != '\0' || rounds < 1 || rounds > max_rounds) return 0;
  return static_cast<int>(rounds);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = rounds_from(argc, argv);
  if (rounds == 0) {
    std::fprintf(stderr, "usage: fts_walk_win32 [--rounds N]  (N from 1 to %d)\n", max_rounds);
    return 2;
  }
  Tree tree;
  if (!make_scratch_directory(tree.root)) {
    std::fprintf(stderr, "fts_walk_win32: cannot make a directory in the temporary directory\n");
    return 1;
  }
  tree.root_utf8 = utf8_of(tree.root);
  std::printf("tree: binary, %d levels, %d files in each directory, in %s\n", tree_levels,
              files_per_directory, tree.root_utf8.c_str());
  std::fflush(stdout);
  int status = 1;
  if (make_level(tree.root, 1)) {
    Timings timings = time_walks(tree, rounds);
    print_timings(timings, rounds);
    if (counts_agree(timings)) {
      status = 0;
    } else {
      std::fprintf(stderr, "fts_walk_win32: the walks did not see the same tree\n");
    }
  } else {
    std::fprintf(stderr, "fts_walk_win32: cannot build the tree (error %lu)\n", GetLastError());
  }
  if (!remove_tree(tree.root)) {
    std::fprintf(stderr, "fts_walk_win32: could not remove all of %s\n", tree.root_utf8.c_str());
  }
  return status;
}
