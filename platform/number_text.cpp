#include "platform/number_text.h"

namespace IO {

std::size_t CardToStr(uint32_t x, char (&buf)[kNumberText]) {
  char digits[10];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + x % 10);
    x /= 10;
  } while (x != 0);
  for (std::size_t i = 0; i < n; ++i) buf[i] = digits[n - 1 - i];
  buf[n] = '\0';
  return n;
}

std::size_t IntToStr(int32_t x, char (&buf)[kNumberText]) {
  if (x >= 0) return CardToStr(static_cast<uint32_t>(x), buf);
  // The magnitude in unsigned arithmetic, so -2147483648 has one too.
  char digits[kNumberText];
  const std::size_t n = CardToStr(0u - static_cast<uint32_t>(x), digits);
  buf[0] = '-';
  for (std::size_t i = 0; i <= n; ++i) buf[i + 1] = digits[i];
  return n + 1;
}

FieldLayout LayOutField(std::size_t length, int32_t w, bool chopOff) {
  // |w| in 64 bits: -2147483648 has no 32-bit magnitude.
  const int64_t wide = w < 0 ? -static_cast<int64_t>(w) : w;
  const uint64_t width = static_cast<uint64_t>(wide);
  if (w == 0) return {0, length, 0};
  if (length >= width) return {0, chopOff ? static_cast<std::size_t>(width) : length, 0};
  const auto fill = static_cast<uint32_t>(width - length);
  return w > 0 ? FieldLayout{fill, length, 0} : FieldLayout{0, length, fill};
}

}  // namespace IO
