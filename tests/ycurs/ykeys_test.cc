// SPDX-License-Identifier: MIT
// The key viewer gives the terminal back also when a signal ends it.
#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"
#include "trace_view.h"
#include "viewer.h"

namespace {

using Ykeys = NeedsPty;  // the demonstration opens one of its own too

// The viewer in a child of the scenario; its lines come on the stream returned.
FILE *start_viewer(pid_t &viewer, int trace, int extended = 1) {
  int lines[2];
  if (pipe(lines) != 0) return nullptr;
  viewer = fork();
  if (viewer == 0) _exit(ykeys_view(fdopen(lines[1], "w"), trace, YKEYS_ESCAPE_DELAY_MS, extended));
  close(lines[1]);
  return fdopen(lines[0], "r");
}

TEST_F(Ykeys, GivesTerminalBackWhenEndedBySignal) {
  for (int sig : {SIGTERM, SIGHUP}) {
    Outcome o = run_scenario({}, [sig](Scenario &s) {
      termios before, during, after;
      tcgetattr(0, &before);
      pid_t viewer;
      FILE *shown = start_viewer(viewer, 0);
      char line[80];
      for (const char *key : {"", "\033[A", "\001"}) {  // "": the viewer's banner
        if (!shown || write(s.feed, key, strlen(key)) < 0 || !fgets(line, sizeof line, shown)) {
          return;
        }
        s.note(strtok(line, "\n"));
      }
      tcgetattr(0, &during);
      kill(viewer, sig);
      int status;
      waitpid(viewer, &status, 0);
      tcgetattr(0, &after);
      s.note(WIFSIGNALED(status) && WTERMSIG(status) == sig ? "ended by the signal" : "not ended");
      s.note(modes(during) + (modes(after) == modes(before) ? ", given back" : ", not given back"));
    });
    EXPECT_EQ(o.notes, (Notes{"ykeys: press keys to see their names; q quits", "KEY_UP", "^A",
                              "ended by the signal",
                              "icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 0, given back"}))
        << strsignal(sig);
    EXPECT_EQ(o.out, "<is1><is2><is3><ks><ke>");
  }
}

// A key whose bytes come apart (ssh, a serial console) is still decoded when
// each gap is below the escape delay, and a lone Escape still shows once it
// passed. Keys beyond the twenty have names unless left out. Standard output is
// no terminal here, so the viewer warns that the keypad mode cannot be switched.
TEST_F(Ykeys, WaitsTheEscapeDelayForTheRestOfAKey) {
  struct Case {
    std::vector<const char *> pieces;  // typed 30 ms apart
    const char *shown;
    int extended = 1;
  };
  for (const Case &c :
       {Case{{"\033", "OA"}, "KEY_UP"}, Case{{"\033", "[", "1", "5~"}, "KEY_F5"},
        Case{{"\033"}, "^["}, Case{{"\033[", "3~"}, "KEY_DC"}, Case{{"\033[", "3~"}, "^[", 0}}) {
    Outcome o = run_scenario({.term = "xterm", .private_terminfo = false}, [&c](Scenario &s) {
      pid_t viewer;
      FILE *shown = start_viewer(viewer, 0, c.extended);
      char line[80];
      if (!shown || !fgets(line, sizeof line, shown)) return;  // set up: typing may start
      for (const char *piece : c.pieces) {
        if (piece != c.pieces[0]) usleep(30 * 1000);
        if (write(s.feed, piece, strlen(piece)) < 0) return;
      }
      if (fgets(line, sizeof line, shown)) s.note(strtok(line, "\n"));
      int status = -1;
      if (write(s.feed, "q", 1) == 1) waitpid(viewer, &status, 0);
      s.note("status " + std::to_string(status));
    });
    EXPECT_EQ(o.notes, (Notes{c.shown, "status 0"})) << c.shown;
    EXPECT_EQ(o.err,
              "ykeys: standard output is not a terminal, whose keypad mode thus stays as it is: "
              "keys may come as raw bytes\n");
  }
}

// With an unknown TERM no function key is loaded: --trace shows the record that
// says why, then each byte handed back as it is.
TEST_F(Ykeys, TraceShowsWhyKeysComeAsBytes) {
  Outcome o = run_scenario({.term = "bogus"}, [](Scenario &s) {
    pid_t viewer;
    FILE *shown = ykeys_trace_open() == 0 ? start_viewer(viewer, 1) : nullptr;
    if (!shown) return;
    char line[200];
    // Typed once the viewer is set up: setting the modes discards pending input.
    for (bool typed = false; fgets(line, sizeof line, shown); typed = true) {
      if (!typed && write(s.feed, "\033[Aq", 4) != 4) return;
      std::string l = strtok(line, "\n");
      // A record's line without its time and process: "    12:00:00.000001 7/7 ycurs ..."
      if (l.starts_with("    ")) l = l.substr(l.find(' ', l.find(' ', 4) + 1) + 1);
      // Polls that found nothing yet depend on timing.
      if (l == "ycurs L6 Key check returning -1" || l.ends_with(" more alike)")) continue;
      s.note(l);
    }
    int status;
    waitpid(viewer, &status, 0);
    if (status != 0) s.note("viewer's wait status " + std::to_string(status));
    ykeys_trace_close();
  });
  EXPECT_EQ(
      o.notes,
      (Notes{"ykeys: press keys to see their names; q quits",
             "ycurs L6 Terminal type bogus unknown", "^[", "ycurs L6 Key check returning 27", "[",
             "ycurs L6 Key check returning 91", "A", "ycurs L6 Key check returning 65"}));
}

// A demonstration killed halfway leaves no viewer behind: the viewer holds
// neither the terminal's other end nor the report pipe's, so it sees both go.
TEST_F(Ykeys, KilledDemoLeavesNoViewerBehind) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // the orphaned viewer comes to this process
  pid_t demo = fork();
  if (demo == 0) _exit(ykeys_demo(fopen("/dev/null", "w"), 0, YKEYS_ESCAPE_DELAY_MS, 1));
  usleep(300 * 1000);
  kill(demo, SIGKILL);
  // Every process of the demonstration ends: nothing is left to wait for.
  bool all_ended = false;
  for (int ms = 0; ms < 5000 && !all_ended; ms += 10) {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    all_ended = waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
    if (!all_ended) usleep(10 * 1000);
  }
  EXPECT_TRUE(all_ended) << "a process of the demonstration is still running";
}

// A viewer that cannot be started fails the demonstration at once: nothing is
// waited for or signalled in its place, as pid -1 would reach every process.
TEST_F(Ykeys, DemoFailsWhenTheViewerCannotStart) {
  Outcome o = run_scenario({.input = Input::dev_null}, [](Scenario &s) {
    g_pids_used.clear();
    g_fail_fork = 1;
    int status = ykeys_demo(stdout, 0, YKEYS_ESCAPE_DELAY_MS, 1);
    fflush(stdout);
    s.note("status " + std::to_string(status) + g_pids_used);
  });
  EXPECT_EQ(o.notes, Notes{"status 1"});
  EXPECT_TRUE(o.out.ends_with(
      "ykeys demo: cannot start the viewer: " + std::string(strerror(EAGAIN)) + "\n"))
      << o.out;
}

}  // namespace
