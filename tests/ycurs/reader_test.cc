// The key reader fed through a pipe, so that every byte is ready at once.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "harness.h"

namespace {

using Stored = std::vector<std::pair<std::string, uint16_t>>;

// Results as the reader gives them: `head`, each of `bytes` handed back, `tail`.
std::string results(std::vector<int> head, const std::string &bytes, std::vector<int> tail) {
  for (unsigned char b : bytes) head.push_back(b);
  head.insert(head.end(), tail.begin(), tail.end());
  std::string s;
  for (int r : head) append_word(s, r);
  return s;
}

TEST(KeyReader, DecodesHeldBytes) {
  const Stored up = {{"\033[A", YCURS_KEY_UP}};
  const std::string seq16 = "\033[" + std::string(13, '1') + "~";
  const std::string seq17 = "\033[" + std::string(14, '2') + "~";
  const std::string zero_after_escape = std::string("\033\0", 2) + "abcdefghijklmnop";
  const std::vector<int> wait15(15, -1);
  struct Row {
    Stored stored;
    std::string input;
    bool end;
    std::string want;
  } rows[] = {
      {up, "", false, "-1 -1"},
      {{}, "a", false, "97 -1"},
      {up, "\033", false, "-1 27 -1"},
      {up, "\033[A", false, "-1 -1 259 -1"},
      {up, "\033x", false, "-1 27 120 -1"},
      {{{"\033[1", 0x201}, {"\033[1~", 0x202}}, "\033[15", false, "-1 -1 -1 513 -1"},
      {up, std::string(1, '\0'), false, "0 -1"},
      {{{seq16, 0x300}}, seq16, false, results(wait15, "", {0x300, -1})},
      // Longer than the buffer: never recognised; every byte comes back in order.
      {{{seq17, 0x300}}, seq17, false, results(wait15, seq17, {-1})},
      {up, zero_after_escape, false, results(wait15, zero_after_escape, {-1})},
      {up, "", true, "-2 -2"},
      {up, "\033[", true, "-1 -1 27 91 -2 -2"},
  };
  for (const Row &row : rows) {
    Outcome o = run_scenario({Input::pipe}, [&](Scenario &s) {
      ycurs_ctx_s *ctx = ycurs_initterm();
      for (const auto &[seq, code] : row.stored) ycurs_add_to_try(&ctx->keytry, seq.c_str(), code);
      s.type(row.input);
      if (row.end) close(s.feed);
      std::string got;
      for (auto i = std::count(row.want.begin(), row.want.end(), ' '); i >= 0; i--)
        append_word(got, ycurs_wgetch(ctx));
      s.note(got + " held " + std::to_string(ctx->input_read_buf_used));
      ycurs_free(ctx);
    });
    EXPECT_EQ(o.notes, Notes{row.want + " held 0"});
  }
}

TEST(KeyReader, TracesEveryStep) {
  Outcome o = run_scenario({Input::pipe, "ytest", true, 7}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initterm();
    ycurs_add_to_try(&ctx->keytry, "\033[A", YCURS_KEY_UP);
    s.type("\033[A");
    take_trace();
    for (int i = 0; i < 4; i++) ycurs_wgetch(ctx);
    close(s.feed);
    ycurs_wgetch(ctx);
    s.note_trace();
    ycurs_free(ctx);
  });
  EXPECT_EQ(o.notes, (Notes{
                         "ycurs 12 L7",
                         "ycurs 19 L7+ 27",
                         "ycurs 13 L7",
                         "ycurs 16 L6 -1",
                         "ycurs 12 L7",
                         "ycurs 19 L7+ 27",
                         "ycurs 19 L7+ 91",
                         "ycurs 13 L7",
                         "ycurs 16 L6 -1",
                         "ycurs 12 L7",
                         "ycurs 19 L7+ 27",
                         "ycurs 19 L7+ 91",
                         "ycurs 19 L7+ 65",
                         "ycurs 15 L7 259",
                         "ycurs 16 L6 259",
                         "ycurs 16 L6 -1",
                         "ycurs 11 L7",
                         "ycurs 16 L6 -2",
                     }));
}

// End of input holds for every context of the process: none reads again. A read
// that would block after a successful poll is tried again at once.
TEST(KeyReader, EndOfInputEndsEveryContextAndWouldBlockIsRetried) {
  Outcome o = run_scenario({Input::pipe}, [](Scenario &s) {
    ycurs_ctx_s *first = ycurs_initterm();
    s.type("a");
    g_read_eagain_times = 3;
    int k = ycurs_wgetch(first);
    s.note(std::to_string(k) + " after " + std::to_string(3 - g_read_eagain_times) + " retries");
    close(s.feed);
    s.note(std::to_string(ycurs_wgetch(first)));
    int p[2], unread = 0;
    if (pipe(p) != 0 || write(p[1], "zz", 2) != 2) return;
    dup2(p[0], 0);
    ycurs_ctx_s *second = ycurs_initterm();
    s.note(std::to_string(ycurs_wgetch(second)));
    ioctl(0, FIONREAD, &unread);
    s.note("unread " + std::to_string(unread));
    ycurs_free(first);
    ycurs_free(second);
  });
  EXPECT_EQ(o.notes, (Notes{"97 after 3 retries", "-2", "-2", "unread 2"}));
}

}  // namespace
