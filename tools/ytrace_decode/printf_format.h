// SPDX-License-Identifier: MIT
// A catalog text made ready for a record's arguments: literal pieces and, per
// conversion, the C type and snprintf conversion that give exactly what
// printf gives for the same text and values on the writing side.
#ifndef YTRACE_DECODE_PRINTF_FORMAT_H
#define YTRACE_DECODE_PRINTF_FORMAT_H

#include <stdint.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ytdec {

// One argument of a record as the file holds it.
struct Arg {
  uint8_t tag = 0;        // YTRACE_ARG_STRING, YTRACE_ARG_U32 or YTRACE_ARG_U64
  uint64_t number = 0;    // the integer, zero-extended
  std::string_view text;  // the string's bytes
};

class PrintfFormat {
 public:
  // Takes %s %c %d %i %u %x %X and %%, with flags, width and precision, and l
  // or ll on the integer conversions. Anything else (%f, %n, %p, a '*' width)
  // is refused with the reason: it could not be reproduced exactly.
  bool compile(std::string_view text, std::string *why);
  // Whether the arguments are as many, and of the types, as the text takes.
  bool fits(std::span<const Arg> args) const;
  // Appends the text formatted with `args`, which must fit.
  void append(std::span<const Arg> args, std::string &out) const;

 private:
  enum class Call : uint8_t { kLiteral, kBytes, kString, kInt, kUnsigned, kLong, kULong };
  struct Piece {
    Call call;
    uint8_t tags;      // bit per argument tag the conversion takes
    int precision;     // of a string conversion; -1 if none
    std::string text;  // the literal, or the snprintf conversion
  };
  std::vector<Piece> pieces_;
};

}  // namespace ytdec

#endif
