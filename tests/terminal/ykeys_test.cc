// The key viewer gives the terminal back also when a signal ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"
#include "viewer.h"

namespace {

bool same_modes(const termios &a, const termios &b) {
  return a.c_iflag == b.c_iflag && a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, NCCS) == 0;
}

TEST(Ykeys, GivesTerminalBackWhenEndedBySignal) {
  for (int sig : {SIGTERM, SIGHUP}) {
    Outcome o = run_scenario({}, [sig](Scenario &s) {
      termios before, during, after;
      tcgetattr(0, &before);
      int lines[2];
      if (pipe(lines) != 0) return;
      pid_t viewer = fork();
      if (viewer == 0) _exit(ykeys_view(fdopen(lines[1], "w")));
      close(lines[1]);
      FILE *shown = fdopen(lines[0], "r");
      char line[80];
      for (const char *key : {"", "\033[A", "\001"}) {
        if (write(s.feed, key, strlen(key)) < 0 || !fgets(line, sizeof line, shown)) return;
        s.note(strtok(line, "\n"));
      }
      tcgetattr(0, &during);
      kill(viewer, sig);
      int status;
      waitpid(viewer, &status, 0);
      tcgetattr(0, &after);
      s.note(WIFSIGNALED(status) && WTERMSIG(status) == sig ? "ended by the signal" : "not ended");
      s.note(same_modes(before, during) ? "modes unchanged" : "modes changed");
      s.note(same_modes(before, after) ? "terminal given back" : "terminal left changed");
    });
    EXPECT_EQ(o.notes, (std::vector<std::string>{"ykeys: press keys to see their names; q quits",
                                                 "KEY_UP", "^A", "ended by the signal",
                                                 "modes changed", "terminal given back"}))
        << strsignal(sig);
    EXPECT_EQ(o.out, "<is1><is2><is3><ks><ke>");
  }
}

}  // namespace
