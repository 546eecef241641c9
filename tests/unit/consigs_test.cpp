// The control-event handler, its installation and the halt. Every case that
// installs handlers or halts runs in a child process of its own: the halt
// ends the process, and the handler list and the halt state are per process.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/control_events.h"
#include "platform/halt.h"
#include "platform/io.h"
#include "platform/out_channel.h"
#include "platform/signal_thread.h"
#include "src/consigs.h"
#include "src/dialogue.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

constexpr char kNotice[] = "ConSigs: Signal received, terminating.\r\n";
constexpr char kRefused[] = "ConSigs: Installation failed.\r\n";
constexpr Millis kChildTime{10000};

// Exit statuses a child uses to say how its body went, apart from the halt's.
constexpr int kBodyReturned = 70;
constexpr int kHandlerFalse = 71;
constexpr int kHandlerTrue = 72;

struct ChildEnd {
  bool ended = false;  // false: killed after the time limit
  bool exited = false;
  int status = -1;
  int signal = 0;
  std::string out;  // all the child wrote on standard output
};

std::string Visible(const std::string& bytes) {
  std::string shown;
  for (char c : bytes) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else {
      shown += c;
    }
  }
  return shown;
}

std::ostream& operator<<(std::ostream& os, const ChildEnd& end) {
  return os << "ended=" << end.ended << " exited=" << end.exited << " status=" << end.status
            << " signal=" << end.signal << " out=\"" << Visible(end.out) << "\"";
}

// Runs `body` in a child with standard input from /dev/null and standard
// output into a pipe read here. A body that returns ends the child with
// kBodyReturned. Bounded: a child still there after kChildTime is killed.
ChildEnd RunInChild(const std::function<void()>& body) {
  ChildEnd end;
  int out[2];
  if (::pipe(out) != 0) return end;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(out[0]);
    ::close(out[1]);
    return end;
  }
  if (pid == 0) {
    ::close(out[0]);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null < 0 || ::dup2(null, STDIN_FILENO) < 0 || ::dup2(out[1], STDOUT_FILENO) < 0) {
      ::_exit(127);
    }
    ::close(null);
    ::close(out[1]);
    body();
    ::_exit(kBodyReturned);
  }
  ::close(out[1]);
  const auto deadline = Clock::now() + kChildTime;
  auto left = [&] {
    const auto ms = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
    return ms > 0 ? static_cast<int>(ms) : 0;
  };
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, left());
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buf[512];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of file: the child has gone
    end.out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      end.ended = true;
      break;
    }
    if (left() == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return end;
    }
    std::this_thread::sleep_for(Millis(5));
  }
  end.exited = WIFEXITED(status);
  if (end.exited) end.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

rts::BOOL Decline(rts::CTRL_TYPE) { return rts::FALSE; }

// Installs `count` handlers that decline every event; false when the list
// refused one.
bool FillHandlerList(int count) {
  for (int i = 0; i < count; ++i) {
    if (rts::SetConsoleCtrlHandler(Decline, rts::TRUE) == rts::FALSE) return false;
  }
  return true;
}

TEST(ConSigsHandler, HandledEventsHaltWithTheNoticeOthersAreDeclined) {
  const struct {
    uint32_t ct;
    bool handled;
  } cases[] = {
      {0, true},    // Ctrl-C
      {1, true},    // Ctrl-Break
      {2, true},    // close
      {3, true},  {4, true},
      {5, false},   // log-off
      {6, true},    // shut-down
      {7, false},   {100, false}, {0x7FFFFFFF, false}, {0xFFFFFFFF, false},
  };
  for (const auto& c : cases) {
    const ChildEnd end = RunInChild([&] {
      IO::Init();
      const rts::BOOL r = ConSigs::Handler(static_cast<rts::CTRL_TYPE>(c.ct));
      // A declined event must have written nothing: the halt writes out
      // whatever is held, so a stray notice would show.
      rts::Halt(r == rts::FALSE ? kHandlerFalse : kHandlerTrue);
    });
    ASSERT_TRUE(end.ended) << c.ct << ": " << end;
    EXPECT_TRUE(end.exited) << c.ct << ": " << end;
    if (c.handled) {
      EXPECT_EQ(end.status, rts::kExitHalted) << c.ct << ": " << end;
      EXPECT_EQ(end.out, kNotice) << c.ct << ": " << end;
    } else {
      EXPECT_EQ(end.status, kHandlerFalse) << c.ct << ": " << end;
      EXPECT_EQ(end.out, "") << c.ct << ": " << end;
    }
  }
}

TEST(ConSigsHandler, MessageFollowsWhatStandsOnTheLine) {
  const ChildEnd end = RunInChild([] {
    IO::Init();
    IO::WrStr("Enter days since 0000-01-01: ");
    ConSigs::Message("Installation failed.");
    rts::Halt(rts::kExitConverted);
  });
  ASSERT_TRUE(end.ended) << end;
  EXPECT_EQ(end.status, rts::kExitConverted) << end;
  EXPECT_EQ(end.out, std::string("Enter days since 0000-01-01: ") + kRefused) << end;
}

// Two events handled at the same moment, each on its own thread as the
// signal thread delivers them: one halt, and only whole notices.
TEST(ConSigsHandler, TwoEventsAtOnceLeaveWholeNotices) {
  for (int round = 0; round < 40; ++round) {
    const ChildEnd end = RunInChild([] {
      IO::Init();
      std::atomic<int> ready{0};
      auto take = [&ready](rts::CTRL_TYPE ct) {
        IO::OutChannel::BestEffortOnThisThread();
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        ConSigs::Handler(ct);
      };
      std::thread a(take, rts::CTRL_C_EVENT);
      std::thread b(take, rts::CTRL_SHUTDOWN_EVENT);
      a.join();
      b.join();
    });
    ASSERT_TRUE(end.ended) << "round " << round << ": " << end;
    EXPECT_EQ(end.status, rts::kExitHalted) << "round " << round << ": " << end;
    const std::string one = kNotice;
    EXPECT_TRUE(end.out == one || end.out == one + one) << "round " << round << ": " << end;
    if (HasFailure()) break;
  }
}

TEST(ConSigsInit, SecondInitInstallsNothing) {
  // The list is full but for one slot: the first Init takes it, and a second
  // installation would be refused with its message and status 9.
  const ChildEnd end = RunInChild([] {
    if (!FillHandlerList(rts::kMaxHandlers - 1)) rts::Halt(kBodyReturned + 10);
    ConSigs::Init();
    ConSigs::Init();
    rts::Halt(rts::kExitConverted);
  });
  ASSERT_TRUE(end.ended) << end;
  EXPECT_EQ(end.status, rts::kExitConverted) << end;
  EXPECT_EQ(end.out, "") << end;
}

TEST(ConSigsInit, SecondInitLeavesOneHandlerToAsk) {
  // With ConSigs installed once on top of a full list less two, exactly one
  // slot is left.
  const ChildEnd end = RunInChild([] {
    if (!FillHandlerList(rts::kMaxHandlers - 2)) rts::Halt(kBodyReturned + 10);
    ConSigs::Init();
    ConSigs::Init();
    const bool oneLeft = rts::SetConsoleCtrlHandler(Decline, rts::TRUE) != rts::FALSE &&
                         rts::SetConsoleCtrlHandler(Decline, rts::TRUE) == rts::FALSE;
    rts::Halt(oneLeft ? rts::kExitConverted : rts::kExitRejected);
  });
  ASSERT_TRUE(end.ended) << end;
  EXPECT_EQ(end.status, rts::kExitConverted) << end;
  EXPECT_EQ(end.out, "") << end;
}

TEST(ConSigsInit, RefusedInstallationEndsBeforeTheBanner) {
  const ChildEnd end = RunInChild([] {
    if (!FillHandlerList(rts::kMaxHandlers)) rts::Halt(kBodyReturned + 10);
    OrdalenMain();
  });
  ASSERT_TRUE(end.ended) << end;
  EXPECT_TRUE(end.exited) << end;
  EXPECT_EQ(end.status, rts::kExitHalted) << end;
  EXPECT_EQ(end.out, kRefused) << end;
}

TEST(ConSigsInit, InstalledHandlerTakesDispatchedEvents) {
  const struct {
    rts::CTRL_TYPE ct;
    bool taken;
  } cases[] = {
      {rts::CTRL_C_EVENT, true},
      {rts::CTRL_BREAK_EVENT, true},
      {rts::CTRL_CLOSE_EVENT, true},
      {rts::CTRL_SHUTDOWN_EVENT, true},
      {rts::CTRL_LOGOFF_EVENT, false},
  };
  for (const auto& c : cases) {
    const ChildEnd end = RunInChild([&] {
      ConSigs::Init();
      const bool taken = rts::DispatchControlEvent(c.ct);
      rts::Halt(taken ? kHandlerTrue : kHandlerFalse);
    });
    ASSERT_TRUE(end.ended) << c.ct << ": " << end;
    if (c.taken) {
      EXPECT_EQ(end.status, rts::kExitHalted) << c.ct << ": " << end;
      EXPECT_EQ(end.out, kNotice) << c.ct << ": " << end;
    } else {
      EXPECT_EQ(end.status, kHandlerFalse) << c.ct << ": " << end;
      EXPECT_EQ(end.out, "") << c.ct << ": " << end;
    }
  }
}

rts::BOOL TakeAndHalt(rts::CTRL_TYPE ct) {
  const char shown = static_cast<char>('0' + ct);
  (void)!::write(STDOUT_FILENO, &shown, 1);
  rts::Halt(kHandlerTrue);
}

// A signal that arrives before the first handler is installed waits, blocked,
// and goes to that handler: never to the signal's default action.
TEST(ControlEvents, SignalPendingBeforeInstallationGoesToTheHandler) {
  const struct {
    int sig;
    char event;
  } cases[] = {{SIGTERM, '6'}, {SIGINT, '0'}, {SIGHUP, '2'}, {SIGQUIT, '1'}};
  for (int round = 0; round < 25; ++round) {
    for (const auto& c : cases) {
      const ChildEnd end = RunInChild([&] {
        rts::BlockSignals();
        ::kill(::getpid(), c.sig);
        if (rts::SetConsoleCtrlHandler(TakeAndHalt, rts::TRUE) == rts::FALSE) {
          rts::Halt(kBodyReturned + 10);
        }
        for (;;) ::pause();
      });
      ASSERT_TRUE(end.ended) << "signal " << c.sig << ": " << end;
      EXPECT_EQ(end.status, kHandlerTrue) << "signal " << c.sig << ", round " << round << ": " << end;
      EXPECT_EQ(end.out, std::string(1, c.event)) << "signal " << c.sig << ": " << end;
      if (HasFailure()) return;
    }
  }
}

// The terminal line editor starts the signal thread for job control before
// ConSigs installs its handler: an event the thread has already taken by
// then waits for the handler.
TEST(ControlEvents, EventTakenBeforeInstallationWaitsForTheHandler) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    const ChildEnd end = RunInChild([sig] {
      rts::BlockSignals();
      if (!rts::StartSignalThread()) rts::Halt(kBodyReturned + 10);
      ::kill(::getpid(), sig);
      // Until the signal thread has taken the signal off the pending set.
      const auto deadline = Clock::now() + Millis(3000);
      for (;;) {
        sigset_t pending;
        ::sigpending(&pending);
        if (!::sigismember(&pending, sig)) break;
        if (Clock::now() > deadline) rts::Halt(kBodyReturned + 11);
        std::this_thread::sleep_for(Millis(1));
      }
      std::this_thread::sleep_for(Millis(20));  // its dispatch under way
      if (rts::SetConsoleCtrlHandler(TakeAndHalt, rts::TRUE) == rts::FALSE) {
        rts::Halt(kBodyReturned + 12);
      }
      for (;;) ::pause();
    });
    ASSERT_TRUE(end.ended) << "signal " << sig << ": " << end;
    EXPECT_TRUE(end.exited) << "signal " << sig << ": " << end;
    EXPECT_EQ(end.status, kHandlerTrue) << "signal " << sig << ": " << end;
  }
}

// Termination actions write to standard output directly: the pipe shows
// how often and how far they ran.
void SlowAction() noexcept {
  (void)!::write(STDOUT_FILENO, "A", 1);
  std::this_thread::sleep_for(Millis(30));
  (void)!::write(STDOUT_FILENO, "B", 1);
}

void HaltingAction() noexcept {
  (void)!::write(STDOUT_FILENO, "H", 1);
  rts::Halt(3);
}

TEST(Halt, TwoThreadsHaltingTogetherRunTheActionsOnce) {
  for (int round = 0; round < 20; ++round) {
    const ChildEnd end = RunInChild([] {
      rts::AddTerminationAction(SlowAction);
      std::atomic<int> ready{0};
      auto halt = [&ready] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        rts::Halt(rts::kExitHalted);
      };
      std::thread a(halt);
      std::thread b(halt);
      a.join();
      b.join();
    });
    ASSERT_TRUE(end.ended) << "round " << round << ": " << end;
    EXPECT_EQ(end.status, rts::kExitHalted) << "round " << round << ": " << end;
    // "AB": once, and the second halt waited for the action to finish.
    EXPECT_EQ(end.out, "AB") << "round " << round << ": " << end;
    if (HasFailure()) break;
  }
}

TEST(Halt, ActionsRunLastRegisteredFirst) {
  const ChildEnd end = RunInChild([] {
    rts::AddTerminationAction([]() noexcept { (void)!::write(STDOUT_FILENO, "1", 1); });
    rts::AddTerminationAction([]() noexcept { (void)!::write(STDOUT_FILENO, "2", 1); });
    rts::Halt(rts::kExitRejected);
  });
  ASSERT_TRUE(end.ended) << end;
  EXPECT_EQ(end.status, rts::kExitRejected) << end;
  EXPECT_EQ(end.out, "21") << end;
}

TEST(Halt, HaltInsideAnActionEndsAtOnce) {
  const ChildEnd end = RunInChild([] {
    rts::AddTerminationAction(SlowAction);
    rts::AddTerminationAction(HaltingAction);
    rts::Halt(rts::kExitHalted);
  });
  ASSERT_TRUE(end.ended) << end;
  EXPECT_EQ(end.status, 3) << end;
  EXPECT_EQ(end.out, "H") << end;
}

}  // namespace
