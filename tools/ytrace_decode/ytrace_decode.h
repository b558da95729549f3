// SPDX-License-Identifier: MIT
/* The trace record decoder for C callers: load the catalogs of library files,
 * then feed it the bytes of a trace record file (YTRACE_FILE) as it grows; it
 * calls back with one readable line per record,
 *   HH:MM:SS.uuuuuu PID/TID MODULE LLEVEL TEXT
 * the time of day in UTC, the module's name as its process registered it (its
 * id otherwise), and the message formatted as printf would. A record that
 * cannot be formatted exactly (unknown catalog or index, arguments that do not
 * fit the text) shows its raw fields in brackets. A continuation record is
 * added to the line of the same thread that it continues; lines are therefore
 * held until that thread begins another, or until flush or end.
 *
 * Writers fill in the entries they have reserved in zero bytes of the file, so
 * the bytes past the last entry decoded may still change: read the file from
 * ytrace_decoder_offset() each time (pread), feed what was read, and read
 * again later from the new offset, whatever was not decoded included. */
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

/* Makes the decoder wait at an entry reserved but not written yet (kind 0),
 * as a reader following the file while it is written does: it stops before
 * it until it is written. By default the decoder skips such an entry, which
 * its writer did not finish, and prints nothing for it. A follower also waits
 * at a header whose magic is still zero bytes, which is damage otherwise.
 * Call before feeding. */
void ytrace_decoder_follow(ytrace_decoder_s *d);

/* The offset in the file where the bytes of the next feed start. */
uint64_t ytrace_decoder_offset(const ytrace_decoder_s *d);

/* Decodes the file's bytes from ytrace_decoder_offset() on: the whole entries
 * in them; the start of one written but cut off is kept for the next call. It
 * stops at the records' end for now (an entry size of 0, or no size there) and,
 * following, at an entry not written yet; the bytes from there on are not
 * kept. An entry's size and kind, and the file's header, must come in one
 * call: read some kilobytes at a time. -1 at damage (every line before it has
 * been handed out), and from then on. */
int ytrace_decoder_feed(ytrace_decoder_s *d, const void *bytes, size_t length);

/* Hands out the lines held for continuations: for a live view, when no more
 * bytes are there for now. */
void ytrace_decoder_flush(ytrace_decoder_s *d);

/* The input is complete: hands out every line; -1 if it ended inside the
 * header or inside an entry kept (truncated), or had failed before. Records
 * that end at a size of 0 or at the end of the file are no failure. */
int ytrace_decoder_end(ytrace_decoder_s *d);

/* Why the last call failed: "offset N: what was wrong" for the trace file,
 * "PATH: reason" for a library file. */
const char *ytrace_decoder_error(const ytrace_decoder_s *d);

#ifdef __cplusplus
}
#endif

#endif
