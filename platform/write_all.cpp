#include "platform/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace rts {

int WriteAll(int fd, const char* p, std::size_t n) noexcept {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return 0;
}

}  // namespace rts
