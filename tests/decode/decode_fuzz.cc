// SPDX-License-Identifier: MIT
// The trace decoder, through its C interface, on damaged trace and library
// files together, since what a record shows depends on the catalogs loaded.
// An input: a mode byte, a library image (u16 big-endian length, then its
// bytes; none if empty), then the trace file. Read whole and in reads of the
// mode's size, following or not, the file gives the same lines, offset and
// failure; each line is printable text, a failure names an offset in the file.
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
  const char *library = image.empty() ? nullptr : library_file().c_str();
  std::string why;
  Decoded whole = decode_with(library, &why, trace, SIZE_MAX, follow);
  FUZZ_REQUIRE(why.empty() || (why.starts_with(library_file() + ": ") &&
                               why.size() > library_file().size() + 2),
               "load failed with \"%s\"", why.c_str());
  FUZZ_REQUIRE(whole.offset <= trace.size(), "offset %llu",
               static_cast<unsigned long long>(whole.offset));
  if (!whole.error.empty()) {
    size_t at = 0;
    FUZZ_REQUIRE(sscanf(whole.error.c_str(), "offset %zu: ", &at) == 1 && at <= trace.size(),
                 "error \"%s\"", whole.error.c_str());
  }
  Decoded pieces = decode_with(library, &why, trace, piece, follow);
  FUZZ_REQUIRE(pieces == whole,
               "in reads of %zu: %zu lines, offset %llu, error \"%s\"; whole: %zu, %llu, \"%s\"",
               piece, pieces.lines.size(), static_cast<unsigned long long>(pieces.offset),
               pieces.error.c_str(), whole.lines.size(),
               static_cast<unsigned long long>(whole.offset), whole.error.c_str());
  return 0;
}
