#include "platform/line_buffer.h"

#include <cstring>

namespace IO {

namespace {

bool Continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::size_t CountColumns(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += Continues(c) ? 0 : 1;
  return n;
}

std::size_t LineBuffer::CharLength(std::size_t at) const {
  std::size_t end = at + 1;
  while (end < length_ && Continues(bytes_[end])) ++end;
  return end - at;
}

std::size_t LineBuffer::Columns(std::size_t from, std::size_t to) const {
  return CountColumns(std::string_view(bytes_ + from, to - from));
}

bool LineBuffer::Put(const char* ch, std::size_t n) {
  const std::size_t replaced = cursor_ < length_ ? CharLength(cursor_) : 0;
  if (length_ - replaced + n > kMaxLine) return false;
  const std::size_t tail = cursor_ + replaced;
  std::memmove(bytes_ + cursor_ + n, bytes_ + tail, length_ - tail);
  std::memcpy(bytes_ + cursor_, ch, n);
  length_ = length_ - replaced + n;
  cursor_ += n;
  return true;
}

bool LineBuffer::Delete() {
  if (cursor_ == length_) return false;
  const std::size_t n = CharLength(cursor_);
  std::memmove(bytes_ + cursor_, bytes_ + cursor_ + n, length_ - cursor_ - n);
  length_ -= n;
  return true;
}

bool LineBuffer::Backspace() {
  if (cursor_ == 0) return false;
  Left();
  return Delete();
}

void LineBuffer::Left() {
  while (cursor_ > 0) {
    --cursor_;
    if (!Continues(bytes_[cursor_])) return;
  }
}

void LineBuffer::Right() {
  if (cursor_ < length_) cursor_ += CharLength(cursor_);
}

}  // namespace IO
