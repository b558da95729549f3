// SPDX-License-Identifier: MIT
// The header and entries of a trace record file (ytrace_file_format.h), read
// from bytes with every length checked against the bytes there are.
#ifndef YTRACE_DECODE_TRACE_ENTRIES_H
#define YTRACE_DECODE_TRACE_ENTRIES_H

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "printf_format.h"
#include "ytrace_file_format.h"

namespace ytdec {

// The longest entry the writer makes: 255 arguments, each a string of the
// longest length it writes, padded. A longer size is damage, not an entry to
// wait for.
inline constexpr size_t kMaxEntrySize =
    (YTRACE_RECORD_FIXED_SIZE + 255 * (1 + 2 + YTRACE_FILE_STRING_MAX) + YTRACE_ENTRY_ALIGN - 1) /
    YTRACE_ENTRY_ALIGN * YTRACE_ENTRY_ALIGN;

struct Entry {
  uint32_t size = 0;
  uint8_t kind = 0;
  uint64_t time_ns = 0;
  uint32_t pid = 0, tid = 0;
  uint16_t module = 0;
  std::string_view name;              // registration
  const uint8_t *identity = nullptr;  // record: YTRACE_FILE_IDENTITY_SIZE bytes
  uint32_t index = 0;
  uint32_t level_word = 0;
  std::vector<Arg> args;
};

enum class Scan {
  kComplete,
  kPart,       // written, but its bytes go on past these
  kUnwritten,  // an entry reserved (its size is there), its kind 0 or not there yet
  kNothing,    // nothing written there yet: no header, or no entry's size (0)
  kDamaged,
};

// The file header at the start of `bytes`; on kComplete and kPart *size is its
// length.
Scan scan_header(std::string_view bytes, size_t *size, std::string *why);
// The entry at the start of `bytes` (names and strings point into them); its
// size is set on kComplete, kPart and kUnwritten. An entry of an unknown kind
// is complete with nothing but its common fields read.
Scan scan_entry(std::string_view bytes, Entry *out, std::string *why);

}  // namespace ytdec

#endif
