// SPDX-License-Identifier: MIT
/* ykeys: press keys, see what the terminal layer makes of them. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "command_line.h"
#include "trace_view.h"
#include "viewer.h"

#define TEXT(x) #x
#define NUMBER_TEXT(x) TEXT(x)

static const char usage[] =
    "usage: ykeys [--trace] [--escape-delay MS] [--no-extended-keys]\n"
    "       ykeys --help | --version\n"
    "On a terminal: shows each key pressed (q quits).\n"
    "Otherwise: shows a scripted demonstration on a pseudo-terminal.\n"
    "  --trace            after each key, the trace records the library wrote\n"
    "  --escape-delay MS  how long the rest of a key begun may take to arrive,\n"
    "                     0 to " NUMBER_TEXT(YKEYS_ESCAPE_DELAY_MAX_MS) " milliseconds "
    "(default " NUMBER_TEXT(YKEYS_ESCAPE_DELAY_MS) ")\n"
    "  --no-extended-keys only the twenty keys of ycurs_fkeys, the others as bytes\n"
    "  --help             this text\n"
    "  --version          the version\n";

/* 0 with *ms set, or the usage error's status. */
static int escape_delay(const cli_s *c, const char *value, int *ms) {
  char *end;
  long n = strtol(value, &end, 10);
  if (*value < '0' || *value > '9' || *end != 0 || n > YKEYS_ESCAPE_DELAY_MAX_MS) {
    return cli_usage_error(c, "--escape-delay takes 0 to %d milliseconds, not %s",
                           YKEYS_ESCAPE_DELAY_MAX_MS, value);
  }
  *ms = (int)n;
  return 0;
}

int main(int argc, char **argv) {
  cli_s c;
  cli_start(&c, "ykeys", usage, argc, argv);
  int trace = 0, delay_ms = YKEYS_ESCAPE_DELAY_MS, extended = 1, status = -1;
  while (status < 0 && cli_next(&c)) {
    const char *value;
    if ((status = cli_standard(&c)) >= 0) break;
    if (cli_flag(&c, "trace", NULL, &status)) {
      trace = 1;
    } else if (cli_flag(&c, "no-extended-keys", NULL, &status)) {
      extended = 0;
    } else if (cli_value(&c, "escape-delay", "milliseconds", &value, &status)) {
      if (status < 0) status = escape_delay(&c, value, &delay_ms) != 0 ? CLI_USAGE_ERROR : -1;
    } else {
      status = cli_unexpected(&c);
    }
  }
  if (status >= 0) return status;
  // Before the library's first record, so that every record goes to the file.
  if (trace && ykeys_trace_open() != 0) return 1;
  status = isatty(STDIN_FILENO) ? ykeys_view(stdout, trace, delay_ms, extended)
                                : ykeys_demo(stdout, trace, delay_ms, extended);
  ykeys_trace_close();
  return status;
}
