#include "platform/halt.h"

#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/failure.h"

namespace rts {

namespace {

constexpr int kMaxActions = 8;
TerminationAction actions[kMaxActions];
int actionCount = 0;

enum State : int { kRunning, kTerminating, kTerminated };
std::atomic<int> state{kRunning};
std::atomic<std::thread::id> terminator{};

}  // namespace

void AddTerminationAction(TerminationAction action) {
  if (actionCount < kMaxActions) actions[actionCount++] = action;
}

void Halt(int status, const Failure* report) noexcept {
  int expected = kRunning;
  if (!state.compare_exchange_strong(expected, kTerminating)) {
    // A failure inside a termination action comes back here on the same
    // thread: end at once. Any other thread waits for the actions to finish,
    // so the terminal is never left in the program's mode.
    if (terminator.load() != std::this_thread::get_id()) {
      while (state.load() != kTerminated) std::this_thread::yield();
    }
    ::_exit(status);
  }
  terminator.store(std::this_thread::get_id());
  for (int i = actionCount - 1; i >= 0; --i) actions[i]();
  if (report != nullptr) WriteFailureReport(*report);
  state.store(kTerminated);
  ::_exit(status);
}

}  // namespace rts
