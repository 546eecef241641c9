// The real program on a pseudo-terminal: typed at key by key, read from the
// screen, its terminal mode checked before, during and after.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/pty_session.h"

namespace {

using e2e::Millis;
using e2e::PtySession;
using e2e::Screen;
using e2e::Visible;

constexpr char kBinary[] = ORDALEN_BINARY;
const std::string kPrompt = "Enter days since 0000-01-01: ";
const std::string kFirstScreen = "Ordalen v1, 2025-02-06, CTRL-C to exit\r\n" + kPrompt;
constexpr Millis kWait{5000};
constexpr auto npos = std::string::npos;

constexpr char kLeft[] = "\x1b[D";
constexpr char kRight[] = "\x1b[C";
constexpr char kHome[] = "\x1b[H";
constexpr char kDelete[] = "\x1b[3~";
constexpr char kBackspace[] = "\x7f";
constexpr char kCtrlD[] = "\x04";

bool InProgramMode(const termios& t) {
  return (t.c_lflag & (ICANON | ECHO)) == 0 && (t.c_oflag & OPOST) == 0 && (t.c_lflag & ISIG) != 0;
}

// Types keys one at a time, as a person does: each arrives in a read of
// its own.
void Type(PtySession& s, const std::vector<std::string>& keys) {
  for (const std::string& k : keys) {
    ASSERT_TRUE(s.Send(k));
    std::this_thread::sleep_for(Millis(15));
  }
}

Screen ScreenOf(const PtySession& s, std::size_t cols = 80) {
  Screen screen(cols);
  screen.Feed(s.Output());
  return screen;
}

TEST(Terminal, PromptEchoDateAndTheModeSetBack) {
  PtySession s(kBinary);
  ASSERT_TRUE(s.started());
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos) << Visible(s.Output());
  EXPECT_TRUE(InProgramMode(s.CurrentTermios()));
  EXPECT_FALSE(InProgramMode(s.TermiosBeforeStart()));

  Type(s, {"7", "3", "9", "0", "0", "0"});
  ASSERT_NE(s.WaitFor("739000", kWait), npos) << Visible(s.Output());
  EXPECT_EQ(s.Output(), kFirstScreen + "739000");  // the echo right after the prompt

  ASSERT_TRUE(s.Send("\r"));
  const std::string afterEnter = "739000\r\nDate: 2023/04/25\r\n" + kPrompt;
  ASSERT_NE(s.WaitFor(afterEnter, kWait), npos) << Visible(s.Output());

  ASSERT_TRUE(s.Send(kCtrlD));
  const e2e::ExitState end = s.WaitExit(kWait);
  ASSERT_TRUE(end.ended) << Visible(s.Output());
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(s.Output(), kFirstScreen + afterEnter + "\r\n");  // a line end at the end
  EXPECT_TRUE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()));
}

struct Typing {
  const char* name;
  std::vector<std::string> keys;  // before Enter
  std::string line;               // as the prompt's row shows it after Enter
  std::string result;             // the row after it
  int bells;
};

const std::string kDate = "Date: 2023/04/25";

const Typing kTypings[] = {
    {"backspace", {"7", "3", "9", "0", "x", kBackspace, "0", "0"}, "739000", kDate, 0},
    {"ctrl-h backspace", {"7390001", "\x08"}, "739000", kDate, 0},
    {"home and overtype", {"139000", kHome, "7"}, "739000", kDate, 0},
    {"delete under the cursor", {"1739000", kHome, kDelete}, "739000", kDate, 0},
    {"left and right, right stops at the end",
     {"73900", kLeft, kLeft, kLeft, kRight, kRight, kRight, kRight, "0"}, "739000", kDate, 0},
    {"overtype in the middle", {"7300", kLeft, kLeft, "9000"}, "739000", kDate, 0},
    {"unknown escapes ignored whole",
     {"739", "\x1b[1;5C", "\x1bOP", "\x1b[15~", "\x1b[A", "\x1b[2~", "000"}, "739000", kDate, 0},
    {"console and vt Home, End, Delete",
     {"x739000", "\x1b[1~", "\x1b[3~", "\x1b[4~", "1", "\x1b[7~", "\x1b[8~", kBackspace}, "739000", kDate, 0},
    {"application-mode Home and End", {"13900", "\x1bOH", "7", "\x1bOF", "0"}, "739000", kDate, 0},
    {"UTF-8 character then backspace", {"739", "\xc3\xa9", kBackspace, "000"}, "739000", kDate, 0},
    {"UTF-8 character deleted whole", {"739\xc3\xa9", kLeft, kDelete, "000"}, "739000", kDate, 0},
    {"UTF-8 character passes whole", {"\xc3\xa9", "739000"}, "\xc3\xa9" "739000",
     "Ordalen: \"??739000\" is not a day count from -2147479803 to 2147483647.", 0},
    {"wide character refused with the bell", {"73", "\xe6\x97\xa5", "9000"}, "739000", kDate, 1},
    {"cut-short UTF-8 refused with the bell", {"73", "\xc3", "9000"}, "739000", kDate, 1},
    {"control characters ignored", {"\x01", "73", "\x0b\x12", "9000", "\x1e\x1b"}, "739000", kDate, 0},
    {"ctrl-d inside the line deletes", {"7390000", kLeft, kCtrlD}, "739000", kDate, 0},
    {"ctrl-d at the end of a line does nothing", {"739000", kCtrlD}, "739000", kDate, 0},
};

// Each typing, once key by key and once all in one read (pasted).
TEST(Terminal, EditingKeysTable) {
  for (const Typing& t : kTypings) {
    for (bool pasted : {false, true}) {
      SCOPED_TRACE(std::string(t.name) + (pasted ? " (pasted)" : " (typed)"));
      PtySession s(kBinary);
      ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos) << Visible(s.Output());
      if (pasted) {
        std::string all;
        for (const std::string& k : t.keys) all += k;
        ASSERT_TRUE(s.Send(all));
      } else {
        Type(s, t.keys);
      }
      ASSERT_TRUE(s.Send("\r"));
      ASSERT_NE(s.WaitFor(t.result + "\r\n" + kPrompt, kWait), npos) << Visible(s.Output());
      const Screen screen = ScreenOf(s);
      EXPECT_EQ(screen.Row(1), kPrompt + t.line) << Visible(s.Output());
      EXPECT_EQ(screen.Row(2), t.result);
      EXPECT_EQ(screen.Bells(), t.bells);
    }
  }
}

TEST(Terminal, FullLineRefusesWithTheBell) {
  PtySession s(kBinary);
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos);
  const std::string full = std::string(249, '0') + "739000";  // 255 characters
  ASSERT_TRUE(s.Send(full));
  ASSERT_NE(s.WaitFor("739000", kWait, kFirstScreen.size()), npos);
  const std::size_t mark = s.Output().size();
  ASSERT_TRUE(s.Send("5"));
  ASSERT_NE(s.WaitFor("\a", kWait, mark), npos) << Visible(s.Output().substr(mark));
  EXPECT_EQ(s.Output().find('5', mark), npos);  // not shown
  s.Settle();

  // The row shows the line's end, scrolled into the room after the prompt,
  // with the cursor in the last column.
  const Screen screen = ScreenOf(s);
  EXPECT_EQ(screen.CursorRowText(), kPrompt + full.substr(full.size() - 50)) << Visible(s.Output());
  EXPECT_EQ(screen.CursorColumn(), 79u);

  ASSERT_TRUE(s.Send("\r"));
  EXPECT_NE(s.WaitFor("\r\n" + kDate + "\r\n", kWait, mark), npos) << Visible(s.Output().substr(mark));
}

TEST(Terminal, LongLineScrollsAndHomeShowsItsStart) {
  PtySession s(kBinary);
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos);
  std::string line;
  for (int i = 0; i < 70; ++i) line += static_cast<char>('a' + i % 26);
  ASSERT_TRUE(s.Send(line));
  s.Settle();
  Screen screen = ScreenOf(s);
  EXPECT_EQ(screen.CursorRowText(), kPrompt + line.substr(20)) << Visible(s.Output());
  ASSERT_TRUE(s.Send(kHome));
  s.Settle();
  screen = ScreenOf(s);
  EXPECT_EQ(screen.CursorRowText(), kPrompt + line.substr(0, 50));
  EXPECT_EQ(screen.CursorColumn(), kPrompt.size());
  EXPECT_EQ(screen.CursorRow(), 1u);  // never wrapped onto a second row
}

TEST(Terminal, WindowSizeChangeRedraws) {
  PtySession s(kBinary);
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos);
  const std::string line = "12345678901234567890";
  ASSERT_TRUE(s.Send(line));
  ASSERT_NE(s.WaitFor(line, kWait), npos);

  // Narrower: room for 10 characters after the prompt.
  std::size_t mark = s.Output().size();
  ASSERT_TRUE(s.Resize(24, 40));
  ASSERT_NE(s.WaitFor("\x1b[J", kWait, mark), npos) << Visible(s.Output().substr(mark));
  s.Settle();
  Screen narrow(40);
  narrow.Feed(s.Output().substr(mark));
  EXPECT_EQ(narrow.CursorRowText(), kPrompt + "1234567890") << Visible(s.Output().substr(mark));
  EXPECT_EQ(narrow.CursorColumn(), 39u);

  // A width of 0 is taken as 80.
  mark = s.Output().size();
  ASSERT_TRUE(s.Resize(24, 0));
  ASSERT_NE(s.WaitFor("\x1b[J", kWait, mark), npos) << Visible(s.Output().substr(mark));
  s.Settle();
  Screen wide(80);
  wide.Feed(s.Output().substr(mark));
  EXPECT_EQ(wide.CursorRowText(), kPrompt + line) << Visible(s.Output().substr(mark));

  ASSERT_TRUE(s.Send("\r"));
  EXPECT_NE(s.WaitFor("is not a day count", kWait, mark), npos);
}

TEST(Terminal, EndOfInputStatusFollowsRejections) {
  PtySession s(kBinary);
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos);
  ASSERT_TRUE(s.Send("abc\r"));
  ASSERT_NE(s.WaitFor("is not a day count from -2147479803 to 2147483647.\r\n" + kPrompt, kWait), npos)
      << Visible(s.Output());
  ASSERT_TRUE(s.Send(kCtrlD));
  const e2e::ExitState end = s.WaitExit(kWait);
  ASSERT_TRUE(end.ended);
  EXPECT_EQ(end.status, 1);
  EXPECT_EQ(s.Output().substr(s.Output().size() - kPrompt.size() - 2), kPrompt + "\r\n");
  EXPECT_TRUE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()));
}

TEST(Terminal, SeveralItemsOnOneLineEachAfterItsPrompt) {
  PtySession s(kBinary);
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos);
  ASSERT_TRUE(s.Send("739000 1\r"));
  EXPECT_NE(s.WaitFor("739000 1\r\n" + kDate + "\r\n" + kPrompt + "Date: 0000/01/02\r\n" + kPrompt, kWait), npos)
      << Visible(s.Output());
}

TEST(Terminal, InterruptSetsTheModeBack) {
  PtySession s(kBinary);
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos);
  ASSERT_TRUE(s.Send("739"));
  ASSERT_NE(s.WaitFor("739", kWait), npos);
  ASSERT_TRUE(s.Send("\x03"));  // Ctrl-C: ISIG still on
  const e2e::ExitState end = s.WaitExit(kWait);
  ASSERT_TRUE(end.ended) << Visible(s.Output());
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.status, 9);
  EXPECT_TRUE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()));
}

TEST(Terminal, KeysTypedBeforeStartAreDiscarded) {
  PtySession::Options options;
  options.typedBeforeStart = "111\r";
  PtySession s(kBinary, options);
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos) << Visible(s.Output());
  ASSERT_TRUE(s.Send("739000\r"));
  ASSERT_NE(s.WaitFor(kDate + "\r\n" + kPrompt, kWait), npos) << Visible(s.Output());
  EXPECT_EQ(s.Output(), kFirstScreen + "739000\r\n" + kDate + "\r\n" + kPrompt);
}

TEST(Terminal, OutputToAFileEchoesOnTheTerminal) {
  char path[] = "/tmp/ordalen-term-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  PtySession::Options options;
  options.stdoutPath = path;
  {
    PtySession s(kBinary, options);
    ASSERT_TRUE(s.started());
    s.Settle(Millis(300));  // the prompt goes to the file: nothing to wait for
    ASSERT_TRUE(s.Send("7390x"));
    ASSERT_TRUE(s.Send(kBackspace));
    ASSERT_TRUE(s.Send("00\r"));
    ASSERT_NE(s.WaitFor("\r\n", kWait), npos) << Visible(s.Output());
    s.Settle();
    ASSERT_TRUE(s.Send(kCtrlD));
    const e2e::ExitState end = s.WaitExit(kWait);
    ASSERT_TRUE(end.ended);
    EXPECT_EQ(end.status, 0);
    const Screen screen = ScreenOf(s);
    EXPECT_EQ(screen.Row(0), "739000") << Visible(s.Output());
    EXPECT_EQ(s.Output().find("Date"), npos);
    EXPECT_TRUE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()));
  }
  std::ifstream file(path, std::ios::binary);
  std::stringstream written;
  written << file.rdbuf();
  ::unlink(path);
  EXPECT_EQ(written.str(), kFirstScreen + kDate + "\r\n" + kPrompt + "\r\n");
}

TEST(Terminal, StopAndContinue) {
  PtySession::Options options;
  options.jobControl = true;
  PtySession s(kBinary, options);
  ASSERT_TRUE(s.started());
  ASSERT_NE(s.WaitFor(kFirstScreen, kWait), npos) << Visible(s.Output());
  ASSERT_TRUE(s.Send("7390"));
  ASSERT_NE(s.WaitFor("7390", kWait), npos);

  ASSERT_TRUE(s.Send("\x1a"));  // Ctrl-Z
  ASSERT_TRUE(s.WaitStop(kWait)) << Visible(s.Output());
  EXPECT_TRUE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()));

  const std::size_t mark = s.Output().size();
  ASSERT_TRUE(s.Signal(SIGCONT));
  ASSERT_NE(s.WaitFor(kPrompt + "7390", kWait, mark), npos) << Visible(s.Output().substr(mark));
  EXPECT_TRUE(InProgramMode(s.CurrentTermios()));

  ASSERT_TRUE(s.Send("00\r"));
  ASSERT_NE(s.WaitFor(kDate + "\r\n" + kPrompt, kWait, mark), npos) << Visible(s.Output().substr(mark));
  Screen screen(80);
  screen.Feed(s.Output().substr(mark));
  EXPECT_EQ(screen.Row(0), kPrompt + "739000");

  ASSERT_TRUE(s.Send(kCtrlD));
  const e2e::ExitState end = s.WaitExit(kWait);
  ASSERT_TRUE(end.ended);
  EXPECT_EQ(end.status, 0);
  EXPECT_TRUE(e2e::SameMode(s.CurrentTermios(), s.TermiosBeforeStart()));
}

}  // namespace
