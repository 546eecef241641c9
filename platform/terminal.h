// The terminal's mode, owned here and nowhere else: the mode found at start
// is saved, the program's mode is set for line editing, and the saved mode
// is set back before a stop and at every end.
//
// The program's mode: no kernel line editing or echo (the line editor does
// both), no output processing (the program's CR LF reaches the screen as
// written), CR and LF passed as typed, 8-bit input; ISIG stays on, so
// Ctrl-C, Ctrl-\ and Ctrl-Z still raise their signals.
#pragma once

#include <termios.h>

namespace IO::Terminal {

// The program's mode made from the mode found at start. Pure.
termios ProgramMode(const termios& found);

// Saves the mode of terminal `fd`, discards keys typed so far and sets the
// program's mode. False, with nothing changed, when `fd` is no terminal or
// its mode cannot be read or set. Call once, before other threads use the
// functions below.
bool Enter(int fd);

// Ctrl-Z: sets the saved mode back before the process stops.
void Suspend() noexcept;
// After a stop (or any continue): sets the program's mode again. False when
// the terminal is not in use or has been left.
bool Resume() noexcept;
// Sets the saved mode back for good. Safe on every end, from any thread,
// more than once; never waits long.
void Leave() noexcept;

}  // namespace IO::Terminal
