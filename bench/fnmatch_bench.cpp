// compat::fnmatch against the C library's fnmatch, on the same cases with the same flags,
// in the C locale and in C.UTF-8. Each case runs as ours/<locale>/<case> and
// libc/<locale>/<case>; after Google Benchmark's lines comes a table of the ratios ours /
// C library of each pair, from the median and from the fastest repetition, and their
// geometric means for the typical and the pathological cases. Run with repetitions and
// interleaving on a shared machine:
//
//   fnmatch_bench --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "compat/fnmatch.h"

// From fnmatch_libc.cpp, which cannot include our header.
int libc_fnmatch_flags(bool noescape, bool pathname, bool period, bool leading_dir, bool casefold);
int libc_fnmatch(const char* pattern, const char* string, int flags);

namespace {

struct Case {
  const char* name;
  std::string pattern;
  std::string string;
  int flags;  // ours
  bool pathological = false;
};

// `*a*a...*b` with `stars` stars against `length` a's: no match, and a matcher that
// backtracks over every star takes time exponential in the stars.
Case pathological(int stars, int length) {
  std::string pattern;
  for (int i = 1; i < stars; ++i) pattern += "*a";
  pattern += "*b";
  return {"pathological", pattern, std::string(static_cast<std::size_t>(length), 'a'), 0, true};
}

const Case& case_at(int index) {
  static const Case cases[] = {
      {"star_dot_c", "*.c", "src/foo/bar.c", 0},
      {"pathname_star_h", "*/*.h", "include/orva.h", compat::FNM_PATHNAME},
      {"range_star_digit", "[a-z]*[0-9]", "abc123", 0},
      {"casefold_star_C", "*.C", "src/foo/bar.c", compat::FNM_CASEFOLD},
      {"three_words", "*foo*bar*baz*",
       "/home/builder/orva-sdk/foo/src/lib/bar/include/tools/baz/version.h", 0},
      // Short patterns on short names, where the fixed cost of a call shows.
      {"question_at", "?at", "cat", 0},
      {"period_star", ".*", ".profile", 0},
      {"range_star_txt", "[a-z]*.txt", "readme.txt", 0},
      {"pathname_two_stars", "src/*/*.h", "src/compat/fnmatch.h", compat::FNM_PATHNAME},
      pathological(10, 1000),
      pathological(10, 2000),
      pathological(10, 4000),
  };
  return cases[index];
}
constexpr int case_count = 12;

int libc_flags(int ours) {
  return libc_fnmatch_flags((ours & compat::FNM_NOESCAPE) != 0, (ours & compat::FNM_PATHNAME) != 0,
                            (ours & compat::FNM_PERIOD) != 0, (ours & compat::FNM_LEADING_DIR) != 0,
                            (ours & compat::FNM_CASEFOLD) != 0);
}

void run_ours(benchmark::State& state, const char* locale, int index) {
  const Case& c = case_at(index);
  if (std::setlocale(LC_ALL, locale) == nullptr) return state.SkipWithError("no such locale");
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
    benchmark::DoNotOptimize(compat::fnmatch(c.pattern.c_str(), c.string.c_str(), c.flags));
  }
  state.counters["chars"] = static_cast<double>(c.string.size());
}

void run_libc(benchmark::State& state, const char* locale, int index) {
  const Case& c = case_at(index);
  if (std::setlocale(LC_ALL, locale) == nullptr) return state.SkipWithError("no such locale");
  const int flags = libc_flags(c.flags);
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
    benchmark::DoNotOptimize(libc_fnmatch(c.pattern.c_str(), c.string.c_str(), flags));
  }
  state.counters["chars"] = static_cast<double>(c.string.size());
}

// Both matchers must agree on every case before their times mean anything.
bool results_agree(const char* locale) {
  if (std::setlocale(LC_ALL, locale) == nullptr) return true;
  for (int i = 0; i < case_count; ++i) {
    const Case& c = case_at(i);
    int ours = compat::fnmatch(c.pattern.c_str(), c.string.c_str(), c.flags);
    int libc = libc_fnmatch(c.pattern.c_str(), c.string.c_str(), libc_flags(c.flags));
    if ((ours == 0) != (libc == 0)) return false;
  }
  return true;
}

double median_of(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double fastest_of(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

// The median and the fastest time per call (ns) of each benchmark, by name: from the
// aggregates of the repetitions where they are reported, else from the runs themselves.
class TimeRecorder : public benchmark::ConsoleReporter {
 public:
  struct Times {
    std::vector<double> runs;
    double median = 0;
    double fastest = 0;
  };
  std::map<std::string, Times> times;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      Times& t = times[run.run_name.function_name];
      if (run.run_type == Run::RT_Iteration) {
        t.runs.push_back(run.GetAdjustedRealTime());
        t.median = median_of(t.runs);
        t.fastest = fastest_of(t.runs);
      } else if (run.aggregate_name == "median") {
        t.median = run.GetAdjustedRealTime();
      } else if (run.aggregate_name == "min") {
        t.fastest = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Geometric means of the ratios, over the typical or the pathological cases of a locale.
struct Means {
  double log_sum[2] = {0, 0};  // median, fastest
  int count = 0;

  void add(double median_ratio, double fastest_ratio) {
    log_sum[0] += std::log(median_ratio);
    log_sum[1] += std::log(fastest_ratio);
    ++count;
  }
  void print(const char* locale, const char* kind) const {
    if (count == 0) return;
    std::printf("%-8s %-30s %10s %10s %8.2f %8.2f\n", locale, kind, "", "",
                std::exp(log_sum[0] / count), std::exp(log_sum[1] / count));
  }
};

// The median times per call and the ratios ours / C library per case, from the medians
// and from the fastest repetitions: other work on the machine only ever adds time, so the
// fastest is the steadier figure.
void print_ratios(const TimeRecorder& recorder) {
  std::printf("\n%-8s %-30s %10s %10s %8s %8s\n", "locale", "case", "ours ns", "libc ns", "median",
              "fastest");
  for (const char* locale : {"C", "C.UTF-8"}) {
    Means typical;
    Means pathological;
    for (int i = 0; i < case_count; ++i) {
      const Case& c = case_at(i);
      char name[128];
      std::snprintf(name, sizeof name, "%s/%s/%zu", locale, c.name, c.string.size());
      auto ours = recorder.times.find(std::string("ours/") + name);
      auto libc = recorder.times.find(std::string("libc/") + name);
      if (ours == recorder.times.end() || libc == recorder.times.end()) continue;
      const TimeRecorder::Times& o = ours->second;
      const TimeRecorder::Times& l = libc->second;
      double median_ratio = o.median / l.median;
      double fastest_ratio = o.fastest / l.fastest;
      std::printf("%-8s %-30s %10.1f %10.1f %8.2f %8.2f\n", locale, name + std::strlen(locale) + 1,
                  o.median, l.median, median_ratio, fastest_ratio);
      (c.pathological ? pathological : typical).add(median_ratio, fastest_ratio);
    }
    typical.print(locale, "geometric mean, typical");
    pathological.print(locale, "geometric mean, pathological");
  }
}

void register_all() {
  for (const char* locale : {"C", "C.UTF-8"}) {
    for (int i = 0; i < case_count; ++i) {
      const Case& c = case_at(i);
      char name[128];
      std::snprintf(name, sizeof name, "ours/%s/%s/%zu", locale, c.name, c.string.size());
      benchmark::RegisterBenchmark(name, run_ours, locale, i)->ComputeStatistics("min", fastest_of);
      name[0] = 'l', name[1] = 'i', name[2] = 'b', name[3] = 'c';
      benchmark::RegisterBenchmark(name, run_libc, locale, i)->ComputeStatistics("min", fastest_of);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!results_agree("C") || !results_agree("C.UTF-8")) {
    std::fputs("fnmatch_bench: ours and the C library's disagree on a case\n", stderr);
    return 1;
  }
  register_all();
  benchmark::Initialize(&argc, argv);
  TimeRecorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);
  benchmark::Shutdown();
  print_ratios(recorder);
  return 0;
}
