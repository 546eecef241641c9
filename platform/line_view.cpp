#include "platform/line_view.h"

#include <cstring>

#include "platform/line_buffer.h"
#include "platform/number_text.h"

namespace IO {

namespace {

bool Continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offset of character `index` in `text` (its length past the end).
std::size_t ByteOf(std::string_view text, std::size_t index) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Continues(text[i])) continue;
    if (chars == index) return i;
    ++chars;
  }
  return text.size();
}

class Writer {
 public:
  Writer(char* buf, std::size_t cap) : buf_(buf), cap_(cap) {}
  void Put(std::string_view s) {
    if (s.size() > cap_ - used_) {
      overflow_ = true;
      return;
    }
    std::memcpy(buf_ + used_, s.data(), s.size());
    used_ += s.size();
  }
  // ESC [ n <final>; n = 0 would mean 1 to a terminal, so it writes nothing.
  void Move(std::size_t n, char final) {
    if (n == 0) return;
    char digits[kNumberText];
    const std::size_t len = CardToStr(static_cast<uint32_t>(n), digits);
    Put("\x1b[");
    Put(std::string_view(digits, len));
    Put(std::string_view(&final, 1));
  }
  std::size_t Length() const { return overflow_ ? 0 : used_; }

 private:
  char* buf_;
  std::size_t cap_;
  std::size_t used_ = 0;
  bool overflow_ = false;
};

}  // namespace

std::size_t StartColumn(std::size_t promptColumns, std::size_t width) { return promptColumns % width; }

std::size_t Room(std::size_t startColumn, std::size_t width) {
  return startColumn + 1 < width ? width - 1 - startColumn : 1;
}

std::size_t ScrollTo(std::size_t first, std::size_t cursor, std::size_t length, std::size_t room) {
  if (first > cursor) first = cursor;
  if (cursor - first > room) first = cursor - room;
  const std::size_t fullView = length > room ? length - room : 0;
  return first < fullView ? first : fullView;
}

std::size_t BuildRedraw(const LineLayout& layout, char* buf, std::size_t cap) {
  const std::size_t room = Room(layout.startColumn, layout.width);
  const std::size_t from = ByteOf(layout.line, layout.first);
  const std::string_view rest = layout.line.substr(from);
  const std::size_t to = ByteOf(rest, room);
  const std::size_t shownChars = CountColumns(rest.substr(0, to));

  Writer w(buf, cap);
  w.Put("\r");
  if (layout.prompt.empty()) {
    w.Move(layout.startColumn, 'C');
  } else {
    w.Put(layout.prompt);
  }
  w.Put(rest.substr(0, to));
  w.Put("\x1b[J");  // also what a terminal that re-wraps on resize left below
  w.Move(shownChars - (layout.cursor - layout.first), 'D');
  return w.Length();
}

}  // namespace IO
