// Standard output: held in a buffer, every LF written as CR LF, written out
// when the buffer is full, before the program waits for input, and at every
// end. Safe to use from the main thread and the control-event thread: each
// write to the file descriptor is made under one lock, so output of two
// threads never interleaves inside one write.
#pragma once

#include <cstddef>
#include <cstdint>
#include "platform/channel_lock.h"
#include "platform/number_text.h"

namespace IO {

class OutChannel {
 public:
  explicit OutChannel(int fd);
  OutChannel(const OutChannel&) = delete;
  OutChannel& operator=(const OutChannel&) = delete;

  void Put(const char* p, std::size_t n);
  // A text in a field: `field.lead` copies of `prefix`, the first
  // `field.shown` characters of the text, `field.trail` copies of `suffix`.
  void PutField(const char* text, const FieldLayout& field, char prefix, char suffix);
  void Flush();
  // Writes what is held, then `n` bytes to `fd` as one write (the echo of the
  // terminal line editor). Output may be held for the same terminal.
  void WriteThrough(int fd, const char* p, std::size_t n);
  // For the halt: writes what is held, ignores errors, and gives up rather
  // than wait long for a lock held by a thread stuck in a write.
  void FlushAtEnd() noexcept;

  // For a thread that is about to halt (a control-event thread): its writes
  // give up after a short wait for the lock, and a failed write drops the
  // output instead of raising, so the halt always follows.
  static void BestEffortOnThisThread();

  // The text written since the last line end (its first kTail bytes): what
  // stands before the cursor on the current line, e.g. the prompt, for a
  // redraw of the line.
  std::size_t LineTail(char* buf, std::size_t cap);

 private:
  static constexpr std::size_t kSize = 64 * 1024;
  static constexpr std::size_t kTail = 256;
  bool Lock();
  int PutLocked(const char* p, std::size_t n);  // errno or 0
  int PutFillLocked(char c, uint32_t count);    // errno or 0
  int Drain();                                  // errno or 0
  void Fail(int err);  // returns only on a best-effort thread

  int fd_;
  bool terminal_;  // decided at start: a hung-up terminal is no terminal any more
  ChannelLock mutex_;
  std::size_t used_ = 0;
  bool broken_ = false;  // a write failed: later output is dropped
  std::size_t tailLength_ = 0;
  char tail_[kTail];
  char buf_[kSize];
};

// Standard output, shared by the dialogue and the control-event handler.
OutChannel& StdOut();

}  // namespace IO
