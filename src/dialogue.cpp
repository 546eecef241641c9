#include "src/dialogue.h"

#include <cstdint>

#include "platform/checked.h"
#include "platform/halt.h"
#include "platform/io.h"
#include "src/consigs.h"
#include "src/ordalen.h"

namespace {

constexpr char kBanner[] = "Ordalen v1, 2025-02-06, CTRL-C to exit";
constexpr char kPrompt[] = "Enter days since 0000-01-01: ";
constexpr std::size_t kShownChars = 40;

// Module variables: the count of this pass and its date.
int32_t days;
int32_t y;
uint32_t m;
uint32_t d;

void WriteRejection() {
  char shown[kShownItem];
  ShowItem(IO::LastItem(), shown);
  IO::WrStr("Ordalen: \"");
  IO::WrStr(shown);
  IO::WrStr("\" is not a day count from -2147479803 to 2147483647.");
  IO::WrLn();
}

void WriteDate() {
  IO::WrStr("Date: ");
  if (y < 0) {
    IO::WrChar('-');
    y = rts::Sub(0, y);
  }
  IO::PrefixChar = '0';
  IO::WrLngInt(y, 4);
  IO::WrStr("/");
  IO::WrCard(m, 2);
  IO::WrStr("/");
  IO::WrCard(d, 2);
  IO::WrLn();
}

}  // namespace

std::size_t ShowItem(const IO::Item& item, char (&buf)[kShownItem]) {
  const std::size_t n = item.headLength < kShownChars ? item.headLength : kShownChars;
  std::size_t len = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(item.head[i]);
    buf[len++] = (c >= 32 && c <= 126) ? static_cast<char>(c) : '?';
  }
  if (item.headLength > kShownChars) {
    for (int i = 0; i < 3; ++i) buf[len++] = '.';
  }
  buf[len] = '\0';
  return len;
}

void OrdalenMain() {
  ConSigs::Init();
  IO::Init();  // done already by ConSigs; does nothing
  IO::WrStr(kBanner);
  IO::WrLn();
  bool rejected = false;
  for (;;) {
    IO::WrStr(kPrompt);
    days = IO::RdLngInt();
    if (IO::AtEnd()) {
      IO::WrLn();    // ends the last prompt's line
      IO::Flush();   // a failed last write must not end with status 0
      rts::Halt(rejected ? rts::kExitRejected : rts::kExitConverted);
    }
    if (!IO::OK || days < kMinDays) {
      WriteRejection();
      rejected = true;
      continue;
    }
    Ordalen(days, y, m, d);
    WriteDate();
  }
}
