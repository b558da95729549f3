// SPDX-License-Identifier: MIT
#define _XOPEN_SOURCE 700
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "signals.h"
#include "trace_view.h"
#include "viewer.h"

// What an xterm in keypad-transmit mode sends for each key; `extended`: one of
// ycurs_extended_keys.
static const struct {
  const char *label, *bytes, *expected;
  int extended;
} script[] = {
    {"Up", "\033OA", "KEY_UP", 0},
    {"Down", "\033OB", "KEY_DOWN", 0},
    {"Left", "\033OD", "KEY_LEFT", 0},
    {"Right", "\033OC", "KEY_RIGHT", 0},
    {"F1", "\033OP", "KEY_F1", 0},
    {"F5", "\033[15~", "KEY_F5", 0},
    {"F12", "\033[24~", "KEY_F12", 0},
    {"Home", "\033OH", "KEY_HOME", 0},
    {"End", "\033OF", "KEY_END", 0},
    {"Backspace", "\177", "KEY_BACKSPACE", 0},
    {"Enter", "\r", "^M", 0},
    {"keypad Enter", "\033OM", "KEY_ENTER", 0},
    {"Delete", "\033[3~", "KEY_DC", 1},
    {"Page Down", "\033[6~", "KEY_NPAGE", 1},
    {"Shift-Tab", "\033[Z", "KEY_BTAB", 1},
    {"F13 (Shift-F1)", "\033[1;2P", "KEY_F13", 1},
    {"h", "h", "h", 0},
    {"i", "i", "i", 0},
    {"Escape, then a pause", "\033", "^[", 0},
};
enum { script_keys = sizeof script / sizeof script[0] };

static long now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Reads one line the viewer reported, discarding what it sends to the terminal
// meanwhile. 0 when none came in time or the viewer is gone.
static int next_line(int report, int master, char *line, size_t size, long timeout_ms) {
  size_t len = 0;
  for (long end = now_ms() + timeout_ms; now_ms() < end && ykeys_ending_signal == 0;) {
    struct pollfd fds[2] = {{report, POLLIN, 0}, {master, POLLIN, 0}};
    if (poll(fds, 2, 50) < 0 && errno != EINTR) return 0;
    char c, discard[256];
    if (fds[1].revents & POLLIN) (void)!read(master, discard, sizeof discard);
    if (fds[0].revents == 0) continue;
    if (read(report, &c, 1) != 1) return 0;
    if (c == '\n') {
      line[len] = 0;
      return 1;
    }
    if (len + 1 < size) line[len++] = c;
  }
  return 0;
}

// `master` and `unused` are the demo's ends: the viewer closes them, so that it
// sees the terminal hang up and its reports go nowhere if the demo is killed.
static pid_t start_viewer(int slave, int report, int master, int unused, int escape_delay_ms,
                          int extended) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  close(master);
  close(unused);
  // A session of its own, the pseudo-terminal its controlling terminal.
  setsid();
  if (ioctl(slave, TIOCSCTTY, 0) != 0) _exit(127);
  dup2(slave, STDIN_FILENO);
  dup2(slave, STDOUT_FILENO);
  close(slave);
  setenv("TERM", "xterm", 1);
  FILE *out = fdopen(report, "w");
  _exit(out != NULL ? ykeys_view(out, 0, escape_delay_ms, extended) : 127);
}

static int finish_viewer(pid_t pid) {
  int status = 0;
  for (long end = now_ms() + 3000; now_ms() < end && ykeys_ending_signal == 0;) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    struct timespec pause = {0, 10 * 1000 * 1000};
    nanosleep(&pause, NULL);
  }
  kill(pid, SIGTERM);
  waitpid(pid, &status, 0);
  return status;
}

// Opens a pseudo-terminal, both sides: devpts may be there without /dev/pts (a
// package build's chroot), the slave then missing. Returns the master, or -1
// with `failed` naming the call or the slave that failed.
static int open_pty(const char **path, int *slave, const char **failed) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  *slave = -1;
  *failed = master < 0                                      ? "posix_openpt"
            : grantpt(master) != 0                          ? "grantpt"
            : unlockpt(master) != 0                         ? "unlockpt"
            : (*path = ptsname(master)) == NULL             ? "ptsname"
            : (*slave = open(*path, O_RDWR | O_NOCTTY)) < 0 ? *path
                                                            : NULL;
  if (*failed == NULL) return master;
  int error = errno;
  if (master >= 0) close(master);
  errno = error;
  return -1;
}

int ykeys_demo(FILE *out, int trace, int escape_delay_ms, int extended) {
  sigset_t noted;
  ykeys_note_signals(0, &noted);
  const char *path, *failed;
  int slave, report[2];
  int master = open_pty(&path, &slave, &failed);
  if (master < 0) {
    fprintf(out, "ykeys demo: no pseudo-terminal: %s: %s\n", failed, strerror(errno));
    return 1;
  }
  if (pipe(report) != 0) {
    fprintf(out, "ykeys demo: cannot make a pipe: %s\n", strerror(errno));
    close(slave);
    close(master);
    return 1;
  }
  int typing = 0;
  for (int i = 0; i < script_keys; i++) typing += extended || !script[i].extended;
  fprintf(out, "ykeys demo: viewer on %s as an xterm; typing %d keys\n", path, typing);
  fflush(out);
  pid_t viewer = start_viewer(slave, report[1], master, report[0], escape_delay_ms, extended);
  if (viewer < 0) {
    // No viewer to wait for or stop: -1 would name every child, or every process.
    fprintf(out, "ykeys demo: cannot start the viewer: %s\n", strerror(errno));
    close(report[0]);
    close(report[1]);
    close(slave);
    close(master);
    return 1;
  }
  close(report[1]);
  close(slave);

  char line[64];
  int decoded = 0, matched = 0;
  if (!next_line(report[0], master, line, sizeof line, 5000)) {
    fprintf(out, "ykeys demo: the viewer did not start\n");
  } else {
    for (int i = 0; i < script_keys && ykeys_ending_signal == 0; i++) {
      if (!extended && script[i].extended) continue;
      (void)!write(master, script[i].bytes, strlen(script[i].bytes));
      int got = next_line(report[0], master, line, sizeof line, 2000);
      int ok = got && strcmp(line, script[i].expected) == 0;
      decoded += got;
      matched += ok;
      char typed[32] = "", name[8];
      for (const char *b = script[i].bytes; *b != 0; b++) {
        strncat(typed, ykeys_key_name((unsigned char)*b, name), sizeof typed - strlen(typed) - 1);
      }
      fprintf(out, "  %-22s typed %-8s decoded %s%s%s\n", script[i].label, typed,
              got ? line : "nothing", ok ? "" : ", expected ", ok ? "" : script[i].expected);
      // The viewer wrote the key's records before it reported the key.
      if (trace) ykeys_trace_show(out);
    }
    (void)!write(master, "q", 1);
  }
  int status = finish_viewer(viewer);
  close(master);
  int clean_exit = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (matched == typing) {
    fprintf(out, "ykeys demo: %d keys decoded, all match the script\n", decoded);
  } else {
    fprintf(out, "ykeys demo: %d keys decoded, %d do not match the script\n", decoded,
            typing - matched);
  }
  if (!clean_exit) fprintf(out, "ykeys demo: the viewer did not end cleanly\n");
  ykeys_end_if_signalled();
  return matched == typing && clean_exit ? 0 : 1;
}
