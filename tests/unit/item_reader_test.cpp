#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/item_reader.h"

namespace {

using namespace std::string_literals;

// An item as the reader hands it over.
struct Got {
  std::string head;
  std::size_t headLength;
  int32_t value;
  bool ok;
  bool operator==(const Got&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Got& g) {
  return os << "{\"" << g.head << "\" (" << g.headLength << "), " << g.value
            << (g.ok ? " ok" : " not ok") << "}";
}

Got Take(const IO::Item& item) {
  return {std::string(item.head, item.headLength), item.headLength, item.number.value,
          item.number.ok};
}

// Feeds the blocks in order, as the input arrives, and collects the items.
std::vector<Got> ReadItems(const std::vector<std::string_view>& blocks) {
  IO::ItemReader reader(IO::kDefaultSeparators);
  std::vector<Got> items;
  for (std::string_view block : blocks) {
    std::size_t pos = 0;
    while (pos < block.size()) {
      bool complete = true;
      const std::size_t used = reader.Feed(block.data() + pos, block.size() - pos, complete);
      pos += used;
      if (complete) {
        items.push_back(Take(reader.item()));
      } else if (pos != block.size()) {
        ADD_FAILURE() << "Feed stopped inside a block without an item";
        return items;
      }
    }
  }
  if (reader.Finish()) items.push_back(Take(reader.item()));
  return items;
}

std::vector<Got> ReadItems(std::string_view input) {
  return ReadItems(std::vector<std::string_view>{input});
}

Got Short(const std::string& text, int32_t value, bool ok) {
  return {text, text.size(), value, ok};
}

TEST(ItemReader, SplitsAtTheSeparatorsOnly) {
  const struct {
    std::string input;
    std::vector<Got> items;
  } cases[] = {
      {"", {}},
      {"\n", {}},
      {"\r\n\r\n\n", {}},
      {" \t\r\n\x1a  \n", {}},
      {"5", {Short("5", 5, true)}},
      {"5\r\n", {Short("5", 5, true)}},
      {"\n\n  -7\n", {Short("-7", -7, true)}},
      {"1 2\t3\r4\n5\x1a" "6",
       {Short("1", 1, true), Short("2", 2, true), Short("3", 3, true), Short("4", 4, true),
        Short("5", 5, true), Short("6", 6, true)}},
      {"+8   12abc\t\t0012\r\n",
       {Short("+8", 8, true), Short("12abc", 12, false), Short("0012", 12, true)}},
      // Other control characters belong to the item.
      {"a\0b c"s, {Short("a\0b"s, 0, false), Short("c", 0, false)}},
      {"1\0"s, {Short("1\0"s, 1, false)}},
      {"\v7\f 8", {Short("\v7\f", 0, false), Short("8", 8, true)}},
      {"\x1b[A 9", {Short("\x1b[A", 0, false), Short("9", 9, true)}},
      {"1,000 1.5", {Short("1,000", 1, false), Short("1.5", 1, false)}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadItems(c.input), c.items) << "input \"" << c.input << '"';
  }
}

TEST(ItemReader, KeepsTheFirst41CharactersOfALongItem) {
  const std::string forty(40, '1');
  const std::string fortyOne(41, '2');
  const std::string long1000 = std::string(999, '0') + "7";
  const std::string hugeBad = std::string(5000, 'x');
  EXPECT_EQ(ReadItems(forty + " " + fortyOne + "\n" + long1000 + " " + hugeBad),
            (std::vector<Got>{
                {forty, 40, IO::StrToInt(forty).value, false},
                {fortyOne, 41, IO::StrToInt(fortyOne).value, false},
                {std::string(41, '0'), 41, 7, true},
                {std::string(41, 'x'), 41, 0, false},
            }));
}

TEST(ItemReader, FeedStopsRightAfterTheItemItCompletes) {
  IO::ItemReader reader(IO::kDefaultSeparators);
  const std::string_view input = "  12 34";
  bool complete = false;
  EXPECT_EQ(reader.Feed(input.data(), input.size(), complete), 4u);
  EXPECT_TRUE(complete);
  EXPECT_EQ(Take(reader.item()), Short("12", 12, true));
  // The rest: "34" is under way until a separator or the end comes.
  EXPECT_EQ(reader.Feed(input.data() + 4, 3, complete), 3u);
  EXPECT_FALSE(complete);
  EXPECT_EQ(reader.Feed("\n", 1, complete), 0u);
  EXPECT_TRUE(complete);
  EXPECT_EQ(Take(reader.item()), Short("34", 34, true));
  EXPECT_EQ(reader.Feed("\n", 1, complete), 1u);
  EXPECT_FALSE(complete);
  EXPECT_FALSE(reader.Finish());
}

TEST(ItemReader, FinishCompletesAnItemCutByTheEndOnce) {
  IO::ItemReader reader(IO::kDefaultSeparators);
  bool complete = true;
  EXPECT_EQ(reader.Feed("-36", 3, complete), 3u);
  EXPECT_FALSE(complete);
  EXPECT_TRUE(reader.Finish());
  EXPECT_EQ(Take(reader.item()), Short("-36", -36, true));
  EXPECT_FALSE(reader.Finish());

  IO::ItemReader empty(IO::kDefaultSeparators);
  EXPECT_FALSE(empty.Finish());
}

// Input that covers each kind of boundary a block can fall on.
const std::string kMixed =
    "739000 -1\t\t+5\r\n\r\n0012 abc \x1a" + std::string(45, '9') + " 12abc\n" +
    std::string(50, '0') + "3\n--5 \0x "s + std::string(41, 'q') + "\n  \n2147483648";

TEST(ItemReader, ItemsDoNotDependOnWhereTheBlocksEnd) {
  const std::vector<Got> whole = ReadItems(kMixed);
  ASSERT_EQ(whole.size(), 12u);
  const std::string_view all = kMixed;

  for (std::size_t cut = 0; cut <= all.size(); ++cut) {
    EXPECT_EQ(ReadItems({all.substr(0, cut), all.substr(cut)}), whole) << "cut at " << cut;
  }
  for (std::size_t first = 0; first <= all.size(); first += 3) {
    for (std::size_t second = first; second <= all.size(); ++second) {
      EXPECT_EQ(ReadItems({all.substr(0, first), all.substr(first, second - first),
                           all.substr(second)}),
                whole)
          << "cuts at " << first << " and " << second;
    }
  }
  std::vector<std::string_view> bytes;
  for (std::size_t i = 0; i < all.size(); ++i) bytes.push_back(all.substr(i, 1));
  EXPECT_EQ(ReadItems(bytes), whole) << "byte by byte";
}

TEST(ItemReader, AnItemOfManyBlocksKeepsItsValue) {
  // A megabyte of zeros and then the digits, in blocks of 4 KiB.
  const std::string item = std::string(1 << 20, '0') + "2147483647";
  const std::string input = "1 " + item + " 2";
  std::vector<std::string_view> blocks;
  for (std::size_t pos = 0; pos < input.size(); pos += 4096) {
    blocks.push_back(std::string_view(input).substr(pos, 4096));
  }
  EXPECT_EQ(ReadItems(blocks), (std::vector<Got>{Short("1", 1, true),
                                                 {std::string(41, '0'), 41, INT32_MAX, true},
                                                 Short("2", 2, true)}));
}

}  // namespace
