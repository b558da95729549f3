// SPDX-License-Identifier: MIT
// The terminal layer on real pseudo-terminals and pipes: creation, capability
// output, key loading, input modes, what the reader's poll and read meet, and the
// failures the layer cannot go on after. How bytes are decoded is checked on the
// decoding itself (reader_fuzz.cc).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <set>
#include <span>

#include "harness.h"

// libtinfo's names of each capability (terminfo, termcap, long) and curses' name
// of a key code: what the key tables must agree with.
extern "C" const char *const strnames[], *const strcodes[], *const strfnames[];
extern "C" const char *keyname(int code);

namespace {

using namespace std::string_literals;
using TerminalContext = NeedsPty;
using FunctionKeys = NeedsPty;
using TerminalModes = NeedsPty;

// ytest defines kf4 empty (refused by the trie) and rmm 200 bytes long (skipped),
// so meta off sends nothing.
const std::string kEmptyKf4 = "ycurs 8 L3 \"KEY_F4\" \"Invalid argument\"";

TEST_F(TerminalContext, FollowsInputTermAndMode) {
  Notes no_terminal = {"ycurs 1 L7", "ycurs 3 L6"};
  for (const ycurs_fkey_s &row : std::span(ycurs_fkeys, YCURS_FKEY_COUNT)) {  // all empty
    no_terminal.push_back("ycurs 7 L7 \""s + row.key_name + "\" \"" + row.cap_name + "\"");
    no_terminal.push_back("ycurs 20 L7+ \"(empty)\"");
  }
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
TEST_F(FunctionKeys, LoadedFromEntryAndDecoded) {
  Outcome o = run_scenario({}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initterm();
    ycurs_cbreak(ctx);
    ycurs_keypad(ctx, 1);
    ycurs_keypad(ctx, 1);
    ycurs_keypad(ctx, 0);
    s.note_trace();
    for (const std::string &typed :
         {"\033[A"s, "\033[B"s, "\033[D"s, "\033[C"s, "\033OP"s, "\033OQ"s, "\033[H"s, "\033[F"s,
          "\b"s, "\033OM"s, "\033[Ax"s, "\033"s, "\033O"s, "\0B"s, "\033[18~"s, "\033[20~"s,
          "\033[21~"s, "\033[23~"s}) {
      s.type(typed);
      s.note(s.keys(ctx));
    }
    auto seq = [](char c, int n) { return "\033[" + std::string(n, c) + "~"; };
    for (const std::string &stored : {seq('5', 197), seq('6', 123), seq('2', 124)})
      s.note(std::to_string(ycurs_key_defined(ctx->keytry, stored.c_str())));
    ycurs_free(ctx);
  });
  EXPECT_EQ(o.notes, (Notes{kEmptyKf4, kEmptyKf4, "259", "258", "260",     "261", "265",   "267",
                            "262",     "360",     "263", "343", "259 120", "27",  "27 79", "272",
                            "271",     "273",     "274", "275", "0",       "270", "0"}));
}

// Every row of both tables is a key capability of libtinfo by its termcap name,
// with curses' code and name for it (curses writes KEY_F(13) for KEY_F13); all key
// capabilities but the mouse's are there, each once.
TEST(KeyTables, HoldEveryKeyCapabilityWithCursesCodes) {
  std::set<std::string> capabilities, rows;
  for (size_t i = 0; strnames[i] != nullptr; i++) {
    if (strncmp(strfnames[i], "key_", 4) == 0 && strcmp(strnames[i], "kmous") != 0)
      capabilities.insert(strcodes[i]);
  }
  for (std::span<const ycurs_fkey_s> table :
       {std::span(ycurs_fkeys, YCURS_FKEY_COUNT + 1),
        std::span(ycurs_extended_keys, YCURS_EXTENDED_KEY_COUNT + 1)}) {
    EXPECT_EQ(table.back().key_code, 0);
    for (const ycurs_fkey_s &row : table.first(table.size() - 1)) {
      size_t i = 0;
      while (strnames[i] != nullptr && strcmp(strcodes[i], row.cap_name) != 0) i++;
      ASSERT_NE(strnames[i], nullptr) << row.cap_name;
      std::string long_name = strfnames[i], curses_name = keyname(row.key_code);
      for (char &c : long_name) c = static_cast<char>(toupper(c));
      std::erase_if(curses_name, [](char c) { return c == '(' || c == ')'; });
      EXPECT_EQ(long_name, row.key_name) << row.cap_name;
      EXPECT_EQ(curses_name, row.key_name) << row.cap_name;
      EXPECT_TRUE(rows.insert(row.cap_name).second) << row.cap_name << " twice";
    }
  }
  EXPECT_EQ(rows, capabilities);
}

// Keys beyond the twenty come as their codes once ycurs_keypad_extended loaded
// them, as bytes without it. None takes or begins with a sequence of the twenty,
// whichever is loaded first, and none longer than the reader's 16 bytes is loaded.
TEST_F(FunctionKeys, ExtendedKeysLoadedBesideTheTwenty) {
  enum Load { twenty, twenty_then_extended, extended_then_twenty };
  const Stage xterm = {.term = "xterm", .private_terminfo = false}, ext = {.term = "ytest-ext"};
  // Delete, Insert, Page Up, Page Down, Shift-Tab, F13 and Shift-Up of an xterm; for
  // ytest-ext, the twenty's sequences that others repeat or extend.
  const std::vector<std::string>
      xterm_keys = {"\033[3~", "\033[2~", "\033[5~", "\033[6~", "\033[Z", "\033[1;2P", "\033[1;2A"},
      ext_keys = {
          "\b",      "\033OP", "\0B"s, "\033[Ax", "\033[12345678901234~", "\033[1234567890123~",
          "\033[2~", "\033[Z"};
  // The 17-byte key comes back byte by byte.
  const Notes ext_codes = {
      "263", "265", "272", "259 120", "27 91 49 50 51 52 53 54 55 56 57 48 49 50 51 52 126",
      "281", "331", "353"};
  struct Row {
    Stage stage;
    Load load;
    const std::vector<std::string> &typed;
    Notes want;
  } rows[] = {
      {xterm, twenty_then_extended, xterm_keys, {"330", "331", "339", "338", "353", "277", "337"}},
      {xterm, twenty, {xterm_keys[0]}, {"27 91 51 126"}},
      {ext, twenty_then_extended, ext_keys, ext_codes},
      {ext, extended_then_twenty, ext_keys, ext_codes},
  };
  for (const Row &row : rows) {
    Outcome o = run_scenario(row.stage, [&row](Scenario &s) {
      ycurs_ctx_s *ctx = ycurs_initterm();
      ycurs_cbreak(ctx);
      if (row.load == extended_then_twenty) ycurs_keypad_extended(ctx);
      ycurs_keypad(ctx, 1);
      if (row.load == twenty_then_extended) ycurs_keypad_extended(ctx);
      for (const std::string &typed : row.typed) {
        s.type(typed);
        s.note(s.keys(ctx));
      }
      ycurs_free(ctx);
    });
    EXPECT_EQ(o.notes, row.want) << row.stage.term << " " << row.load;
  }
}

// The extension's records are ycurs_keypad's, for the keys it loads only (one "+"
// per continuation record: a byte of the sequence).
TEST_F(FunctionKeys, ExtendedKeysRecordedAsTheTwenty) {
  Outcome o = run_scenario({.term = "ytest-ext", .trace_level = 7}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initterm();
    ycurs_keypad(ctx, 1);
    take_trace();
    s.note(std::to_string(ycurs_keypad_extended(ctx)));
    Notes records;
    for (const TraceRecord &r : take_trace()) {
      if (r.continuation())
        records.back() += " +";
      else
        records.push_back(show(r));
    }
    for (const std::string &r : records) s.note(r);
    ycurs_free(ctx);
  });
  EXPECT_EQ(
      o.notes,
      (Notes{"0", "ycurs 7 L7 \"KEY_F0\" \"k0\"", "ycurs 8 L3 \"KEY_F0\" \"Invalid argument\"",
             "ycurs 7 L7 \"KEY_IC\" \"kI\" + + + +", "ycurs 7 L7 \"KEY_BTAB\" \"kB\" + + +",
             "ycurs 7 L7 \"KEY_F17\" \"F7\" + + + + + + + + + + + + + + + +"}));
}

std::string terminal_modes() {
  termios t;
  return tcgetattr(0, &t) == 0 ? modes(t) : "no terminal";
}

TEST_F(TerminalModes, AppliedToTerminalAndRestoredByEndwin) {
  Outcome o = run_scenario({Input::pty, nullptr}, [](Scenario &s) {
    termios start;
    tcgetattr(0, &start);
    start.c_lflag &= ~static_cast<tcflag_t>(ISIG);  // so that cbreak's changes all show
    start.c_cc[VTIME] = 3;
    tcsetattr(0, TCSANOW, &start);
    ycurs_ctx_s *ctx = ycurs_initscr();
    take_trace();
    s.note(terminal_modes());
    int (*steps[])(ycurs_ctx_s *) = {
        ycurs_cbreak,
        ycurs_noecho,
        [](ycurs_ctx_s *c) { return ycurs_intr(c, 0); },
        [](ycurs_ctx_s *c) { return ycurs_intr(c, 1); },
        [](ycurs_ctx_s *c) { return ycurs_endwin(c), 0; },
        ycurs_noecho,  // brings back the cbreak settings with its own
        [](ycurs_ctx_s *c) { return g_fail_tcsetattr_errno = EIO, ycurs_intr(c, 0); },
        [](ycurs_ctx_s *c) { return ycurs_endwin(c), g_fail_tcsetattr_errno = 0; },
        ycurs_noecho,  // carries the change that failed
    };
    for (auto step : steps) {
      int r = step(ctx);
      s.note_trace();
      s.note(std::to_string(r) + ": " + terminal_modes());
    }
    ycurs_free(ctx);
  });
  EXPECT_EQ(o.notes, (Notes{
                         "icrnl 1 icanon 1 isig 0 echo 1 min 1 time 3 intr 3",
                         "0: icrnl 0 icanon 0 isig 1 echo 1 min 1 time 0 intr 3",
                         "0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 0",
                         "0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "0: icrnl 1 icanon 1 isig 0 echo 1 min 1 time 3 intr 3",
                         "0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "ycurs 9 L3 0 \"Input/output error\"",
                         "5: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "ycurs 5 L3 0 \"Input/output error\"",
                         "0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 0",
                     }));
}

// A level-0 record, then abort; a broken contract goes to the assertion routine.
TEST(TerminalFailures, EndTheProcess) {
  struct Row {
    void (*provoke)();
    std::string last;  // last record, or the end of the assertion message
  } rows[] = {
      {[] { g_fail_fpathconf = 1; }, "ycurs 10 L0"},
      {[] { close(0); }, "ycurs 17 L0 \"Bad file descriptor\""},
      {[] { dup2(open("/", O_RDONLY), 0); }, "ycurs 18 L0 \"Is a directory\""},
      {[] { g_read_returns_two = 1; }, "yassert: infra/yutil/src/ycurs:"},
  };
  for (const Row &row : rows) {
    Outcome o = run_scenario({.input = Input::pipe, .exit_code = 9}, [&](Scenario &s) {
      // Back here out of abort(), where the context can be released.
      static sigjmp_buf aborted;
      signal(SIGABRT, [](int) { siglongjmp(aborted, 1); });
      ycurs_ctx_s *ctx = ycurs_initterm();
      if (sigsetjmp(aborted, 1) != 0) s.note_trace(), ycurs_free(ctx), _exit(9);
      s.type("a");
      take_trace();
      row.provoke();
      ycurs_intr(ctx, 0);
      ycurs_wgetch(ctx);
    });
    if (o.notes.empty()) {  // the assertion routine wrote to standard error
      EXPECT_EQ(o.err.find(row.last), 0u) << o.err;
      EXPECT_TRUE(o.err.ends_with(": assertion failed: nbytes == 1\n")) << o.err;
    } else {
      EXPECT_EQ(o.notes.back(), row.last);
    }
  }
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
