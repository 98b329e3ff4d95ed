// term_curses.h - ncurses with its wide-character calls, for the terminal
// files of the layer only (its macros must not reach the rest).
#ifndef TOVIK_TERM_CURSES_H
#define TOVIK_TERM_CURSES_H

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <curses.h>

#endif  // TOVIK_TERM_CURSES_H
