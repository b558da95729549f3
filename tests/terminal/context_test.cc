// Creation, capability output and key loading on real pseudo-terminals.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>

#include "harness.h"

namespace {

using Notes = std::vector<std::string>;

TEST(TerminalContext, CreationFollowsInputAndTerm) {
  struct Row {
    Input input;
    const char *term;
    Notes trace;  // creation and ycurs_endwin, levels up to 7
    std::string out;
  } rows[] = {
      {Input::dev_null, "ytest", {"ycurs 1 L7", "ycurs 3 L6", "ycurs 6 L7"}, ""},
      {Input::pty, nullptr, {"ycurs 3 L6"}, ""},
      {Input::pty, "nosuch-yterm", {"ycurs 4 L6 \"nosuch-yterm\""}, ""},
      {Input::pty, "ytest", {}, "<is1><is2><is3><ke>"},
      {Input::pty, "ytest-is", {}, "<is2>"},
  };
  for (const Row &row : rows) {
    Outcome o = run_scenario({row.input, row.term, true, 7}, [](Scenario &s) {
      ycurs_ctx_s *ctx = ycurs_initscr();
      ycurs_endwin(ctx);
      s.note_trace();
      termios zero{};
      bool zeroed = memcmp(&ctx->saved_attrs, &zero, sizeof zero) == 0 &&
                    memcmp(&ctx->cur_attrs, &zero, sizeof zero) == 0;
      s.note(zeroed ? "attributes zero" : "attributes held");
      ycurs_free(ctx);
    });
    Notes want = row.trace;
    want.push_back(row.input == Input::dev_null ? "attributes zero" : "attributes held");
    EXPECT_EQ(o.notes, want) << row.term;
    EXPECT_EQ(o.out, row.out) << row.term;
    EXPECT_EQ(o.status, 0);
  }
}

// Only a screen-mode context writes; both load the same keys. kf4 is empty, so
// the trie refuses it; rmm is 200 bytes long, so meta off sends nothing.
TEST(TerminalContext, ScreenModeWritesAndNonWritingModeDoesNot) {
  for (bool screen : {true, false}) {
    Outcome o = run_scenario({}, [screen](Scenario &s) {
      ycurs_ctx_s *ctx = screen ? ycurs_initscr() : ycurs_initterm();
      s.note("screen_mode " + std::to_string(ctx->screen_mode));
      ycurs_keypad(ctx, 1);
      ycurs_meta(ctx, 1);
      ycurs_meta(ctx, 0);
      ycurs_keypad(ctx, 0);
      ycurs_endwin(ctx);
      s.note_trace();
      ycurs_free(ctx);
      ycurs_free(nullptr);
      ycurs_endwin(nullptr);
    });
    EXPECT_EQ(o.notes, (Notes{"screen_mode " + std::to_string(screen),
                              "ycurs 8 L3 \"KEY_F4\" \"Invalid argument\""}));
    EXPECT_EQ(o.out, screen ? "<is1><is2><is3><ks><mm><ke><ke>" : "");
  }
}

// Keys typed on the terminal come back as their codes, also after the keypad is
// switched off; strings longer than 126 bytes are skipped.
TEST(FunctionKeys, LoadedFromEntryAndDecoded) {
  Outcome o = run_scenario({}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initterm();
    ycurs_cbreak(ctx);
    ycurs_keypad(ctx, 1);
    ycurs_keypad(ctx, 1);  // again: same codes, no new message
    ycurs_keypad(ctx, 0);
    s.note_trace();
    for (const char *typed : {"\033[A", "\033[B", "\033[D", "\033[C", "\033OP", "\033OQ", "\033[H",
                              "\033[F", "\b", "\033OM", "\033[Ax", "\033", "\033O"}) {
      s.type(typed);
      s.note(s.keys(ctx));
    }
    auto seq = [](char c, int n) { return "\033[" + std::string(n, c) + "~"; };
    for (const std::string &stored : {seq('5', 197), seq('6', 123), seq('7', 124)})
      s.note(std::to_string(ycurs_key_defined(ctx->keytry, stored.c_str())));
    ycurs_free(ctx);
  });
  EXPECT_EQ(o.notes,
            (Notes{"ycurs 8 L3 \"KEY_F4\" \"Invalid argument\"",
                   "ycurs 8 L3 \"KEY_F4\" \"Invalid argument\"", "259", "258", "260", "261", "265",
                   "267", "262", "360", "263", "343", "259 120", "27", "27 79", "0", "270", "0"}));
}

TEST(FunctionKeys, NoEntryLoadedTracesEveryRowAsEmpty) {
  Outcome o = run_scenario({Input::pty, "nosuch-yterm", true, 7}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initscr();
    take_trace();
    ycurs_keypad(ctx, 1);
    s.note_trace();
    s.note(ctx->keytry == nullptr ? "trie empty" : "trie filled");
  });
  Notes want;
  for (int row = 0; row < 20; row++) {
    want.push_back(std::string("ycurs 7 L7 \"") + ycurs_fkeys[row].key_name + "\" \"" +
                   ycurs_fkeys[row].cap_name + "\"");
    want.push_back("ycurs 20 L7+ \"(empty)\"");
  }
  want.push_back("trie empty");
  EXPECT_EQ(o.notes, want);
  EXPECT_EQ(o.out, "");
}

std::string tput(const char *cap) {
  std::string out;
  if (FILE *p = popen((std::string("tput -T xterm ") + cap + " 2>/dev/null").c_str(), "r")) {
    for (int c; (c = fgetc(p)) != EOF;) out += static_cast<char>(c);
    pclose(p);
  }
  return out;
}

// The system's xterm entry: what goes out and what is decoded agree with tput.
TEST(FunctionKeys, SystemXtermAgreesWithTput) {
  const char *terminfo_names[20] = {"kcuu1", "kcud1", "kcub1", "kcuf1", "kf1",  "kf2", "kf3",
                                    "kf4",   "kf5",   "kf6",   "kf7",   "kf8",  "kf9", "kf10",
                                    "kf11",  "kf12",  "kent",  "khome", "kend", "kbs"};
  std::vector<std::string> sequences;
  Notes want;
  for (int row = 0; row < 20; row++) {
    sequences.push_back(tput(terminfo_names[row]));
    ASSERT_FALSE(sequences.back().empty()) << terminfo_names[row];
    want.push_back(std::to_string(ycurs_fkeys[row].key_code));
  }
  Outcome o = run_scenario({Input::pty, "xterm", false, 6}, [&](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initscr();
    ycurs_cbreak(ctx);
    ycurs_keypad(ctx, 1);
    for (const std::string &seq : sequences) {
      s.type(seq);
      s.note(s.keys(ctx));
    }
    ycurs_endwin(ctx);
  });
  EXPECT_EQ(o.notes, want);
  EXPECT_EQ(o.out, tput("is1") + tput("is2") + tput("is3") + tput("smkx") + tput("rmkx"));
}

}  // namespace
