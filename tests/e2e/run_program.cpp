#include "tests/e2e/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

namespace e2e {

#ifdef ORDALEN_BINARY
const char* OrdalenBinary() { return ORDALEN_BINARY; }
#else
#error "ORDALEN_BINARY must name the program under test"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kStarterFlag[] = "--run-program-starter";
constexpr int kStarterReportFd = 3;

// What a starter hands back: the program's wait status and peak.
struct StarterReport {
  int status;
  long maxRssKiB;
};
using std::chrono::milliseconds;

void IgnoreSigpipe() {
  static std::once_flag once;
  std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Reads what is there on `fd` into `text`; false at its end or on an error.
bool Drain(int fd, std::string& text) {
  char buf[65536];
  const ssize_t n = ::read(fd, buf, sizeof buf);
  if (n > 0) {
    text.append(buf, static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

// Tells the parent why the child could not start, and ends it.
[[noreturn]] void FailStart(int report, int err) {
  while (::write(report, &err, sizeof err) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

// In the child between fork and exec: async-signal-safe calls only.
// `fds` become descriptors 0, 1, 2 and, for a starter, 3.
[[noreturn]] void StartProgram(const ChildOptions& options, const int (&fds)[4],
                               char* const* argv, int report) {
  auto fail = [report](int err) { FailStart(report, err); };
  // Out of the way first, so no descriptor overwrites another's source.
  int moved[4];
  for (int i = 0; i < 4; ++i) {
    moved[i] = fds[i] < 0 ? -1 : ::fcntl(fds[i], F_DUPFD_CLOEXEC, 10);
    if (fds[i] >= 0 && moved[i] < 0) fail(errno);
  }
  for (int i = 0; i < 4; ++i) {
    if (moved[i] >= 0 && ::dup2(moved[i], i) < 0) fail(errno);
  }
  if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) fail(errno);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &dfl, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execv(argv[0], argv);
  FailStart(report, errno);
}

}  // namespace

Child::Child(const ChildOptions& options) {
  IgnoreSigpipe();
  int stdio[3] = {options.stdinFd, options.stdoutFd, options.stderrFd};
  int* const mine[3] = {&in_, &out_, &err_};
  int theirs[3] = {-1, -1, -1};
  for (int i = 0; i < 3; ++i) {
    if (stdio[i] >= 0) continue;
    int p[2];
    if (::pipe2(p, O_CLOEXEC) != 0) {
      startError_ = std::string("pipe: ") + std::strerror(errno);
      for (int& fd : theirs) CloseFd(fd);
      return;
    }
    // Input: the child reads p[0]; output: the child writes p[1].
    theirs[i] = i == 0 ? p[0] : p[1];
    *mine[i] = i == 0 ? p[1] : p[0];
    stdio[i] = theirs[i];
  }
  int starterReport[2] = {-1, -1};
  int report[2];
  if ((!options.starter.empty() && ::pipe2(starterReport, O_CLOEXEC) != 0) ||
      ::pipe2(report, O_CLOEXEC) != 0) {
    startError_ = std::string("pipe: ") + std::strerror(errno);
    for (int& fd : theirs) CloseFd(fd);
    for (int& fd : starterReport) CloseFd(fd);
    return;
  }
  starterReport_ = starterReport[0];
  const int fds[4] = {stdio[0], stdio[1], stdio[2], starterReport[1]};

  std::vector<std::string> args;
  if (!options.starter.empty()) args = {options.starter, kStarterFlag};
  args.push_back(options.program);
  args.insert(args.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid == 0) StartProgram(options, fds, argv.data(), report[1]);
  for (int& fd : theirs) CloseFd(fd);
  CloseFd(starterReport[1]);
  ::close(report[1]);
  if (pid < 0) {
    startError_ = std::string("fork: ") + std::strerror(errno);
    ::close(report[0]);
    return;
  }
  pid_ = pid;
  // The report pipe closes at the exec; an errno before that means no exec.
  int err = 0;
  ssize_t n;
  do {
    n = ::read(report[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  ::close(report[0]);
  if (n == static_cast<ssize_t>(sizeof err)) {
    startError_ = "start of " + args[0] + ": " + std::strerror(err);
    Reap(0);
    pid_ = -1;
  }
}

Child::~Child() {
  CloseOut();
  if (err_ >= 0) CloseFd(err_);
  if (pid_ > 0 && !end_.ended) KillAndReap();
  JoinFeeder();
  CloseIn();
  CloseFd(starterReport_);
}

void Child::Feed(InputSource next) {
  JoinFeeder();
  const int fd = in_;
  in_ = -1;
  feeder_ = std::thread([fd, next = std::move(next)] {
    for (std::string_view block = next(); !block.empty(); block = next()) {
      while (!block.empty()) {
        const ssize_t n = ::write(fd, block.data(), block.size());
        if (n < 0) {
          if (errno == EINTR) continue;
          ::close(fd);  // the child went away (EPIPE) or the pipe broke
          return;
        }
        block.remove_prefix(static_cast<std::size_t>(n));
      }
    }
    ::close(fd);
  });
}

void Child::Feed(std::string input) {
  auto text = std::make_shared<std::string>(std::move(input));
  auto given = std::make_shared<bool>(false);
  Feed([text, given]() -> std::string_view {
    if (*given) return {};
    *given = true;
    return *text;
  });
}

void Child::CloseIn() { CloseFd(in_); }

void Child::CloseOut() { CloseFd(out_); }

bool Child::PollOnce(milliseconds timeout) {
  pollfd fds[2];
  int* const owners[2] = {&out_, &err_};
  std::string* const texts[2] = {&outText_, &errText_};
  int count = 0;
  int which[2];
  for (int i = 0; i < 2; ++i) {
    if (*owners[i] < 0) continue;
    fds[count] = {*owners[i], POLLIN, 0};
    which[count++] = i;
  }
  if (count == 0) return false;
  const int ready = ::poll(fds, static_cast<nfds_t>(count), static_cast<int>(timeout.count()));
  if (ready <= 0) return true;
  for (int k = 0; k < count; ++k) {
    if (fds[k].revents == 0) continue;
    const int i = which[k];
    if (!Drain(*owners[i], *texts[i])) CloseFd(*owners[i]);
  }
  return true;
}

std::size_t Child::ReadUntil(std::string_view text, milliseconds timeout, std::size_t from) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t at = outText_.find(text, from);
    if (at != std::string::npos) return at + text.size();
    if (out_ < 0 || RemainingMs(deadline) == 0) return std::string::npos;
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, RemainingMs(deadline)) > 0 && !Drain(out_, outText_)) CloseOut();
  }
}

std::size_t Child::ReadSome(std::size_t n, milliseconds timeout) {
  if (out_ < 0) return 0;
  pollfd p{out_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return 0;
  std::string buf(n, '\0');
  const ssize_t got = ::read(out_, buf.data(), n);
  if (got <= 0) {
    if (got == 0) CloseOut();
    return 0;
  }
  outText_.append(buf.data(), static_cast<std::size_t>(got));
  return static_cast<std::size_t>(got);
}

bool Child::Reap(int options) {
  int status = 0;
  rusage usage{};
  pid_t r;
  do {
    r = ::wait4(pid_, &status, options, &usage);
  } while (r < 0 && errno == EINTR);
  if (r != pid_) return false;
  long maxRssKiB = usage.ru_maxrss;
  if (starterReport_ >= 0) {
    // The starter wrote the program's end before its own.
    StarterReport program{};
    if (::read(starterReport_, &program, sizeof program) == static_cast<ssize_t>(sizeof program)) {
      status = program.status;
      maxRssKiB = program.maxRssKiB;
    } else {
      maxRssKiB = 0;
    }
    CloseFd(starterReport_);
  }
  end_.ended = true;
  end_.exited = WIFEXITED(status);
  end_.status = end_.exited ? WEXITSTATUS(status) : -1;
  end_.signaled = WIFSIGNALED(status);
  end_.signal = end_.signaled ? WTERMSIG(status) : 0;
  end_.maxRssKiB = maxRssKiB;
  return true;
}

void Child::KillAndReap() {
  ::kill(pid_, SIGKILL);
  Reap(0);
  end_.ended = false;  // it did not end by itself
}

void Child::JoinFeeder() {
  if (feeder_.joinable()) feeder_.join();
}

ChildEnd Child::Finish(milliseconds timeout) {
  if (pid_ <= 0) return end_;
  const auto deadline = Clock::now() + timeout;
  while (RemainingMs(deadline) > 0 && PollOnce(milliseconds(RemainingMs(deadline)))) {
  }
  // Output closed: the child is ending (or gave its channels away).
  while (!end_.ended && !Reap(WNOHANG) && RemainingMs(deadline) > 0) {
    std::this_thread::sleep_for(milliseconds(2));
  }
  if (!end_.ended) KillAndReap();
  // Output that arrived before the kill; the pipes close with the child.
  const auto drainDeadline = Clock::now() + milliseconds(1000);
  while (RemainingMs(drainDeadline) > 0 && PollOnce(milliseconds(RemainingMs(drainDeadline)))) {
  }
  JoinFeeder();
  return end_;
}

namespace {

RunResult RunChild(ChildOptions options, InputSource* source, milliseconds timeout) {
  RunResult result;
  Child child(options);
  if (!child.started()) {
    result.err = child.startError();
    return result;
  }
  if (source != nullptr) child.Feed(std::move(*source));
  result.end = child.Finish(timeout);
  result.out = child.Out();
  result.err = child.Err();
  return result;
}

}  // namespace

RunResult RunWithSource(InputSource source, ChildOptions options, milliseconds timeout) {
  options.stdinFd = -1;
  return RunChild(std::move(options), &source, timeout);
}

RunResult RunWithPipe(std::string input, ChildOptions options, milliseconds timeout) {
  auto text = std::make_shared<std::string>(std::move(input));
  auto given = std::make_shared<bool>(false);
  return RunWithSource(
      [text, given]() -> std::string_view {
        if (*given) return {};
        *given = true;
        return *text;
      },
      std::move(options), timeout);
}

RunResult RunWithFile(std::string_view input, ChildOptions options, milliseconds timeout) {
  TempDir dir;
  const std::string path = dir.File("input");
  {
    std::ofstream file(path, std::ios::binary);
    file.write(input.data(), static_cast<std::streamsize>(input.size()));
    if (!file) return {"", "cannot write " + path, {}};
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {"", "cannot open " + path, {}};
  RunResult result = RunWithFd(fd, std::move(options), timeout);
  ::close(fd);
  return result;
}

RunResult RunWithFd(int fd, ChildOptions options, milliseconds timeout) {
  options.stdinFd = fd;
  return RunChild(std::move(options), nullptr, timeout);
}

bool IsStarterCall(int argc, char** argv) {
  return argc >= 3 && std::strcmp(argv[1], kStarterFlag) == 0;
}

int StarterMain(int argc, char** argv) {
  (void)argc;
  ::fcntl(kStarterReportFd, F_SETFD, FD_CLOEXEC);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Ends with the starter, should a timed-out test kill that.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() == 1) ::_exit(127);
    ::execv(argv[2], argv + 2);
    ::_exit(127);
  }
  if (pid < 0) return 127;
  // The program's channels are its own: they close when it ends.
  const int null = ::open("/dev/null", O_RDWR);
  for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
  StarterReport report{};
  rusage usage{};
  while (::wait4(pid, &report.status, 0, &usage) < 0) {
    if (errno != EINTR) return 127;
  }
  report.maxRssKiB = usage.ru_maxrss;
  return ::write(kStarterReportFd, &report, sizeof report) == static_cast<ssize_t>(sizeof report)
             ? 0
             : 127;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/ordalen-test-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace e2e
