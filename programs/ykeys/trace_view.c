// SPDX-License-Identifier: MIT
#define _GNU_SOURCE
#include "trace_view.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "ycurs.h"
#include "ytrace_decode.h"

static struct {
  ytrace_decoder_s *decoder;
  int fd;             /* the record file, read as it grows; -1 until it exists */
  char dir[PATH_MAX]; /* the folder made for the file; "" when YTRACE_FILE was given */
  const char *path;   /* the record file */
  int failed;         /* the file was damaged: reported once, then no more reading */
  FILE *out;
  char run[512];    /* the line shown last, without its time */
  unsigned repeats; /* how many more lines alike came after it */
} view = {.fd = -1};

/* A line without its time of day, which ends at the first space. */
static const char *without_time(const char *line) {
  const char *space = strchr(line, ' ');
  return space != NULL ? space + 1 : line;
}

static void end_run(void) {
  if (view.repeats > 0) fprintf(view.out, "    (%u more alike)\n", view.repeats);
  view.repeats = 0;
}

static void on_notice(void *context, const char *notice, size_t length) {
  (void)context;
  (void)length;
  end_run();
  fprintf(view.out, "    trace: %s\n", notice);
}

static void on_line(void *context, const char *line, size_t length) {
  (void)context;
  (void)length;
  const char *text = without_time(line);
  if (strcmp(text, view.run) == 0) {
    view.repeats++;
    return;
  }
  end_run();
  fprintf(view.out, "    %s\n", line);
  snprintf(view.run, sizeof view.run, "%s", text);
}

int ykeys_trace_open(void) {
  view.path = getenv("YTRACE_FILE");
  if (view.path == NULL || *view.path == 0) {
    static char path[sizeof view.dir + sizeof "/trace"];
    const char *tmp = getenv("TMPDIR");
    if (tmp == NULL || *tmp == 0) tmp = "/tmp";
    int too_long = snprintf(view.dir, sizeof view.dir, "%s/ykeys-XXXXXX", tmp) >= PATH_MAX;
    if (too_long) errno = ENAMETOOLONG;
    if (too_long || mkdtemp(view.dir) == NULL) {
      view.dir[0] = 0;
      perror("ykeys: cannot make a folder for the trace");
      return -1;
    }
    snprintf(path, sizeof path, "%s/trace", view.dir);
    view.path = path;
    setenv("YTRACE_FILE", path, 1);
  }
  Dl_info library;
  view.decoder = ytrace_decoder_new(on_line, NULL);
  if (view.decoder != NULL) {
    ytrace_decoder_on_notice(view.decoder, on_notice, NULL);
    ytrace_decoder_follow(view.decoder);
  }
  if (view.decoder == NULL || dladdr((void *)ycurs_initscr, &library) == 0 ||
      ytrace_decoder_load(view.decoder, library.dli_fname) != 0) {
    fprintf(stderr, "ykeys: cannot read the message catalogs: %s\n",
            view.decoder != NULL ? ytrace_decoder_error(view.decoder) : "out of memory");
    ykeys_trace_close();
    return -1;
  }
  return 0;
}

void ykeys_trace_show(FILE *out) {
  if (view.decoder == NULL || view.failed) return;
  if (view.fd < 0) view.fd = open(view.path, O_RDONLY | O_CLOEXEC);
  if (view.fd < 0) return; /* nothing recorded yet */
  view.out = out;
  if (ytrace_decoder_read(view.decoder, view.fd) != 0) view.failed = 1;
  ytrace_decoder_flush(view.decoder);
  end_run();
  if (view.failed) fprintf(out, "    trace: %s\n", ytrace_decoder_error(view.decoder));
  fflush(out);
}

void ykeys_trace_close(void) {
  if (view.fd >= 0) close(view.fd);
  view.fd = -1;
  ytrace_decoder_free(view.decoder);
  view.decoder = NULL;
  if (view.dir[0] != 0) {
    unlink(view.path);
    rmdir(view.dir);
    view.dir[0] = 0;
  }
}
