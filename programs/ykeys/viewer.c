// SPDX-License-Identifier: MIT
#define _POSIX_C_SOURCE 200809L
#include "viewer.h"

#include <signal.h>
#include <time.h>

#include "trace_view.h"
#include "ycurs.h"

static volatile sig_atomic_t stop_signal;

static void on_stop(int sig) {
  stop_signal = sig;
}

const char *ykeys_key_name(int key, char *buf) {
  for (const ycurs_fkey_s *k = ycurs_fkeys; k->key_name != NULL; k++) {
    if (k->key_code == key) return k->key_name;
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

int ykeys_view(FILE *out, int trace) {
  struct sigaction stop = {0};
  stop.sa_handler = on_stop;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTERM, &stop, NULL);
  sigaction(SIGHUP, &stop, NULL);
  sigaction(SIGINT, &stop, NULL);

  ycurs_ctx_s *ctx = ycurs_initscr();
  if (ctx == NULL) {
    fprintf(stderr, "ykeys: cannot set up the terminal\n");
    return 1;
  }
  ycurs_cbreak(ctx);
  ycurs_noecho(ctx);
  ycurs_intr(ctx, 0);
  ycurs_keypad(ctx, 1);
  fprintf(out, "ykeys: press keys to see their names; q quits\n");
  if (trace) ykeys_trace_show(out);
  fflush(out);

  // The pause between polls is also how long a lone Escape waits for the rest of
  // a sequence before it counts as a key of its own.
  const struct timespec pause = {0, 10 * 1000 * 1000};
  while (!stop_signal) {
    int key = ycurs_wgetch(ctx);
    if (key == YCURS_NOTHING) {
      nanosleep(&pause, NULL);
      continue;
    }
    if (key == YCURS_ENDED || key == 'q') break;
    char name[8];
    fprintf(out, "%s\n", ykeys_key_name(key, name));
    if (trace) ykeys_trace_show(out);
    fflush(out);
  }

  ycurs_endwin(ctx);
  ycurs_free(ctx);
  if (stop_signal) {
    ykeys_trace_close();
    signal(stop_signal, SIG_DFL);
    raise(stop_signal);
  }
  return 0;
}
