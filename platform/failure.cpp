#include "platform/failure.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/halt.h"
#include "platform/write_all.h"

namespace rts {

namespace {

constexpr char kErrInfoFile[] = "errinfo.$$$";

// The report line, with its leading and trailing LF; returns its length.
std::size_t FormatReport(const Failure& f, char* buf, std::size_t size) {
  int n = std::snprintf(buf, size, "\n#RTS: unhandled exception #%d: %s\n", f.number, f.text);
  if (n < 0) return 0;
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

}  // namespace

void Raise(int number, const char* text) {
  Failure f{};
  f.number = number;
  std::snprintf(f.text, sizeof f.text, "%s", text);
  throw f;
}

void RaiseWholeOverflow() { Raise(kWholeOverflow, "whole overflow"); }

void RaiseDeviceError(const char* what, int err) {
  char text[sizeof(Failure::text)];
  std::snprintf(text, sizeof text, "device error (%s: %s)", what, std::strerror(err));
  Raise(kDeviceError, text);
}

void WriteFailureReport(const Failure& f) noexcept {
  char report[256];
  WriteAll(STDERR_FILENO, report, FormatReport(f, report, sizeof report));

  int fd = ::open(kErrInfoFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return;  // announce only a file that exists
  char account[512];
  int n = std::snprintf(account, sizeof account,
                        "ordalen: unhandled exception #%d: %s\n"
                        "process %ld ended with exit status %d\n",
                        f.number, f.text, static_cast<long>(::getpid()), kExitHalted);
  if (n > 0) WriteAll(fd, account, std::min(static_cast<std::size_t>(n), sizeof account - 1));
  ::close(fd);
  static constexpr char kCreated[] = "File errinfo.$$$ created.\n";
  WriteAll(STDERR_FILENO, kCreated, sizeof kCreated - 1);
}

void FailurePath(const Failure& f) noexcept { Halt(kExitHalted, &f); }

}  // namespace rts
