// SPDX-License-Identifier: MIT
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
      "  -f, --follow   wait for FILE to be made, then go on reading as it grows,\n"
      "                 until interrupted\n"
      "  -h, --help     show this text\n"
      "      --version  show the version\n",
      to);
  return status;
}

static void print_line(void *context, const char *line, size_t length) {
  fwrite(line, 1, length, context);
  putc('\n', context);
}

/* Feeds the decoder from fd to the records' end or, following, on as the file
 * grows. A file is read again from the decoder's offset each time, since the
 * bytes past it may still be written; from a pipe, whose bytes do not change,
 * those not decoded are kept and more read after them. Returns null when all
 * was decoded, otherwise the reason it stopped. */
static const char *decode(ytrace_decoder_s *d, int fd, int follow) {
  static char buf[1 << 16];
  static char reason[128];
  int seekable = lseek(fd, 0, SEEK_CUR) >= 0;
  if (follow && seekable) ytrace_decoder_follow(d);
  size_t kept = 0;
  int quiet_polls = 0;
  for (;;) {
    uint64_t at = ytrace_decoder_offset(d);
    ssize_t n =
        seekable ? pread(fd, buf, sizeof buf, (off_t)at) : read(fd, buf + kept, sizeof buf - kept);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      snprintf(reason, sizeof reason, "cannot read: %s", strerror(errno));
      return reason;
    }
    size_t have = seekable ? (size_t)n : kept + (size_t)n;
    if (n > 0 && ytrace_decoder_feed(d, buf, have) != 0) return ytrace_decoder_error(d);
    size_t used = (size_t)(ytrace_decoder_offset(d) - at);
    if (!seekable) {
      kept = have - used;
      memmove(buf, buf + used, kept);
    }
    if (n > 0 && (used > 0 || !seekable)) {
      quiet_polls = 0;
    } else if (!follow) {
      return ytrace_decoder_end(d) == 0 ? NULL : ytrace_decoder_error(d);
    } else {
      /* Nothing more for now. The continuations of a record are written right
       * after it, so lines held for them are shown only after a quiet poll. */
      if (quiet_polls++ > 0) {
        ytrace_decoder_flush(d);
        fflush(stdout);
      }
      struct stat st;
      if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size < at) {
        return "the file became shorter while it was followed";
      }
      usleep(POLL_MICROSECONDS);
    }
  }
}

/* The file to decode; a follower waits for it to be made, since the program
 * that writes it may not have got that far yet. */
static int open_file(const char *file, int follow) {
  if (strcmp(file, "-") == 0) return STDIN_FILENO;
  int fd;
  while ((fd = open(file, O_RDONLY | O_CLOEXEC)) < 0 && follow && errno == ENOENT) {
    usleep(POLL_MICROSECONDS);
  }
  return fd;
}

int main(int argc, char **argv) {
  const char *file = NULL;
  int follow = 0, in_libs = 0, libs = 0;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (strcmp(a, "-h") == 0 || strcmp(a, "--help") == 0) return usage(stdout, 0);
    if (strcmp(a, "--version") == 0) {
      puts("ytrace-decode (libyutil) " YUTIL_VERSION);
      return 0;
    }
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
    fd = open_file(file, follow);
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
