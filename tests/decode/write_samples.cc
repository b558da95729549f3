// SPDX-License-Identifier: MIT
// Writes the trace files ytrace-decode is run on into DIR: trace.ytrf, where a
// process registers a module and emits a record, a continued record, a record
// whose writer never finished it and a record of a catalog no library carries,
// then zero bytes allocated ahead; and cut.ytrf, the same cut short.
// Usage: write_trace_samples DIR LIBRARY
#include <stdio.h>

#include <filesystem>
#include <fstream>

#include "entry_builder.h"
#include "trace.h"
#include "ytrace_file_format.h"

namespace b = ytdec::build;

int main(int argc, char **argv) {
  ytcat::ReadResult lib = ytcat::read_catalog_file(argc == 3 ? argv[2] : "");
  if (!lib.ok() || lib.file.catalogs.size() < 2) {
    fprintf(stderr, "usage: write_trace_samples DIR LIBRARY (%s)\n", lib.error.c_str());
    return 2;
  }
  const ytcat::Identity &ycurs = lib.file.catalogs[0].identity;
  const ytcat::Identity &yenv = lib.file.catalogs[1].identity;
  const b::Origin starter{1700000000123456789, 100, 101}, worker{1700000000123457789, 100, 102};
  auto byte = [&](uint32_t value) {
    return b::record(worker, ycurs, static_cast<uint32_t>(ycurs_msg::BYTE_VALUE), 0,
                     ytrace::level_word(ytrace::Level{5}) | YTRACE_CONTINUATION, {value});
  };
  std::string unwritten = byte(65);
  unwritten[YTRACE_ENTRY_KIND_OFFSET] = 0;
  std::string trace = b::file(
      b::registration(starter, 2, "yenv") +
      b::record(starter, yenv, static_cast<uint32_t>(yenv_msg::GETENV_VALUE), 2,
                ytrace::level_word(ytrace::Level{3}), {"HOME", "/root"}) +
      b::record(worker, ycurs, static_cast<uint32_t>(ycurs_msg::CURRENT_BUFFER), 0,
                ytrace::level_word(ytrace::Level{5}), {}) +
      byte(27) + byte(91) + unwritten +
      b::record(starter, ytcat::Identity{}, 4, 2, ytrace::level_word(ytrace::Level{3}), {1u}));
  std::filesystem::create_directories(argv[1]);
  std::ofstream(std::filesystem::path(argv[1]) / "trace.ytrf", std::ios::binary)
      << trace + std::string(64, '\0');
  std::ofstream(std::filesystem::path(argv[1]) / "cut.ytrf", std::ios::binary)
      << trace.substr(0, trace.size() - 1);
  return 0;
}
