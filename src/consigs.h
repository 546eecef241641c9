// ConSigs: ends the program in order on a console control event (Ctrl-C,
// Ctrl-\, the terminal closing, shut-down) with a notice and status 9.
#pragma once

#include "platform/control_events.h"

namespace ConSigs {

// Initialises IO, then installs Handler. A refused installation writes
// "ConSigs: Installation failed." and halts with status 9. Runs once.
void Init();

// Writes "ConSigs: ", s and a line end, at the cursor.
void Message(const char* s);

// For an event of the handled set: the notice, then the halt with status 9
// (does not return). For log-off and values above 6: FALSE.
rts::BOOL Handler(rts::CTRL_TYPE ct);

}  // namespace ConSigs
