// SPDX-License-Identifier: MIT
// What a record costs the trace stand-in kept in its ring only, kept and written
// to the record file (YTRACE_FILE), and, beside them, the same record as an
// LTTng-UST tracepoint recorded to disk, without and with blocking. Each case emits
// kRecords from one thread and from two at once, in a process of its own (the
// stand-in reads its environment once per process; LTTng-UST registers when
// loaded), and the cases take turns, round after round. The file and the LTTng
// trace lie in one fresh folder under /tmp.
//
// Usage: trace_file_bench [ROUNDS]   (default 5)
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <latch>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ytrace.h"
#include "ytrace_file_format.h"

namespace {

constexpr uint32_t kRecords = 2'000'000;  // timed, per case, all threads together
// Each process emits one record before the timed ones: the first opens the file
// or meets the LTTng session, a cost a process pays once.
constexpr uint32_t kEmitted = kRecords + 1;
constexpr char kText[] = "bench_record";  // 12 characters
static_assert(sizeof kText == 13);
const unsigned char kIdentity[16] = {0xb0};

enum class System { ring, file, lttng, lttng_blocking };
constexpr const char *kSystemNames[] = {"ring", "file", "lttng", "lttng-blocking"};

struct Case {
  System system;
  int threads;
};

struct Outcome {
  double ns = 0;     // wall time per record; 0: the case failed
  double bytes = 0;  // on disk per record kept
  uint64_t lost = 0;
};

using Emit = void (*)(const char *, uint32_t);

void emit_to_standin(const char *text, uint32_t value) {
  __YTf_14(kIdentity, 1, 0, 3u << 24, text, value);
}

// Wall nanoseconds per record while `threads` threads emit kRecords in all.
double time_records(Emit emit, int threads) {
  emit(kText, 0);
  std::latch start(1);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      start.wait();
      for (uint32_t i = t; i < kRecords; i += threads) emit(kText, i);
    });
  }
  auto began = std::chrono::steady_clock::now();
  start.count_down();
  for (std::thread &w : workers) w.join();
  std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - began;
  return took.count() / kRecords;
}

// In a child: the emit function of `system`, the environment set for it; null
// when it cannot be had.
Emit prepare_emit(System system, const std::string &file) {
  switch (system) {
    case System::ring:
      unsetenv("YTRACE_FILE");
      return emit_to_standin;
    case System::file:
      setenv("YTRACE_FILE", file.c_str(), 1);
      return emit_to_standin;
    case System::lttng_blocking:
      setenv("LTTNG_UST_ALLOW_BLOCKING", "1", 1);
      [[fallthrough]];
    case System::lttng:
#ifdef YTRACE_BENCH_LTTNG
      if (void *module = dlopen(YTRACE_BENCH_LTTNG_MODULE, RTLD_NOW)) {
        return reinterpret_cast<Emit>(dlsym(module, "ytrace_bench_lttng_emit"));
      }
#endif
      return nullptr;
  }
  return nullptr;
}

// Times `c` in a child; 0 when it failed.
double time_in_child(const Case &c, const std::string &file) {
  int answer[2];
  if (pipe(answer) != 0) return 0;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    Emit emit = prepare_emit(c.system, file);
    double ns = emit != nullptr ? time_records(emit, c.threads) : 0;
    _exit(write(answer[1], &ns, sizeof ns) == sizeof ns ? 0 : 1);
  }
  close(answer[1]);
  double ns = 0;
  if (pid < 0 || read(answer[0], &ns, sizeof ns) != sizeof ns) ns = 0;
  close(answer[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return ns;
}

// The bytes of a record file in use: the blocks handed out so far, the header's
// included, each whole (a block's unused end is spent all the same); the zero
// bytes the file is extended by ahead are left out. 0 when the file is not a
// record file or recording stopped.
uint64_t record_file_bytes(const std::string &path) {
  unsigned char header[YTRACE_FILE_HEADER_SIZE] = {};
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  size_t got = fread(header, 1, sizeof header, f);
  fclose(f);
  auto u32 = [&](int at) {
    return uint32_t{header[at]} | uint32_t{header[at + 1]} << 8 | uint32_t{header[at + 2]} << 16 |
           uint32_t{header[at + 3]} << 24;
  };
  if (got != sizeof header || memcmp(header, YTRACE_FILE_MAGIC, 4) != 0 ||
      u32(YTRACE_FILE_STOPPED_OFFSET) != 0) {
    return 0;
  }
  return uint64_t{u32(YTRACE_FILE_TAKEN_OFFSET)} * YTRACE_BLOCK_SIZE;
}

#ifdef YTRACE_BENCH_LTTNG
// Runs the shell command `line`; its output (both streams) in *out.
bool command(const std::string &line, std::string *out) {
  out->clear();
  FILE *p = popen((line + " 2>&1").c_str(), "r");
  if (p == nullptr) return false;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, p)) > 0;) out->append(chunk, n);
  return pclose(p) == 0;
}

bool lttng(const std::string &args, std::string *out) {
  return command(YTRACE_BENCH_LTTNG " " + args, out);
}

// The sizes of every file below `dir` (an LTTng trace: streams, metadata, index).
uint64_t folder_bytes(const std::string &dir) {
  uint64_t total = 0;
  std::error_code error;
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir, error)) {
    if (e.is_regular_file()) total += e.file_size();
  }
  return total;
}

std::string lttng_unusable() {
  std::string out;
  if (lttng("list", &out)) return "";
  return "lttng list failed (is a session daemon running?): " + out.substr(0, out.find('\n'));
}

// The events in the trace under `dir`, as babeltrace2 counts them: the records
// kept, and so those lost, measured in the trace itself (lttng's own count of
// discarded events once read nonsense here, over 2^63). 0 when it cannot tell.
uint64_t events_in_trace(const std::string &dir) {
  std::string out;
  if (!command(YTRACE_BENCH_BABELTRACE2 " -c sink.utils.counter " + dir, &out)) return 0;
  size_t count = out.rfind(" Event messages");  // the last of the counter's reports
  return count == std::string::npos
             ? 0
             : strtoull(out.c_str() + out.rfind('\n', count) + 1, nullptr, 10);
}

// One session per run, in its own output folder: per-UID buffers, the channel's
// defaults otherwise (discarding when full) or, for lttng-blocking, waiting for
// room as long as needed. Empty, or why it failed.
std::string run_lttng(const Case &c, const std::string &dir, Outcome *o) {
  std::string session = "ytrace-bench-" + std::to_string(getpid()), s = " -s " + session, out;
  const char *blocking = c.system == System::lttng_blocking ? " --blocking-timeout=inf" : "";
  if (!lttng("create " + session + " --output=" + dir, &out)) return out;
  std::string why;
  if (!lttng("enable-channel -u --buffers-uid records" + s + blocking, &out) ||
      !lttng("enable-event -u -c records ytrace_bench:record" + s, &out) ||
      !lttng("start " + session, &out)) {
    why = out;
  } else if ((o->ns = time_in_child(c, "")) == 0) {
    why = "the child failed";
  } else if (!lttng("stop " + session, &out)) {
    why = out;
  }
  lttng("destroy " + session, &out);
  if (!why.empty()) return why;
  uint64_t kept = events_in_trace(dir);
  if (kept == 0 || kept > kEmitted) return "babeltrace2 found " + std::to_string(kept) + " events";
  o->lost = kEmitted - kept;
  o->bytes = double(folder_bytes(dir)) / double(kept);
  return "";
}
#else
std::string lttng_unusable() {
  return "built without them (CMake found no lttng-ust by pkg-config, or no lttng or babeltrace2 "
         "command)";
}
#endif

// Runs `c` once, its file or trace in `dir`. Empty, or why it failed.
std::string run(const Case &c, const std::string &dir, Outcome *o) {
  std::filesystem::remove_all(dir);
  if (c.system == System::ring || c.system == System::file) {
    std::string file = dir + ".trace";
    std::filesystem::remove(file);
    o->ns = time_in_child(c, c.system == System::file ? file : "");
    if (c.system == System::file) {
      o->bytes = double(record_file_bytes(file)) / kEmitted;
      std::filesystem::remove(file);
      if (o->bytes == 0) return "no record file, or recording stopped";
    }
    return o->ns > 0 ? "" : "the child failed";
  }
#ifdef YTRACE_BENCH_LTTNG
  std::string why = run_lttng(c, dir, o);
  std::filesystem::remove_all(dir);
  return why;
#else
  return "built without LTTng";
#endif
}

double median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 5;
  if (rounds < 1) {
    fprintf(stderr, "usage: trace_file_bench [ROUNDS]\n");
    return 2;
  }
  char dir[] = "/tmp/ytrace_file_bench_XXXXXX";
  if (mkdtemp(dir) == nullptr) return 1;
  std::vector<Case> cases;
  for (System s : {System::ring, System::file, System::lttng, System::lttng_blocking}) {
    for (int threads : {1, 2}) cases.push_back({s, threads});
  }
  if (std::string why = lttng_unusable(); !why.empty()) {
    printf("LTTng cases skipped: %s\n", why.c_str());
    std::erase_if(cases, [](const Case &c) { return c.system >= System::lttng; });
  }
  std::map<std::pair<System, int>, std::vector<Outcome>> outcomes;
  int failed = 0;
  printf("%-5s %-14s %7s %10s %11s %12s\n", "round", "system", "threads", "ns/record", "bytes/rec.",
         "records lost");
  for (int round = 1; round <= rounds; ++round) {
    for (const Case &c : cases) {
      Outcome o;
      std::string why = run(c, std::string(dir) + "/run", &o);
      const char *name = kSystemNames[int(c.system)];
      if (!why.empty()) {
        fprintf(stderr, "trace_file_bench: %s, %d threads: %s\n", name, c.threads, why.c_str());
        ++failed;
        continue;
      }
      printf("%-5d %-14s %7d %10.1f %11.1f %12llu\n", round, name, c.threads, o.ns, o.bytes,
             static_cast<unsigned long long>(o.lost));
      outcomes[{c.system, c.threads}].push_back(o);
    }
    std::reverse(cases.begin(), cases.end());
  }
  std::filesystem::remove_all(dir);
  // Medians of the rounds, with their spread; records lost in all rounds together.
  std::map<std::pair<System, int>, Outcome> m;
  printf("\nmedians of %d rounds:\n", rounds);
  for (auto &[key, runs] : outcomes) {
    std::vector<double> ns, bytes;
    Outcome &med = m[key];
    for (const Outcome &o : runs) {
      ns.push_back(o.ns);
      bytes.push_back(o.bytes);
      med.lost += o.lost;
    }
    med.ns = median(ns);
    med.bytes = median(bytes);
    auto [fastest, slowest] = std::minmax_element(ns.begin(), ns.end());
    printf(
        "  %-14s threads %d: %6.1f ns/record (%5.1f to %5.1f), %5.1f bytes/record, %llu of %llu "
        "lost\n",
        kSystemNames[int(key.first)], key.second, med.ns, *fastest, *slowest, med.bytes,
        static_cast<unsigned long long>(med.lost),
        static_cast<unsigned long long>(uint64_t{kEmitted} * runs.size()));
  }
  printf("\nratios of the medians:\n");
  for (System base : {System::ring, System::lttng, System::lttng_blocking}) {
    for (int threads : {1, 2}) {
      if (m.count({base, threads}) == 0 || m.count({System::file, threads}) == 0) continue;
      const Outcome &f = m[{System::file, threads}], &b = m[{base, threads}];
      printf("  file / %-14s threads %d: %5.2f ns/record", kSystemNames[int(base)], threads,
             f.ns / b.ns);
      if (b.bytes > 0)
        printf(", %5.2f bytes/record (%.1f / %.1f)", f.bytes / b.bytes, f.bytes, b.bytes);
      printf("\n");
    }
  }
  return failed == 0 ? 0 : 1;
}
