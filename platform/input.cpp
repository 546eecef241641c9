#include "platform/input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/failure.h"

namespace IO {

void StartInput() {}

void EndInput() noexcept {}

std::size_t FetchInput(char* buf, std::size_t cap) {
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
