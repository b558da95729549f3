/* The trace record decoder for C callers: load the catalogs of library files,
 * then feed it the bytes of a trace record file (YTRACE_FILE) as they come; it
 * calls back with one readable line per record,
 *   HH:MM:SS.uuuuuu PID/TID MODULE LLEVEL TEXT
 * the time of day in UTC, the module's name as its process registered it (its
 * id otherwise), and the message formatted as printf would. A record that
 * cannot be formatted exactly (unknown catalog or index, arguments that do not
 * fit the text) shows its raw fields in brackets. A continuation record is
 * added to the line of the same thread that it continues; lines are therefore
 * held until that thread begins another, or until flush or end. */
#ifndef YTRACE_DECODE_H
#define YTRACE_DECODE_H

#include <stddef.h>

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

/* Decodes the entries these bytes complete; the start of an incomplete one is
 * kept for the next call. -1 at damage (every line before it has been handed
 * out), and from then on. */
int ytrace_decoder_feed(ytrace_decoder_s *d, const void *bytes, size_t length);

/* Hands out the lines held for continuations: for a live view, when no more
 * bytes are there for now. */
void ytrace_decoder_flush(ytrace_decoder_s *d);

/* The input is complete: hands out every line; -1 if it ended inside the
 * header or an entry (truncated), or had failed before. */
int ytrace_decoder_end(ytrace_decoder_s *d);

/* Why the last call failed: "offset N: what was wrong" for the trace file,
 * "PATH: reason" for a library file. */
const char *ytrace_decoder_error(const ytrace_decoder_s *d);

#ifdef __cplusplus
}
#endif

#endif
