// SPDX-License-Identifier: MIT
// Records decoded per second by ytrace-decode's library, on a trace of typical
// records: the library's own messages as its families emit them, from four
// processes of several threads, a key check continued by its bytes. The lines
// are counted, or written to /dev/null as the command writes them.
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <algorithm>
#include <string>

#include "entry_builder.h"
#include "trace.h"
#include "ytrace_decode.h"

namespace {

namespace b = ytdec::build;

constexpr int kRounds = 10000;
constexpr size_t kReadSize = 1 << 16;  // what the command reads at a time

template <typename Msg>
uint32_t index(Msg msg) {
  return static_cast<uint32_t>(msg);
}

struct Trace {
  std::string bytes;
  int64_t records = 0;
};

Trace typical_trace() {
  ytcat::ReadResult lib = ytcat::read_catalog_file(YUTIL_LIBRARY);
  if (!lib.ok() || lib.file.catalogs.size() != 3) {
    fprintf(stderr, "cannot read the catalogs: %s\n", lib.error.c_str());
    exit(1);
  }
  const ytcat::Identity &ycurs = lib.file.catalogs[0].identity;
  const ytcat::Identity &yenv = lib.file.catalogs[1].identity;
  const ytcat::Identity &paths = lib.file.catalogs[2].identity;
  Trace t;
  for (uint32_t pid = 100; pid < 104; ++pid) {
    t.bytes +=
        b::registration({0, pid, pid}, 1, "yenv") + b::registration({0, pid, pid}, 2, "ycurs");
  }
  uint64_t time = 1700000000000000000;
  auto add = [&](const b::Origin &o, const ytcat::Identity &c, uint32_t i, uint16_t module,
                 uint32_t level_word, const std::vector<b::Value> &args) {
    t.bytes += b::record(o, c, i, module, level_word, args);
    ++t.records;
  };
  for (uint32_t round = 0; round < kRounds; ++round) {
    b::Origin o{time += 1537, 100 + round % 4, 1000 + round % 7};
    using ytrace::level_word;
    add(o, yenv, index(yenv_msg::GETENV_VALUE), 1, level_word(ytrace::Level{4}),
        {"HOME", "/home/user"});
    add(o, yenv, index(yenv_msg::GET_U16), 1, level_word(ytrace::Level{5}), {"PORT"});
    add(o, yenv, index(yenv_msg::U16_RANGE), 1, level_word(ytrace::Level{3}), {"PORT", "70000"});
    add(o, yenv, index(yenv_msg::SET_U64), 1, level_word(ytrace::Level{4}),
        {"LIMIT", uint64_t{1} << 40});
    add(o, yenv, index(yenv_msg::SETENV_FAILED), 1, level_word(ytrace::Level{2}), {"LIMIT"});
    add(o, ycurs, index(ycurs_msg::EXACT_MATCH), 2, level_word(ytrace::Level{5}),
        {uint32_t{round % 400}});
    add(o, ycurs, index(ycurs_msg::CURRENT_BUFFER), 2, level_word(ytrace::Level{6}), {});
    for (uint32_t key : {27u, 91u, 65u}) {
      add(o, ycurs, index(ycurs_msg::BYTE_VALUE), 2,
          level_word(ytrace::Level{6}) | YTRACE_CONTINUATION, {key});
    }
    add(o, ycurs, index(ycurs_msg::GET_ATTRS_FAILED), 2, level_word(ytrace::Level{2}),
        {0u, "Not a tty"});
    add(o, paths, index(patch_utils_msg::PATH_NOT_PACKAGE), 0, level_word(ytrace::Level{3}), {});
  }
  t.bytes = b::file(t.bytes);
  return t;
}

void count_line(void *total, const char *, size_t length) {
  *static_cast<size_t *>(total) += length + 1;
}

void write_line(void *out, const char *line, size_t length) {
  fwrite(line, 1, length, static_cast<FILE *>(out));
  putc('\n', static_cast<FILE *>(out));
}

void decode(benchmark::State &state, bool write) {
  static const Trace trace = typical_trace();
  size_t total = 0;
  FILE *null = fopen("/dev/null", "w");
  for (auto _ : state) {
    state.PauseTiming();
    ytrace_decoder_s *d =
        write ? ytrace_decoder_new(write_line, null) : ytrace_decoder_new(count_line, &total);
    if (ytrace_decoder_load(d, YUTIL_LIBRARY) != 0) state.SkipWithError(ytrace_decoder_error(d));
    state.ResumeTiming();
    for (size_t at = 0; at < trace.bytes.size() &&
                        ytrace_decoder_feed(d, trace.bytes.data() + at,
                                            std::min(kReadSize, trace.bytes.size() - at)) == 0;
         at = static_cast<size_t>(ytrace_decoder_offset(d))) {
    }
    if (ytrace_decoder_end(d) != 0) state.SkipWithError(ytrace_decoder_error(d));
    ytrace_decoder_free(d);
  }
  fclose(null);
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(state.iterations() * trace.records);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(trace.bytes.size()));
}

BENCHMARK_CAPTURE(decode, lines_counted, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, lines_written_to_dev_null, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
