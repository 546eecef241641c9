#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/item_reader.h"
#include "src/dialogue.h"

namespace {

using namespace std::string_literals;

// The item as the reader makes it from `text`, which holds no separator.
IO::Item ReadItem(const std::string& text) {
  IO::ItemReader reader(IO::kDefaultSeparators);
  bool complete = false;
  EXPECT_EQ(reader.Feed(text.data(), text.size(), complete), text.size());
  EXPECT_TRUE(reader.Finish());
  return reader.item();
}

TEST(ShowItem, ShowsFortyPrintableCharactersAndMarksTheRest) {
  const std::string forty = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  const struct {
    std::string item;
    std::string shown;
  } cases[] = {
      {"abc", "abc"},
      {"-", "-"},
      {"!\"#~", "!\"#~"},
      {forty, forty},
      {forty + "E", forty + "..."},
      {forty + "EF", forty + "..."},
      {std::string(100000, '7'), std::string(40, '7') + "..."},
      // Bytes outside 32..126 become "?", one for each byte.
      {"1\0"s "2", "1?2"},
      {"\x01\x1f\x7f\x80\xff", "?????"},
      {"\xc3\xa9t\xc3\xa9", "??t??"},
      {"\x1b[A", "?[A"},
      {std::string(39, 'a') + "\x7f", std::string(39, 'a') + "?"},
      {std::string(39, 'a') + "\xff" "b", std::string(39, 'a') + "?..."},
      {std::string(40, 'a') + "\xff", std::string(40, 'a') + "..."},
  };
  for (const auto& c : cases) {
    char shown[kShownItem];
    std::memset(shown, '#', sizeof shown);
    const std::size_t n = ShowItem(ReadItem(c.item), shown);
    EXPECT_EQ(std::string(shown), c.shown) << "item of " << c.item.size() << " bytes";
    EXPECT_EQ(n, c.shown.size());
  }
}

}  // namespace
