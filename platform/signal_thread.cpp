#include "platform/signal_thread.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <thread>

#include "platform/control_events.h"
#include "platform/failure.h"
#include "platform/out_channel.h"

namespace rts {

namespace {

sigset_t WaitedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGTSTP, SIGCONT, SIGWINCH}) sigaddset(&set, sig);
  return set;
}

std::atomic<void (*)() noexcept> suspendHook{nullptr};
std::atomic<void (*)() noexcept> resumeHook{nullptr};
std::atomic<void (*)() noexcept> windowHook{nullptr};

void Call(const std::atomic<void (*)() noexcept>& hook) {
  if (auto fn = hook.load()) fn();
}

// Lets `sig` take its own default action on this thread.
void DefaultAction(int sig) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigaction(sig, &dfl, nullptr);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(sig);
  pthread_sigmask(SIG_BLOCK, &one, nullptr);
}

CTRL_TYPE EventOf(int sig) {
  switch (sig) {
    case SIGINT: return CTRL_C_EVENT;
    case SIGQUIT: return CTRL_BREAK_EVENT;
    case SIGHUP: return CTRL_CLOSE_EVENT;
    default: return CTRL_SHUTDOWN_EVENT;  // SIGTERM
  }
}

void TakeControlEvent(int sig) {
  IO::OutChannel::BestEffortOnThisThread();
  try {
    if (!DispatchControlEvent(EventOf(sig))) DefaultAction(sig);
  } catch (const Failure& f) {
    FailurePath(f);
  }
}

// Ctrl-Z: the terminal is set back, then the process stops as it would
// without us; it goes on here once it is continued. The kernel drops the
// stop of an orphaned process group, and then no SIGCONT comes: take a
// pending SIGCONT here, so the terminal is resumed exactly once either way.
void Stop() {
  Call(suspendHook);
  DefaultAction(SIGTSTP);
  sigset_t cont;
  sigemptyset(&cont);
  sigaddset(&cont, SIGCONT);
  const timespec now{};
  sigtimedwait(&cont, nullptr, &now);
  Call(resumeHook);
}

[[noreturn]] void WaitForSignals() {
  const sigset_t set = WaitedSignals();
  for (;;) {
    const int sig = sigwaitinfo(&set, nullptr);
    switch (sig) {
      case -1: break;  // EINTR: a stop and continue
      case SIGTSTP: Stop(); break;
      case SIGCONT: Call(resumeHook); break;
      case SIGWINCH: Call(windowHook); break;
      default:
        // Each event on a thread of its own, so a second event is taken
        // while the first one's halt is under way.
        try {
          std::thread(TakeControlEvent, sig).detach();
        } catch (const std::system_error&) {
          TakeControlEvent(sig);
        }
    }
  }
}

}  // namespace

void BlockSignals() {
  const sigset_t set = WaitedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool StartSignalThread() {
  static const bool started = [] {
    try {
      std::thread(WaitForSignals).detach();
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }();
  return started;
}

void SetJobControlHooks(const JobControlHooks& hooks) {
  suspendHook.store(hooks.suspend);
  resumeHook.store(hooks.resume);
  windowHook.store(hooks.windowChanged);
}

}  // namespace rts
