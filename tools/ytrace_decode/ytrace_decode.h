// SPDX-License-Identifier: MIT
/* The trace record decoder for C callers: load the catalogs of library files,
 * then give it a trace record file (YTRACE_FILE), again as it grows; it calls
 * back with one readable line per record,
 *   HH:MM:SS.uuuuuu PID/TID MODULE LLEVEL TEXT
 * the time of day in UTC, the module's name as its process registered it (its
 * id otherwise), and the message formatted as printf would. A record that
 * cannot be formatted exactly (unknown catalog or index, arguments that do not
 * fit the text) shows its raw fields in brackets. A continuation record is
 * added to the line of the same thread that it continues; lines are therefore
 * held until that thread begins another, or until flush or end.
 *
 * Records are handed out in the order of their times, those of all processes
 * and threads merged. */
#ifndef YTRACE_DECODE_H
#define YTRACE_DECODE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ytrace_decoder_s ytrace_decoder_s;

/* Called with each line, NUL-terminated, without a newline. */
typedef void (*ytrace_decoder_line_fn)(void *context, const char *line, size_t length);

/* Null if out of memory. */
ytrace_decoder_s *ytrace_decoder_new(ytrace_decoder_line_fn line, void *context);
void ytrace_decoder_free(ytrace_decoder_s *d);

/* Adds every catalog the library file carries. -1, adding none, if the file
 * cannot be read or a message id would stand for two different messages; the
 * same catalog twice is taken once. */
int ytrace_decoder_load(ytrace_decoder_s *d, const char *library_path);

/* Called with a notice about the file that is not damage: an entry its writer
 * never finished ("offset N: an entry its writer never finished, skipped"), or
 * recording that stopped early. NUL-terminated, without a newline. */
void ytrace_decoder_on_notice(ytrace_decoder_s *d, ytrace_decoder_line_fn notice, void *context);

/* Makes the decoder follow a file while it is written: ytrace_decoder_read()
 * then hands out only the records no writer can still put an earlier one
 * before, waits at an entry being written while its writer lives, and waits at
 * a header not written yet (zero bytes where its magic goes). Without it, an
 * entry being written is taken as one its writer never finished. Call before
 * reading. */
void ytrace_decoder_follow(ytrace_decoder_s *d);

/* Decodes what the file open as `fd` holds now: a regular file is read where
 * the decoder needs (pread), anything else (a pipe) to its end first. Call it
 * again, following, as the file grows; without following, call
 * ytrace_decoder_end() after it. 0, or -1 at damage (every line before it has
 * been handed out) or when the file cannot be read, and from then on. */
int ytrace_decoder_read(ytrace_decoder_s *d, int fd);

/* Decodes a whole file held in memory, as ytrace_decoder_read() does a file
 * that no longer changes. */
int ytrace_decoder_bytes(ytrace_decoder_s *d, const void *bytes, size_t length);

/* Hands out the lines held for continuations: for a live view, when no more
 * records are there for now. */
void ytrace_decoder_flush(ytrace_decoder_s *d);

/* The input is complete: hands out every line, and the records of the blocks
 * read that a follower held back, an entry still being written then taken as
 * one its writer never finished; -1 if the file ended inside its header, or had
 * failed before. */
int ytrace_decoder_end(ytrace_decoder_s *d);

/* Why the last call failed: "offset N: what was wrong" for the trace file,
 * "PATH: reason" for a library file. */
const char *ytrace_decoder_error(const ytrace_decoder_s *d);

#ifdef __cplusplus
}
#endif

#endif
