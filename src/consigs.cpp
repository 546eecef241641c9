#include "src/consigs.h"

#include <cstdint>
#include <cstdio>

#include "platform/halt.h"
#include "platform/io.h"

namespace ConSigs {

namespace {

bool initialised = false;

// Bit n stands for CTRL_TYPE n: every event but log-off.
constexpr uint32_t kHandled = 0x5F;

}  // namespace

void Message(const char* s) {
  // The whole line in one write: two events taken at the same moment must
  // not interleave inside a notice.
  constexpr char kPrefix[] = "ConSigs: ";
  char line[256];
  std::snprintf(line, sizeof line, "%s%.*s\n", kPrefix,
                static_cast<int>(sizeof line - sizeof kPrefix - 1), s);
  IO::WrStr(line);
}

rts::BOOL Handler(rts::CTRL_TYPE ct) {
  const auto value = static_cast<uint32_t>(ct);
  if (value > 6) return rts::FALSE;
  if ((kHandled >> value & 1u) == 0) return rts::FALSE;
  Message("Signal received, terminating.");
  rts::Halt(rts::kExitHalted);
}

void Init() {
  if (initialised) return;
  initialised = true;
  IO::Init();
  if (rts::SetConsoleCtrlHandler(Handler, rts::TRUE) != rts::FALSE) return;
  Message("Installation failed.");
  rts::Halt(rts::kExitHalted);
}

}  // namespace ConSigs
