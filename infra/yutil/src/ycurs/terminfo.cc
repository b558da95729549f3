// SPDX-License-Identifier: MIT
// Capability strings of the current terminfo entry, fetched by termcap name.
#include <stdio.h>
#include <string.h>
#include <term.h>

#ifndef YUTIL_LIBC_HAS_STRLCPY
#include <bsd/string.h>  // the C library has no strlcpy of its own
#endif

#include "ycurs_internal.h"

const char *fetch_term_cap(const char *name, char (&buf)[kCapAreaSize]) {
  char cap[3];
  strlcpy(cap, name, sizeof cap);
  // tgetstr copies into the area with no bound, so the length is asked first;
  // without an area it hands out the entry's own string.
  const char *entry = tgetstr(cap, nullptr);
  if (entry == nullptr || strlen(entry) > sizeof buf - 2) return nullptr;
  char *toss = buf;
  const char *s = tgetstr(cap, &toss);
  YCURS_ASSERT(toss < buf + sizeof(buf));
  return s;
}

void put_term_cap(ycurs_ctx_s *ctx, const char *name) {
  if (ctx->screen_mode == 0) return;
  char buf[kCapAreaSize];
  if (const char *s = fetch_term_cap(name, buf)) {
    putp(s);
    // putp leaves the string in the stdio buffer; the terminal must be switched
    // when the operation returns (keypad mode decides what the keys send).
    fflush(stdout);
  }
}
