// A program run on a pseudo-terminal, as a person at a terminal would run it:
// the child is a session leader whose controlling terminal, standard input,
// output and error are the pty's terminal side; the test holds the master
// side, types keys into it and reads what the screen receives.
//
// Nothing here waits without a limit: every read and every wait has a
// timeout, and the destructor kills and reaps a child that is still there.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

using Millis = std::chrono::milliseconds;

// What the test learns about the child's end.
struct ExitState {
  bool ended = false;     // false: the wait timed out
  bool exited = false;    // ended through exit(): `status` holds the status
  int status = -1;
  bool signaled = false;  // ended by a signal: `signal` holds it
  int signal = 0;
};

class PtySession {
 public:
  struct Options {
    std::vector<std::string> args;  // after the program's path
    unsigned short rows = 24;
    unsigned short cols = 80;
    // Bytes typed into the terminal before the program runs (type-ahead).
    std::string typedBeforeStart;
    // When set, standard output goes to this file (opened with O_TRUNC) while
    // standard input and error stay on the terminal.
    std::string stdoutPath;
    // Runs the program as a shell runs a job: in a process group of its own
    // that has the terminal, below a session leader that waits for it. Only
    // then does Ctrl-Z stop it: the kernel does not stop a process group
    // without a parent elsewhere in the session (an orphaned group).
    bool jobControl = false;
  };

  // Starts `program` on a new pty. The child waits until the terminal's
  // mode has been read (TermiosBeforeStart) and the type-ahead written, then
  // runs the program. Check started() afterwards.
  PtySession(const std::string& program, const Options& options);
  explicit PtySession(const std::string& program) : PtySession(program, Options{}) {}
  ~PtySession();
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  bool started() const { return pid_ > 0 && program_ > 0; }
  // The program's process.
  pid_t pid() const { return program_; }

  // Types bytes into the terminal. False when they could not be written.
  bool Send(std::string_view bytes);

  // Everything the screen has received so far (bytes as written: CR LF,
  // escape sequences and BEL included).
  const std::string& Output() const { return output_; }
  // Reads until `text` appears in Output() at or after `from`, or the
  // timeout passes. Returns the position just after the match, or
  // std::string::npos on timeout or when the terminal closed first.
  std::size_t WaitFor(std::string_view text, Millis timeout, std::size_t from = 0);
  // Reads until nothing arrives for `quiet` (or `limit` passes in all).
  void Settle(Millis quiet = Millis(150), Millis limit = Millis(2000));

  // The terminal's mode as the child sees it, and as it was found just
  // before the program started.
  termios CurrentTermios() const;
  const termios& TermiosBeforeStart() const { return before_; }

  // Sets the window size; the kernel sends SIGWINCH to the foreground group.
  bool Resize(unsigned short rows, unsigned short cols);

  // Waits for the child to end, reading its output meanwhile so that it
  // never blocks on a full terminal.
  ExitState WaitExit(Millis timeout);
  // Waits for the program to stop (job control). True when it stopped.
  bool WaitStop(Millis timeout);
  // Sends `sig` to the program.
  bool Signal(int sig);
  // Closes the master side, as when a terminal window is closed: the
  // terminal side hangs up. Nothing can be typed or read afterwards.
  void HangUp();

 private:
  // One read of what is there, waiting up to `timeout`. False when the
  // terminal side is closed (EIO/EOF) or nothing came in time.
  bool ReadSome(Millis timeout);

  pid_t pid_ = -1;      // the child: the program, or its session leader
  pid_t program_ = -1;
  bool jobControl_ = false;
  int master_ = -1;
  bool reaped_ = false;
  termios before_{};
  std::string output_;
};

// What a terminal `cols` columns wide shows after the bytes it was sent, for
// the sequences that line editing uses: printable text (a UTF-8 character
// takes one cell; text wraps at the right edge), CR, LF, BS, BEL, ESC [ n
// A/B/C/D (cursor moves), ESC [ K and ESC [ J (erase to the end of the row,
// of the screen). Other escape sequences are skipped. Rows grow without end.
class Screen {
 public:
  explicit Screen(std::size_t cols) : cols_(cols) {}
  void Feed(std::string_view bytes);
  // The row's text, blanks at its end left out.
  std::string Row(std::size_t row) const;
  std::string CursorRowText() const { return Row(row_); }
  std::size_t CursorRow() const { return row_; }
  std::size_t CursorColumn() const { return col_; }
  int Bells() const { return bells_; }

 private:
  void Put(std::string_view ch);
  void Control(char final, std::size_t n);
  struct Cell {
    char bytes[4] = {' '};
    std::size_t length = 1;
  };
  std::vector<Cell>& Cells(std::size_t row);

  std::size_t cols_;
  std::vector<std::vector<Cell>> rows_;
  std::size_t row_ = 0;
  std::size_t col_ = 0;  // == cols_: the next character wraps
  int bells_ = 0;
};

// True when every field that governs input and output processing is equal.
bool SameMode(const termios& a, const termios& b);

// Shows bytes with control characters escaped (\r, \n, \a, \x1b...), for
// failure messages.
std::string Visible(std::string_view bytes);

}  // namespace e2e
