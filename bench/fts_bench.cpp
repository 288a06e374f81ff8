// Our traversal against the C library's, on the same trees in the same run: a wide tree of
// 100,000 entries in 2,000 directories and a chain 2,000 directories deep, both walked with
// status and without changing directory. Prints Google Benchmark's timings, then the
// ratios ours / C library of wall time (median and fastest repetition), processor time
// (median), instructions
// (callgrind; -1 when valgrind is missing) and peak heap in use during one walk.
//
//   fts_bench [benchmark flags]          build the trees in a temporary directory, measure,
//                                        remove the trees
//   fts_bench --walk ours|libc PATH      one walk, counted by callgrind (used by the above)
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
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "compat/fts.h"

namespace fts_libc {
std::size_t walk(const char* root);
}

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

std::size_t walk_ours(const char* root) {
  char* argv[] = {const_cast<char*>(root), nullptr};
  compat::FTS* stream = compat::fts_open(argv, compat::FTS_PHYSICAL | compat::FTS_NOCHDIR, nullptr);
  if (stream == nullptr) return 0;
  std::size_t entries = 0;
  while (compat::fts_read(stream) != nullptr) ++entries;
  compat::fts_close(stream);
  return entries;
}

using WalkFunction = std::size_t (*)(const char*);

struct Side {
  const char* name;
  WalkFunction walk;
};
const Side sides[] = {{"ours", walk_ours}, {"libc", fts_libc::walk}};

WalkFunction walk_named(const std::string& name) {
  for (const Side& side : sides) {
    if (name == side.name) return side.walk;
  }
  return nullptr;
}

// Bytes of heap in use at the highest point of one walk, above what was in use before it.
long long peak_heap_of(WalkFunction walk, const char* root) {
  live_bytes = 0;
  peak_bytes = 0;
  tracking = true;
  walk(root);
  tracking = false;
  return peak_bytes;
}

// --- The trees ---

constexpr int wide_directories = 2000;
constexpr int files_per_directory = 49;  // 2,000 + 98,000 = 100,000 entries under the root
constexpr int chain_depth = 2000;

bool make_wide_tree(const std::string& root) {
  if (mkdir(root.c_str(), 0755) != 0) return false;
  char name[64];
  for (int d = 0; d < wide_directories; ++d) {
    std::snprintf(name, sizeof name, "/d%04d", d);
    std::string dir = root + name;
    if (mkdir(dir.c_str(), 0755) != 0) return false;
    int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir_fd < 0) return false;
    for (int f = 0; f < files_per_directory; ++f) {
      std::snprintf(name, sizeof name, "file%02d.c", f);
      int fd = openat(dir_fd, name, O_CREAT | O_WRONLY, 0644);
      if (fd >= 0) close(fd);
    }
    close(dir_fd);
  }
  return true;
}

// Built through descriptors: the last paths are near the host's path limit. Holds a file
// at the bottom.
bool make_chain(const std::string& root) {
  if (mkdir(root.c_str(), 0755) != 0) return false;
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 1; fd >= 0 && i < chain_depth; ++i) {
    if (mkdirat(fd, "d", 0755) != 0) {
      close(fd);
      return false;
    }
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  if (fd < 0) return false;
  int file = openat(fd, "f", O_CREAT | O_WRONLY, 0644);
  if (file >= 0) close(file);
  close(fd);
  return true;
}

struct Tree {
  const char* name;
  std::string path;
};

// --- Wall time: Google Benchmark, with the medians kept for the ratio table ---

// What each registered benchmark walks; its argument is the index here.
struct Case {
  WalkFunction walk;
  std::string root;
};
std::vector<Case> cases;

void walk_benchmark(benchmark::State& state) {
  const Case& c = cases[static_cast<std::size_t>(state.range(0))];
  std::size_t entries = 0;
  // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the loop variable is the library's
  for (auto _ : state) entries = c.walk(c.root.c_str());
  state.counters["entries"] = static_cast<double>(entries);
  if (entries == 0) state.SkipWithError("cannot walk the tree");
}

// The median and the fastest repetition of each benchmark, in its unit (ms), and the
// median processor time. Other work on a shared machine only ever adds wall time, so the
// fastest run and the processor time are the steadier figures.
class TimeRecorder : public benchmark::ConsoleReporter {
 public:
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

double smallest(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

double time_of(const std::map<std::string, double>& times, const std::string& name) {
  auto found = times.find(name);
  return found == times.end() ? 0.0 : found->second;
}

void configure(benchmark::internal::Benchmark* benchmark) {
  benchmark->Unit(benchmark::kMillisecond)
      ->Repetitions(9)
      ->ComputeStatistics("min", smallest)
      ->ReportAggregatesOnly(true);
}

// The argument is the index in `cases`, which main fills once the trees exist.
BENCHMARK(walk_benchmark)->Name("walk/ours/wide")->Arg(0)->Apply(configure);
BENCHMARK(walk_benchmark)->Name("walk/libc/wide")->Arg(1)->Apply(configure);
BENCHMARK(walk_benchmark)->Name("walk/ours/chain")->Arg(2)->Apply(configure);
BENCHMARK(walk_benchmark)->Name("walk/libc/chain")->Arg(3)->Apply(configure);

// --- Instructions: callgrind, counting only the walk ---

int walk_under_callgrind(const std::string& side, const char* root) {
  WalkFunction walk = walk_named(side);
  if (walk == nullptr) return 2;
  CALLGRIND_TOGGLE_COLLECT;
  std::size_t entries = walk(root);
  CALLGRIND_TOGGLE_COLLECT;
  return entries == 0 ? 1 : 0;
}

// Instructions of one walk, or -1 when valgrind cannot be run.
long long instructions_of(const char* self, const std::string& side, const std::string& root,
                          const std::string& scratch) {
  std::string out = scratch + "/callgrind." + side;
  std::string command =
      "valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=" + out + " " + self +
      " --walk " + side + " " + root + " >/dev/null 2>&1";
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

double ratio(double ours, double theirs) { return theirs > 0 ? ours / theirs : 0.0; }

void print_table(const std::vector<Tree>& trees, const TimeRecorder& times, const char* self,
                 const std::string& scratch) {
  std::printf("\n%-6s %-22s %12s %12s %8s\n", "tree", "measure", "ours", "libc", "ratio");
  for (const Tree& tree : trees) {
    double median[2], fastest[2], cpu[2], instructions[2], peak[2];
    for (int i = 0; i < 2; ++i) {
      std::string name = std::string("walk/") + sides[i].name + "/" + tree.name;
      median[i] = time_of(times.medians, name);
      fastest[i] = time_of(times.minimums, name);
      cpu[i] = time_of(times.cpu_medians, name);
      instructions[i] =
          static_cast<double>(instructions_of(self, sides[i].name, tree.path, scratch));
      peak[i] = static_cast<double>(peak_heap_of(sides[i].walk, tree.path.c_str()));
    }
    const struct {
      const char* measure;
      const double* values;
    } rows[] = {{"wall ms, median", median},
                {"wall ms, fastest", fastest},
                {"cpu ms, median", cpu},
                {"instructions", instructions},
                {"peak heap bytes", peak}};
    for (const auto& row : rows) {
      std::printf("%-6s %-22s %12.1f %12.1f %8.2f\n", tree.name, row.measure, row.values[0],
                  row.values[1], ratio(row.values[0], row.values[1]));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--walk") == 0) {
    return walk_under_callgrind(argv[2], argv[3]);
  }
  char scratch_template[] = "/tmp/fts-bench-XXXXXX";
  if (mkdtemp(scratch_template) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  std::string scratch = scratch_template;
  std::vector<Tree> trees = {{"wide", scratch + "/wide"}, {"chain", scratch + "/c"}};
  std::fprintf(stderr, "building the trees in %s\n", scratch.c_str());
  bool built = make_wide_tree(trees[0].path) && make_chain(trees[1].path);

  int status = 1;
  if (built) {
    // In the order of the registrations.
    for (const Tree& tree : trees) {
      for (const Side& side : sides) cases.push_back({side.walk, tree.path});
    }
    // Interleave the repetitions of ours and theirs, so that the load of the machine
    // weighs on both alike.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int benchmark_argc = static_cast<int>(args.size());
    benchmark::Initialize(&benchmark_argc, args.data());
    TimeRecorder times;
    benchmark::RunSpecifiedBenchmarks(&times);
    benchmark::Shutdown();
    print_table(trees, times, argv[0], scratch);
    status = 0;
  } else {
    std::perror("building the trees");
  }
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return status;
}
