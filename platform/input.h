// Standard input as the item reader sees it: blocks of a file or a pipe, or
// lines from the terminal.
#pragma once

#include <cstddef>

namespace IO {

// Prepares standard input; for a terminal, its mode for line input.
void StartInput();
// Sets back what StartInput changed; safe on every end, any thread.
void EndInput() noexcept;

// Waits for the next input and copies it to buf (cap >= 512): a block of a
// file or a pipe, or one line from the terminal followed by CR LF. Returns
// 0 at the end of the input. A read error raises a device error.
std::size_t FetchInput(char* buf, std::size_t cap);

}  // namespace IO
