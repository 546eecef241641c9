// The line being typed and its cursor, edited in overtype mode. Pure.
//
// The line holds at most kMaxLine bytes of UTF-8; every character in it
// takes one screen column (the key decoder lets no other through), so a
// character index is also a column. The cursor always stands on a character
// boundary, between 0 and the line's end.
#pragma once

#include <cstddef>
#include <string_view>

namespace IO {

class LineBuffer {
 public:
  static constexpr std::size_t kMaxLine = 255;  // bytes

  // Puts one character (1..4 bytes) under the cursor, replacing the
  // character there or extending the line at its end, and moves past it.
  // False, and nothing changes, when the line would grow past kMaxLine.
  bool Put(const char* ch, std::size_t n);
  // Deletes the character before the cursor (false at the start) or under
  // it (false at the end).
  bool Backspace();
  bool Delete();
  void Left();
  void Right();
  void Home() { cursor_ = 0; }
  void End() { cursor_ = length_; }
  void Clear() { length_ = cursor_ = 0; }

  std::string_view Text() const { return {bytes_, length_}; }
  bool Empty() const { return length_ == 0; }
  std::size_t Cursor() const { return cursor_; }  // in bytes
  // In characters, which are also screen columns.
  std::size_t CursorColumn() const { return Columns(0, cursor_); }
  std::size_t LengthColumns() const { return Columns(0, length_); }

 private:
  // Bytes of the character that starts at `at` (at < length_).
  std::size_t CharLength(std::size_t at) const;
  std::size_t Columns(std::size_t from, std::size_t to) const;

  char bytes_[kMaxLine] = {};
  std::size_t length_ = 0;
  std::size_t cursor_ = 0;
};

// Characters in UTF-8 text (bytes that do not continue a character).
std::size_t CountColumns(std::string_view text);

}  // namespace IO
