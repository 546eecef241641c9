#include "platform/start.h"

#include <csignal>

#include "platform/failure.h"
#include "platform/halt.h"
#include "platform/signal_thread.h"

namespace rts {

void Run(void (*body)()) {
  // Before any thread exists, so that every thread inherits the mask and
  // only the signal thread ever takes these signals.
  BlockSignals();
  // A reader that went away shows as EPIPE on the write, not as a signal.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    body();
  } catch (const Failure& f) {
    FailurePath(f);
  }
  Halt(kExitHalted);
}

}  // namespace rts
