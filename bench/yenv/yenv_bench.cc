// SPDX-License-Identifier: MIT
// ygetenv_u32 against the plain lookup it wraps (getenv and strtoull), with its
// trace records filtered out and kept, in environments of 10, 100 and 1000
// variables. Prints the ratios to the plain lookup of the same run at the end.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "times_reporter.h"
#include "yenv.h"
#include "ytrace_capture.h"

namespace {

const char *const kName = "BENCH_VALUE";

// `count` variables, the one read set last, so that every lookup scans them all.
void fill_environment(int64_t count) {
  clearenv();
  char name[32];
  for (int64_t i = 0; i + 1 < count; i++) {
    snprintf(name, sizeof name, "BENCH_FILL_%04d", static_cast<int>(i));
    setenv(name, "12345", 1);
  }
  setenv(kName, "4000000000", 1);
}

void plain(benchmark::State &state) {
  fill_environment(state.range(0));
  for (auto _ : state) {
    char *end = nullptr;
    unsigned long long v = strtoull(getenv(kName), &end, 10);
    benchmark::DoNotOptimize(v);
    benchmark::DoNotOptimize(end);
  }
}

void getter(benchmark::State &state, int max_level) {
  fill_environment(state.range(0));
  ytrace_capture_set_level("yenv", max_level);
  for (auto _ : state) {
    uint32_t v = 0;
    int res = ygetenv_u32(kName, &v);
    benchmark::DoNotOptimize(v);
    benchmark::DoNotOptimize(res);
  }
  ytrace_capture_set_level("yenv", 6);
  ytrace_capture_clear();
}

BENCHMARK(plain)->Arg(10)->Arg(100)->Arg(1000);
// Both records of a successful call are at level 6.
BENCHMARK_CAPTURE(getter, filtered, -1)->Arg(10)->Arg(100)->Arg(1000);
BENCHMARK_CAPTURE(getter, kept, 6)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  yenv_init();  // records under the module's own id, whose level is set above
  TimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printf("\nratio to getenv+strtoull (real time):\n");
  for (const std::string vars : {"10", "100", "1000"}) {
    printf("  %4s variables:", vars.c_str());
    for (const std::string mode : {"filtered", "kept"}) {
      double r = reporter.ratio("getter/" + mode + "/" + vars, "plain/" + vars);
      if (r > 0) printf("  %s %.2f", mode.c_str(), r);
    }
    printf("\n");
  }
  benchmark::Shutdown();
  return 0;
}
