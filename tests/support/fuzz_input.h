// SPDX-License-Identifier: MIT
// What every fuzz target shares: the input read as a stream of choices, and the
// check that stops the run when the library and its model disagree.
#ifndef YUTIL_TESTS_FUZZ_INPUT_H
#define YUTIL_TESTS_FUZZ_INPUT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

// Reads choices from the front of the input; an exhausted input reads as zeros,
// so every input, however short, is a complete run.
class FuzzInput {
 public:
  FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return size_ == 0; }
  uint8_t byte() {
    if (size_ == 0) return 0;
    size_--;
    return *data_++;
  }
  // A number below `bound` (bound > 0).
  uint32_t below(uint32_t bound) {
    uint32_t v = byte();
    if (bound > 256) v = v << 8 | byte();
    if (bound > 65536) v = v << 16 | byte() << 8 | byte();
    return v % bound;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v = v << 8 | byte();
    return v;
  }
  // Up to `max` bytes (at most 65535) taken as they are.
  std::string bytes(size_t max) { return take(below(static_cast<uint32_t>(max) + 1)); }
  // The rest of the input.
  std::string rest() { return take(size_); }

 private:
  std::string take(size_t n) {
    if (n > size_) n = size_;
    std::string s(reinterpret_cast<const char *>(data_), n);
    data_ += n, size_ -= n;
    return s;
  }

  const uint8_t *data_;
  size_t size_;
};

// A disagreement with the model is a finding: say what, and stop the run.
#define FUZZ_REQUIRE(cond, ...)                                                  \
  do {                                                                           \
    if (!(cond)) {                                                               \
      fprintf(stderr, "%s:%d: model mismatch: %s: ", __FILE__, __LINE__, #cond); \
      fprintf(stderr, __VA_ARGS__);                                              \
      fputc('\n', stderr);                                                       \
      abort();                                                                   \
    }                                                                            \
  } while (0)

#endif
