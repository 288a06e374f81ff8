// Our traversal against the C library's, on the same trees in the same run:
//   wide   2,000 directories of 49 files each: 100,000 entries under the root;
//   chain  a chain of directories 2,000 deep, with a file at the bottom;
//   chain5000  a chain 5,000 deep, past the kernel's path limit: both sides walk it down to
//          the entry whose path reaches the limit (about 2,030 levels here), which has no
//          status, and return from there;
//   deep   a binary tree of directories 10 levels deep with 48 files in each directory:
//          1,023 directories, 50,126 entries under the root.
// Every tree is walked with status; the wide and the deep tree also with FTS_NOSTAT.
//
// Both sides get the same options: FTS_PHYSICAL | FTS_NOCHDIR, and FTS_NOSTAT for the
// rows marked nostat. Ours never changes directory and treats FTS_PHYSICAL as given
// whatever it is passed; the trees hold no symbolic links, so the options compare like
// with like. Each walk does what a client does with every entry, identically on both
// sides: counts it and reads its fts_info (the directories are counted apart).
//
// Prints Google Benchmark's timings, then for each walk the figures of both sides and their
// ratio ours / C library: wall time (median and fastest repetition), processor time
// (median), instructions (callgrind; -1 when valgrind is missing) and peak heap in use
// during one walk; then the ratios alone, one line per walk.
//
//   fts_bench [--trees=LIST] [--walks=LIST] [benchmark flags]
//       builds the trees in a temporary directory, measures, removes the trees. LIST is
//       comma-separated: trees from wide,chain,chain5000,deep; walks from status,nostat (all by
//       default). A nostat walk is measured on the wide and the deep tree.
//   fts_bench --walk ours|libc status|nostat PATH
//       one walk, counted by callgrind (used by the above)
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/fts_libc.h"
#include "compat/fts.h"

// --- Peak heap: the C library's allocator, wrapped ---
//
// The executable's malloc family stands in for the C library's (the C library's own calls,
// opendir's buffer included, come here too), so that both traversals are measured alike.

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
}

namespace {

bool tracking = false;
long long live_bytes = 0;
long long peak_bytes = 0;

void note(long long change) {
  live_bytes += change;
  peak_bytes = std::max(peak_bytes, live_bytes);
}

long long usable(void* block) {
  return block == nullptr ? 0 : static_cast<long long>(malloc_usable_size(block));
}

}  // namespace

extern "C" void* malloc(std::size_t size) noexcept {
  void* block = __libc_malloc(size);
  if (tracking) note(usable(block));
  return block;
}

extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
  void* block = __libc_calloc(count, size);
  if (tracking) note(usable(block));
  return block;
}

extern "C" void* realloc(void* block, std::size_t size) noexcept {
  long long before = tracking ? usable(block) : 0;
  void* resized = __libc_realloc(block, size);
  if (tracking && (resized != nullptr || size == 0)) note(usable(resized) - before);
  return resized;
}

extern "C" void free(void* block) noexcept {
  if (tracking) note(-usable(block));
  __libc_free(block);
}

namespace {

// --- The walks ---

using fts_walk::Status;
using fts_walk::Tally;

Tally walk_ours(const char* root, Status status) {
  char* argv[] = {const_cast<char*>(root), nullptr};
  int options = compat::FTS_PHYSICAL | compat::FTS_NOCHDIR;
  if (status == Status::skipped) options |= compat::FTS_NOSTAT;
  compat::FTS* stream = compat::fts_open(argv, options, nullptr);
  if (stream == nullptr) return {};
  Tally tally{};
  while (compat::FTSENT* entry = compat::fts_read(stream)) {
    ++tally.entries;
    if (entry->fts_info == compat::FTS_D) ++tally.directories;
  }
  compat::fts_close(stream);
  return tally;
}

using WalkFunction = Tally (*)(const char*, Status);

struct Side {
  const char* name;
  WalkFunction walk;
};
const Side sides[] = {{"ours", walk_ours}, {"libc", fts_libc::walk}};

struct Mode {
  const char* name;
  Status status;
};
const Mode modes[] = {{"status", Status::taken}, {"nostat", Status::skipped}};

WalkFunction walk_named(const std::string& name) {
  for (const Side& side : sides) {
    if (name == side.name) return side.walk;
  }
  return nullptr;
}

// Bytes of heap in use at the highest point of one walk, above what was in use before it.
long long peak_heap_of(WalkFunction walk, const char* root, Status status) {
  live_bytes = 0;
  peak_bytes = 0;
  tracking = true;
  walk(root, status);
  tracking = false;
  return peak_bytes;
}

// --- The trees ---

constexpr int wide_directories = 2000;
constexpr int wide_files_per_directory = 49;  // 2,000 + 98,000 = 100,000 entries
constexpr int chain_depth = 2000;
constexpr int long_chain_depth = 5000;
constexpr int deep_levels = 10;               // 1,023 directories
constexpr int deep_files_per_directory = 48;  // 1,022 + 49,104 = 50,126 entries

// Creates `count` empty files file00.c, file01.c, ... in the open directory `dir_fd`.
bool make_files(int dir_fd, int count) {
  char name[32];
  for (int f = 0; f < count; ++f) {
    std::snprintf(name, sizeof name, "file%02d.c", f);
    int fd = openat(dir_fd, name, O_CREAT | O_WRONLY, 0644);
    if (fd < 0) return false;
    close(fd);
  }
  return true;
}

// Creates directory `name` in the open directory `dir_fd` (AT_FDCWD for the working
// directory) and returns a descriptor open on it, or -1.
int make_directory(int dir_fd, const char* name) {
  if (mkdirat(dir_fd, name, 0755) != 0) return -1;
  return openat(dir_fd, name, O_RDONLY | O_DIRECTORY);
}

bool make_wide_tree(const std::string& root) {
  int root_fd = make_directory(AT_FDCWD, root.c_str());
  if (root_fd < 0) return false;
  bool made = true;
  char name[32];
  for (int d = 0; made && d < wide_directories; ++d) {
    std::snprintf(name, sizeof name, "d%04d", d);
    int dir_fd = make_directory(root_fd, name);
    made = dir_fd >= 0 && make_files(dir_fd, wide_files_per_directory);
    if (dir_fd >= 0) close(dir_fd);
  }
  close(root_fd);
  return made;
}

// A chain of directories "d" `depth` deep under `root`, with a file at the bottom. Built
// through descriptors: the last paths are near the host's path limit, or past it.
bool make_chain_of(const std::string& root, int depth) {
  int fd = make_directory(AT_FDCWD, root.c_str());
  for (int i = 1; fd >= 0 && i < depth; ++i) {
    int next = make_directory(fd, "d");
    close(fd);
    fd = next;
  }
  if (fd < 0) return false;
  bool made = make_files(fd, 1);
  close(fd);
  return made;
}

bool make_chain(const std::string& root) { return make_chain_of(root, chain_depth); }
bool make_long_chain(const std::string& root) { return make_chain_of(root, long_chain_depth); }

// The files of the open directory `dir_fd`, at `level` (the root's is 1), and below it
// two subdirectories d0 and d1 down to the last level.
bool make_binary_level(int dir_fd, int level) {
  if (!make_files(dir_fd, deep_files_per_directory)) return false;
  if (level == deep_levels) return true;
  for (const char* name : {"d0", "d1"}) {
    int child = make_directory(dir_fd, name);
    if (child < 0) return false;
    bool made = make_binary_level(child, level + 1);
    close(child);
    if (!made) return false;
  }
  return true;
}

bool make_deep_tree(const std::string& root) {
  int root_fd = make_directory(AT_FDCWD, root.c_str());
  if (root_fd < 0) return false;
  bool made = make_binary_level(root_fd, 1);
  close(root_fd);
  return made;
}

struct TreeShape {
  const char* name;
  bool (*make)(const std::string& root);
  bool walked_without_status;  // also gets a nostat row
};
const TreeShape shapes[] = {
    {"wide", make_wide_tree, true},
    {"chain", make_chain, false},
    {"chain5000", make_long_chain, false},
    {"deep", make_deep_tree, true},
};

// One row of the tables: a tree walked one way, by both sides.
struct Walk {
  const TreeShape* shape;
  std::string root;
  const Mode* mode;
};

// --- Wall time: Google Benchmark, with the medians kept for the ratio table ---

std::string benchmark_name(const Side& side, const Walk& walk) {
  return std::string("walk/") + side.name + "/" + walk.shape->name + "/" + walk.mode->name;
}

void register_walk(const Side& side, const Walk& walk) {
  auto measure = [&side, &walk](benchmark::State& state) {
    Tally tally{};
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the loop variable is the library's
    for (auto _ : state) tally = side.walk(walk.root.c_str(), walk.mode->status);
    state.counters["entries"] = static_cast<double>(tally.entries);
    state.counters["dirs"] = static_cast<double>(tally.directories);
    if (tally.entries == 0) state.SkipWithError("cannot walk the tree");
  };
  benchmark::RegisterBenchmark(benchmark_name(side, walk).c_str(), measure)
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(9)
      ->ComputeStatistics("min",
                          [](const std::vector<double>& values) {
                            return *std::min_element(values.begin(), values.end());
                          })
      ->ReportAggregatesOnly(true);
}

// The median and the fastest repetition of each benchmark, in its unit (ms), and the
// median processor time. Other work on a shared machine only ever adds wall time, so the
// fastest run and the processor time are the steadier figures.
class TimeRecorder : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, so that the output can be kept in a file.
  TimeRecorder() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  std::map<std::string, double> medians;
  std::map<std::string, double> minimums;
  std::map<std::string, double> cpu_medians;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate) continue;
      if (run.aggregate_name == "median") {
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
        cpu_medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
      if (run.aggregate_name == "min")
        minimums[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

double time_of(const std::map<std::string, double>& times, const std::string& name) {
  auto found = times.find(name);
  return found == times.end() ? 0.0 : found->second;
}

// --- Instructions: callgrind, counting only the walk ---

const Mode* mode_named(const std::string& name) {
  for (const Mode& mode : modes) {
    if (name == mode.name) return &mode;
  }
  return nullptr;
}

int walk_under_callgrind(const std::string& side, const std::string& mode, const char* root) {
  WalkFunction walk = walk_named(side);
  const Mode* named = mode_named(mode);
  if (walk == nullptr || named == nullptr) return 2;
  CALLGRIND_TOGGLE_COLLECT;
  Tally tally = walk(root, named->status);
  CALLGRIND_TOGGLE_COLLECT;
  return tally.entries == 0 ? 1 : 0;
}

// Instructions of one walk, or -1 when valgrind cannot be run.
long long instructions_of(const char* self, const Side& side, const Walk& walk,
                          const std::string& scratch) {
  std::string out = scratch + "/callgrind." + side.name;
  std::string command =
      "valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=" + out + " " + self +
      " --walk " + side.name + " " + walk.mode->name + " " + walk.root + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return -1;
  std::ifstream file(out);
  std::string line;
  long long total = -1;
  while (std::getline(file, line)) {
    if (line.rfind("totals:", 0) == 0 || line.rfind("summary:", 0) == 0) {
      total = std::atoll(line.c_str() + line.find(':') + 1);
    }
  }
  std::remove(out.c_str());
  return total;
}

// --- The tables ---

double ratio(double ours, double theirs) { return theirs > 0 ? ours / theirs : 0.0; }

// One measure of one walk, for ours [0] and the C library's [1].
struct Measure {
  const char* name;
  int decimals;
  double values[2];
};
constexpr int measure_count = 5;

struct WalkFigures {
  const Walk* walk;
  Measure measures[measure_count];
};

WalkFigures measure_walk(const Walk& walk, const TimeRecorder& times, const char* self,
                         const std::string& scratch) {
  WalkFigures figures{&walk,
                      {{"wall ms, median", 1, {}},
                       {"wall ms, fastest", 1, {}},
                       {"cpu ms, median", 1, {}},
                       {"instructions", 0, {}},
                       {"peak heap bytes", 0, {}}}};
  for (int i = 0; i < 2; ++i) {
    const Side& side = sides[i];
    std::string name = benchmark_name(side, walk);
    figures.measures[0].values[i] = time_of(times.medians, name);
    figures.measures[1].values[i] = time_of(times.minimums, name);
    figures.measures[2].values[i] = time_of(times.cpu_medians, name);
    figures.measures[3].values[i] = static_cast<double>(instructions_of(self, side, walk, scratch));
    figures.measures[4].values[i] =
        static_cast<double>(peak_heap_of(side.walk, walk.root.c_str(), walk.mode->status));
  }
  return figures;
}

void print_figures(const std::vector<WalkFigures>& all) {
  std::printf("\n%-9s %-7s %-17s %12s %12s %7s\n", "tree", "walk", "measure", "ours", "libc",
              "ratio");
  for (const WalkFigures& figures : all) {
    for (const Measure& m : figures.measures) {
      std::printf("%-9s %-7s %-17s %12.*f %12.*f %7.2f\n", figures.walk->shape->name,
                  figures.walk->mode->name, m.name, m.decimals, m.values[0], m.decimals,
                  m.values[1], ratio(m.values[0], m.values[1]));
    }
  }
}

void print_ratios(const std::vector<WalkFigures>& all) {
  std::printf("\nratios ours / libc\n%-9s %-7s %11s %12s %10s %12s %9s\n", "tree", "walk",
              "wall median", "wall fastest", "cpu median", "instructions", "peak heap");
  for (const WalkFigures& figures : all) {
    const Measure* m = figures.measures;
    std::printf("%-9s %-7s %11.2f %12.2f %10.2f %12.2f %9.2f\n", figures.walk->shape->name,
                figures.walk->mode->name, ratio(m[0].values[0], m[0].values[1]),
                ratio(m[1].values[0], m[1].values[1]), ratio(m[2].values[0], m[2].values[1]),
                ratio(m[3].values[0], m[3].values[1]), ratio(m[4].values[0], m[4].values[1]));
  }
}

// --- The command line ---

struct Choice {
  bool tree_chosen[std::size(shapes)];
  bool mode_chosen[std::size(modes)];
};

// Marks in `chosen` each name of the comma-separated `list` found in `names` (`count`
// entries, each with a `name` member); false on a name not found.
template <typename Named>
bool choose(const char* list, const Named* names, std::size_t count, bool* chosen) {
  std::fill(chosen, chosen + count, false);
  std::string text = list;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = std::min(text.find(',', start), text.size());
    std::string word = text.substr(start, end - start);
    std::size_t i = 0;
    while (i < count && word != names[i].name) ++i;
    if (i == count) return false;
    chosen[i] = true;
    start = end + 1;
  }
  return true;
}

// Takes our flags out of `args`, leaving Google Benchmark's; false on a bad list.
bool parse_choice(std::vector<char*>& args, Choice& choice) {
  std::fill(std::begin(choice.tree_chosen), std::end(choice.tree_chosen), true);
  std::fill(std::begin(choice.mode_chosen), std::end(choice.mode_chosen), true);
  std::vector<char*> rest;
  for (char* arg : args) {
    bool ok = true;
    if (std::strncmp(arg, "--trees=", 8) == 0) {
      ok = choose(arg + 8, shapes, std::size(shapes), choice.tree_chosen);
    } else if (std::strncmp(arg, "--walks=", 8) == 0) {
      ok = choose(arg + 8, modes, std::size(modes), choice.mode_chosen);
    } else {
      rest.push_back(arg);
    }
    if (!ok) {
      std::fprintf(stderr, "fts_bench: bad list in %s\n", arg);
      return false;
    }
  }
  args = rest;
  return true;
}

// The walks chosen, each on its tree under `scratch`.
std::vector<Walk> chosen_walks(const Choice& choice, const std::string& scratch) {
  std::vector<Walk> walks;
  for (std::size_t t = 0; t < std::size(shapes); ++t) {
    if (!choice.tree_chosen[t]) continue;
    for (std::size_t s = 0; s < std::size(modes); ++s) {
      bool wanted = choice.mode_chosen[s] &&
                    (modes[s].status == Status::taken || shapes[t].walked_without_status);
      if (wanted) walks.push_back({&shapes[t], scratch + "/" + shapes[t].name, &modes[s]});
    }
  }
  return walks;
}

bool make_trees(const Choice& choice, const std::string& scratch) {
  for (std::size_t t = 0; t < std::size(shapes); ++t) {
    if (choice.tree_chosen[t] && !shapes[t].make(scratch + "/" + shapes[t].name)) return false;
  }
  return true;
}

void measure_and_report(const std::vector<Walk>& walks, std::vector<char*> args,
                        const std::string& scratch) {
  for (const Walk& walk : walks) {
    for (const Side& side : sides) register_walk(side, walk);
  }
  // Interleave the repetitions of ours and theirs, so that the load of the machine
  // weighs on both alike.
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  int benchmark_argc = static_cast<int>(args.size());
  benchmark::Initialize(&benchmark_argc, args.data());
  TimeRecorder times;
  benchmark::RunSpecifiedBenchmarks(&times);
  benchmark::Shutdown();
  std::vector<WalkFigures> all;
  all.reserve(walks.size());
  for (const Walk& walk : walks) all.push_back(measure_walk(walk, times, args[0], scratch));
  print_figures(all);
  print_ratios(all);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--walk") == 0) {
    return walk_under_callgrind(argv[2], argv[3], argv[4]);
  }
  std::vector<char*> args(argv, argv + argc);
  Choice choice;
  if (!parse_choice(args, choice)) return 2;
  char scratch_template[] = "/tmp/fts-bench-XXXXXX";
  if (mkdtemp(scratch_template) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  std::string scratch = scratch_template;
  std::fprintf(stderr, "building the trees in %s\n", scratch.c_str());
  int status = 1;
  if (make_trees(choice, scratch)) {
    std::vector<Walk> walks = chosen_walks(choice, scratch);
    measure_and_report(walks, args, scratch);
    status = 0;
  } else {
    std::perror("building the trees");
  }
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return status;
}
