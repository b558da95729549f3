// SPDX-License-Identifier: MIT
#define _POSIX_C_SOURCE 200809L
#include "signals.h"

#include <unistd.h>

#include "trace_view.h"

volatile sig_atomic_t ykeys_ending_signal, ykeys_stop_signal, ykeys_continued;

static void note(int sig) {
  if (sig == SIGCONT) {
    ykeys_continued = 1;
  } else if (sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU) {
    ykeys_stop_signal = sig;
  } else {
    ykeys_ending_signal = sig;
  }
}

static void set_action(int sig, void (*handler)(int)) {
  struct sigaction action = {0};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(sig, &action, NULL);
}

static void note_each(const int *sigs, sigset_t *noted) {
  for (const int *sig = sigs; *sig != 0; sig++) {
    sigaddset(noted, *sig);
    set_action(*sig, note);
  }
}

void ykeys_note_signals(int job_control, sigset_t *noted) {
  static const int ending[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, 0};
  static const int job[] = {SIGTSTP, SIGTTIN, SIGTTOU, SIGCONT, 0};
  sigemptyset(noted);
  note_each(ending, noted);
  if (job_control) note_each(job, noted);
}

/* Raises `sig` with its default action and lets it through. */
static void raise_by_default(int sig) {
  sigset_t just;
  sigemptyset(&just);
  sigaddset(&just, sig);
  set_action(sig, SIG_DFL);
  raise(sig);
  sigprocmask(SIG_UNBLOCK, &just, NULL);
}

static int continue_pending(void) {
  sigset_t pending;
  return sigpending(&pending) == 0 && sigismember(&pending, SIGCONT) == 1;
}

/* A parent in another process group of the session keeps the group from being
 * orphaned: a shell with job control may continue it. */
static int group_has_a_shell(void) {
  pid_t parent = getppid();
  return getpgid(parent) != getpgrp() && getsid(parent) == getsid(0);
}

void ykeys_stop(int sig) {
  raise_by_default(sig);
  // Here again after SIGCONT, which stays blocked until the caller waits.
  sigset_t just;
  sigemptyset(&just);
  sigaddset(&just, sig);
  sigprocmask(SIG_BLOCK, &just, NULL);
  set_action(sig, note);
  // Not stopped though a shell could continue it: what runs the program
  // (valgrind) kept the default action from stopping it.
  if (!continue_pending() && group_has_a_shell()) raise(SIGSTOP);
  // The stop signals of an orphaned process group are discarded: nothing to await.
  if (!continue_pending()) ykeys_continued = 1;
}

void ykeys_end_if_signalled(void) {
  if (ykeys_ending_signal == 0) return;
  ykeys_trace_close();
  raise_by_default(ykeys_ending_signal);
}
