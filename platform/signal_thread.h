// Signals are never handled inside a signal handler: they are blocked in
// every thread from the start of the process and taken by one thread that
// waits for them. Control events (interrupt, quit, hang-up, terminate) go to
// the installed control handlers, each on a thread of its own; job-control
// signals (stop, continue, window size) go to the terminal's hooks.
#pragma once

namespace rts {

// Blocks the signals that the signal thread takes. Call first thing in the
// process, before any other thread exists, so that every thread inherits it.
void BlockSignals();

// Starts the thread that waits for the blocked signals; false when it could
// not be started. Runs once; later calls report the first outcome.
bool StartSignalThread();

// What the terminal does on job control; each runs on the signal thread and
// must be safe to call at any moment. Null members are skipped.
struct JobControlHooks {
  // Before the process stops (Ctrl-Z): set the terminal's mode back.
  void (*suspend)() noexcept = nullptr;
  // After the process was continued: set the mode again and redraw.
  void (*resume)() noexcept = nullptr;
  // The window changed its size.
  void (*windowChanged)() noexcept = nullptr;
};
void SetJobControlHooks(const JobControlHooks& hooks);

}  // namespace rts
