// SPDX-License-Identifier: MIT
// The trace decoder, through its C interface, on damaged trace and library
// files together, since what a record shows depends on the catalogs loaded.
// An input: a mode byte, a library image (u16 big-endian length, then its
// bytes; none if empty), then the trace file. Decoded from memory and read from
// a file, the trace gives the same lines, notices and failure; when the mode's
// top bit is set, a follower's read of it hands out the first of those lines,
// and fails only as they end. Each line and notice is printable text, a
// failure names an offset in the file.
// Seeds: catalogs_fuzz's images with write_trace_samples' files.
#include <fcntl.h>
#include <unistd.h>

#include "decoding.h"

namespace {

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

void require_offset(const std::string &text, size_t size) {
  size_t at = 0;
  FUZZ_REQUIRE(sscanf(text.c_str(), "offset %zu: ", &at) == 1 && at <= size, "\"%s\"",
               text.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput in(data, size);
  const bool follow = in.byte() & 0x80;
  const std::string image = in.bytes(65535), trace = in.rest();
  if (!image.empty()) {
    int fd = open(library_file().c_str(), O_WRONLY | O_TRUNC);
    FUZZ_REQUIRE(
        fd >= 0 && write(fd, image.data(), image.size()) == ssize_t(image.size()) && close(fd) == 0,
        "cannot write %s", library_file().c_str());
  }
  const char *library = image.empty() ? nullptr : library_file().c_str();
  std::string why;
  Decoded whole = decode_with(library, &why, trace, Via::kMemory);
  FUZZ_REQUIRE(why.empty() || (why.starts_with(library_file() + ": ") &&
                               why.size() > library_file().size() + 2),
               "load failed with \"%s\"", why.c_str());
  if (!whole.error.empty()) require_offset(whole.error, trace.size());
  for (const std::string &notice : whole.notices) {
    if (!notice.starts_with("recording stopped early: ")) require_offset(notice, trace.size());
  }
  Decoded read = decode_with(library, &why, trace, Via::kFile);
  FUZZ_REQUIRE(read == whole, "read: %zu lines, %zu notices, error \"%s\"; whole: %zu, %zu, \"%s\"",
               read.lines.size(), read.notices.size(), read.error.c_str(), whole.lines.size(),
               whole.notices.size(), whole.error.c_str());
  if (follow) {
    Decoding d(library, true);
    d.write(trace);
    const Decoded &f = d.read();
    FUZZ_REQUIRE(f.lines.size() <= whole.lines.size() &&
                     std::equal(f.lines.begin(), f.lines.end(), whole.lines.begin()),
                 "a follower's %zu lines are not the first of %zu", f.lines.size(),
                 whole.lines.size());
    FUZZ_REQUIRE(f.error.empty() || f.error == whole.error, "a follower failed with \"%s\"",
                 f.error.c_str());
  }
  return 0;
}
