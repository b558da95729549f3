// The key reader's decoding fed directly: each call gets what the terminal gave
// since the last one, so bytes may arrive between calls, after a hand-back, after
// the buffer filled, which a pipe written ahead of the first call cannot express.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"
#include "ycurs/key_reader.h"
#include "ytrace.h"

namespace {

using namespace std::string_literals;
using Stored = std::vector<std::pair<std::string, uint16_t>>;

// A context with `stored` in its trie. run() makes one call per character of
// `calls`: that byte arrived, '.' nothing did, '$' the read met end of input. It
// gives the results, with "stale" after a call that left a byte past the held ones.
struct Reader {
  ycurs_ctx_s ctx{};
  int32_t ended = 0;
  explicit Reader(const Stored &stored) {
    static uint32_t registration;
    ytrace_module_init_fn("ycurs", &g_ycurs_trace_module_id, &registration);
    for (const auto &[seq, code] : stored) ycurs_add_to_try(&ctx.keytry, seq.c_str(), code);
  }
  ~Reader() { ycurs_free_keytry(ctx.keytry); }
  std::string run(const std::string &calls) {
    std::string got;
    for (char c : calls) {
      int arrival = c == '.' ? kNoArrival : c == '$' ? kEndOfInput : static_cast<uint8_t>(c);
      append_word(got, key_reader_step(&ctx, arrival, &ended));
      const uint8_t *held = ctx.input_read_buf, *end = held + sizeof ctx.input_read_buf;
      if (std::any_of(held + ctx.input_read_buf_used, end, [](uint8_t b) { return b; }))
        got += " stale";
    }
    return got + " held " + std::to_string(ctx.input_read_buf_used);
  }
};

std::string words(const std::string &bytes) {
  std::string s;
  for (uint8_t b : bytes) append_word(s, b);
  return s;
}
std::string waits(int n) {
  std::string s;
  while (n-- > 0) append_word(s, YCURS_NOTHING);
  return s;
}

const uint16_t A = 0x201, B = 0x202, F8 = YCURS_KEY_F(8);
const Stored up = {{"\033[A", YCURS_KEY_UP}};

TEST(KeyReaderCore, DecodesArrivalsBetweenCalls) {
  const std::string seq16 = "\033[" + std::string(13, '1') + "~";
  const std::string seq17 = "\033[" + std::string(14, '2') + "~";
  struct Case {
    const char *what;
    Stored stored;
    std::string calls, want;
  } cases[] = {
      {"nothing ready, nothing held", up, ".", "-1"},
      {"a byte that starts nothing", {}, "a.", "97 -1"},
      {"a zero byte", up, "\0."s, "0 -1"},
      {"a lone escape, handed back", up, "\033..", "-1 27 -1"},
      {"a whole sequence", up, "\033[A.", "-1 -1 259 -1"},
      {"the rest comes after the escape was handed back", up, "\033.[A", "-1 27 91 65"},
      {"no match hands back one byte and keeps the rest", up, "\033x..", "-1 27 120 -1"},
      {"the rest is looked up again with the next byte",
       {{"\033[A", YCURS_KEY_UP}, {"[B", A}},
       "\033[Bx.",
       "-1 -1 27 513 -1"},
      {"the freed place is cleared in the hand-back",
       {{"\033[A", YCURS_KEY_UP}, {"x[", A}},
       "\033[..x.",
       "-1 -1 27 91 -1 120"},
      {"a stored prefix: its code, the byte after it dropped",
       {{"\033[1", A}, {"\033[1~", B}},
       "\033[15.",
       "-1 -1 -1 513 -1"},
      {"16 bytes fill the buffer", {{seq16, B}}, seq16 + ".", waits(15) + " 514 -1"},
      {"17 bytes are never decoded",
       {{seq17, B}},
       seq17 + std::string(16, '.'),
       waits(15) + " " + words(seq17) + " -1"},
      {"a key that starts with a zero byte",
       {{"\x80"
         "B",
         F8}},
       "\0B."s,
       "-1 272 -1"},
      {"a zero byte after a partial match", up, "\033\0a.."s, "-1 27 0 97 -1"},
      {"a 16-byte key with a zero byte",
       {{"\033\x80" + std::string(13, 'z') + "~", B}},
       "\033\0"s + std::string(13, 'z') + "~.",
       waits(15) + " 514 -1"},
      {"end of input, nothing held", up, "$.", "-2 -2"},
      {"end of input hands back the held bytes first", up, "\033[$...", "-1 -1 27 91 -2 -2"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Reader(c.stored).run(c.calls), c.want + " held 0") << c.what;
  }
}

TEST(KeyReaderCore, TracesEveryStep) {
  ytrace_capture_set_level("ycurs", 7);
  Reader r(up);
  take_trace();
  r.run("\033[A.x$.");
  Notes got;
  for (const TraceRecord &t : take_trace()) got.push_back(show(t));
  EXPECT_EQ(got, (Notes{
                     "ycurs 12 L7",     "ycurs 19 L7+ 27",  "ycurs 13 L7",     "ycurs 16 L6 -1",
                     "ycurs 12 L7",     "ycurs 19 L7+ 27",  "ycurs 19 L7+ 91", "ycurs 13 L7",
                     "ycurs 16 L6 -1",  "ycurs 12 L7",      "ycurs 19 L7+ 27", "ycurs 19 L7+ 91",
                     "ycurs 19 L7+ 65", "ycurs 15 L7 259",  "ycurs 16 L6 259", "ycurs 16 L6 -1",
                     "ycurs 12 L7",     "ycurs 19 L7+ 120", "ycurs 14 L7",     "ycurs 16 L6 120",
                     "ycurs 11 L7",     "ycurs 16 L6 -2",   "ycurs 16 L6 -2",
                 }));
}

}  // namespace
