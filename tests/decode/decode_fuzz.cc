// The trace decoder, through its C interface, on damaged trace and library
// files together, since what a record shows depends on the catalogs loaded.
// An input: a mode byte, a library image (u16 big-endian length, then its
// bytes; none if empty), then the trace file. Read whole and in reads of the
// mode's size, following or not, the file gives the same lines, offset and
// failure; each line is printable text, a failure names an offset in the file.
// Seeds: catalogs_fuzz's images with write_trace_samples' files.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "ytrace_decode.h"

namespace {

struct Decoded {
  std::vector<std::string> lines;
  std::string error;
  uint64_t offset = 0;
  bool operator==(const Decoded &) const = default;
};

void keep_line(void *to, const char *line, size_t length) {
  FUZZ_REQUIRE(strlen(line) == length, "line of %zu bytes holds a NUL", length);
  FUZZ_REQUIRE(
      std::none_of(line, line + length, [](unsigned char c) { return c < 0x20 || c == 0x7f; }),
      "control character in \"%s\"", line);
  static_cast<Decoded *>(to)->lines.emplace_back(line, length);
}

// Where the library image goes for the decoder to load it, gone at exit.
const std::string &library_file() {
  static char name[] = "/tmp/decode_fuzz_XXXXXX";
  static const std::string path = [] {
    close(mkstemp(name));
    atexit([] { unlink(name); });
    return std::string(name);
  }();
  return path;
}

// Reads `piece` bytes at a time from the decoder's offset, as ytrace-decode does.
Decoded decode(bool library, const std::string &trace, size_t piece, bool follow) {
  Decoded r;
  ytrace_decoder_s *d = ytrace_decoder_new(keep_line, &r);
  if (library && ytrace_decoder_load(d, library_file().c_str()) != 0) {
    std::string why = ytrace_decoder_error(d);
    FUZZ_REQUIRE(why.starts_with(library_file() + ": ") && why.size() > library_file().size() + 2,
                 "load failed with \"%s\"", why.c_str());
  }
  if (follow) ytrace_decoder_follow(d);
  int rc = 0;
  for (size_t at; rc == 0 && (at = static_cast<size_t>(ytrace_decoder_offset(d))) < trace.size();) {
    rc = ytrace_decoder_feed(d, trace.data() + at, std::min(piece, trace.size() - at));
    if (ytrace_decoder_offset(d) == at) break;
  }
  r.offset = ytrace_decoder_offset(d);
  if (ytrace_decoder_end(d) != 0) r.error = ytrace_decoder_error(d);
  ytrace_decoder_free(d);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  const uint8_t mode = in.byte();
  const std::string image = in.bytes(65535), trace = in.rest();
  const bool follow = mode & 0x80;
  const size_t piece = 16 + (mode & 0x7f);  // the header's size at least
  if (!image.empty()) {
    int fd = open(library_file().c_str(), O_WRONLY | O_TRUNC);
    FUZZ_REQUIRE(
        fd >= 0 && write(fd, image.data(), image.size()) == ssize_t(image.size()) && close(fd) == 0,
        "cannot write %s", library_file().c_str());
  }
  Decoded whole = decode(!image.empty(), trace, SIZE_MAX, follow);
  FUZZ_REQUIRE(whole.offset <= trace.size(), "offset %llu",
               static_cast<unsigned long long>(whole.offset));
  if (!whole.error.empty()) {
    size_t at = 0;
    FUZZ_REQUIRE(sscanf(whole.error.c_str(), "offset %zu: ", &at) == 1 && at <= trace.size(),
                 "error \"%s\"", whole.error.c_str());
  }
  Decoded pieces = decode(!image.empty(), trace, piece, follow);
  FUZZ_REQUIRE(pieces == whole,
               "in reads of %zu: %zu lines, offset %llu, error \"%s\"; whole: %zu, %llu, \"%s\"",
               piece, pieces.lines.size(), static_cast<unsigned long long>(pieces.offset),
               pieces.error.c_str(), whole.lines.size(),
               static_cast<unsigned long long>(whole.offset), whole.error.c_str());
  return 0;
}
