// SPDX-License-Identifier: MIT
#ifndef YUTIL_BENCH_TERMINAL_NCURSES_READER_H
#define YUTIL_BENCH_TERMINAL_NCURSES_READER_H

// ncurses reading descriptor 0 with nodelay and keypad on.
bool ncurses_start(const char *term);
// A key code or byte; -1 when nothing is ready.
int ncurses_getch();

#endif
