// Control events on the real program: Ctrl-C, Ctrl-\, hang-up and terminate
// end it in order, with the notice, status 9 and the terminal's mode set
// back, also when two arrive at once or one arrives during start-up.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/e2e/pty_session.h"
#include "tests/e2e/run_program.h"

namespace {

using e2e::Millis;
using e2e::PtySession;
using e2e::Visible;

constexpr char kBinary[] = ORDALEN_BINARY;
constexpr char kBanner[] = "Ordalen v1, 2025-02-06, CTRL-C to exit\r\n";
constexpr char kPrompt[] = "Enter days since 0000-01-01: ";
constexpr char kNoticeText[] = "ConSigs: Signal received, terminating.";
constexpr char kNotice[] = "ConSigs: Signal received, terminating.\r\n";
constexpr Millis kWait{5000};

// The test program started with this first argument execs the program with
// a control signal already pending, as a signal that arrives during
// start-up would be: "<flag> SIGNUM PROGRAM".
constexpr char kPendingFlag[] = "--exec-with-pending-signal";

[[noreturn]] void ExecWithPendingSignal(int sig, const char* program) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  // The mask survives the exec: the signal waits for the program.
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
  ::kill(::getpid(), sig);
  char* const argv[] = {const_cast<char*>(program), nullptr};
  ::execv(program, argv);
  ::_exit(127);
}

std::string SelfPath() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

PtySession::Options PendingSignalOptions(int sig) {
  PtySession::Options options;
  options.args = {kPendingFlag, std::to_string(sig), kBinary};
  return options;
}

// The screen row that shows `text`, or "" when none does.
std::string RowWith(std::string_view bytes, std::string_view text) {
  e2e::Screen screen(80);  // the session's width
  screen.Feed(bytes);
  for (std::size_t row = 0; row <= screen.CursorRow(); ++row) {
    std::string shown = screen.Row(row);
    if (shown.find(text) != std::string::npos) return shown;
  }
  return "";
}

std::size_t Count(std::string_view bytes, std::string_view text) {
  std::size_t n = 0;
  for (std::size_t at = bytes.find(text); at != std::string_view::npos;
       at = bytes.find(text, at + text.size())) {
    ++n;
  }
  return n;
}

// Every notice begun is whole: as many notice starts as whole notices.
void ExpectWholeNotices(std::string_view out, std::size_t atLeast) {
  const std::size_t whole = Count(out, kNotice);
  EXPECT_EQ(Count(out, "ConSigs"), whole) << Visible(out);
  EXPECT_GE(whole, atLeast) << Visible(out);
}

void ExpectHalted(const e2e::ExitState& end, const PtySession& s) {
  ASSERT_TRUE(end.ended) << Visible(s.Output());
  EXPECT_TRUE(end.exited) << "signal " << end.signal << ": " << Visible(s.Output());
  EXPECT_EQ(end.status, 9) << Visible(s.Output());
}

void ExpectModeRestored(const PtySession& s) {
  EXPECT_TRUE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()))
      << "the terminal was left in another mode";
}

// Waits for the first prompt and checks that the program runs the terminal
// in a mode of its own, so that the restored mode says something.
std::size_t StartAtPrompt(PtySession& s) {
  const std::size_t prompt = s.WaitFor(std::string(kBanner) + kPrompt, kWait);
  EXPECT_NE(prompt, std::string::npos) << Visible(s.Output());
  EXPECT_FALSE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()))
      << "the program left the terminal's mode as it found it";
  return prompt;
}

TEST(SignalsOnTerminal, KeyAtThePromptEndsWithTheNotice) {
  const struct {
    const char* name;
    const char* key;
  } cases[] = {{"Ctrl-C", "\x03"}, {"Ctrl-\\", "\x1c"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtySession s(kBinary);
    ASSERT_TRUE(s.started());
    const std::size_t prompt = StartAtPrompt(s);
    ASSERT_NE(prompt, std::string::npos);
    ASSERT_TRUE(s.Send(c.key));
    ExpectHalted(s.WaitExit(kWait), s);
    EXPECT_EQ(RowWith(s.Output(), kNoticeText), std::string(kPrompt) + kNoticeText)
        << Visible(s.Output());
    EXPECT_EQ(s.Output().substr(prompt - (sizeof kPrompt - 1)), std::string(kPrompt) + kNotice)
        << Visible(s.Output());
    ExpectModeRestored(s);
  }
}

TEST(SignalsOnTerminal, CtrlCAfterDigitsFollowsAtTheCursor) {
  PtySession s(kBinary);
  ASSERT_TRUE(s.started());
  const std::size_t prompt = StartAtPrompt(s);
  ASSERT_NE(prompt, std::string::npos);
  ASSERT_TRUE(s.Send("739"));
  ASSERT_NE(s.WaitFor("739", kWait, prompt), std::string::npos) << Visible(s.Output());
  ASSERT_TRUE(s.Send("\x03"));
  ExpectHalted(s.WaitExit(kWait), s);
  EXPECT_EQ(RowWith(s.Output(), kNoticeText), std::string(kPrompt) + "739" + kNoticeText)
      << Visible(s.Output());
  EXPECT_TRUE(s.Output().ends_with(kNotice)) << Visible(s.Output());
  EXPECT_EQ(s.Output().find("Date:"), std::string::npos) << Visible(s.Output());
  ExpectModeRestored(s);
}

TEST(SignalsOnTerminal, EachControlSignalAfterADate) {
  const struct {
    const char* name;
    int sig;
  } cases[] = {
      {"SIGINT", SIGINT}, {"SIGQUIT", SIGQUIT}, {"SIGHUP", SIGHUP}, {"SIGTERM", SIGTERM}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtySession s(kBinary);
    ASSERT_TRUE(s.started());
    ASSERT_NE(StartAtPrompt(s), std::string::npos);
    ASSERT_TRUE(s.Send("739000\r"));
    const std::string dated = std::string("Date: 2023/04/25\r\n") + kPrompt;
    ASSERT_NE(s.WaitFor(dated, kWait), std::string::npos) << Visible(s.Output());
    ASSERT_TRUE(s.Signal(c.sig));
    ExpectHalted(s.WaitExit(kWait), s);
    EXPECT_TRUE(s.Output().ends_with(dated + kNotice)) << Visible(s.Output());
    ExpectModeRestored(s);
  }
}

// Closing the terminal ends the program with status 9 whichever comes
// first, the hang-up signal or the end of input and the failed writes on
// the terminal; either way quietly, leaving no errinfo.$$$ behind. Under a
// job-control shell the program is not the session leader, and the end of
// input alone may be what it sees.
TEST(SignalsOnTerminal, ClosingTheTerminalEndsQuietly) {
  e2e::TempDir dir;
  char previous[PATH_MAX];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);  // the child's working directory
  for (const bool jobControl : {false, true}) {
    for (int round = 0; round < 10; ++round) {
      SCOPED_TRACE(std::string(jobControl ? "job" : "session leader") + ", round " +
                   std::to_string(round));
      PtySession::Options options;
      options.jobControl = jobControl;
      PtySession s(kBinary, options);
      ASSERT_TRUE(s.started());
      ASSERT_NE(s.WaitFor(kPrompt, kWait), std::string::npos) << Visible(s.Output());
      ASSERT_TRUE(s.Send("12"));
      ASSERT_NE(s.WaitFor("12", kWait), std::string::npos) << Visible(s.Output());
      s.HangUp();
      const e2e::ExitState end = s.WaitExit(kWait);
      ASSERT_TRUE(end.ended);
      if (!jobControl) {
        EXPECT_TRUE(end.exited && end.status == 9)
            << "status " << end.status << ", signal " << end.signal;
      }
      EXPECT_FALSE(std::filesystem::exists(dir.File("errinfo.$$$")));
    }
  }
  ASSERT_EQ(::chdir(previous), 0);
}

TEST(SignalsOnTerminal, TwoSignalsAtOnce) {
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    PtySession s(kBinary);
    ASSERT_TRUE(s.started());
    ASSERT_NE(StartAtPrompt(s), std::string::npos);
    ASSERT_TRUE(s.Signal(SIGTERM));
    s.Signal(SIGINT);  // may find the program gone already
    ExpectHalted(s.WaitExit(kWait), s);
    ExpectWholeNotices(s.Output(), 1);
    const std::size_t notice = s.Output().find(kNotice);
    EXPECT_EQ(s.Output().substr(0, notice), std::string(kBanner) + kPrompt) << Visible(s.Output());
    ExpectModeRestored(s);
    if (HasFailure()) return;
  }
}

TEST(SignalsOnTerminal, SignalPendingAtStartIsTaken) {
  const std::string self = SelfPath();
  ASSERT_FALSE(self.empty());
  for (int round = 0; round < 10; ++round) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
      SCOPED_TRACE("signal " + std::to_string(sig) + ", round " + std::to_string(round));
      PtySession s(self, PendingSignalOptions(sig));
      ASSERT_TRUE(s.started());
      ExpectHalted(s.WaitExit(kWait), s);
      ExpectWholeNotices(s.Output(), 0);
      EXPECT_LE(Count(s.Output(), kNotice), 1u) << Visible(s.Output());
      EXPECT_EQ(s.Output().find("Date:"), std::string::npos) << Visible(s.Output());
      ExpectModeRestored(s);
      if (HasFailure()) return;
    }
  }
}

// The program with standard output to a disk file and standard input from a
// pipe that stays open, so that only a signal can end it.
class SignalsToFile : public ::testing::Test {
 protected:
  // Starts `program` with `args`; the file is created anew.
  void Start(const std::string& program = kBinary, std::vector<std::string> args = {}) {
    ASSERT_FALSE(dir_.path().empty());
    path_ = dir_.File("out.txt");
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    e2e::ChildOptions options;
    options.program = program;
    options.args = std::move(args);
    options.stdoutFd = fd;
    child_ = std::make_unique<e2e::Child>(options);
    ::close(fd);
    ASSERT_TRUE(child_->started()) << child_->startError();
  }

  bool Type(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(child_->in(), bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  std::string File() const { return e2e::ReadFile(path_); }

  // Waits until the file ends with `text`: output is written out whenever
  // the program waits for input.
  bool WaitForFileEnd(std::string_view text) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!File().ends_with(text)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(Millis(2));
    }
    return true;
  }

  bool Signal(int sig) { return ::kill(child_->pid(), sig) == 0; }

  void ExpectHaltedQuietly() {
    const e2e::ChildEnd end = child_->Finish(kWait);
    ASSERT_TRUE(end.ended) << Visible(File());
    EXPECT_TRUE(end.exited) << "signal " << end.signal << ": " << Visible(File());
    EXPECT_EQ(end.status, 9) << Visible(File());
    EXPECT_EQ(child_->Err(), "");
  }

  e2e::TempDir dir_;
  std::string path_;
  std::unique_ptr<e2e::Child> child_;
};

TEST_F(SignalsToFile, NoticeIsTheLastLineAfterTheDates) {
  const struct {
    const char* name;
    int sig;
  } cases[] = {
      {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGINT", SIGINT}, {"SIGQUIT", SIGQUIT}};
  const std::string dates = std::string(kBanner) + kPrompt + "Date: 2023/04/25\r\n" + kPrompt +
                            "Date: 0000/01/01\r\n" + kPrompt;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    ASSERT_TRUE(Type("739000 0\n"));
    ASSERT_TRUE(WaitForFileEnd(dates)) << Visible(File());
    ASSERT_TRUE(Signal(c.sig));
    ExpectHaltedQuietly();
    EXPECT_EQ(File(), dates + kNotice) << Visible(File());
    if (HasFailure()) return;
  }
}

TEST_F(SignalsToFile, TwoSignalsAtOnce) {
  const std::string asked = std::string(kBanner) + kPrompt;
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Start();
    ASSERT_TRUE(WaitForFileEnd(asked)) << Visible(File());
    ASSERT_TRUE(Signal(SIGTERM));
    Signal(SIGINT);  // may find the program gone already
    ExpectHaltedQuietly();
    const std::string out = File();
    ASSERT_TRUE(out.starts_with(asked)) << Visible(out);
    const std::string rest = out.substr(asked.size());
    EXPECT_TRUE(rest == kNotice || rest == std::string(kNotice) + kNotice) << Visible(out);
    if (HasFailure()) return;
  }
}

TEST_F(SignalsToFile, SignalPendingAtStartIsTaken) {
  const std::string self = SelfPath();
  ASSERT_FALSE(self.empty());
  for (int round = 0; round < 10; ++round) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
      SCOPED_TRACE("signal " + std::to_string(sig) + ", round " + std::to_string(round));
      Start(self, {kPendingFlag, std::to_string(sig), kBinary});
      ExpectHaltedQuietly();
      const std::string out = File();
      ExpectWholeNotices(out, 0);
      EXPECT_LE(Count(out, kNotice), 1u) << Visible(out);
      EXPECT_EQ(out.find("Date:"), std::string::npos) << Visible(out);
      if (HasFailure()) return;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], kPendingFlag) == 0) {
    ExecWithPendingSignal(std::atoi(argv[2]), argv[3]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
