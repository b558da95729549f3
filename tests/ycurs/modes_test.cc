// Input modes as the terminal sees them, and the failures the layer cannot go on after.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"

namespace {

std::string terminal_modes() {
  termios t;
  return tcgetattr(0, &t) == 0 ? modes(t) : "no terminal";
}

TEST(TerminalModes, AppliedToTerminalAndRestoredByEndwin) {
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

}  // namespace
