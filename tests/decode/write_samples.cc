// SPDX-License-Identifier: MIT
// Writes the trace files ytrace-decode is run on into DIR: trace.ytrf, where two
// threads of a process write a record, a continued record, a record of a catalog
// no library carries and an entry never finished, in a file whose recording
// then stopped for want of space; and cut.ytrf, the same cut short inside an
// entry.
// Usage: write_trace_samples DIR LIBRARY
#include <errno.h>
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
  const uint32_t block_size = 4096;
  const uint64_t time = 1700000000123456789;
  const uint32_t l3 = ytrace::level_word(ytrace::Level{3}),
                 l5 = ytrace::level_word(ytrace::Level{5});
  const std::string starter = b::definition(1, yenv, static_cast<uint32_t>(yenv_msg::GETENV_VALUE),
                                            l3, 2, "yenv", b::tags({"", ""})) +
                              b::definition(2, ytcat::Identity{}, 4, l3, 2, "yenv", b::tags({0u})) +
                              b::record(1, time, {"HOME", "/root"}) +
                              b::record(2, time + 1100, {1u});
  const std::string byte_27 = b::record(2, time + 1001, {27u});
  const std::string worker =
      b::definition(1, ycurs, static_cast<uint32_t>(ycurs_msg::CURRENT_BUFFER), l5, 0, "", "") +
      b::definition(2, ycurs, static_cast<uint32_t>(ycurs_msg::BYTE_VALUE),
                    l5 | YTRACE_CONTINUATION, 0, "", b::tags({0u})) +
      b::record(1, time + 1000, {}) + byte_27 + b::record(2, time + 1002, {91u}) +
      b::head(YTRACE_HEAD_WRITING);
  const std::string trace = b::file({b::block({100, 101, 0, time}, starter, block_size),
                                     b::block({100, 102, 0, time}, worker, block_size)},
                                    block_size, 3, ENOSPC);
  const size_t in_byte_91 = trace.find(byte_27, 2 * block_size) + byte_27.size() + 6;
  std::filesystem::create_directories(argv[1]);
  std::ofstream(std::filesystem::path(argv[1]) / "trace.ytrf", std::ios::binary) << trace;
  std::ofstream(std::filesystem::path(argv[1]) / "cut.ytrf", std::ios::binary)
      << trace.substr(0, in_byte_91);
  return 0;
}
