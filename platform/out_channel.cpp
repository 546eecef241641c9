#include "platform/out_channel.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/failure.h"
#include "platform/halt.h"
#include "platform/write_all.h"

namespace IO {

namespace {

thread_local bool bestEffort = false;
constexpr std::chrono::milliseconds kBoundedWait{500};

}  // namespace

OutChannel::OutChannel(int fd) : fd_(fd), terminal_(::isatty(fd) == 1) {}

void OutChannel::BestEffortOnThisThread() { bestEffort = true; }

bool OutChannel::Lock() {
  if (!bestEffort) {
    mutex_.lock();
    return true;
  }
  return mutex_.try_lock_for(kBoundedWait);
}

int OutChannel::Drain() {
  const std::size_t n = used_;
  used_ = 0;
  if (broken_ || n == 0) return 0;
  const int err = rts::WriteAll(fd_, buf_, n);
  if (err != 0) broken_ = true;
  return err;
}

int OutChannel::PutLocked(const char* p, std::size_t n) {
  if (broken_) return 0;
  const char* const end = p + n;
  while (p < end) {
    if (kSize - used_ < 2) {
      if (const int err = Drain()) return err;
    }
    // One place is kept spare, for the CR that goes before an LF.
    const std::size_t room = kSize - used_ - 1;
    const std::size_t take = static_cast<std::size_t>(end - p) < room ? static_cast<std::size_t>(end - p) : room;
    const void* lf = std::memchr(p, '\n', take);
    const std::size_t plain = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - p) : take;
    std::memcpy(buf_ + used_, p, plain);
    used_ += plain;
    p += plain;
    const std::size_t keep = plain < kTail - tailLength_ ? plain : kTail - tailLength_;
    std::memcpy(tail_ + tailLength_, p - plain, keep);
    tailLength_ += keep;
    if (lf != nullptr) {
      tailLength_ = 0;
      buf_[used_++] = '\r';
      buf_[used_++] = '\n';
      ++p;
    }
  }
  return 0;
}

void OutChannel::Fail(int err) {
  if (bestEffort) return;
  // A reader that went away ends the program quietly; nobody is left to read
  // a report. A terminal that was hung up is such a reader too.
  if (err == EPIPE || (err == EIO && terminal_)) rts::Halt(rts::kExitHalted);
  rts::RaiseDeviceError("write to standard output", err);
}

void OutChannel::Put(const char* p, std::size_t n) {
  if (!Lock()) return;
  const int err = PutLocked(p, n);
  mutex_.unlock();
  if (err != 0) Fail(err);
}

int OutChannel::PutFillLocked(char c, uint32_t count) {
  char chunk[256];
  std::memset(chunk, c, sizeof chunk);
  int err = 0;
  while (count > 0 && err == 0) {
    const uint32_t n = count < sizeof chunk ? count : sizeof chunk;
    err = PutLocked(chunk, n);
    count -= n;
  }
  return err;
}

void OutChannel::PutField(const char* text, const FieldLayout& field, char prefix, char suffix) {
  if (!Lock()) return;
  int err = field.lead > 0 ? PutFillLocked(prefix, field.lead) : 0;
  if (err == 0) err = PutLocked(text, field.shown);
  if (err == 0 && field.trail > 0) err = PutFillLocked(suffix, field.trail);
  mutex_.unlock();
  if (err != 0) Fail(err);
}

void OutChannel::Flush() {
  if (!Lock()) return;
  const int err = Drain();
  mutex_.unlock();
  if (err != 0) Fail(err);
}

void OutChannel::WriteThrough(int fd, const char* p, std::size_t n) {
  if (!Lock()) return;
  int err = Drain();
  if (err == 0) err = rts::WriteAll(fd, p, n);
  mutex_.unlock();
  if (err != 0) Fail(err);
}

std::size_t OutChannel::LineTail(char* buf, std::size_t cap) {
  if (!Lock()) return 0;
  const std::size_t n = tailLength_ < cap ? tailLength_ : cap;
  std::memcpy(buf, tail_, n);
  mutex_.unlock();
  return n;
}

void OutChannel::FlushAtEnd() noexcept {
  if (!mutex_.try_lock_for(kBoundedWait)) return;
  Drain();
  mutex_.unlock();
}

OutChannel& StdOut() {
  static OutChannel channel(STDOUT_FILENO);
  return channel;
}

}  // namespace IO
