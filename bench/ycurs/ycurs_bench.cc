// SPDX-License-Identifier: MIT
// One long stream of plain bytes and xterm key sequences goes through a pty in
// chunks the line discipline holds whole; each reader decodes every chunk, and
// only the decoding is timed. The bare loop polls and reads one byte per call,
// as the key reader does, without decoding: the floor for this design, timed on
// every chunk beside each reader. Each runs on two streams: the function-key
// table's keys, and those with the extended keys as well, read through a context
// that loaded them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termcap.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "ncurses_reader.h"
#include "times_reporter.h"
#include "ycurs.h"
#include "ytrace_capture.h"

namespace {

struct Chunk {
  std::string bytes;
  std::vector<int> keys;  // what a decoder returns for them
};

int g_master = -1;
ycurs_ctx_s *g_ctxs[2];           // [extended]: with ycurs_keypad_extended
std::vector<Chunk> g_streams[2];  // [extended]: the extended keys mixed in

// Half plain letters, half keys of the tables `ctx` loaded, each as it decodes.
std::vector<Chunk> make_stream(size_t chunks, ycurs_ctx_s *ctx) {
  std::vector<std::pair<std::string, int>> keys;
  for (const ycurs_fkey_s *table : {ycurs_fkeys, ycurs_extended_keys}) {
    for (const ycurs_fkey_s *row = table; row->cap_name != nullptr; row++) {
      const char *seq = tgetstr(row->cap_name, nullptr);
      if (seq != nullptr && ycurs_key_defined(ctx->keytry, seq) == row->key_code)
        keys.emplace_back(seq, row->key_code);
    }
  }
  std::mt19937 random(42);
  std::vector<Chunk> out(chunks);
  for (Chunk &c : out) {
    for (;;) {
      std::string bytes;
      int key;
      if (random() % 2) {
        key = 'a' + static_cast<int>(random() % 26);
        bytes = std::string(1, static_cast<char>(key));
      } else {
        const auto &k = keys[random() % keys.size()];
        bytes = k.first, key = k.second;
      }
      if (c.bytes.size() + bytes.size() > 3000) break;  // the line discipline holds 4095
      c.bytes += bytes;
      c.keys.push_back(key);
    }
  }
  return out;
}

int pending() {
  int n = 0;
  ioctl(0, FIONREAD, &n);
  return n;
}

// Puts a chunk into the pty and waits until all of it is readable.
void feed(const Chunk &c) {
  if (write(g_master, c.bytes.data(), c.bytes.size()) != static_cast<ssize_t>(c.bytes.size()))
    abort();
  while (pending() < static_cast<int>(c.bytes.size())) usleep(50);
}

// Calls `getch` until every key of the chunk came back; -1 is "not yet".
template <typename Getch>
bool decode_keys(const Chunk &c, Getch getch) {
  size_t i = 0;
  for (long calls = 0; i < c.keys.size() && calls < 100000; calls++) {
    int k = getch();
    if (k < 0) continue;
    if (k != c.keys[i++]) return false;
  }
  return i == c.keys.size() && pending() == 0;
}

bool decode_bare(const Chunk &c) {
  size_t got = 0;
  for (long calls = 0; got < c.bytes.size() && calls < 100000; calls++) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(0, &readable);
    timeval no_wait = {0, 0};
    unsigned char byte;
    if (select(1, &readable, nullptr, nullptr, &no_wait) > 0 && read(0, &byte, 1) == 1) got++;
  }
  return got == c.bytes.size();
}

// Seconds `decode` takes over the chunk once it is all in the pty; 0 when it
// decoded something else.
template <typename Decode>
double timed(const Chunk &c, Decode decode) {
  feed(c);
  auto start = std::chrono::steady_clock::now();
  bool ok = decode(c);
  auto end = std::chrono::steady_clock::now();
  return ok ? std::chrono::duration<double>(end - start).count() : 0;
}

// Times `decode` on each chunk; `base`, when given, decodes the same chunk just
// before or after it, taking turns, so that the machine's drift falls on both
// alike: the counter "x_base" is the ratio of their summed times.
template <typename Decode, typename Base>
void run(benchmark::State &state, int64_t extended, Decode decode, Base base) {
  const std::vector<Chunk> &chunks = g_streams[extended];
  size_t next = 0, keys = 0;
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    const Chunk &c = chunks[next++ % chunks.size()];
    const bool base_first = next % 2 == 0;
    double b = base_first ? timed(c, base) : 0, t = timed(c, decode);
    if (!base_first) b = timed(c, base);
    if (t == 0 || b == 0) {
      state.SkipWithError("decoded keys differ from the stream");
      break;
    }
    state.SetIterationTime(t);
    ours += t;
    theirs += b;
    keys += c.keys.size();
  }
  state.counters["keys/s"] =
      benchmark::Counter(static_cast<double>(keys), benchmark::Counter::kIsRate);
  state.counters["x_base"] = ours / theirs;
}

void BM_ycurs_wgetch(benchmark::State &state) {
  ytrace_capture_set_level("ycurs", static_cast<int>(state.range(0)));
  ycurs_ctx_s *ctx = g_ctxs[state.range(1)];
  run(
      state, state.range(1),
      [ctx](const Chunk &c) { return decode_keys(c, [ctx] { return ycurs_wgetch(ctx); }); },
      decode_bare);
}
void BM_ncurses_wgetch(benchmark::State &state) {
  run(
      state, state.range(0), [](const Chunk &c) { return decode_keys(c, ncurses_getch); },
      decode_bare);
}

// Level 6: the trace stand-in keeps the record every call emits; -1: it keeps none.
BENCHMARK(BM_ycurs_wgetch)
    ->ArgsProduct({{6, -1}, {0, 1}})
    ->ArgNames({"kept_trace_level", "extended"})
    ->UseManualTime();
BENCHMARK(BM_ncurses_wgetch)->Arg(0)->Arg(1)->ArgName("extended")->UseManualTime();

}  // namespace

int main(int argc, char **argv) {
  g_master = posix_openpt(O_RDWR | O_NOCTTY);
  if (g_master < 0 || grantpt(g_master) || unlockpt(g_master)) return 1;
  int slave = open(ptsname(g_master), O_RDWR | O_NOCTTY);
  if (slave < 0 || dup2(slave, 0) < 0) return 1;
  setenv("TERM", "xterm", 1);
  for (int extended = 0; extended < 2; extended++) {
    ycurs_ctx_s *ctx = g_ctxs[extended] = ycurs_initterm();
    ycurs_cbreak(ctx);
    ycurs_noecho(ctx);
    ycurs_keypad(ctx, 1);
    if (extended) ycurs_keypad_extended(ctx);
    g_streams[extended] = make_stream(64, ctx);
  }
  if (!ncurses_start("xterm")) return 1;

  benchmark::Initialize(&argc, argv);
  TimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // The ratios the design is judged by, each reader's time over the bare loop's
  // on the same chunks; ncurses' against ycurs' through that common floor.
  for (const char *extended : {"0", "1"}) {
    const std::string stream = std::string("/extended:") + extended + "/manual_time";
    const double nc = reporter.counter("BM_ncurses_wgetch" + stream, "x_base");
    for (const char *level : {"6", "-1"}) {
      double y = reporter.counter(std::string("BM_ycurs_wgetch/kept_trace_level:") + level + stream,
                                  "x_base");
      if (y > 0 && nc > 0)
        printf(
            "ycurs (%s, kept trace level %s): %.3fx the bare loop's time, ncurses %.3fx: "
            "%.2fx the keys/s of ncurses\n",
            *extended == '1' ? "extended keys" : "twenty keys", level, y, nc, nc / y);
    }
  }
  benchmark::Shutdown();
  return 0;
}
