// The dialogue as a pipeline or a redirection runs it: the real binary, its
// standard input a pipe, a file or a socket, its output read back whole.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "src/ordalen.h"
#include "tests/e2e/run_program.h"

namespace {

using namespace std::string_literals;
using std::chrono::milliseconds;

const std::string kBanner = "Ordalen v1, 2025-02-06, CTRL-C to exit\r\n";
const std::string kPrompt = "Enter days since 0000-01-01: ";
const std::string kErrInfo = "errinfo.$$$";

std::string DateLine(const std::string& date) { return "Date: " + date + "\r\n"; }

std::string Rejection(const std::string& shown) {
  return "Ordalen: \"" + shown + "\" is not a day count from -2147479803 to 2147483647.\r\n";
}

// The whole output for these answers, one for each item in order.
std::string Dialogue(const std::vector<std::string>& answers) {
  std::string out = kBanner;
  for (const std::string& answer : answers) out += kPrompt + answer;
  return out + kPrompt + "\r\n";
}

// The date line of a count, formatted here from the calendar module's date.
std::string DateLineOf(int32_t days) {
  int32_t y = 0;
  uint32_t m = 0;
  uint32_t d = 0;
  Ordalen(days, y, m, d);
  char text[32];
  std::snprintf(text, sizeof text, "%s%04lld/%02u/%02u", y < 0 ? "-" : "",
                y < 0 ? -static_cast<long long>(y) : static_cast<long long>(y), m, d);
  return DateLine(text);
}

std::string Describe(const e2e::ChildEnd& end) {
  if (!end.ended) return "did not end in time";
  if (end.signaled) return "killed by signal " + std::to_string(end.signal);
  return "exit status " + std::to_string(end.status);
}

// Runs with standard input a connected socket whose other end is written
// and closed meanwhile.
e2e::RunResult RunWithSocket(const std::string& input) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    return {"", "socketpair failed", {}};
  }
  std::thread writer([fd = ends[1], &input] {
    std::string_view rest = input;
    while (!rest.empty()) {
      const ssize_t n = ::write(fd, rest.data(), rest.size());
      if (n <= 0) break;
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fd);
  });
  e2e::RunResult result = e2e::RunWithFd(ends[0]);
  ::close(ends[0]);
  writer.join();
  return result;
}

enum class Via { kPipe, kFile, kSocket };

const char* Name(Via via) {
  switch (via) {
    case Via::kPipe: return "pipe";
    case Via::kFile: return "file";
    default: return "socket";
  }
}

e2e::RunResult RunVia(Via via, const std::string& input) {
  switch (via) {
    case Via::kPipe: return e2e::RunWithPipe(input);
    case Via::kFile: return e2e::RunWithFile(input);
    default: return RunWithSocket(input);
  }
}

struct DialogueCase {
  const char* what;
  std::string input;
  std::vector<std::string> answers;
  int status;
};

const std::vector<DialogueCase>& DialogueCases() {
  static const std::vector<DialogueCase> cases = {
      {"dates",
       "0\n-1\n-366\n739000\n3652424\n3652425\n2147483647\n-2147479803\n+5\n0012\n",
       {DateLine("0000/01/01"), DateLine("-0001/12/31"), DateLine("-0002/12/31"),
        DateLine("2023/04/25"), DateLine("9999/12/31"), DateLine("10000/01/01"),
        DateLine("5879610/07/11"), DateLine("-5879600/01/01"), DateLine("0000/01/06"),
        DateLine("0000/01/13")},
       0},
      {"rejected items",
       "abc\n-\n+\n--5\n12abc\n1.5\n1,000\n4294967295\n4294967296\n2147483648\n"
       "-2147479804\n-2147483648\n12\0" "3\n"s,
       {Rejection("abc"), Rejection("-"), Rejection("+"), Rejection("--5"), Rejection("12abc"),
        Rejection("1.5"), Rejection("1,000"), Rejection("4294967295"), Rejection("4294967296"),
        Rejection("2147483648"), Rejection("-2147479804"), Rejection("-2147483648"),
        Rejection("12?3")},
       1},
      {"one rejection among dates", "5 x 6\n",
       {DateLine("0000/01/06"), Rejection("x"), DateLine("0000/01/07")}, 1},
      {"several items on a line, empty lines passed over",
       "1 2\t3\r\n\n\n   \n\t\r\n4\x1a" "5  \n\n",
       {DateLine("0000/01/02"), DateLine("0000/01/03"), DateLine("0000/01/04"),
        DateLine("0000/01/05"), DateLine("0000/01/06")},
       0},
      {"CR alone ends lines", "1\r2\r", {DateLine("0000/01/02"), DateLine("0000/01/03")}, 0},
      {"no line end after the last item", "739000", {DateLine("2023/04/25")}, 0},
      {"empty input", "", {}, 0},
      {"separators only", "\n\r\n \t\x1a\n", {}, 0},
      {"long and unprintable items shown cut and masked",
       std::string(45, '9') + "\n" + std::string(40, 'a') + "\n\xc3\xa9t\xc3\xa9 \x1b[A\x7f\n",
       {Rejection(std::string(40, '9') + "..."), Rejection(std::string(40, 'a')),
        Rejection("??t??"), Rejection("?[A?")},
       1},
  };
  return cases;
}

TEST(Dialogue, AnswersEachItemWhateverTheInputIs) {
  for (const DialogueCase& c : DialogueCases()) {
    for (Via via : {Via::kPipe, Via::kFile, Via::kSocket}) {
      const e2e::RunResult r = RunVia(via, c.input);
      EXPECT_EQ(r.out, Dialogue(c.answers)) << c.what << " through a " << Name(via);
      EXPECT_TRUE(r.end.exited && r.end.status == c.status)
          << c.what << " through a " << Name(via) << ": " << Describe(r.end);
      EXPECT_EQ(r.err, "") << c.what << " through a " << Name(via);
    }
  }
}

// Random counts in the range, a few rejected items among them, separated by
// runs of every separator: many input and output blocks' worth.
struct ManyCounts {
  std::string input;
  std::string output;
};

ManyCounts MakeManyCounts(std::size_t count, bool oneLine) {
  std::mt19937_64 random(20250206);
  std::uniform_int_distribution<int32_t> days(kMinDays, INT32_MAX);
  const char separators[] = {' ', '\t', '\n', '\r', '\x1a'};
  std::vector<std::string> answers;
  ManyCounts many;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 1000 == 999) {
      many.input += "-2147479804";
      answers.push_back(Rejection("-2147479804"));
    } else {
      const int32_t n = days(random);
      if (i % 7 == 0 && n >= 0) many.input += '+';
      many.input += std::to_string(n);
      answers.push_back(DateLineOf(n));
    }
    const std::size_t run = 1 + random() % 3;
    for (std::size_t k = 0; k < run; ++k) {
      many.input += oneLine ? ' ' : separators[random() % sizeof separators];
    }
  }
  many.output = Dialogue(answers);
  return many;
}

TEST(Dialogue, ManyCountsSpanningInputAndOutputBlocks) {
  for (bool oneLine : {false, true}) {
    const ManyCounts many = MakeManyCounts(200000, oneLine);
    const char* shape = oneLine ? "on one line" : "on many lines";
    for (Via via : {Via::kPipe, Via::kFile}) {
      const e2e::RunResult r = RunVia(via, many.input);
      EXPECT_EQ(r.out.size(), many.output.size()) << shape << " through a " << Name(via);
      EXPECT_TRUE(r.out == many.output) << shape << " through a " << Name(via);
      EXPECT_TRUE(r.end.exited && r.end.status == 1) << Describe(r.end);
    }
  }
}

TEST(Dialogue, WritesToAFile) {
  e2e::TempDir dir;
  const std::string outPath = dir.File("dates");
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(out, 0);
  e2e::ChildOptions options;
  options.stdoutFd = out;
  const e2e::RunResult r = e2e::RunWithFile("739000 abc\n-1\n", options);
  ::close(out);
  EXPECT_EQ(e2e::ReadFile(outPath),
            Dialogue({DateLine("2023/04/25"), Rejection("abc"), DateLine("-0001/12/31")}));
  EXPECT_TRUE(r.end.exited && r.end.status == 1) << Describe(r.end);
}

TEST(Dialogue, ShowsTheDateAndNextPromptWithoutWaitingForTheInputsEnd) {
  e2e::Child child(e2e::ChildOptions{});
  ASSERT_TRUE(child.started()) << child.startError();
  const milliseconds wait(10000);
  ASSERT_NE(child.ReadUntil(kBanner + kPrompt, wait), std::string::npos)
      << "got \"" << child.Out() << '"';

  const std::string answer = DateLine("2023/04/25") + kPrompt;
  ASSERT_EQ(::write(child.in(), "739000\n", 7), 7);
  std::size_t seen = child.ReadUntil(answer, wait);
  ASSERT_NE(seen, std::string::npos) << "got \"" << child.Out() << '"';
  EXPECT_EQ(child.Out(), kBanner + kPrompt + answer);

  ASSERT_EQ(::write(child.in(), "x -1\n", 5), 5);
  const std::string answers = Rejection("x") + kPrompt + DateLine("-0001/12/31") + kPrompt;
  ASSERT_NE(child.ReadUntil(answers, wait, seen), std::string::npos)
      << "got \"" << child.Out() << '"';

  child.CloseIn();
  const e2e::ChildEnd end = child.Finish(wait);
  EXPECT_EQ(child.Out(), kBanner + kPrompt + answer + answers + "\r\n");
  EXPECT_TRUE(end.exited && end.status == 1) << Describe(end);
}

TEST(Dialogue, AFullOutputDeviceEndsWithTheFailureReport) {
  e2e::TempDir dir;
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  e2e::ChildOptions options;
  options.cwd = dir.path();
  options.stdoutFd = full;
  const e2e::RunResult r = e2e::RunWithPipe("739000\n", options);
  ::close(full);

  EXPECT_EQ(r.err,
            "\n#RTS: unhandled exception #20: device error (write to standard output: No space "
            "left on device)\nFile errinfo.$$$ created.\n");
  EXPECT_TRUE(r.end.exited && r.end.status == 9) << Describe(r.end);
  const std::string errInfo = e2e::ReadFile(dir.File(kErrInfo));
  EXPECT_NE(errInfo.find("#20"), std::string::npos) << errInfo;
  EXPECT_NE(errInfo.find("device error (write to standard output: No space left on device)"),
            std::string::npos)
      << errInfo;
}

// The end of input writes one last line end; when only that write fails,
// the run must not end as a success. A file size limit just short of the
// output makes exactly that write fail (with SIGXFSZ ignored, it fails with
// EFBIG instead of killing the program).
TEST(Dialogue, AFailedLastWriteAtTheEndOfInputIsAFailure) {
  e2e::TempDir dir;
  const std::string held = std::string("Ordalen v1, 2025-02-06, CTRL-C to exit\r\n") + kPrompt +
                           "Date: 2023/04/25\r\n" + kPrompt;
  const int file = ::open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(file, 0);
  e2e::ChildOptions options;
  options.cwd = dir.path();
  options.stdoutFd = file;
  options.program = "/usr/bin/prlimit";
  options.args = {"--fsize=" + std::to_string(held.size()), e2e::OrdalenBinary()};
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);  // inherited by the child
  const e2e::RunResult r = e2e::RunWithPipe("739000\n", options);
  std::signal(SIGXFSZ, previous);
  ::close(file);

  EXPECT_EQ(e2e::ReadFile(dir.File("out")), held);
  EXPECT_EQ(r.err,
            "\n#RTS: unhandled exception #20: device error (write to standard output: File too "
            "large)\nFile errinfo.$$$ created.\n");
  EXPECT_TRUE(r.end.exited && r.end.status == 9) << Describe(r.end);
}

TEST(Dialogue, AReaderThatGoesAwayEndsTheProgramQuietly) {
  e2e::TempDir dir;
  e2e::ChildOptions options;
  options.cwd = dir.path();
  e2e::Child child(options);
  ASSERT_TRUE(child.started()) << child.startError();

  // Far more input than the program can answer into a pipe nobody reads.
  std::string block;
  while (block.size() < 65536) block += "739000\n";
  auto blocksLeft = std::make_shared<int>(1000);
  child.Feed([block, blocksLeft]() -> std::string_view {
    return (*blocksLeft)-- > 0 ? std::string_view(block) : std::string_view();
  });
  ASSERT_NE(child.ReadUntil(DateLine("2023/04/25"), milliseconds(10000)), std::string::npos);
  child.CloseOut();

  const e2e::ChildEnd end = child.Finish(milliseconds(20000));
  EXPECT_TRUE(end.exited && end.status == 9) << Describe(end);
  EXPECT_EQ(child.Err(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File(kErrInfo)));
}

TEST(Dialogue, A200MegabyteLineIsReadWholeInLittleMemory) {
  // Through a starter, so that the peak is the program's own.
  e2e::ChildOptions options;
  options.starter = "/proc/self/exe";
  // The peak resident size of a run that reads almost nothing, for scale.
  const e2e::RunResult idle = e2e::RunWithPipe("", options);
  ASSERT_TRUE(idle.end.exited) << Describe(idle.end);

  // "7 ", one item of 200 MiB of zeros and a 5, then "9": fed block by
  // block, so nothing here holds the line either.
  const std::string zeros(1 << 20, '0');
  auto step = std::make_shared<int>(0);
  const auto start = std::chrono::steady_clock::now();
  const e2e::RunResult r = e2e::RunWithSource([&zeros, step]() -> std::string_view {
    const int i = (*step)++;
    if (i == 0) return "7 ";
    if (i <= 200) return zeros;
    if (i == 201) return "5 9\n";
    return {};
  }, options);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

  EXPECT_EQ(r.out, Dialogue({DateLine("0000/01/08"), DateLine("0000/01/06"),
                             DateLine("0000/01/10")}));
  EXPECT_TRUE(r.end.exited && r.end.status == 0) << Describe(r.end);
#ifdef __SANITIZE_ADDRESS__
  // The sanitizer's own memory comes on top of the program's.
  const long limitKiB = idle.end.maxRssKiB + 16 * 1024;
#else
  const long limitKiB = 16 * 1024;
#endif
  EXPECT_LT(r.end.maxRssKiB, limitKiB) << "idle run: " << idle.end.maxRssKiB << " KiB";
  std::cout << "200 MiB line in " << took.count() << " s, peak resident " << r.end.maxRssKiB
            << " KiB (idle run " << idle.end.maxRssKiB << " KiB)\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (e2e::IsStarterCall(argc, argv)) return e2e::StarterMain(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
