// SPDX-License-Identifier: MIT
/* ykeys --trace: the library's own trace records, decoded, beside the keys. */
#ifndef YKEYS_TRACE_VIEW_H
#define YKEYS_TRACE_VIEW_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the view: unless YTRACE_FILE names a record file already, names a new
 * one for this process and its children, in a new folder under TMPDIR (else
 * /tmp), and loads the message catalogs of the libyutil the program runs with.
 * 0, or -1 with the reason on stderr. Call it before the library emits its
 * first record. */
int ykeys_trace_open(void);

/* Prints on `out` the records written since the last call, one indented line
 * each; a run of lines alike but for their time is shown once, with its count.
 * What the decoder notices about the file (an entry its writer never finished)
 * and damage come after "trace: ". Does nothing when the view is not open. */
void ykeys_trace_show(FILE *out);

/* Ends the view and removes the record file it named. */
void ykeys_trace_close(void);

#ifdef __cplusplus
}
#endif

#endif
