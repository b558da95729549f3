// SPDX-License-Identifier: MIT
// Keeping a record in the trace stand-in's ring only, against keeping it and
// appending it to the record file (YTRACE_FILE in a fresh folder under /tmp). The
// stand-in reads its environment once per process, so each case runs in a child of
// its own; the ratio of the two is printed at the end.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "times_reporter.h"
#include "ytrace.h"

namespace {

const unsigned char kIdentity[16] = {0xb0};

void emit(benchmark::State &state) {
  uint32_t i = 0;
  for (auto _ : state) __YTf_14(kIdentity, 1, 0, 3u << 24, "benchmark", i++);
}

// Runs the benchmark as `name` in a child whose YTRACE_FILE is `file` (nullptr:
// unset); returns its time per record, or 0 when it failed.
double run_in_child(const char *name, const char *file) {
  int answer[2];
  if (pipe(answer) != 0) return 0;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    file != nullptr ? setenv("YTRACE_FILE", file, 1) : unsetenv("YTRACE_FILE");
    benchmark::RegisterBenchmark(name, emit);
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double time = reporter.time(name);
    fflush(nullptr);
    _exit(write(answer[1], &time, sizeof time) == sizeof time ? 0 : 1);
  }
  close(answer[1]);
  double time = 0;
  if (read(answer[0], &time, sizeof time) != sizeof time) time = 0;
  close(answer[0]);
  waitpid(pid, nullptr, 0);
  return time;
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  char dir[] = "/tmp/ytrace_file_bench_XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  std::string file = std::string(dir) + "/trace";
  double ring = run_in_child("emit/ring", nullptr);
  double to_file = run_in_child("emit/file", file.c_str());
  struct stat st;
  bool written = stat(file.c_str(), &st) == 0 && st.st_size > 0;
  std::filesystem::remove_all(dir);
  if (ring <= 0 || to_file <= 0 || !written) {
    fprintf(stderr, "trace_file_bench: a case failed or wrote no file\n");
    return 1;
  }
  printf("\nfile / ring (real time): %.2f\n", to_file / ring);
  benchmark::Shutdown();
  return 0;
}
