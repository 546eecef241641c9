// Console control events and the handlers that take them: interrupt (Ctrl-C),
// break (Ctrl-\), the terminal closing (hang-up) and shut-down (terminate).
// Each event is offered to the installed handlers, last installed first,
// until one returns TRUE; when none does, the signal's own default action
// applies. Handlers run on a thread of their own, never in a signal handler.
#pragma once

#include <cstdint>

namespace rts {

using BOOL = int32_t;
inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;

enum CTRL_TYPE : uint32_t {
  CTRL_C_EVENT = 0,         // SIGINT
  CTRL_BREAK_EVENT = 1,     // SIGQUIT
  CTRL_CLOSE_EVENT = 2,     // SIGHUP
  CTRL_TYPE_3 = 3,
  CTRL_TYPE_4 = 4,
  CTRL_LOGOFF_EVENT = 5,    // no signal stands for it here
  CTRL_SHUTDOWN_EVENT = 6,  // SIGTERM
};

using HandlerRoutine = BOOL (*)(CTRL_TYPE ct);

// Adds (add = TRUE) or removes the handler. Non-zero on success; zero when
// the list is full (kMaxHandlers), the handler is null or not installed, or
// the thread that delivers the events cannot be started.
inline constexpr int kMaxHandlers = 8;
BOOL SetConsoleCtrlHandler(HandlerRoutine handler, BOOL add);

// Offers `ct` to the installed handlers; true when one returned TRUE. Waits
// until a handler has been installed for the first time.
bool DispatchControlEvent(CTRL_TYPE ct);

}  // namespace rts
