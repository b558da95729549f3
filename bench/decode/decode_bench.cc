// SPDX-License-Identifier: MIT
// Records decoded per second by ytrace-decode's library, on a trace of typical
// records: the library's own messages as its families emit them, from four
// processes of several threads, each thread's in blocks of its own, a key check
// continued by its bytes. The file is decoded from memory with the lines
// counted, or read from a file with the lines written to /dev/null, as the
// command does.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <string>
#include <tuple>

#include "entry_builder.h"
#include "trace.h"
#include "ytrace_decode.h"
#include "ytrace_file_format.h"

namespace {

namespace b = ytdec::build;

constexpr int kRounds = 10000;

template <typename Msg>
uint32_t index(Msg msg) {
  return static_cast<uint32_t>(msg);
}

struct Trace {
  std::string bytes;
  int64_t records = 0;
};

// The blocks of each thread as its writer fills them: a site defined in each
// block before its first record there, a block closed when the next entry does
// not fit.
class Blocks {
 public:
  void add(uint32_t pid, uint32_t tid, uint64_t time, const ytcat::Identity &catalog,
           uint32_t index, uint16_t module, const char *module_name, uint32_t level_word,
           const std::vector<b::Value> &args) {
    Open &o = open_[{pid, tid}];
    const auto key = std::make_tuple(catalog, index, level_word);
    auto site = o.sites.find(key);
    std::string entries;
    const uint16_t id = site == o.sites.end() ? uint16_t(o.sites.size() + 1) : site->second;
    if (site == o.sites.end()) {
      entries = b::definition(id, catalog, index, level_word, module, module_name, b::tags(args));
    }
    entries += b::record(id, time, args);
    if (YTRACE_BLOCK_HEADER_SIZE + o.entries.size() + entries.size() + 4 > YTRACE_BLOCK_SIZE) {
      close(pid, tid, o);
      add(pid, tid, time, catalog, index, module, module_name, level_word, args);
      return;
    }
    if (o.entries.empty()) o.taken = time;
    o.entries += entries;
    o.sites.emplace(key, id);
  }
  std::string file() {
    for (auto &[thread, o] : open_) close(thread.first, thread.second, o);
    return b::file(blocks_, YTRACE_BLOCK_SIZE);
  }

 private:
  struct Open {
    std::string entries;
    uint64_t taken = 0;
    std::map<std::tuple<ytcat::Identity, uint32_t, uint32_t>, uint16_t> sites;
  };
  void close(uint32_t pid, uint32_t tid, Open &o) {
    blocks_.push_back(b::block({pid, tid, 0, o.taken}, o.entries + b::head(YTRACE_HEAD_CLOSED),
                               YTRACE_BLOCK_SIZE));
    o = Open{};
  }
  std::map<std::pair<uint32_t, uint32_t>, Open> open_;
  std::vector<std::string> blocks_;
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
  Blocks blocks;
  uint64_t time = 1700000000000000000;
  for (uint32_t round = 0; round < kRounds; ++round) {
    const uint32_t pid = 100 + round % 4, tid = 1000 + round % 7;
    auto add = [&](const ytcat::Identity &c, uint32_t i, uint16_t module, const char *name,
                   uint32_t level_word, const std::vector<b::Value> &args) {
      blocks.add(pid, tid, ++time, c, i, module, name, level_word, args);
      ++t.records;
    };
    time += 1537;
    using ytrace::level_word;
    add(yenv, index(yenv_msg::GETENV_VALUE), 1, "yenv", level_word(ytrace::Level{4}),
        {"HOME", "/home/user"});
    add(yenv, index(yenv_msg::GET_U16), 1, "yenv", level_word(ytrace::Level{5}), {"PORT"});
    add(yenv, index(yenv_msg::U16_RANGE), 1, "yenv", level_word(ytrace::Level{3}),
        {"PORT", "70000"});
    add(yenv, index(yenv_msg::SET_U64), 1, "yenv", level_word(ytrace::Level{4}),
        {"LIMIT", uint64_t{1} << 40});
    add(yenv, index(yenv_msg::SETENV_FAILED), 1, "yenv", level_word(ytrace::Level{2}), {"LIMIT"});
    add(ycurs, index(ycurs_msg::EXACT_MATCH), 2, "ycurs", level_word(ytrace::Level{5}),
        {uint32_t{round % 400}});
    add(ycurs, index(ycurs_msg::CURRENT_BUFFER), 2, "ycurs", level_word(ytrace::Level{6}), {});
    for (uint32_t key : {27u, 91u, 65u}) {
      add(ycurs, index(ycurs_msg::BYTE_VALUE), 2, "ycurs",
          level_word(ytrace::Level{6}) | YTRACE_CONTINUATION, {key});
    }
    add(ycurs, index(ycurs_msg::GET_ATTRS_FAILED), 2, "ycurs", level_word(ytrace::Level{2}),
        {0u, "Not a tty"});
    add(paths, index(patch_utils_msg::PATH_NOT_PACKAGE), 0, "", level_word(ytrace::Level{3}), {});
  }
  t.bytes = blocks.file();
  return t;
}

void count_line(void *total, const char *, size_t length) {
  *static_cast<size_t *>(total) += length + 1;
}

void write_line(void *out, const char *line, size_t length) {
  fwrite(line, 1, length, static_cast<FILE *>(out));
  putc('\n', static_cast<FILE *>(out));
}

void decode(benchmark::State &state, bool from_file) {
  static const Trace trace = typical_trace();
  size_t total = 0;
  FILE *null = fopen("/dev/null", "w");
  const int fd = memfd_create("trace", MFD_CLOEXEC);
  if (fd < 0 || write(fd, trace.bytes.data(), trace.bytes.size()) != ssize_t(trace.bytes.size())) {
    state.SkipWithError("cannot write the trace file");
  }
  for (auto _ : state) {
    state.PauseTiming();
    ytrace_decoder_s *d =
        from_file ? ytrace_decoder_new(write_line, null) : ytrace_decoder_new(count_line, &total);
    if (ytrace_decoder_load(d, YUTIL_LIBRARY) != 0) state.SkipWithError(ytrace_decoder_error(d));
    state.ResumeTiming();
    int rc = from_file ? ytrace_decoder_read(d, fd)
                       : ytrace_decoder_bytes(d, trace.bytes.data(), trace.bytes.size());
    if ((rc | ytrace_decoder_end(d)) != 0) state.SkipWithError(ytrace_decoder_error(d));
    ytrace_decoder_free(d);
  }
  close(fd);
  fclose(null);
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(state.iterations() * trace.records);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(trace.bytes.size()));
}

BENCHMARK_CAPTURE(decode, from_memory_lines_counted, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, read_from_a_file_lines_written_to_dev_null, true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
