// SPDX-License-Identifier: MIT
/* ykeys: press keys, see what the terminal layer makes of them. */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "trace_view.h"
#include "viewer.h"

int main(int argc, char **argv) {
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    puts("ykeys (libyutil) " YUTIL_VERSION);
    return 0;
  }
  int trace = argc == 2 && strcmp(argv[1], "--trace") == 0;
  if (argc > 1 + trace) {
    fprintf(stderr,
            "usage: %s [--trace] | --version\n"
            "On a terminal: shows each key pressed (q quits).\n"
            "Otherwise: shows a scripted demonstration on a pseudo-terminal.\n"
            "--trace: shows after each key the trace records the library wrote.\n",
            argv[0]);
    return 2;
  }
  // Before the library's first record, so that every record goes to the file.
  if (trace && ykeys_trace_open() != 0) return 1;
  int status = isatty(STDIN_FILENO) ? ykeys_view(stdout, trace) : ykeys_demo(stdout, trace);
  ykeys_trace_close();
  return status;
}
