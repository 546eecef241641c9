// Runs a program as a shell pipeline or redirection would: standard input
// from bytes through a pipe, a file or any descriptor; standard output and
// error captured through pipes (or sent to a descriptor of the test's
// choice); a working directory of its own; how it ended and its peak
// resident size from wait4.
//
// A peak resident size from wait4 counts the pages that a forked child shares
// with its parent until it execs; a run through a starter (a small process
// that forks the program and reports its end) gives the program's own.
//
// Nothing here waits without a limit: every read and every wait has a
// timeout, and a child still there when its Child is destroyed is killed and
// reaped. The test process ignores SIGPIPE from the first Child on, so that
// writing to a child that went away is an error, not the test's end; the
// child itself starts with SIGPIPE at its default and no signal blocked.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace e2e {

// The program under test: the path given by the ORDALEN_BINARY definition.
const char* OrdalenBinary();

// How the child ended.
struct ChildEnd {
  bool ended = false;     // false: the wait timed out and the child was killed
  bool exited = false;    // ended through exit(): `status` holds the status
  int status = -1;
  bool signaled = false;  // ended by a signal: `signal` holds it
  int signal = 0;
  long maxRssKiB = 0;     // peak resident size (ru_maxrss), see above
};

struct ChildOptions {
  std::string program = OrdalenBinary();
  std::vector<std::string> args;  // after the program's path
  std::string cwd;                // empty: the test's own
  // Descriptors for the child's standard channels, duplicated into it and
  // left open here; -1 means a pipe whose other end the Child holds.
  int stdinFd = -1;
  int stdoutFd = -1;
  int stderrFd = -1;
  // When set, the program runs as the only child of this starter (see
  // StarterMain), which reports the program's own end and peak resident
  // size; pid() is then the starter's.
  std::string starter;
};

// The next block of input to feed; an empty view ends the input. The view
// must stay valid until the next call.
using InputSource = std::function<std::string_view()>;

class Child {
 public:
  explicit Child(const ChildOptions& options);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  // Why the start failed, when it did.
  const std::string& startError() const { return startError_; }
  pid_t pid() const { return pid_; }

  // This side's ends of the pipes; -1 when closed or not a pipe.
  int in() const { return in_; }
  int out() const { return out_; }
  int err() const { return err_; }

  // Writes to standard input on a thread of its own, block by block, then
  // closes it; stops early when the child no longer reads. From then on the
  // thread owns in().
  void Feed(InputSource next);
  void Feed(std::string input);

  void CloseIn();
  // Closes this side's end of the output pipe: the reader goes away.
  void CloseOut();

  // Reads standard output until `text` appears in Out() at or after `from`,
  // or the timeout passes, or the output ends. Returns the position just
  // after the match, or std::string::npos.
  std::size_t ReadUntil(std::string_view text, std::chrono::milliseconds timeout,
                        std::size_t from = 0);
  // Reads up to `n` more bytes of standard output, waiting up to the timeout
  // for the first ones. Returns how many arrived.
  std::size_t ReadSome(std::size_t n, std::chrono::milliseconds timeout);

  // Standard output and error as read so far.
  const std::string& Out() const { return outText_; }
  const std::string& Err() const { return errText_; }

  // Reads standard output and error to their end, waits for the child and
  // for the input thread. A child still running when the timeout passes is
  // killed.
  ChildEnd Finish(std::chrono::milliseconds timeout);

 private:
  // One poll over the open output pipes; false when none is open.
  bool PollOnce(std::chrono::milliseconds timeout);
  bool Reap(int options);
  void KillAndReap();
  void JoinFeeder();

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  int starterReport_ = -1;
  std::thread feeder_;
  std::string outText_;
  std::string errText_;
  std::string startError_;
  ChildEnd end_;
};

// What a whole run gave.
struct RunResult {
  std::string out;  // empty when standard output went to options.stdoutFd
  std::string err;
  ChildEnd end;
};

inline constexpr std::chrono::milliseconds kRunTimeout{60000};

// Standard input: the bytes through a pipe, written while the child runs.
RunResult RunWithPipe(std::string input, ChildOptions options = {},
                      std::chrono::milliseconds timeout = kRunTimeout);
// Standard input: blocks from `source` through a pipe, so that input of any
// size need not be held in memory.
RunResult RunWithSource(InputSource source, ChildOptions options = {},
                        std::chrono::milliseconds timeout = kRunTimeout);
// Standard input: a regular file holding the bytes.
RunResult RunWithFile(std::string_view input, ChildOptions options = {},
                      std::chrono::milliseconds timeout = kRunTimeout);
// Standard input: the given descriptor, read from where it stands.
RunResult RunWithFd(int fd, ChildOptions options = {},
                    std::chrono::milliseconds timeout = kRunTimeout);

// The starter side: a test program whose main begins with
//   if (e2e::IsStarterCall(argc, argv)) return e2e::StarterMain(argc, argv);
// serves as ChildOptions::starter, usually as "/proc/self/exe".
bool IsStarterCall(int argc, char** argv);
int StarterMain(int argc, char** argv);

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace e2e
