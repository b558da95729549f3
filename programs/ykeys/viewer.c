// SPDX-License-Identifier: MIT
#define _GNU_SOURCE /* ppoll */
#include "viewer.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include "signals.h"
#include "trace_view.h"
#include "ycurs.h"

const char *ykeys_key_name(int key, char *buf) {
  const ycurs_fkey_s *const tables[] = {ycurs_fkeys, ycurs_extended_keys};
  for (size_t t = 0; t < sizeof tables / sizeof tables[0]; t++) {
    for (const ycurs_fkey_s *k = tables[t]; k->key_name != NULL; k++) {
      if (k->key_code == key) return k->key_name;
    }
  }
  if (key < 0 || key > 255) {
    snprintf(buf, 8, "#%d", key & 0xffff);
    return buf;
  }
  char *p = buf;
  if (key >= 128) {
    *p++ = 'M';
    *p++ = '-';
    key -= 128;
  }
  if (key < 32 || key == 127) {
    *p++ = '^';
    *p++ = (char)(key == 127 ? '?' : key + '@');
  } else {
    *p++ = (char)key;
  }
  *p = 0;
  return buf;
}

static void show_banner(FILE *out, int trace) {
  fprintf(out, "ykeys: press keys to see their names; q quits\n");
  if (trace) ykeys_trace_show(out);
  fflush(out);
}

/* Puts the viewer's modes on the terminal; the first call sets them up. */
static void take_terminal(ycurs_ctx_s *ctx, int extended) {
  ycurs_cbreak(ctx);
  ycurs_noecho(ctx);
  ycurs_intr(ctx, 0);
  ycurs_keypad(ctx, 1);
  if (extended) ycurs_keypad_extended(ctx);
}

/* Acts on the stop and continue signals noted; *ours tells whether the viewer's
 * modes are on the terminal. Stopped, the terminal is as it was found; continued
 * in the foreground, as the viewer sets it (also after a SIGSTOP, as a shell may
 * have reset it); continued in the background, the viewer stops again until it
 * is brought back, rather than take the terminal from the shell. */
static void follow_job_control(ycurs_ctx_s *ctx, int *ours, FILE *out, int trace, int extended) {
  if (ykeys_stop_signal != 0) {
    int sig = ykeys_stop_signal;
    ykeys_stop_signal = 0;
    if (*ours) ycurs_endwin(ctx);
    *ours = 0;
    ykeys_stop(sig);
  }
  if (ykeys_continued && ykeys_ending_signal == 0) {
    ykeys_continued = 0;
    if (tcgetpgrp(STDIN_FILENO) != getpgrp()) {
      ykeys_stop_signal = SIGTTIN;
    } else {
      take_terminal(ctx, extended);
      *ours = 1;
      show_banner(out, trace);
    }
  }
}

int ykeys_view(FILE *out, int trace, int escape_delay_ms, int extended) {
  sigset_t noted, unblocked;
  ykeys_note_signals(1, &noted);
  ycurs_ctx_s *ctx = ycurs_initscr();
  if (ctx == NULL) {
    fprintf(stderr, "ykeys: cannot set up the terminal\n");
    return 1;
  }
  // The library sends its terminal strings to standard output.
  if (!isatty(STDOUT_FILENO)) {
    fprintf(stderr,
            "ykeys: standard output is not a terminal, whose keypad mode thus stays "
            "as it is: keys may come as raw bytes\n");
  }
  take_terminal(ctx, extended);
  int ours = 1, status = 0;
  show_banner(out, trace);

  // Signals come only while waiting: a note made after its check still ends the wait.
  sigprocmask(SIG_BLOCK, &noted, &unblocked);
  const struct timespec escape_delay = {escape_delay_ms / 1000,
                                        escape_delay_ms % 1000 * 1000 * 1000};
  while (ykeys_ending_signal == 0) {
    follow_job_control(ctx, &ours, out, trace, extended);
    if (ykeys_stop_signal != 0) continue;
    int key = ycurs_wgetch(ctx);
    if (key == YCURS_NOTHING) {
      // Bytes held may begin a key: its next byte has the escape delay to come.
      // Otherwise nothing is due until input or a signal comes.
      struct pollfd input = {STDIN_FILENO, POLLIN, 0};
      const struct timespec *limit = ctx->input_read_buf_used > 0 ? &escape_delay : NULL;
      if (ppoll(&input, 1, limit, &unblocked) < 0 && errno != EINTR) {
        fprintf(stderr, "ykeys: cannot wait for input: %s\n", strerror(errno));
        status = 1;
        break;
      }
      continue;
    }
    if (key == YCURS_ENDED || key == 'q') break;
    char name[8];
    fprintf(out, "%s\n", ykeys_key_name(key, name));
    if (trace) ykeys_trace_show(out);
    fflush(out);
  }

  if (ours) ycurs_endwin(ctx);
  ycurs_free(ctx);
  sigprocmask(SIG_SETMASK, &unblocked, NULL);
  ykeys_end_if_signalled();
  return status;
}
