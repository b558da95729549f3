/* ytrace-decode [--follow] FILE --lib LIBFILE...: prints the records of a trace
 * record file as text, with the message catalogs of the given library files. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ytrace_decode.h"

enum { POLL_MICROSECONDS = 100000 };

static int usage(FILE *to, int status) {
  fputs(
      "usage: ytrace-decode [--follow] FILE --lib LIBFILE...\n"
      "Prints the records of the trace record file FILE (\"-\": standard input), one\n"
      "line each, with the message texts the library files LIBFILE carry:\n"
      "  HH:MM:SS.uuuuuu PID/TID MODULE LLEVEL TEXT   (time of day in UTC)\n"
      "  -f, --follow   go on reading as FILE grows, until interrupted\n"
      "  -h, --help     show this text\n",
      to);
  return status;
}

static void print_line(void *context, const char *line, size_t length) {
  fwrite(line, 1, length, context);
  putc('\n', context);
}

/* Feeds the decoder from fd to its end or, following, on as the file grows.
 * Returns null when all was decoded, otherwise the reason it stopped. */
static const char *decode(ytrace_decoder_s *d, int fd, int follow) {
  static char buf[1 << 16];
  static char reason[128];
  off_t read_so_far = 0;
  int quiet_polls = 0;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      read_so_far += n;
      quiet_polls = 0;
      if (ytrace_decoder_feed(d, buf, (size_t)n) != 0) return ytrace_decoder_error(d);
    } else if (n < 0 && errno != EINTR) {
      snprintf(reason, sizeof reason, "cannot read: %s", strerror(errno));
      return reason;
    } else if (n == 0 && !follow) {
      return ytrace_decoder_end(d) == 0 ? NULL : ytrace_decoder_error(d);
    } else if (n == 0) {
      /* Nothing more for now. The continuations of a record are written right
       * after it, so lines held for them are shown only after a quiet poll. */
      if (quiet_polls++ > 0) {
        ytrace_decoder_flush(d);
        fflush(stdout);
      }
      struct stat st;
      if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < read_so_far) {
        return "the file became shorter while it was followed";
      }
      usleep(POLL_MICROSECONDS);
    }
  }
}

int main(int argc, char **argv) {
  const char *file = NULL;
  int follow = 0, in_libs = 0, libs = 0;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (strcmp(a, "-h") == 0 || strcmp(a, "--help") == 0) return usage(stdout, 0);
    if (strcmp(a, "-f") == 0 || strcmp(a, "--follow") == 0) {
      follow = 1;
    } else if (strcmp(a, "--lib") == 0) {
      in_libs = 1;
    } else if (a[0] == '-' && a[1] != '\0') {
      return usage(stderr, 2);
    } else if (in_libs) {
      argv[libs++] = argv[i]; /* gathered at the front, which is read no more */
    } else if (file == NULL) {
      file = a;
    } else {
      return usage(stderr, 2);
    }
  }
  if (file == NULL || libs == 0) return usage(stderr, 2);

  ytrace_decoder_s *d = ytrace_decoder_new(print_line, stdout);
  if (d == NULL) {
    fputs("ytrace-decode: out of memory\n", stderr);
    return 1;
  }
  int status = 0;
  for (int i = 0; i < libs && status == 0; i++) {
    if (ytrace_decoder_load(d, argv[i]) != 0) {
      fprintf(stderr, "ytrace-decode: %s\n", ytrace_decoder_error(d));
      status = 1;
    }
  }
  int fd = -1;
  if (status == 0) {
    fd = strcmp(file, "-") == 0 ? STDIN_FILENO : open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      fprintf(stderr, "ytrace-decode: %s: cannot open: %s\n", file, strerror(errno));
      status = 1;
    }
  }
  const char *failure = status == 0 ? decode(d, fd, follow) : NULL;
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fprintf(stderr, "ytrace-decode: cannot write the lines: %s\n", strerror(errno));
    status = 1;
  }
  if (failure != NULL) {
    fprintf(stderr, "ytrace-decode: %s: %s\n", file, failure);
    status = 1;
  }
  if (fd > STDIN_FILENO) close(fd);
  ytrace_decoder_free(d);
  return status;
}
