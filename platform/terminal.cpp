#include "platform/terminal.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>

namespace IO::Terminal {

namespace {

enum State : int { kUnused, kProgramMode, kSuspended, kLeft };

int terminalFd = -1;
termios found{};
termios program{};
std::atomic<int> state{kUnused};
// Keeps a mode change and its state change together, so that a continue on
// the signal thread cannot set the program's mode after the halt left it.
std::timed_mutex modeMutex;

bool SetMode(const termios& mode) noexcept {
  // TCSANOW: output written before has been processed already, and waiting
  // for it to drain could hang on a terminal whose output is stopped.
  while (::tcsetattr(terminalFd, TCSANOW, &mode) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

termios ProgramMode(const termios& saved) {
  termios t = saved;
  t.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | ISTRIP);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
  t.c_lflag |= ISIG;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return t;
}

bool Enter(int fd) {
  if (state.load() != kUnused) return false;
  termios saved;
  if (::tcgetattr(fd, &saved) != 0) return false;
  terminalFd = fd;
  found = saved;
  program = ProgramMode(saved);
  ::tcflush(fd, TCIFLUSH);  // keys typed before the program was ready
  if (!SetMode(program)) {
    SetMode(found);  // a partial change is undone
    return false;
  }
  state.store(kProgramMode);
  return true;
}

void Suspend() noexcept {
  std::lock_guard<std::timed_mutex> lock(modeMutex);
  if (state.load() != kProgramMode) return;
  SetMode(found);
  state.store(kSuspended);
}

bool Resume() noexcept {
  std::lock_guard<std::timed_mutex> lock(modeMutex);
  const int now = state.load();
  // Also after a stop that did not come through Suspend (SIGSTOP): the
  // shell may have set its own mode meanwhile.
  if (now != kProgramMode && now != kSuspended) return false;
  SetMode(program);
  state.store(kProgramMode);
  return true;
}

void Leave() noexcept {
  // A thread stuck while holding the lock must not keep the terminal in the
  // program's mode: after a short wait the mode is set back regardless.
  const bool locked = modeMutex.try_lock_for(std::chrono::milliseconds(500));
  const int was = state.exchange(kLeft);
  if (was == kProgramMode || was == kSuspended) SetMode(found);
  if (locked) modeMutex.unlock();
}

}  // namespace IO::Terminal
