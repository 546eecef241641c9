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
[[noreturn]] void Exec(const char* stdoutPath, char* const argv[]) {
  if (stdoutPath != nullptr) {
    const int fd = ::open(stdoutPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
    ::close(fd);
  }
  ::execv(argv[0], argv);
  ::_exit(127);
}

// As a shell runs a job: the program in a group of its own, in the
// foreground, and this process waiting to pass on how it ended.
[[noreturn]] void RunAsJob(int report, const char* stdoutPath, char* const argv[]) {
  const pid_t program = ::fork();
  if (program < 0) ::_exit(125);
  if (program == 0) {
    ::close(report);
    ::setpgid(0, 0);
    ::signal(SIGTTOU, SIG_IGN);  // taking the terminal from the background
    ::tcsetpgrp(STDIN_FILENO, ::getpid());
    ::signal(SIGTTOU, SIG_DFL);
    Exec(stdoutPath, argv);
  }
  ::setpgid(program, program);
  while (::write(report, &program, sizeof program) < 0 && errno == EINTR) {
  }
  ::close(report);
  int status;
  while (::waitpid(program, &status, 0) < 0) {
    if (errno != EINTR) ::_exit(125);
  }
  if (WIFEXITED(status)) ::_exit(WEXITSTATUS(status));
  ::signal(WTERMSIG(status), SIG_DFL);
  ::kill(::getpid(), WTERMSIG(status));
  ::_exit(128 + WTERMSIG(status));
}

[[noreturn]] void RunChild(int gate, int report, bool jobControl, const char* stdoutPath,
                           char* const argv[]) {
  char go;
  while (::read(gate, &go, 1) < 0 && errno == EINTR) {
  }
  ::close(gate);
  // The test runner's signal state must not leak into the program.
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
  if (jobControl) RunAsJob(report, stdoutPath, argv);
  ::close(report);
  Exec(stdoutPath, argv);
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

// True when /proc shows process `pid` stopped by a signal.
bool Stopped(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  char stat[512];
  const std::size_t n = std::fread(stat, 1, sizeof stat - 1, f);
  std::fclose(f);
  stat[n] = '\0';
  const char* close = std::strrchr(stat, ')');  // after the command name
  return close != nullptr && close[1] == ' ' && close[2] == 'T';
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
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    ::close(gate[0]);
    ::close(gate[1]);
    return;
  }
  winsize size{};
  size.ws_row = options.rows;
  size.ws_col = options.cols;
  const pid_t pid = ::forkpty(&master_, nullptr, nullptr, &size);
  if (pid < 0) {
    for (int fd : {gate[0], gate[1], report[0], report[1]}) ::close(fd);
    master_ = -1;
    return;
  }
  if (pid == 0) {
    ::close(gate[1]);
    ::close(report[0]);
    RunChild(gate[0], report[1], options.jobControl, stdoutPath, argv.data());
  }
  ::close(gate[0]);
  ::close(report[1]);
  pid_ = pid;
  jobControl_ = options.jobControl;
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
  if (!jobControl_) {
    program_ = pid_;
  } else {
    pollfd p{report[0], POLLIN, 0};
    pid_t program = -1;
    if (::poll(&p, 1, 5000) == 1 && ::read(report[0], &program, sizeof program) == sizeof program) {
      program_ = program;
    }
  }
  ::close(report[0]);
}

PtySession::~PtySession() {
  if (pid_ > 0 && !reaped_) {
    if (program_ > 0 && program_ != pid_) ::kill(program_, SIGKILL);
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
  if (master_ < 0) {
    std::this_thread::sleep_for(timeout < Millis(5) ? timeout : Millis(5));  // no busy loop
    return false;
  }
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
  if (jobControl_) {
    // Not our child: its state shows in /proc.
    while (!Stopped(program_)) {
      const Millis left = Left(deadline);
      if (left.count() == 0) return false;
      ReadSome(left < Millis(20) ? left : Millis(20));
    }
    return true;
  }
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

void PtySession::HangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

bool PtySession::Signal(int sig) { return program_ > 0 && !reaped_ && ::kill(program_, sig) == 0; }

std::vector<Screen::Cell>& Screen::Cells(std::size_t row) {
  if (rows_.size() <= row) rows_.resize(row + 1);
  auto& cells = rows_[row];
  if (cells.size() < cols_) cells.resize(cols_);
  return cells;
}

void Screen::Put(std::string_view ch) {
  if (col_ >= cols_) {
    col_ = 0;
    ++row_;
  }
  Cell& cell = Cells(row_)[col_++];
  cell.length = ch.size() < sizeof cell.bytes ? ch.size() : sizeof cell.bytes;
  std::memcpy(cell.bytes, ch.data(), cell.length);
}

void Screen::Control(char final, std::size_t n) {
  const std::size_t count = n == 0 ? 1 : n;
  switch (final) {
    case 'A': row_ = row_ > count ? row_ - count : 0; break;
    case 'B': row_ += count; break;
    case 'C': col_ = col_ + count < cols_ ? col_ + count : cols_ - 1; break;
    case 'D': col_ = col_ > count ? col_ - count : 0; break;
    case 'J':
      for (std::size_t r = row_ + 1; r < rows_.size(); ++r) rows_[r].assign(cols_, Cell{});
      [[fallthrough]];
    case 'K': {
      auto& cells = Cells(row_);
      for (std::size_t c = col_; c < cols_; ++c) cells[c] = Cell{};
      break;
    }
    default: break;
  }
}

void Screen::Feed(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0x1b) {
      if (i + 1 < bytes.size() && bytes[i + 1] == '[') {
        std::size_t j = i + 2;
        std::size_t n = 0;
        while (j < bytes.size() && static_cast<unsigned char>(bytes[j]) >= 0x20 &&
               static_cast<unsigned char>(bytes[j]) <= 0x3F) {
          if (bytes[j] >= '0' && bytes[j] <= '9') n = n * 10 + static_cast<std::size_t>(bytes[j] - '0');
          ++j;
        }
        if (j < bytes.size()) Control(bytes[j], n);
        i = j + 1;
      } else {
        i += 2;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '\r': col_ = 0; continue;
      case '\n': ++row_; continue;
      case '\b': if (col_ > 0) --col_; continue;
      case '\a': ++bells_; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7f) continue;
    std::size_t n = 1;
    while (i - 1 + n < bytes.size() && (static_cast<unsigned char>(bytes[i - 1 + n]) & 0xC0) == 0x80) ++n;
    Put(bytes.substr(i - 1, n));
    i += n - 1;
  }
}

std::string Screen::Row(std::size_t row) const {
  if (row >= rows_.size()) return "";
  std::string text;
  for (const Cell& cell : rows_[row]) text.append(cell.bytes, cell.length);
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

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
