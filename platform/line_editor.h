// Line input from a terminal with editing: waits for keys and for wake-ups
// from the signal thread (continue after a stop, window size), decodes the
// keys, edits the line and redraws it. The echo goes to the terminal that
// input comes from, also when standard output is a file or a pipe.
#pragma once

#include <cstddef>

namespace IO {

// Starts editing on terminal `fd` (standard input): sets the terminal's
// mode and the job-control hooks. False when `fd` is no terminal or its
// mode cannot be set; input is then read as it comes.
bool StartLineEditor(int fd);

// Sets the terminal's mode back; safe on every end, from any thread.
void EndLineEditor() noexcept;

// Reads one line as typed and edited, up to Enter, into buf followed by
// CR LF (cap >= 257). Returns 0 at the end of input: Ctrl-D on an empty
// line, or the terminal gone (end of file). A read error raises a device
// error.
std::size_t ReadEditedLine(char* buf, std::size_t cap);

}  // namespace IO
