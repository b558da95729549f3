// SPDX-License-Identifier: MIT
// Cost of one append to the string buffer, per typical piece, against a plain
// vsnprintf into a char array and against measuring first and formatting again.
// Prints the ratios after the runs, from the median of the repetitions.
#include <benchmark/benchmark.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <random>
#include <string>

#include "times_reporter.h"
#include "yutil_string_buff.h"

namespace {

constexpr int kBatch = 1000;           // appends per timed iteration
constexpr uint32_t kCapacity = 65536;  // a batch of the longest piece always fits
constexpr int kMask = 255;

int g_ints[kMask + 1];
unsigned g_uns[kMask + 1];
const char *g_keys[kMask + 1];

void fill_arguments() {
  static const char *const names[] = {"temp", "volt", "fan2", "rpm", "load_avg", "uptime", "rx"};
  std::mt19937 rng(7);
  for (int k = 0; k <= kMask; k++) {
    g_ints[k] = static_cast<int>(rng()) >> (rng() % 31);  // every magnitude and sign
    g_uns[k] = rng();
    g_keys[k] = names[rng() % 7];
  }
}

// The three pieces, spelled once; EMIT is the way of appending under test. The
// last one is 60 characters long.
#define PIECE(piece, k, EMIT)                 \
  ((piece) == 0 ? EMIT("%d", g_ints[k])       \
   : (piece) == 1                             \
       ? EMIT("%s=%d;", g_keys[k], g_ints[k]) \
       : EMIT("unit %-9s logged %10u samples in window; state ok", g_keys[k], g_uns[k]))
const char *const kPieceNames[] = {"int", "key_value", "line60"};

__attribute__((noinline, format(printf, 3, 4))) int plain_append(char *dst, size_t room,
                                                                 const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = vsnprintf(dst, room, format, args);
  va_end(args);
  return n;
}

// Baseline: measure with a null destination, then format again into the room.
__attribute__((noinline, format(printf, 2, 3))) int two_pass_printf(yutil_string_buff_s *b,
                                                                    const char *format, ...) {
  if (b == nullptr || b->magic != YUTIL_STRING_BUFF_MAGIC || b->text == nullptr || b->overflow)
    return 0;
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  int n = vsnprintf(nullptr, 0, format, args);
  int room = static_cast<int>(b->capacity - b->len);
  if (n < 0 || n >= room) {
    if (n >= 0) b->overflow = 1;
    n = 0;
  } else {
    n = vsnprintf(b->text + b->len, static_cast<size_t>(room), format, again);
    b->len += static_cast<uint32_t>(n);
  }
  va_end(again);
  va_end(args);
  return n;
}

void *bench_alloc(uint32_t size) {
  return malloc(size);
}

template <int Piece>
void BM_plain(benchmark::State &state) {
  static char text[kCapacity];
  for (auto _ : state) {
    size_t off = 0;
    for (int i = 0; i < kBatch; i++) {
#define PLAIN(...) plain_append(text + off, sizeof text - off, __VA_ARGS__)
      off += static_cast<size_t>(PIECE(Piece, i & kMask, PLAIN));
    }
    benchmark::DoNotOptimize(text);
    benchmark::ClobberMemory();
  }
}

// A fresh buffer per batch, created and freed inside the timing.
template <int Piece, bool OnePass>
void BM_buffer(benchmark::State &state) {
  for (auto _ : state) {
    yutil_string_buff_s *b = nullptr;
    if (yutil_string_buff_init(&b, bench_alloc, free, kCapacity) != 0) {
      state.SkipWithError("init failed");
      break;
    }
    for (int i = 0; i < kBatch; i++) {
#define ONE_PASS(...) yutil_string_buff_printf(b, __VA_ARGS__)
#define TWO_PASS(...) two_pass_printf(b, __VA_ARGS__)
      int n = OnePass ? PIECE(Piece, i & kMask, ONE_PASS) : PIECE(Piece, i & kMask, TWO_PASS);
      benchmark::DoNotOptimize(n);
    }
    if (b->overflow) state.SkipWithError("batch overflowed");
    yutil_string_buff_free(b);
  }
}

#define REGISTER_PIECE(p)                                                                   \
  BENCHMARK_TEMPLATE(BM_plain, p)->Name(std::string(kPieceNames[p]) + "/plain");            \
  BENCHMARK_TEMPLATE(BM_buffer, p, false)->Name(std::string(kPieceNames[p]) + "/two_pass"); \
  BENCHMARK_TEMPLATE(BM_buffer, p, true)->Name(std::string(kPieceNames[p]) + "/one_pass")
REGISTER_PIECE(0);
REGISTER_PIECE(1);
REGISTER_PIECE(2);

}  // namespace

int main(int argc, char **argv) {
  fill_arguments();
  benchmark::Initialize(&argc, argv);
  TimesReporter reporter(TimesReporter::Clock::cpu);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Per piece: ns per append and the ratios.
  printf("\n%-10s %10s %10s %10s %15s %18s\n", "piece", "plain ns", "2-pass ns", "1-pass ns",
         "1-pass/plain", "1-pass/2-pass");
  for (std::string piece : kPieceNames) {
    double plain = reporter.time(piece + "/plain"), two = reporter.time(piece + "/two_pass"),
           one = reporter.time(piece + "/one_pass");
    if (plain == 0 || two == 0 || one == 0) continue;  // filtered out
    printf("%-10s %10.2f %10.2f %10.2f %15.3f %18.3f\n", piece.c_str(), plain / kBatch,
           two / kBatch, one / kBatch, one / plain, one / two);
  }
  benchmark::Shutdown();
  return 0;
}
