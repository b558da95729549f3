// SPDX-License-Identifier: MIT
// A trace file through the decoder's C interface, read as ytrace-decode reads it,
// for the decoder's test and fuzz target. Every line must be printable text.
#ifndef YUTIL_TESTS_DECODE_DECODING_H
#define YUTIL_TESTS_DECODE_DECODING_H

#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "ytrace_decode.h"

struct Decoded {
  std::vector<std::string> lines;
  std::string error;    // empty when decoded to the end
  size_t at_end = 0;    // lines held for continuations until the input ended
  uint64_t offset = 0;  // where the decoder stopped in the first bytes
  bool operator==(const Decoded &) const = default;
};

inline void keep_line(void *to, const char *line, size_t length) {
  FUZZ_REQUIRE(strlen(line) == length, "line of %zu bytes holds a NUL", length);
  FUZZ_REQUIRE(
      std::none_of(line, line + length, [](unsigned char c) { return c < 0x20 || c == 0x7f; }),
      "control character in \"%s\"", line);
  static_cast<Decoded *>(to)->lines.emplace_back(line, length);
}

// Decodes `bytes` with the catalogs of `library` (none: null), reading `piece`
// bytes at a time from the decoder's offset until it goes no further; a
// follower then reads `later`, the file as writers have changed it since.
// Why the library could not be loaded goes to `load_error`.
inline Decoded decode_with(const char *library, std::string *load_error, const std::string &bytes,
                           size_t piece, bool follow, const std::string &later = "") {
  Decoded r;
  ytrace_decoder_s *d = ytrace_decoder_new(keep_line, &r);
  if (library != nullptr && ytrace_decoder_load(d, library) != 0)
    *load_error = ytrace_decoder_error(d);
  if (follow) ytrace_decoder_follow(d);
  int rc = 0;
  for (const std::string *file : {&bytes, &later}) {
    for (size_t at;
         rc == 0 && (at = static_cast<size_t>(ytrace_decoder_offset(d))) < file->size();) {
      rc = ytrace_decoder_feed(d, file->data() + at, std::min(piece, file->size() - at));
      if (ytrace_decoder_offset(d) == at) break;
    }
    if (file == &bytes) r.offset = ytrace_decoder_offset(d);
  }
  r.at_end = r.lines.size();
  if (ytrace_decoder_end(d) != 0 || rc != 0) r.error = ytrace_decoder_error(d);
  r.at_end = r.lines.size() - r.at_end;
  ytrace_decoder_free(d);
  return r;
}

#endif
