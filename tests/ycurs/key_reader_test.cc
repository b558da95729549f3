// SPDX-License-Identifier: MIT
// The key reader's decoding fed directly: each call gets what the terminal gave
// since the last one, so bytes may arrive between calls, after a hand-back, after
// the buffer filled, which a pipe written ahead of the first call cannot express.
// Records and random keys: reader_fuzz.cc.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ycurs/key_reader.h"
#include "ytrace.h"

namespace {

using namespace std::string_literals;
using Stored = std::vector<std::pair<std::string, uint16_t>>;

// One call per character of `calls` on a context holding `stored`: that byte
// arrived, '.' nothing did, '$' the read met end of input. The results, with
// "stale" after a call that left a byte past the held ones, then the count held.
std::string run(const Stored &stored, const std::string &calls) {
  static uint32_t registration;
  ytrace_module_init_fn("ycurs", &g_ycurs_trace_module_id, &registration);
  ycurs_ctx_s ctx{};
  int32_t ended = 0;
  for (const auto &[seq, code] : stored) ycurs_add_to_try(&ctx.keytry, seq.c_str(), code);
  std::string got;
  for (char c : calls) {
    int arrival = c == '.' ? kNoArrival : c == '$' ? kEndOfInput : static_cast<uint8_t>(c);
    got += std::to_string(key_reader_step(&ctx, arrival, &ended)) + " ";
    const uint8_t *held = ctx.input_read_buf, *end = held + sizeof ctx.input_read_buf;
    if (std::any_of(held + ctx.input_read_buf_used, end, [](uint8_t b) { return b; }))
      got += "stale ";
  }
  ycurs_free_keytry(ctx.keytry);
  return got + "held " + std::to_string(ctx.input_read_buf_used);
}

std::string repeat(const std::string &word, int n) {
  std::string s;
  while (n-- > 0) s += word;
  return s;
}

TEST(KeyReaderCore, DecodesArrivalsBetweenCalls) {
  const uint16_t A = 0x201, B = 0x202, F8 = YCURS_KEY_F(8);
  const Stored up = {{"\033[A", YCURS_KEY_UP}};
  const std::string seq16 = "\033[" + std::string(13, '1') + "~";
  const std::string seq17 = "\033[" + std::string(14, '2') + "~";
  const std::string zero16 = "\033\x80" + std::string(13, 'z') + "~";
  struct Case {
    const char *what;
    Stored stored;
    std::string calls, want;
  } cases[] = {
      {"nothing ready, nothing held", up, ".", "-1 "},
      {"a byte that starts nothing", {}, "a.", "97 -1 "},
      {"a zero byte", up, "\0."s, "0 -1 "},
      {"a lone escape, handed back", up, "\033..", "-1 27 -1 "},
      {"a whole sequence", up, "\033[A.", "-1 -1 259 -1 "},
      {"the rest comes after the escape was handed back", up, "\033.[A", "-1 27 91 65 "},
      {"no match hands back one byte and keeps the rest", up, "\033x..", "-1 27 120 -1 "},
      {"the rest is looked up again with the next byte",
       {up[0], {"[B", A}},
       "\033[Bx.",
       "-1 -1 27 513 -1 "},
      {"the freed place is cleared in the hand-back",
       {up[0], {"x[", A}},
       "\033[..x.",
       "-1 -1 27 91 -1 120 "},
      {"a stored prefix: its code, the byte after it dropped",
       {{"\033[1", A}, {"\033[1~", B}},
       "\033[15.",
       "-1 -1 -1 513 -1 "},
      {"16 bytes fill the buffer", {{seq16, B}}, seq16 + ".", repeat("-1 ", 15) + "514 -1 "},
      {"17 bytes are never decoded",
       {{seq17, B}},
       seq17 + std::string(16, '.'),
       repeat("-1 ", 15) + "27 91 " + repeat("50 ", 14) + "126 -1 "},
      {"a key that starts with a zero byte",
       {{"\x80"
         "B",
         F8}},
       "\0B."s,
       "-1 272 -1 "},
      {"a zero byte after a partial match", up, "\033\0a.."s, "-1 27 0 97 -1 "},
      {"a 16-byte key with a zero byte",
       {{zero16, B}},
       "\033\0"s + std::string(13, 'z') + "~.",
       repeat("-1 ", 15) + "514 -1 "},
      {"end of input, nothing held", up, "$.", "-2 -2 "},
      {"end of input hands back the held bytes first", up, "\033[$...", "-1 -1 27 91 -2 -2 "},
  };
  for (const Case &c : cases) EXPECT_EQ(run(c.stored, c.calls), c.want + "held 0") << c.what;
}

}  // namespace
