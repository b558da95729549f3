// SPDX-License-Identifier: MIT
// The file header, block headers and entries of a trace record file
// (ytrace_file_format.h), read from bytes with every length checked against
// the bytes there are.
#ifndef YTRACE_DECODE_TRACE_ENTRIES_H
#define YTRACE_DECODE_TRACE_ENTRIES_H

#include <stdint.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalog_reader.h"
#include "printf_format.h"
#include "ytrace_file_format.h"

namespace ytdec {

// Block sizes are multiples of the smallest page size a writer maps with.
inline constexpr uint32_t kBlockSizeUnit = 4096;

struct FileHeader {
  uint32_t block_size = 0;
  uint32_t taken = 0;    // blocks 1 .. taken - 1 have been handed out
  uint32_t stopped = 0;  // the first block a writer could not have, or 0
  uint32_t stop_errno = 0;
};

enum class HeaderScan { kComplete, kShort, kDamaged };

// The file header at the start of `bytes`; kShort if they end before it while
// agreeing with it so far.
HeaderScan scan_file_header(std::string_view bytes, FileHeader *out, std::string *why);

struct BlockHeader {
  uint32_t pid = 0, tid = 0;  // pid 0: not written yet
  uint64_t instance = 0;      // the process's start time, 0 if unknown
  uint64_t taken = 0;         // no record of the block is earlier
};

// The block header at the start of `bytes`, which hold YTRACE_BLOCK_HEADER_SIZE.
BlockHeader scan_block_header(std::string_view bytes);

// What a definition says of its site's records.
struct Site {
  ytcat::Identity catalog{};
  uint32_t index = 0;
  uint32_t level_word = 0;
  uint16_t module = 0;
  std::string module_name;  // as its process registered it; empty if it did not
  std::string tags;         // per argument its YTRACE_ARG_* type
};
using Sites = std::unordered_map<uint16_t, Site>;

struct Record {
  uint64_t time_ns = 0;
  const Site *site = nullptr;
  std::vector<Arg> args;  // strings point into the block's bytes
};

enum class Step {
  kRecord,      // *record is set
  kDefinition,  // added to the sites, or of a kind skipped
  kEnd,         // nothing written here yet, or no bytes read here
  kWriting,     // an entry being written
  kClosed,      // no more entries in the block
  kDamaged,
};

// The entry at `at` in a block of `block_size` bytes, `bytes` holding its
// first bytes; *size is the entry's size on kRecord and kDefinition.
Step scan_entry(std::string_view bytes, size_t at, size_t block_size, Sites *sites, Record *record,
                size_t *size, std::string *why);

}  // namespace ytdec

#endif
