// SPDX-License-Identifier: MIT
/* ytrace-decode [--follow] FILE --lib LIBFILE...: prints the records of a trace
 * record file as text, with the message catalogs of the given library files. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command_line.h"
#include "ytrace_decode.h"

enum { POLL_MICROSECONDS = 100000 };

static const char usage[] =
    "usage: ytrace-decode [--follow] FILE --lib LIBFILE...\n"
    "Prints the records of the trace record file FILE (\"-\": standard input), one\n"
    "line each, with the message texts the library files LIBFILE carry:\n"
    "  HH:MM:SS.uuuuuu PID/TID MODULE LLEVEL TEXT   (time of day in UTC)\n"
    "  -f, --follow   wait for FILE to be made, then go on reading as it grows,\n"
    "                 until interrupted\n"
    "      --lib LIBFILE..., --lib=LIBFILE...\n"
    "                 the library files: every later argument that is not an\n"
    "                 option is one too, so FILE goes before --lib\n"
    "  -h, --help     show this text\n"
    "      --version  show the version\n";

static unsigned long lines_printed;

static void print_line(void *context, const char *line, size_t length) {
  fwrite(line, 1, length, context);
  putc('\n', context);
  lines_printed++;
}

static void print_notice(void *file, const char *notice, size_t length) {
  (void)length;
  fprintf(stderr, "ytrace-decode: %s: %s\n", (const char *)file, notice);
}

/* Decodes the file to its end or, following, on as it grows. Returns null when
 * all was decoded, otherwise the reason it stopped. */
static const char *decode(ytrace_decoder_s *d, int fd, int follow) {
  struct stat st;
  /* Only a regular file can be read again as it grows. */
  if (!follow || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int failed = ytrace_decoder_read(d, fd) != 0 || ytrace_decoder_end(d) != 0;
    return failed ? ytrace_decoder_error(d) : NULL;
  }
  ytrace_decoder_follow(d);
  for (;;) {
    unsigned long before = lines_printed;
    if (ytrace_decoder_read(d, fd) != 0) return ytrace_decoder_error(d);
    if (lines_printed == before) {
      /* Nothing more for now: a continuation written later starts a line of
       * its own. */
      ytrace_decoder_flush(d);
      fflush(stdout);
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
  cli_s c;
  cli_start(&c, "ytrace-decode", usage, argc, argv);
  const char *file = NULL, *lib;
  int follow = 0, libs = 0, status = 0;
  while (cli_next(&c)) {
    int standard = cli_standard(&c);
    if (standard >= 0) return standard;
    if (cli_flag(&c, "follow", "f", &status)) {
      follow = 1;
    } else if (cli_value(&c, "lib", "a file", &lib, &status)) {
      argv[libs++] = (char *)lib; /* gathered at the front, which is read no more */
    } else if (cli_is_option(&c)) {
      return cli_unexpected(&c);
    } else if (libs > 0) {
      argv[libs++] = (char *)c.arg;
    } else if (file == NULL) {
      file = c.arg;
    } else {
      return cli_unexpected(&c);
    }
    if (status != 0) return status;
  }
  if (file == NULL && libs > 0) {
    return cli_usage_error(&c,
                           "missing FILE, which goes before --lib: every later argument "
                           "names a library file");
  }
  if (file == NULL) return cli_usage_error(&c, "missing FILE");
  if (libs == 0) return cli_usage_error(&c, "missing --lib LIBFILE");

  ytrace_decoder_s *d = ytrace_decoder_new(print_line, stdout);
  if (d == NULL) {
    fputs("ytrace-decode: out of memory\n", stderr);
    return 1;
  }
  ytrace_decoder_on_notice(d, print_notice, (void *)file);
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
