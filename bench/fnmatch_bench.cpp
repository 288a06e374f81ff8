// compat::fnmatch against the C library's fnmatch, on the same cases with the same flags,
// in the C locale and in C.UTF-8. Each case runs as ours/<locale>/<case> and
// libc/<locale>/<case>; compare the two times of a pair.
#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdio>
#include <string>

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
};

// `*a*a...*b` with `stars` stars against `length` a's: no match, and a matcher that
// backtracks over every star takes time exponential in the stars.
Case pathological(int stars, int length) {
  std::string pattern;
  for (int i = 1; i < stars; ++i) pattern += "*a";
  pattern += "*b";
  return {"pathological", pattern, std::string(static_cast<std::size_t>(length), 'a'), 0};
}

const Case& case_at(int index) {
  static const Case cases[] = {
      {"star_dot_c", "*.c", "src/foo/bar.c", 0},
      {"pathname_star_h", "*/*.h", "include/orva.h", compat::FNM_PATHNAME},
      {"range_star_digit", "[a-z]*[0-9]", "abc123", 0},
      {"casefold_star_C", "*.C", "src/foo/bar.c", compat::FNM_CASEFOLD},
      {"three_words", "*foo*bar*baz*",
       "/home/builder/orva-sdk/foo/src/lib/bar/include/tools/baz/version.h", 0},
      pathological(10, 1000),
      pathological(10, 2000),
      pathological(10, 4000),
  };
  return cases[index];
}
constexpr int case_count = 8;

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

void register_all() {
  for (const char* locale : {"C", "C.UTF-8"}) {
    for (int i = 0; i < case_count; ++i) {
      const Case& c = case_at(i);
      char name[128];
      std::snprintf(name, sizeof name, "ours/%s/%s/%zu", locale, c.name, c.string.size());
      benchmark::RegisterBenchmark(name, run_ours, locale, i);
      name[0] = 'l', name[1] = 'i', name[2] = 'b', name[3] = 'c';
      benchmark::RegisterBenchmark(name, run_libc, locale, i);
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
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
