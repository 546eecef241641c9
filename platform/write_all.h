// Writes all of a buffer to a file descriptor, across short writes and
// interruptions.
#pragma once

#include <cstddef>

namespace rts {

// 0 when every byte was written, else the errno of the failed write.
int WriteAll(int fd, const char* p, std::size_t n) noexcept;

}  // namespace rts
