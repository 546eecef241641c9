#include "platform/control_events.h"

#include <condition_variable>
#include <mutex>

#include "platform/signal_thread.h"

namespace rts {

namespace {

std::mutex listMutex;
HandlerRoutine handlers[kMaxHandlers];
int handlerCount = 0;
// Set once the first handler is in the list; events taken before then wait.
bool installedOnce = false;
std::condition_variable firstInstalled;

}  // namespace

BOOL SetConsoleCtrlHandler(HandlerRoutine handler, BOOL add) {
  if (handler == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(listMutex);
  if (add) {
    if (handlerCount == kMaxHandlers) return FALSE;
    // Events that arrive before the first handler is installed stay pending
    // in the blocked signal set, and the thread started here may take one at
    // once: the handler must be in the list first. Its dispatch waits for
    // this lock.
    handlers[handlerCount++] = handler;
    if (!StartSignalThread()) {
      --handlerCount;
      return FALSE;
    }
    installedOnce = true;
    firstInstalled.notify_all();
    return TRUE;
  }
  for (int i = handlerCount - 1; i >= 0; --i) {
    if (handlers[i] == handler) {
      for (int j = i; j + 1 < handlerCount; ++j) handlers[j] = handlers[j + 1];
      --handlerCount;
      return TRUE;
    }
  }
  return FALSE;
}

bool DispatchControlEvent(CTRL_TYPE ct) {
  HandlerRoutine asked[kMaxHandlers];
  int count;
  {
    std::unique_lock<std::mutex> lock(listMutex);
    // The signal thread may have been started for job control before any
    // handler was installed; an event it takes that early waits for the
    // first handler, as its signal would have waited blocked.
    firstInstalled.wait(lock, [] { return installedOnce; });
    count = handlerCount;
    for (int i = 0; i < count; ++i) asked[i] = handlers[i];
  }
  for (int i = count - 1; i >= 0; --i) {
    if (asked[i](ct) != FALSE) return true;
  }
  return false;
}

}  // namespace rts
