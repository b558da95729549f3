// SPDX-License-Identifier: MIT
// A trace file through the decoder's C interface, from memory or read from a
// file as ytrace-decode reads it, for the decoder's test and fuzz target. Every
// line and notice must be printable text.
#ifndef YUTIL_TESTS_DECODE_DECODING_H
#define YUTIL_TESTS_DECODE_DECODING_H

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "fuzz_input.h"
#include "ytrace_decode.h"

struct Decoded {
  std::vector<std::string> lines;
  std::vector<std::string> notices;
  std::string error;  // empty when decoded to the end
  size_t at_end = 0;  // lines held for continuations until the input ended
  bool operator==(const Decoded &) const = default;
};

// For the test's messages.
inline std::ostream &operator<<(std::ostream &out, const Decoded &d) {
  for (const std::string &l : d.lines) out << "\n  line: " << l;
  for (const std::string &n : d.notices) out << "\n  notice: " << n;
  return out << "\n  error: " << d.error << "\n  held until the end: " << d.at_end;
}

inline void keep_text(std::vector<std::string> *to, const char *text, size_t length) {
  FUZZ_REQUIRE(strlen(text) == length, "text of %zu bytes holds a NUL", length);
  FUZZ_REQUIRE(
      std::none_of(text, text + length, [](unsigned char c) { return c < 0x20 || c == 0x7f; }),
      "control character in \"%s\"", text);
  to->emplace_back(text, length);
}

// A decoder with the catalogs of `library` (none: null) on a file that a test
// may change between reads (a memory file, read as a regular one).
class Decoding {
 public:
  Decoding(const char *library, bool follow) {
    d_ = ytrace_decoder_new([](void *r, const char *line,
                               size_t n) { keep_text(&static_cast<Decoded *>(r)->lines, line, n); },
                            &result);
    ytrace_decoder_on_notice(
        d_,
        [](void *r, const char *notice, size_t n) {
          keep_text(&static_cast<Decoded *>(r)->notices, notice, n);
        },
        &result);
    if (library != nullptr && ytrace_decoder_load(d_, library) != 0) {
      load_error = ytrace_decoder_error(d_);
    }
    if (follow) ytrace_decoder_follow(d_);
    fd_ = memfd_create("trace", MFD_CLOEXEC);
  }
  ~Decoding() {
    ytrace_decoder_free(d_);
    close(fd_);
  }
  // The file now holds `bytes`, no more.
  void write(const std::string &bytes) {
    FUZZ_REQUIRE(ftruncate(fd_, 0) == 0 && pwrite(fd_, bytes.data(), bytes.size(), 0) ==
                                               static_cast<ssize_t>(bytes.size()),
                 "cannot write the trace file");
  }
  Decoded &read(int fd = -1) {
    keep(ytrace_decoder_read(d_, fd < 0 ? fd_ : fd));
    return result;
  }
  // A follower's read, then the lines held for continuations.
  Decoded &poll() {
    read();
    ytrace_decoder_flush(d_);
    return result;
  }
  Decoded &bytes(const std::string &file) {
    keep(ytrace_decoder_bytes(d_, file.data(), file.size()));
    return result;
  }
  Decoded &end() {
    size_t before = result.lines.size();
    keep(ytrace_decoder_end(d_));
    result.at_end = result.lines.size() - before;
    return result;
  }

  Decoded result;
  std::string load_error;

 private:
  void keep(int rc) {
    if (rc != 0) result.error = ytrace_decoder_error(d_);
  }
  ytrace_decoder_s *d_;
  int fd_;
};

enum class Via { kMemory, kFile, kPipe };

// The whole of `file`, from memory (ytrace_decoder_bytes), read from a file, or
// from a pipe, which a thread fills.
inline Decoded decode_with(const char *library, std::string *load_error, const std::string &file,
                           Via via) {
  Decoding d(library, false);
  *load_error = d.load_error;
  int ends[2];
  if (via == Via::kMemory) {
    d.bytes(file);
  } else if (via == Via::kFile) {
    d.write(file);
    d.read();
  } else if (pipe(ends) == 0) {
    std::thread writer([&] {
      FUZZ_REQUIRE(::write(ends[1], file.data(), file.size()) == ssize_t(file.size()),
                   "cannot write the pipe");
      close(ends[1]);
    });
    d.read(ends[0]);
    writer.join();
    close(ends[0]);
  }
  return d.end();
}

#endif
