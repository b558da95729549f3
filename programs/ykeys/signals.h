// SPDX-License-Identifier: MIT
/* The signals ykeys answers. Their handlers only note them; the viewer and the
 * demonstration act on the notes where they wait for input. */
#ifndef YKEYS_SIGNALS_H
#define YKEYS_SIGNALS_H

#include <signal.h>

#ifdef __cplusplus
extern "C" {
#endif

extern volatile sig_atomic_t ykeys_ending_signal; /* SIGTERM, SIGHUP, SIGINT, SIGQUIT; 0 */
extern volatile sig_atomic_t ykeys_stop_signal;   /* SIGTSTP, SIGTTIN, SIGTTOU; 0 */
extern volatile sig_atomic_t ykeys_continued;     /* SIGCONT came */

/* Notes the ending signals and, with `job_control`, the stop signals and SIGCONT
 * too; stores the signals noted in `noted`. */
void ykeys_note_signals(int job_control, sigset_t *noted);

/* Stops the process by the default action of `sig`, blocked by the caller, and
 * returns once it goes on, noting it as continued. */
void ykeys_stop(int sig);

/* After an ending signal, removes what --trace made and ends the process by
 * that signal; otherwise returns. */
void ykeys_end_if_signalled(void);

#ifdef __cplusplus
}
#endif

#endif
