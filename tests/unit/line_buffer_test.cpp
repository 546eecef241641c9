#include "platform/line_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using IO::LineBuffer;

// Runs an editing script: capitals are commands (L left, R right, H home,
// E end, B backspace, D delete), anything else is typed, a UTF-8 character
// as one. Returns the line with "|" where the cursor stands.
std::string Edit(std::string_view script) {
  LineBuffer b;
  for (std::size_t i = 0; i < script.size();) {
    const char c = script[i];
    switch (c) {
      case 'L': b.Left(); ++i; continue;
      case 'R': b.Right(); ++i; continue;
      case 'H': b.Home(); ++i; continue;
      case 'E': b.End(); ++i; continue;
      case 'B': b.Backspace(); ++i; continue;
      case 'D': b.Delete(); ++i; continue;
      default: break;
    }
    std::size_t n = 1;
    while (i + n < script.size() && (static_cast<unsigned char>(script[i + n]) & 0xC0) == 0x80) ++n;
    EXPECT_TRUE(b.Put(script.data() + i, n));
    i += n;
  }
  const std::string_view text = b.Text();
  std::string shown(text.substr(0, b.Cursor()));
  shown.push_back('|');
  shown.append(text.substr(b.Cursor()));
  return shown;
}

struct Case {
  const char* script;
  const char* line;
};

const Case kCases[] = {
    {"", "|"},
    {"739000", "739000|"},
    {"7390xB00", "739000|"},
    {"12345HLB", "|12345"},                   // nothing before the start
    {"12345ED", "12345|"},                    // nothing under the end
    {"12345H9", "9|2345"},                    // overtype, not insert
    {"12345H99999", "99999|"},
    {"12345H999999", "999999|"},              // past the end it extends
    {"12345LLLx", "12x|45"},
    {"12345LLD", "123|5"},
    {"12345LLB", "12|45"},
    {"12345HRRRR", "1234|5"},
    {"12345RRR", "12345|"},                   // right stops at the end
    {"12345HLLL", "|12345"},                  // left stops at the start
    {"12345HDDDDDD", "|"},
    {"12345BBBBBB", "|"},
    // Multi-byte characters: one step, one deletion, replaced whole.
    {"a\xc3\xa9" "b", "a\xc3\xa9" "b|"},
    {"a\xc3\xa9" "bL", "a\xc3\xa9|b"},
    {"a\xc3\xa9" "bLL", "a|\xc3\xa9" "b"},
    {"a\xc3\xa9" "bLB", "a|b"},
    {"a\xc3\xa9" "bLLD", "a|b"},
    {"a\xc3\xa9" "bLLx", "ax|b"},                // a 2-byte character overtyped by 1
    {"abcHR\xe2\x82\xac", "a\xe2\x82\xac|c"},   // a 1-byte character by 3
    {"\xe2\x82\xac\xc3\xa9HR\xce\xb1", "\xe2\x82\xac\xce\xb1|"},
    {"\xc3\xa9\xc3\xa9HRR", "\xc3\xa9\xc3\xa9|"},
};

TEST(LineBuffer, Editing) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Edit(c.script), c.line) << "script " << c.script;
  }
}

TEST(LineBuffer, ColumnsCountCharacters) {
  LineBuffer b;
  for (const char* ch : {"a", "\xc3\xa9", "\xe2\x82\xac", "b"}) b.Put(ch, std::string_view(ch).size());
  EXPECT_EQ(b.LengthColumns(), 4u);
  EXPECT_EQ(b.Text().size(), 7u);
  b.Left();
  b.Left();
  EXPECT_EQ(b.CursorColumn(), 2u);
  EXPECT_EQ(b.Cursor(), 3u);
}

// 255 bytes is the limit: a character that would pass it is refused and the
// line stays as it was; one that replaces a character of its own size fits.
TEST(LineBuffer, FullLine) {
  LineBuffer b;
  for (std::size_t i = 0; i < LineBuffer::kMaxLine; ++i) ASSERT_TRUE(b.Put("7", 1)) << i;
  const std::string full(b.Text());
  EXPECT_FALSE(b.Put("8", 1));
  EXPECT_EQ(b.Text(), full);
  EXPECT_EQ(b.Cursor(), LineBuffer::kMaxLine);

  b.Home();
  EXPECT_TRUE(b.Put("1", 1));                // overtype in a full line
  EXPECT_FALSE(b.Put("\xc3\xa9", 2));        // would grow it by one byte
  EXPECT_EQ(b.Text().substr(0, 2), "17");
  EXPECT_EQ(b.Text().size(), LineBuffer::kMaxLine);
  EXPECT_EQ(b.Cursor(), 1u);

  EXPECT_TRUE(b.Backspace());                // one byte free
  EXPECT_TRUE(b.Put("\xc3\xa9", 2));         // replaces a "7": 254 - 1 + 2
  EXPECT_EQ(b.Text().size(), LineBuffer::kMaxLine);
  b.End();
  EXPECT_FALSE(b.Put("x", 1));
}

TEST(LineBuffer, MultiByteAtTheLimit) {
  LineBuffer b;
  for (std::size_t i = 0; i < LineBuffer::kMaxLine - 2; ++i) ASSERT_TRUE(b.Put("7", 1));
  EXPECT_FALSE(b.Put("\xe2\x82\xac", 3));  // 3 bytes, 2 free
  EXPECT_TRUE(b.Put("\xc3\xa9", 2));
  EXPECT_EQ(b.Text().size(), LineBuffer::kMaxLine);
  EXPECT_EQ(b.LengthColumns(), LineBuffer::kMaxLine - 1);
}

}  // namespace
