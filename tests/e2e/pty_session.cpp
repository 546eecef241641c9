#include "tests/e2e/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

Millis Left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
  return left.count() > 0 ? left : Millis(0);
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void RunChild(int gate, const char* stdoutPath, char* const argv[]) {
  char go;
  while (::read(gate, &go, 1) < 0 && errno == EINTR) {
  }
  ::close(gate);
  if (stdoutPath != nullptr) {
    const int fd = ::open(stdoutPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
    ::close(fd);
  }
  // The test runner's signal state must not leak into the program.
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
  ::execv(argv[0], argv);
  ::_exit(127);
}

// What the kernel echoes for typed printable text and line ends while the
// terminal is in its default mode.
std::string CookedEcho(std::string_view typed) {
  std::string echo;
  for (char c : typed) {
    if (c == '\r' || c == '\n') {
      echo += "\r\n";
    } else {
      echo += c;
    }
  }
  return echo;
}

}  // namespace

PtySession::PtySession(const std::string& program, const Options& options) {
  std::vector<std::string> words{program};
  words.insert(words.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const char* stdoutPath = options.stdoutPath.empty() ? nullptr : options.stdoutPath.c_str();

  int gate[2];
  if (::pipe2(gate, O_CLOEXEC) != 0) return;
  winsize size{};
  size.ws_row = options.rows;
  size.ws_col = options.cols;
  const pid_t pid = ::forkpty(&master_, nullptr, nullptr, &size);
  if (pid < 0) {
    ::close(gate[0]);
    ::close(gate[1]);
    master_ = -1;
    return;
  }
  if (pid == 0) {
    ::close(gate[1]);
    RunChild(gate[0], stdoutPath, argv.data());
  }
  ::close(gate[0]);
  pid_ = pid;
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  before_ = CurrentTermios();
  if (!options.typedBeforeStart.empty()) {
    Send(options.typedBeforeStart);
    // The echo shows that the line discipline has taken the bytes in.
    WaitFor(CookedEcho(options.typedBeforeStart), Millis(3000));
    output_.clear();
  }
  const char go = 'g';
  while (::write(gate[1], &go, 1) < 0 && errno == EINTR) {
  }
  ::close(gate[1]);
}

PtySession::~PtySession() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    int status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (master_ >= 0) ::close(master_);
}

bool PtySession::Send(std::string_view bytes) {
  const auto deadline = Clock::now() + Millis(3000);
  while (!bytes.empty()) {
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && Clock::now() < deadline) {
      ReadSome(Millis(10));  // the child may be waiting for us to read
      continue;
    }
    return false;
  }
  return true;
}

bool PtySession::ReadSome(Millis timeout) {
  if (master_ < 0) return false;
  pollfd p{master_, POLLIN, 0};
  const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
  if (ready <= 0) return false;
  char buf[4096];
  const ssize_t n = ::read(master_, buf, sizeof buf);
  if (n <= 0) {
    // EIO: the terminal side has no process left; EAGAIN: nothing after all.
    if (n < 0 && errno == EAGAIN) return true;
    if (n < 0 && errno == EINTR) return true;
    // Without a reader on the other side, poll stays ready: wait a little so
    // the callers' loops do not spin.
    std::this_thread::sleep_for(Millis(5));
    return false;
  }
  output_.append(buf, static_cast<std::size_t>(n));
  return true;
}

std::size_t PtySession::WaitFor(std::string_view text, Millis timeout, std::size_t from) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (from <= output_.size()) {
      const std::size_t at = output_.find(text, from);
      if (at != std::string::npos) return at + text.size();
    }
    const Millis left = Left(deadline);
    if (left.count() == 0) return std::string::npos;
    ReadSome(left);
  }
}

void PtySession::Settle(Millis quiet, Millis limit) {
  const auto deadline = Clock::now() + limit;
  for (;;) {
    const Millis left = Left(deadline);
    if (left.count() == 0) return;
    const std::size_t before = output_.size();
    ReadSome(quiet < left ? quiet : left);
    if (output_.size() == before) return;
  }
}

termios PtySession::CurrentTermios() const {
  // On the master side the terminal's mode calls act on the terminal side.
  termios t{};
  ::tcgetattr(master_, &t);
  return t;
}

bool PtySession::Resize(unsigned short rows, unsigned short cols) {
  winsize size{};
  size.ws_row = rows;
  size.ws_col = cols;
  return ::ioctl(master_, TIOCSWINSZ, &size) == 0;
}

ExitState PtySession::WaitExit(Millis timeout) {
  ExitState state;
  if (pid_ <= 0 || reaped_) return state;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      reaped_ = true;
      Settle(Millis(50), Millis(500));  // what the child wrote last
      state.ended = true;
      state.exited = WIFEXITED(status);
      if (state.exited) state.status = WEXITSTATUS(status);
      state.signaled = WIFSIGNALED(status);
      if (state.signaled) state.signal = WTERMSIG(status);
      return state;
    }
    const Millis left = Left(deadline);
    if (left.count() == 0) return state;
    ReadSome(left < Millis(20) ? left : Millis(20));
  }
}

bool PtySession::WaitStop(Millis timeout) {
  if (pid_ <= 0 || reaped_) return false;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG | WUNTRACED);
    if (r == pid_) {
      if (WIFSTOPPED(status)) return true;
      reaped_ = true;  // it ended instead
      return false;
    }
    const Millis left = Left(deadline);
    if (left.count() == 0) return false;
    ReadSome(left < Millis(20) ? left : Millis(20));
  }
}

bool PtySession::Signal(int sig) { return pid_ > 0 && !reaped_ && ::kill(pid_, sig) == 0; }

bool SameMode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
         cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

std::string Visible(std::string_view bytes) {
  std::string shown;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\r': shown += "\\r"; break;
      case '\n': shown += "\\n"; break;
      case '\a': shown += "\\a"; break;
      case '\\': shown += "\\\\"; break;
      default:
        if (c < 32 || c >= 127) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", c);
          shown += hex;
        } else {
          shown += static_cast<char>(c);
        }
    }
  }
  return shown;
}

}  // namespace e2e
