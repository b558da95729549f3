// SPDX-License-Identifier: MIT
/* The key viewer: what ykeys runs on a terminal, and its demonstration. */
#ifndef YKEYS_VIEWER_H
#define YKEYS_VIEWER_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Shows every key read from standard input as one line on `out` until q, end of
 * input, SIGTERM, SIGHUP or SIGINT, then gives the terminal back. After a signal
 * it re-raises that signal; otherwise it returns the exit status. With `trace`,
 * the records the library wrote meanwhile follow each key (trace_view.h). */
int ykeys_view(FILE *out, int trace);

/* A ycurs_wgetch result by name: a function key's name from ycurs_fkeys, else
 * the byte in caret notation ("^[", "^?", "M-a"). `buf` holds at least 8 bytes. */
const char *ykeys_key_name(int key, char *buf);

/* Runs the viewer on a pseudo-terminal as an xterm, types a fixed script of keys
 * and reports each decoded key on `out`, with `trace` followed by the records the
 * viewer's library wrote. Returns 0 when all match the script. */
int ykeys_demo(FILE *out, int trace);

#ifdef __cplusplus
}
#endif

#endif
