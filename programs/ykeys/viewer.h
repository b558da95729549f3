// SPDX-License-Identifier: MIT
/* The key viewer: what ykeys runs on a terminal, and its demonstration. */
#ifndef YKEYS_VIEWER_H
#define YKEYS_VIEWER_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* How long, by default, the viewer waits for the next byte of a key begun.
 * Sequences split by an ssh hop or a serial console's buffers arrive within
 * some tens of milliseconds; a lone Escape lagging a tenth of a second still
 * feels immediate. */
#define YKEYS_ESCAPE_DELAY_MS 100
/* The longest escape delay ykeys takes: any longer and Escape seems dead. */
#define YKEYS_ESCAPE_DELAY_MAX_MS 10000

/* Shows every key read from standard input as one line on `out` until q, end of
 * input, SIGTERM, SIGHUP, SIGINT or SIGQUIT, then gives the terminal back. After
 * a signal it re-raises that signal; otherwise it returns the exit status. It
 * waits for input without a limit, but for the next byte of a key begun at most
 * `escape_delay_ms`. Stopped (SIGTSTP, SIGTTIN, SIGTTOU) it gives the terminal
 * back; continued, it takes it again. With `trace`, the records the library
 * wrote meanwhile follow each key (trace_view.h). With `extended`, the keys of
 * ycurs_extended_keys are decoded too. */
int ykeys_view(FILE *out, int trace, int escape_delay_ms, int extended);

/* A ycurs_wgetch result by name: a key's name from ycurs_fkeys or
 * ycurs_extended_keys, else
 * the byte in caret notation ("^[", "^?", "M-a"). `buf` holds at least 8 bytes. */
const char *ykeys_key_name(int key, char *buf);

/* Runs the viewer on a pseudo-terminal as an xterm, types a fixed script of keys
 * and reports each decoded key on `out`, with `trace` followed by the records the
 * viewer's library wrote; without `extended`, the keys beyond the twenty are left
 * out. Returns 0 when all match the script. After SIGTERM,
 * SIGHUP, SIGINT or SIGQUIT it ends the viewer, then re-raises that signal. */
int ykeys_demo(FILE *out, int trace, int escape_delay_ms, int extended);

#ifdef __cplusplus
}
#endif

#endif
