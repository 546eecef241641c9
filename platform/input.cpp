#include "platform/input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/failure.h"
#include "platform/line_editor.h"

namespace IO {

namespace {

bool editing = false;  // standard input is a terminal and the editor reads it

}  // namespace

void StartInput() { editing = StartLineEditor(STDIN_FILENO); }

// Safe from any thread: the editor sets back only a mode it has set.
void EndInput() noexcept { EndLineEditor(); }

std::size_t FetchInput(char* buf, std::size_t cap) {
  if (editing) return ReadEditedLine(buf, cap);
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buf, cap);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Standard input left non-blocking by whoever started us.
      pollfd p{STDIN_FILENO, POLLIN, 0};
      ::poll(&p, 1, -1);
      continue;
    }
    rts::RaiseDeviceError("read from standard input", errno);
  }
}

}  // namespace IO
