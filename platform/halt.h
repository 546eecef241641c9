// The halt: the one way the process ends. Termination actions run once, on
// the thread that halts first; a halt that finds termination under way on
// another thread waits for them and then ends the process.
#pragma once

namespace rts {

struct Failure;

enum ExitStatus : int {
  kExitConverted = 0,  // end of input, every item converted
  kExitRejected = 1,   // end of input, at least one item rejected
  kExitHalted = 9,     // control event, failure, reader gone away
};

using TerminationAction = void (*)() noexcept;

// Registers an action for the halt; actions run last-registered first.
// Register during start-up, before a second thread exists.
void AddTerminationAction(TerminationAction action);

// Runs the termination actions (once per process), then, when `report` is
// given, writes the failure report, and ends the process with `status`.
[[noreturn]] void Halt(int status, const Failure* report = nullptr) noexcept;

}  // namespace rts
