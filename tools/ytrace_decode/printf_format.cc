// SPDX-License-Identifier: MIT
#include "printf_format.h"

#include <stdio.h>

#include "ytrace_file_format.h"

namespace ytdec {
namespace {

// A larger width or precision is no catalog's: refusing it bounds the output.
constexpr int kMaxField = 4096;

constexpr uint8_t bit(unsigned tag) {
  return static_cast<uint8_t>(tag < 8 ? 1u << tag : 0);
}

// Reads the decimal digits at *at; false when the number is over kMaxField.
bool digits(std::string_view text, size_t *at, int *value) {
  for (*value = 0; *at < text.size() && text[*at] >= '0' && text[*at] <= '9'; ++*at) {
    *value = *value * 10 + (text[*at] - '0');
    if (*value > kMaxField) return false;
  }
  return true;
}

// What printf reads of a C string: up to its NUL, at most `precision` bytes.
std::string_view visible(std::string_view text, int precision) {
  text = text.substr(0, text.find('\0'));
  return precision < 0 ? text : text.substr(0, static_cast<size_t>(precision));
}

// The conversion was checked by compile(), so it is safe as a format.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename... T>
void append_printf(std::string &out, const char *conversion, T... values) {
  constexpr size_t kRoom = 32;  // most conversions fit; a longer one is formatted again
  size_t at = out.size();
  out.resize(at + kRoom);
  int n = snprintf(out.data() + at, kRoom + 1, conversion, values...);
  if (n > static_cast<int>(kRoom)) {
    out.resize(at + static_cast<size_t>(n));
    snprintf(out.data() + at, static_cast<size_t>(n) + 1, conversion, values...);
  }
  out.resize(at + static_cast<size_t>(n < 0 ? 0 : n));
}
#pragma GCC diagnostic pop

}  // namespace

bool PrintfFormat::compile(std::string_view text, std::string *why) {
  pieces_.clear();
  std::string literal;
  for (size_t at = 0;;) {
    size_t percent = text.find('%', at);
    literal.append(text.substr(at, percent - at));
    if (percent == std::string_view::npos) break;
    at = percent + 1;
    if (at < text.size() && text[at] == '%') {
      literal += '%';
      ++at;
      continue;
    }
    while (at < text.size() && std::string_view("-+ #0").find(text[at]) != std::string_view::npos) {
      ++at;
    }
    size_t width_at = at;
    int width = 0, precision = -1;
    bool ok = digits(text, &at, &width);
    size_t width_end = at;
    if (ok && at < text.size() && text[at] == '.') {
      ++at;
      ok = digits(text, &at, &precision);
    }
    size_t longs = 0;
    for (; ok && longs < 2 && at < text.size() && text[at] == 'l'; ++at) ++longs;
    char letter = at < text.size() ? text[at] : '\0';
    std::string conversion(text.substr(percent, at - percent - longs));
    Piece p{Call::kLiteral, 0, -1, ""};
    if (ok && letter == 's' && longs == 0) {
      // The length goes in as the precision, as the bytes are not NUL-terminated.
      p = {width_end > width_at ? Call::kString : Call::kBytes, bit(YTRACE_ARG_STRING), precision,
           std::string(text.substr(percent, width_end - percent)) + ".*s"};
    } else if (ok && letter == 'c' && longs == 0) {
      p = {Call::kInt, bit(YTRACE_ARG_U32), -1, conversion + letter};
    } else if (ok && letter != '\0' &&
               std::string_view("diuxX").find(letter) != std::string_view::npos) {
      bool is_signed = letter == 'd' || letter == 'i';
      // A long is 32 or 64 bits as the writer's processor has it: both are
      // taken, and printed through long long, which gives the same digits.
      uint8_t tags = longs == 0   ? bit(YTRACE_ARG_U32)
                     : longs == 1 ? bit(YTRACE_ARG_U32) | bit(YTRACE_ARG_U64)
                                  : bit(YTRACE_ARG_U64);
      Call call = longs == 0 ? (is_signed ? Call::kInt : Call::kUnsigned)
                             : (is_signed ? Call::kLong : Call::kULong);
      p = {call, tags, -1, conversion + (longs ? "ll" : "") + letter};
    }
    if (p.call == Call::kLiteral) {
      *why = "unsupported conversion \"" +
             std::string(text.substr(percent, std::min(at + 1, text.size()) - percent)) + "\"";
      pieces_.clear();
      return false;
    }
    if (!literal.empty()) pieces_.push_back({Call::kLiteral, 0, -1, std::move(literal)});
    literal.clear();
    pieces_.push_back(std::move(p));
    ++at;
  }
  if (!literal.empty()) pieces_.push_back({Call::kLiteral, 0, -1, std::move(literal)});
  return true;
}

bool PrintfFormat::fits(std::span<const Arg> args) const {
  size_t next = 0;
  for (const Piece &p : pieces_) {
    if (p.call == Call::kLiteral) continue;
    if (next == args.size() || !(p.tags & bit(args[next].tag))) return false;
    ++next;
  }
  return next == args.size();
}

void PrintfFormat::append(std::span<const Arg> args, std::string &out) const {
  size_t next = 0;
  for (const Piece &p : pieces_) {
    if (p.call == Call::kLiteral) {
      out += p.text;
      continue;
    }
    const Arg &a = args[next++];
    const char *conversion = p.text.c_str();
    switch (p.call) {
      case Call::kBytes:
        out += visible(a.text, p.precision);
        break;
      case Call::kString: {
        std::string_view s = visible(a.text, p.precision);
        append_printf(out, conversion, static_cast<int>(s.size()), s.data());
        break;
      }
      case Call::kInt:
        append_printf(out, conversion, static_cast<int>(static_cast<int32_t>(a.number)));
        break;
      case Call::kUnsigned:
        append_printf(out, conversion, static_cast<unsigned>(a.number));
        break;
      case Call::kLong:
        append_printf(
            out, conversion,
            static_cast<long long>(a.tag == YTRACE_ARG_U64 ? static_cast<int64_t>(a.number)
                                                           : static_cast<int32_t>(a.number)));
        break;
      case Call::kULong:
        append_printf(out, conversion, static_cast<unsigned long long>(a.number));
        break;
      case Call::kLiteral:
        break;
    }
  }
}

}  // namespace ytdec
