// The output channel's lock. The channel is taken for every small write, by
// one thread nearly always, so the lock costs one atomic exchange when it is
// free; a thread that finds it held backs off to short sleeps.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

namespace IO {

class ChannelLock {
 public:
  void lock() {
    for (int tries = 0; held_.exchange(true, std::memory_order_acquire); ++tries) Wait(tries);
  }

  // False when the lock stayed held for `limit`.
  bool try_lock_for(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (int tries = 0; held_.exchange(true, std::memory_order_acquire); ++tries) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      Wait(tries);
    }
    return true;
  }

  void unlock() { held_.store(false, std::memory_order_release); }

 private:
  static void Wait(int tries) {
    if (tries < 100) {
      std::this_thread::yield();
    } else {
      // The holder is in a write that may take long (a slow reader).
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }

  std::atomic<bool> held_{false};
};

}  // namespace IO
