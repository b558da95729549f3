// SPDX-License-Identifier: MIT
// Builds the bytes of a trace record file as the trace stand-in writes them
// (ytrace_file_format.h), for the decoder's tests and benchmark.
#ifndef YTRACE_DECODE_ENTRY_BUILDER_H
#define YTRACE_DECODE_ENTRY_BUILDER_H

#include <stdint.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "catalog_reader.h"

namespace ytdec::build {

// Where and when an entry was written.
struct Origin {
  uint64_t time_ns = 0;
  uint32_t pid = 0, tid = 0;
};

// A string, a 32-bit or a 64-bit argument.
using Value = std::variant<std::string, uint32_t, uint64_t>;

// The file: its header, with the end of `entries`, then them.
std::string file(std::string_view entries);
// Entries, each padded to the alignment.
std::string registration(const Origin &o, uint16_t module, std::string_view name);
std::string record(const Origin &o, const ytcat::Identity &catalog, uint32_t index, uint16_t module,
                   uint32_t level_word, const std::vector<Value> &args);

}  // namespace ytdec::build

#endif
