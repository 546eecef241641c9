#include "platform/line_view.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <algorithm>
#include <vector>


namespace {

using IO::BuildRedraw;
using IO::LineLayout;
using IO::Room;
using IO::ScrollTo;
using IO::StartColumn;

std::string Redraw(const LineLayout& layout) {
  char buf[IO::kRedrawCap];
  const std::size_t n = BuildRedraw(layout, buf, sizeof buf);
  EXPECT_GT(n, 0u);
  return std::string(buf, n);
}

TEST(LineView, StartColumnAndRoom) {
  EXPECT_EQ(StartColumn(29, 80), 29u);
  EXPECT_EQ(StartColumn(29, 20), 9u);  // the prompt itself wrapped
  EXPECT_EQ(StartColumn(0, 80), 0u);
  EXPECT_EQ(Room(29, 80), 50u);        // the last column is for the cursor only
  EXPECT_EQ(Room(0, 80), 79u);
  EXPECT_EQ(Room(79, 80), 1u);         // never no room at all
}

struct ScrollCase {
  std::size_t first, cursor, length, room, expected;
};

TEST(LineView, ScrollKeepsTheCursorInView) {
  const ScrollCase cases[] = {
      {0, 5, 5, 10, 0},     // fits
      {0, 10, 10, 10, 0},   // cursor on the last column
      {0, 11, 11, 10, 1},   // one past: scrolls by one
      {0, 30, 30, 10, 20},  // typed at the end of a long line
      {20, 3, 30, 10, 3},   // moved left past the view: view follows
      {20, 25, 30, 10, 20}, // within view: stays
      {5, 0, 30, 10, 0},    // Home
      {20, 5, 12, 10, 2},   // line shrank: shows as much as fits
      {3, 3, 5, 10, 0},     // everything fits again
  };
  for (const ScrollCase& c : cases) {
    EXPECT_EQ(ScrollTo(c.first, c.cursor, c.length, c.room), c.expected)
        << "first " << c.first << " cursor " << c.cursor << " length " << c.length;
  }
}

struct RedrawCase {
  const char* name;
  LineLayout layout;
  const char* bytes;
};

TEST(LineView, RedrawBytes) {
  const RedrawCase cases[] = {
      {"cursor at the end", {{}, 29, 80, "739000", 6, 0}, "\r\x1b[29C739000\x1b[J"},
      {"cursor inside", {{}, 29, 80, "739000", 2, 0}, "\r\x1b[29C739000\x1b[J\x1b[4D"},
      {"cursor at the start", {{}, 29, 80, "739000", 0, 0}, "\r\x1b[29C739000\x1b[J\x1b[6D"},
      {"empty line", {{}, 29, 80, "", 0, 0}, "\r\x1b[29C\x1b[J"},
      {"no prompt", {{}, 0, 80, "12", 1, 0}, "\r12\x1b[J\x1b[1D"},
      {"with the prompt", {"Days: ", 6, 80, "12", 2, 0}, "\rDays: 12\x1b[J"},
      {"scrolled to the end", {{}, 29, 40, "abcdefghijklmnopqrst", 20, 10}, "\r\x1b[29Cklmnopqrst\x1b[J"},
      {"scrolled, cursor inside", {{}, 29, 40, "abcdefghijklmnopqrst", 12, 10},
       "\r\x1b[29Cklmnopqrst\x1b[J\x1b[8D"},
      {"long line from the start", {{}, 29, 40, "abcdefghijklmnopqrst", 0, 0},
       "\r\x1b[29Cabcdefghij\x1b[J\x1b[10D"},
      {"multi-byte characters are one column",
       {{}, 0, 80, "a\xc3\xa9\xe2\x82\xac", 1, 0},
       "\ra\xc3\xa9\xe2\x82\xac\x1b[J\x1b[2D"},
      {"scrolled past a multi-byte character",
       {{}, 0, 4, "\xc3\xa9\xc3\xa9" "abc", 5, 2},
       "\rabc\x1b[J"},
  };
  for (const RedrawCase& c : cases) {
    EXPECT_EQ(Redraw(c.layout), c.bytes) << c.name;
  }
}

TEST(LineView, TooSmallBufferGivesNothing) {
  char buf[8];
  const LineLayout layout{{}, 29, 80, "739000", 6, 0};
  EXPECT_EQ(BuildRedraw(layout, buf, sizeof buf), 0u);
}

// The row as a terminal shows it after the redraw, and where its cursor is.
struct Row {
  std::vector<std::string_view> cells;  // into the prompt and the redraw
  std::size_t cursor = 0;
  std::size_t widest = 0;  // the furthest column written
};

Row Show(std::string_view prompt, std::string_view bytes, std::size_t width) {
  Row row;
  row.cells.assign(width, " ");
  for (std::size_t i = 0; i < prompt.size(); ++i) row.cells[i] = prompt.substr(i, 1);
  for (std::size_t i = 0; i < bytes.size();) {
    const char c = bytes[i];
    if (c == '\r') {
      row.cursor = 0;
      ++i;
    } else if (c == '\x1b') {
      std::size_t j = i + 2;
      std::size_t n = 0;
      while (bytes[j] >= '0' && bytes[j] <= '9') n = n * 10 + static_cast<std::size_t>(bytes[j++] - '0');
      if (bytes[j] == 'C') row.cursor += n;
      if (bytes[j] == 'D') row.cursor -= n;
      if (bytes[j] == 'J') {
        for (std::size_t k = row.cursor; k < width; ++k) row.cells[k] = " ";
      }
      i = j + 1;
    } else {
      std::size_t n = 1;
      while (i + n < bytes.size() && (static_cast<unsigned char>(bytes[i + n]) & 0xC0) == 0x80) ++n;
      row.cells.at(row.cursor) = bytes.substr(i, n);
      row.widest = std::max(row.widest, row.cursor);
      ++row.cursor;
      i += n;
    }
  }
  return row;
}

// For every cursor position in lines short and long, after any earlier
// view: the row shows the prompt, then exactly the line's characters from
// the first shown one, never writes the last column, and the cursor stands
// on its character.
TEST(LineView, ScreenShowsTheLineAroundTheCursor) {
  const std::string prompt = "Enter: ";
  std::vector<std::string> chars;
  for (int i = 0; i < 30; ++i) chars.push_back(i % 3 == 0 ? "\xc3\xa9" : std::string(1, static_cast<char>('a' + i % 26)));
  for (std::size_t width : {12u, 20u, 40u}) {
    const std::size_t start = StartColumn(prompt.size(), width);
    const std::size_t room = Room(start, width);
    for (std::size_t length : {0u, 5u, 13u, 30u}) {
      std::string line;
      for (std::size_t i = 0; i < length; ++i) line += chars[i];
      for (std::size_t before : {0u, 3u, 25u}) {
        for (std::size_t cursor = 0; cursor <= length; ++cursor) {
          const std::size_t first = ScrollTo(before, cursor, length, room);
          const std::string bytes = Redraw({{}, start, width, line, cursor, first});
          const Row row = Show(prompt, bytes, width);
          const std::string context = "width " + std::to_string(width) + " length " + std::to_string(length) +
                                      " cursor " + std::to_string(cursor) + " before " + std::to_string(before);
          ASSERT_EQ(row.cursor, start + cursor - first) << context;
          ASSERT_LT(row.widest, width - 1) << context;
          std::string shown;
          for (std::size_t k = start; k < width; ++k) shown += row.cells[k];
          std::string expected;
          for (std::size_t k = first; k < length && k < first + room; ++k) expected += chars[k];
          expected.append(width - start - std::min(length - first, room), ' ');
          ASSERT_EQ(shown, expected) << context;
          std::string promptShown;
          for (std::size_t k = 0; k < start; ++k) promptShown += row.cells[k];
          ASSERT_EQ(promptShown, prompt.substr(0, start)) << context;
        }
      }
    }
  }
}

}  // namespace
