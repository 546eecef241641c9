// Decimal text of numbers and the layout of a text in a field. Pure; the
// output channel writes what these compute.
#pragma once

#include <cstddef>
#include <cstdint>

namespace IO {

// Room for any 32-bit number: "-2147483648" and a NUL.
inline constexpr std::size_t kNumberText = 12;

// Shortest decimal digits of x ("0" for zero) into buf; returns the length.
std::size_t CardToStr(uint32_t x, char (&buf)[kNumberText]);
// As CardToStr, with "-" before the magnitude of a negative x.
std::size_t IntToStr(int32_t x, char (&buf)[kNumberText]);

// How a text of `length` characters stands in a field of width w: `lead`
// fill characters before it (PrefixChar), the first `shown` characters of
// the text, `trail` fill characters after it (SuffixChar). A positive w fills
// on the left, a negative one on the right; a text as wide as the field or
// wider is written in full, or cut to the field with `chopOff`.
struct FieldLayout {
  uint32_t lead;
  std::size_t shown;
  uint32_t trail;
};
FieldLayout LayOutField(std::size_t length, int32_t w, bool chopOff);

}  // namespace IO
