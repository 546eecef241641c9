// The output operations through the real standard-output channel: fd 1 is
// pointed at a memory file while a case writes, then set back.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <iostream>
#include <string>

#include "platform/io.h"

namespace {

using namespace std::string_literals;

// Points fd 1 at a memory file for its lifetime. Nothing may print to the
// test's own output meanwhile: it would land in the file.
class StdoutCapture {
 public:
  StdoutCapture() {
    std::fflush(stdout);
    std::cout.flush();
    saved_ = ::dup(STDOUT_FILENO);
    file_ = ::memfd_create("captured-stdout", MFD_CLOEXEC);
    if (saved_ >= 0 && file_ >= 0) ::dup2(file_, STDOUT_FILENO);
  }
  ~StdoutCapture() { Restore(); }

  bool ok() const { return saved_ >= 0 && file_ >= 0; }

  // Bytes that reached fd 1 so far.
  std::size_t Written() const {
    struct stat st {};
    ::fstat(file_, &st);
    return static_cast<std::size_t>(st.st_size);
  }

  // Writes out what the channel holds, sets fd 1 back and returns
  // everything that was written.
  std::string Finish() {
    IO::Flush();
    Restore();
    std::string bytes(Written(), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::pread(file_, bytes.data() + got, bytes.size() - got,
                                static_cast<off_t>(got));
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
  }

 private:
  void Restore() {
    if (saved_ >= 0) {
      ::dup2(saved_, STDOUT_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
  }
  int saved_ = -1;
  int file_ = -1;
};

class TextOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    IO::Flush();  // nothing of an earlier test may be held
    SetFields(' ', ' ', false);
  }
  void TearDown() override { SetFields(' ', ' ', false); }

  static void SetFields(char prefix, char suffix, bool chopOff) {
    IO::PrefixChar = prefix;
    IO::SuffixChar = suffix;
    IO::ChopOff = chopOff;
  }

  static std::string Capture(const std::function<void()>& write) {
    StdoutCapture capture;
    if (!capture.ok()) return "<no capture>";
    write();
    return capture.Finish();
  }
};

TEST_F(TextOutput, WritesTextCharactersAndLineEnds) {
  const struct {
    const char* what;
    std::function<void()> write;
    std::string bytes;
  } cases[] = {
      {"WrStr", [] { IO::WrStr("Date: "); }, "Date: "},
      {"WrStr empty", [] { IO::WrStr(""); }, ""},
      {"WrStr stops at NUL", [] { IO::WrStr("ab\0cd"); }, "ab"},
      {"WrStr LF", [] { IO::WrStr("a\nb\n"); }, "a\r\nb\r\n"},
      {"WrStr LF LF", [] { IO::WrStr("\n\n"); }, "\r\n\r\n"},
      {"WrStr other bytes", [] { IO::WrStr("\t\x7f\xff\x1b"); }, "\t\x7f\xff\x1b"},
      {"WrChar", [] { IO::WrChar('-'); }, "-"},
      {"WrChar LF", [] { IO::WrChar('\n'); }, "\r\n"},
      {"WrChar NUL", [] { IO::WrChar('\0'); }, "\0"s},
      {"WrLn", [] { IO::WrLn(); }, "\r\n"},
      {"sequence",
       [] {
         IO::WrStr("x");
         IO::WrLn();
         IO::WrChar('y');
         IO::WrLn();
         IO::WrLn();
       },
       "x\r\ny\r\n\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Capture(c.write), c.bytes) << c.what;
}

TEST_F(TextOutput, WritesNumbersAndTextInFields) {
  const struct {
    const char* what;
    char prefix;
    char suffix;
    bool chopOff;
    std::function<void()> write;
    std::string bytes;
  } cases[] = {
      {"month", '0', ' ', false, [] { IO::WrCard(7, 2); }, "07"},
      {"month 12", '0', ' ', false, [] { IO::WrCard(12, 2); }, "12"},
      {"year", '0', ' ', false, [] { IO::WrLngInt(1, 4); }, "0001"},
      {"long year", '0', ' ', false, [] { IO::WrLngInt(5879610, 4); }, "5879610"},
      {"sign inside the fill", '0', ' ', false, [] { IO::WrLngInt(-1, 4); }, "00-1"},
      {"width 0", '0', ' ', false, [] { IO::WrCard(0, 0); }, "0"},
      {"blank fill", ' ', ' ', false, [] { IO::WrCard(4294967295u, 12); }, "  4294967295"},
      {"left aligned", ' ', '.', false, [] { IO::WrCard(7, -3); }, "7.."},
      {"smallest", ' ', '_', false, [] { IO::WrLngInt(INT32_MIN, -12); }, "-2147483648_"},
      {"too wide", '0', ' ', false, [] { IO::WrCard(12345, 2); }, "12345"},
      {"chopped", '0', ' ', true, [] { IO::WrCard(12345, 2); }, "12"},
      {"chopped left", ' ', ' ', true, [] { IO::WrLngInt(-12345, -3); }, "-12"},
      {"text", ' ', ' ', false, [] { IO::WrStrAdj("ab", 5); }, "   ab"},
      {"text left", ' ', '*', false, [] { IO::WrStrAdj("ab", -5); }, "ab***"},
      {"text chopped", ' ', ' ', true, [] { IO::WrStrAdj("abcdef", 3); }, "abc"},
      {"text width 0", ' ', ' ', true, [] { IO::WrStrAdj("abcdef", 0); }, "abcdef"},
      {"text with LF", '>', ' ', false, [] { IO::WrStrAdj("a\nb", 4); }, ">a\r\nb"},
      {"fill LF", '\n', ' ', false, [] { IO::WrStrAdj("a", 3); }, "\r\n\r\na"},
      {"long fill", ' ', '-', false, [] { IO::WrStrAdj("ab", -300); },
       "ab" + std::string(298, '-')},
  };
  for (const auto& c : cases) {
    SetFields(c.prefix, c.suffix, c.chopOff);
    EXPECT_EQ(Capture(c.write), c.bytes) << c.what;
  }
}

TEST_F(TextOutput, NumberWritesSetOK) {
  for (auto write : {+[] { IO::WrCard(1, 1); }, +[] { IO::WrLngInt(-1, 1); }}) {
    IO::OK = false;
    Capture(write);
    EXPECT_TRUE(IO::OK);
  }
}

TEST_F(TextOutput, HoldsOutputUntilFlushed) {
  std::size_t beforeFlush = 1;
  std::size_t afterFlush = 0;
  {
    StdoutCapture capture;
    ASSERT_TRUE(capture.ok());
    IO::WrStr("Enter days since 0000-01-01: ");
    beforeFlush = capture.Written();
    IO::Flush();
    afterFlush = capture.Written();
  }
  EXPECT_EQ(beforeFlush, 0u);
  EXPECT_EQ(afterFlush, 29u);
}

TEST_F(TextOutput, LineEndsSurviveTheBufferBoundary) {
  // Many times the channel's buffer, with LFs falling on every offset near
  // each point where the buffer fills.
  std::string expected;
  const std::string got = Capture([&expected] {
    for (int k = 0; k < 20000; ++k) {
      const std::string line(static_cast<std::size_t>(k % 97), static_cast<char>('a' + k % 26));
      IO::WrStr((line + "\n").c_str());
      expected += line + "\r\n";
    }
    const std::string lfs(150000, '\n');
    IO::WrStr(lfs.c_str());
    for (int i = 0; i < 150000; ++i) expected += "\r\n";
    SetFields('\n', ' ', false);
    IO::WrStrAdj("z", 70000);
    for (int i = 0; i < 69999; ++i) expected += "\r\n";
    expected += "z";
  });
  ASSERT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "first difference at "
                               << std::mismatch(got.begin(), got.end(), expected.begin()).first -
                                      got.begin();
}

}  // namespace
