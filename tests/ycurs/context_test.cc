// Creation, capability output and key loading on real pseudo-terminals.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include "harness.h"

namespace {

using namespace std::string_literals;

// ytest defines kf4 empty (refused by the trie) and rmm 200 bytes long (skipped),
// so meta off sends nothing.
const std::string kEmptyKf4 = "ycurs 8 L3 \"KEY_F4\" \"Invalid argument\"";

Notes every_row_empty() {
  Notes rows;
  for (int row = 0; row < 20; row++) {
    rows.push_back(std::string("ycurs 7 L7 \"") + ycurs_fkeys[row].key_name + "\" \"" +
                   ycurs_fkeys[row].cap_name + "\"");
    rows.push_back("ycurs 20 L7+ \"(empty)\"");
  }
  return rows;
}

TEST(TerminalContext, FollowsInputTermAndMode) {
  Notes no_terminal = {"ycurs 1 L7", "ycurs 3 L6"};
  for (const std::string &r : every_row_empty()) no_terminal.push_back(r);
  no_terminal.push_back("ycurs 6 L7");
  const std::string held = "icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3";
  struct Row {
    Stage stage;
    bool screen;
    Notes trace;
    std::string out, attrs;
  } rows[] = {
      {{Input::dev_null, "ytest", true, 7},
       true,
       no_terminal,
       "",
       "icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 0"},
      {{Input::pty, nullptr}, true, {"ycurs 3 L6"}, "", held},
      {{Input::pty, "nosuch-yterm"}, true, {"ycurs 4 L6 \"nosuch-yterm\""}, "", held},
      {{}, true, {kEmptyKf4}, "<is1><is2><is3><ks><mm><ke><ke>", held},
      {{}, false, {kEmptyKf4}, "", held},
      {{Input::pty, "ytest-is"}, true, {}, "<is2>", held},
  };
  for (const Row &row : rows) {
    Outcome o = run_scenario(row.stage, [&](Scenario &s) {
      ycurs_ctx_s *ctx = row.screen ? ycurs_initscr() : ycurs_initterm();
      int r = ycurs_cbreak(ctx) + ycurs_noecho(ctx) + ycurs_intr(ctx, 0) + ycurs_intr(ctx, 1) +
              ycurs_keypad(ctx, 1) + ycurs_meta(ctx, 1) + ycurs_meta(ctx, 0) + ycurs_keypad(ctx, 0);
      ycurs_endwin(ctx);
      s.note_trace();
      s.note(std::to_string(r) + " " + std::to_string(ctx->screen_mode) + " " +
             modes(ctx->cur_attrs));
      ycurs_free(ctx);
      ycurs_free(nullptr);
      ycurs_endwin(nullptr);
    });
    Notes want = row.trace;
    want.push_back("0 " + std::to_string(row.screen) + " " + row.attrs);
    EXPECT_EQ(o.notes, want) << row.stage.term;
    EXPECT_EQ(o.out, row.out) << row.stage.term;
  }
}

// Keys typed on the terminal come back as their codes, also after the keypad is
// switched off. kf2 and kf3 share their bytes; strings over 126 bytes are skipped.
TEST(FunctionKeys, LoadedFromEntryAndDecoded) {
  Outcome o = run_scenario({}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initterm();
    ycurs_cbreak(ctx);
    ycurs_keypad(ctx, 1);
    ycurs_keypad(ctx, 1);
    ycurs_keypad(ctx, 0);
    s.note_trace();
    for (const std::string &typed :
         {"\033[A"s, "\033[B"s, "\033[D"s, "\033[C"s, "\033OP"s, "\033OQ"s, "\033[H"s, "\033[F"s,
          "\b"s, "\033OM"s, "\033[Ax"s, "\033"s, "\033O"s, "\0B"s}) {
      s.type(typed);
      s.note(s.keys(ctx));
    }
    auto seq = [](char c, int n) { return "\033[" + std::string(n, c) + "~"; };
    for (const std::string &stored : {seq('5', 197), seq('6', 123), seq('7', 124)})
      s.note(std::to_string(ycurs_key_defined(ctx->keytry, stored.c_str())));
    ycurs_free(ctx);
  });
  EXPECT_EQ(o.notes,
            (Notes{kEmptyKf4, kEmptyKf4, "259", "258", "260", "261", "265", "267", "262", "360",
                   "263", "343", "259 120", "27", "27 79", "272", "0", "270", "0"}));
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
  Notes sequences, want;
  for (int row = 0; row < 20; row++) {
    sequences.push_back(tput(terminfo_names[row]));
    want.push_back(std::to_string(ycurs_fkeys[row].key_code));
  }
  Outcome o = run_scenario({Input::pty, "xterm", false}, [&](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initscr();
    ycurs_cbreak(ctx);
    ycurs_keypad(ctx, 1);
    for (const std::string &seq : sequences) {
      s.type(seq);
      s.note(s.keys(ctx));
    }
    ycurs_endwin(ctx);
    ycurs_free(ctx);
  });
  EXPECT_EQ(o.notes, want);
  EXPECT_EQ(o.out, tput("is1") + tput("is2") + tput("is3") + tput("smkx") + tput("rmkx"));
}

}  // namespace
