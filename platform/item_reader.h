// Splits input into items: maximal runs of characters outside the separator
// set. Pure and incremental: input arrives in blocks of any size, an item may
// span blocks, and memory stays constant however long a line or an item is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "platform/str_to_int.h"

namespace IO {

class SeparatorSet {
 public:
  constexpr SeparatorSet(std::initializer_list<unsigned char> chars) {
    for (unsigned char c : chars) bits_[c >> 5] |= 1u << (c & 31);
  }
  constexpr bool Has(char c) const {
    const auto u = static_cast<unsigned char>(c);
    return (bits_[u >> 5] >> (u & 31)) & 1u;
  }

 private:
  uint32_t bits_[8] = {};
};

// TAB, LF, CR, SUB and blank.
inline constexpr SeparatorSet kDefaultSeparators{9, 10, 13, 26, 32};

// What is kept of an item: its value, and its first characters for messages.
struct Item {
  static constexpr std::size_t kHead = 41;  // one more than is ever shown
  IntResult number;
  char head[kHead];
  std::size_t headLength;  // [1, kHead]; kHead means "longer than kHead - 1"
};

class ItemReader {
 public:
  explicit ItemReader(const SeparatorSet& separators) : separators_(separators) {}

  // Consumes input from data[0, n). Stops right after an item that ends
  // within it (its separator not consumed) and sets `complete`. Returns the
  // number of bytes consumed.
  std::size_t Feed(const char* data, std::size_t n, bool& complete);

  // The input has ended: completes an item that the end cut short. False
  // when no item was under way.
  bool Finish();

  // The last completed item.
  Item item() const;

 private:
  const SeparatorSet& separators_;
  IntScanner scanner_;
  char head_[Item::kHead];
  std::size_t headLength_ = 0;
  bool inItem_ = false;
};

}  // namespace IO
