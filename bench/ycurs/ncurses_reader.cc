// SPDX-License-Identifier: MIT
// ncurses on its own: its header's macros (move, clear, timeout) must not meet
// any C++ header.
#include <curses.h>
#include <stdio.h>

#include "ncurses_reader.h"

bool ncurses_start(const char *term) {
  // Input from descriptor 0; screen output thrown away.
  FILE *out = fopen("/dev/null", "w");
  if (out == nullptr || newterm(term, out, stdin) == nullptr) return false;
  cbreak();
  noecho();
  nodelay(stdscr, TRUE);
  keypad(stdscr, TRUE);
  return true;
}

int ncurses_getch() {
  int k = wgetch(stdscr);
  return k == ERR ? -1 : k;
}
