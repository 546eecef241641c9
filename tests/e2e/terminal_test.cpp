// The real program on a pseudo-terminal: typed at, read from the screen.
#include <gtest/gtest.h>

#include "tests/e2e/pty_session.h"

namespace {

using e2e::Millis;
using e2e::PtySession;
using e2e::Visible;

constexpr char kBinary[] = ORDALEN_BINARY;
constexpr char kBanner[] = "Ordalen v1, 2025-02-06, CTRL-C to exit\r\n";
constexpr char kPrompt[] = "Enter days since 0000-01-01: ";
constexpr Millis kWait{5000};

TEST(Terminal, PromptThenDateThenEndOfInput) {
  PtySession s(kBinary);
  ASSERT_TRUE(s.started());
  const std::size_t prompt = s.WaitFor(kPrompt, kWait);
  ASSERT_NE(prompt, std::string::npos) << Visible(s.Output());
  ASSERT_TRUE(s.Send("739000\r"));
  EXPECT_NE(s.WaitFor("Date: 2023/04/25", kWait, prompt), std::string::npos)
      << Visible(s.Output());
  ASSERT_TRUE(s.Send("\x04"));
  const e2e::ExitState end = s.WaitExit(kWait);
  ASSERT_TRUE(end.ended) << Visible(s.Output());
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.status, 0);
}

}  // namespace
