// Process start: prepares the process, runs the program body, and turns a
// failure that reaches the top into the failure path.
#pragma once

namespace rts {

// Never returns: the body ends the process through the halt, and a body that
// returns is halted with status 9.
[[noreturn]] void Run(void (*body)());

}  // namespace rts
