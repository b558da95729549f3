// Input modes as the terminal sees them, and the failures of the mode operations.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"

namespace {

using Notes = std::vector<std::string>;

std::string modes(const termios &t) {
  auto bit = [](tcflag_t f, tcflag_t b) { return (f & b) ? "1" : "0"; };
  return std::string("icrnl ") + bit(t.c_iflag, ICRNL) + " icanon " + bit(t.c_lflag, ICANON) +
         " isig " + bit(t.c_lflag, ISIG) + " echo " + bit(t.c_lflag, ECHO) + " min " +
         std::to_string(t.c_cc[VMIN]) + " time " + std::to_string(t.c_cc[VTIME]) + " intr " +
         std::to_string(t.c_cc[VINTR]);
}

std::string terminal_modes() {
  termios t;
  return tcgetattr(0, &t) == 0 ? modes(t) : "no terminal";
}

TEST(TerminalModes, AppliedToTerminalAndRestoredByEndwin) {
  Outcome o = run_scenario({Input::pty, nullptr}, [](Scenario &s) {
    termios start;
    tcgetattr(0, &start);
    start.c_lflag &= ~static_cast<tcflag_t>(ISIG);  // so that cbreak's ISIG shows
    start.c_cc[VTIME] = 3;
    tcsetattr(0, TCSANOW, &start);
    ycurs_ctx_s *ctx = ycurs_initscr();
    s.note(terminal_modes());
    struct Step {
      const char *name;
      int (*op)(ycurs_ctx_s *);
    } steps[] = {{"cbreak", ycurs_cbreak},
                 {"noecho", ycurs_noecho},
                 {"intr off", [](ycurs_ctx_s *c) { return ycurs_intr(c, 0); }},
                 {"intr on", [](ycurs_ctx_s *c) { return ycurs_intr(c, 1); }},
                 {"endwin", [](ycurs_ctx_s *c) { return ycurs_endwin(c), 0; }},
                 {"noecho", ycurs_noecho}};
    for (const Step &step : steps) {
      int r = step.op(ctx);
      s.note(std::string(step.name) + " " + std::to_string(r) + ": " + terminal_modes());
    }
    s.note_trace();
  });
  EXPECT_EQ(o.notes, (Notes{
                         "icrnl 1 icanon 1 isig 0 echo 1 min 1 time 3 intr 3",
                         "cbreak 0: icrnl 0 icanon 0 isig 1 echo 1 min 1 time 0 intr 3",
                         "noecho 0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "intr off 0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 0",
                         "intr on 0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "endwin 0: icrnl 1 icanon 1 isig 0 echo 1 min 1 time 3 intr 3",
                         "noecho 0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                         "ycurs 3 L6",
                     }));
}

// A refused apply is reported with its errno; the change waits in the working copy.
TEST(TerminalModes, FailingApplyKeepsChangeForNextApply) {
  Outcome o = run_scenario({Input::pty, nullptr}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initterm();
    take_trace();
    g_fail_tcsetattr_errno = EIO;
    int r = ycurs_cbreak(ctx);
    s.note("cbreak " + std::to_string(r) + ": " + terminal_modes());
    ycurs_endwin(ctx);
    s.note_trace();
    g_fail_tcsetattr_errno = 0;
    r = ycurs_noecho(ctx);
    s.note("noecho " + std::to_string(r) + ": " + terminal_modes());
  });
  EXPECT_EQ(o.notes, (Notes{
                         "cbreak 5: icrnl 1 icanon 1 isig 1 echo 1 min 1 time 0 intr 3",
                         "ycurs 9 L3 0 \"Input/output error\"",
                         "ycurs 5 L3 0 \"Input/output error\"",
                         "noecho 0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3",
                     }));
}

TEST(TerminalModes, WithoutTerminalOnlyWorkingCopyChanges) {
  Outcome o = run_scenario({Input::dev_null}, [](Scenario &s) {
    ycurs_ctx_s *ctx = ycurs_initterm();
    take_trace();
    int r = ycurs_cbreak(ctx) + ycurs_noecho(ctx) + ycurs_intr(ctx, 0) + ycurs_intr(ctx, 1) +
            ycurs_meta(ctx, 1);
    s.note(std::to_string(r) + ": " + modes(ctx->cur_attrs));
    s.note_trace();
  });
  EXPECT_EQ(o.notes, (Notes{"0: icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 0"}));
  EXPECT_EQ(o.out, "");
}

// Failures the layer cannot go on after: a level-0 record, then abort; a broken
// contract goes to the assertion routine.
TEST(TerminalFailures, EndTheProcess) {
  struct Row {
    const char *name;
    void (*provoke)();
    std::string record;  // the last record before the end, or the assertion text
  } rows[] = {
      {"interrupt key", [] { g_fail_fpathconf = 1; }, "ycurs 10 L0"},
      {"select", [] { close(0); }, "ycurs 17 L0 \"Bad file descriptor\""},
      {"read", [] { dup2(open("/", O_RDONLY), 0); }, "ycurs 18 L0 \"Is a directory\""},
      {"count", [] { g_read_returns_two = 1; }, "yassert: infra/yutil/src/ycurs:"},
  };
  for (const Row &row : rows) {
    Outcome o = run_scenario({Input::pipe}, [&](Scenario &s) {
      static Scenario *current;
      current = &s;
      signal(SIGABRT, [](int) {
        current->note_trace();
        _exit(9);
      });
      ycurs_ctx_s *ctx = ycurs_initterm();
      s.type("a");
      take_trace();
      row.provoke();
      ycurs_intr(ctx, 0);
      ycurs_wgetch(ctx);
      s.note("returned");
    });
    EXPECT_EQ(WEXITSTATUS(o.status), 9) << row.name;
    if (row.record.starts_with("yassert")) {
      EXPECT_NE(o.err.find(row.record), std::string::npos) << o.err;
      EXPECT_TRUE(o.err.ends_with(": assertion failed: nbytes == 1\n")) << o.err;
    } else {
      ASSERT_FALSE(o.notes.empty()) << row.name;
      EXPECT_EQ(o.notes.back(), row.record);
    }
  }
}

}  // namespace
