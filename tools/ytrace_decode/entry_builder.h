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

// A string, a 32-bit or a 64-bit argument.
using Value = std::variant<std::string, uint32_t, uint64_t>;

// Entries, each padded to the alignment.
// Site `site` of a block: its records' message, level word, module (its name as
// registered, or "") and argument types (YTRACE_ARG_*, one byte each).
std::string definition(uint16_t site, const ytcat::Identity &catalog, uint32_t index,
                       uint32_t level_word, uint16_t module, std::string_view module_name,
                       std::string_view tags);
// The argument types of these values, as definition() takes them.
std::string tags(const std::vector<Value> &args);
std::string record(uint16_t site, uint64_t time_ns, const std::vector<Value> &args);
// A head alone: 0, YTRACE_HEAD_WRITING or YTRACE_HEAD_CLOSED.
std::string head(uint32_t value);

// Who wrote a block, and when it was taken; pid 0: its header is not written.
struct Writer {
  uint32_t pid = 0, tid = 0;
  uint64_t instance = 0;
  uint64_t taken = 0;
};

// A block of `block_size` bytes: its header, the entries, then zero bytes.
std::string block(const Writer &w, std::string_view entries, uint32_t block_size);
// The file: its header, which says these blocks were taken, and the blocks.
std::string file(const std::vector<std::string> &blocks, uint32_t block_size, uint32_t stopped = 0,
                 uint32_t stop_errno = 0);

}  // namespace ytdec::build

#endif
