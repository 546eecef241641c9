// Whole-number conversion of an input item, base 10. Fed one character at a
// time, so an item of any length converts in constant memory.
//
// Rules: an optional leading "+" or "-"; digits are taken while the value
// stays within 0..4294967295; any other character, or a digit that would
// pass that bound, stops the conversion and the value built so far stands.
// `ok` holds when every character was taken, at least one digit followed the
// sign and the magnitude is at most 2147483647. A leading "-" negates the
// value modulo 2^32; the 32-bit result is read as signed.
#pragma once

#include <cstdint>
#include <string_view>

namespace IO {

struct IntResult {
  int32_t value;
  bool ok;
};

class IntScanner {
 public:
  void Put(char c) {
    if (state_ == kStart) {
      state_ = kSigned;
      if (c == '-') {
        negative_ = true;
        return;
      }
      if (c == '+') return;
    }
    if (state_ == kStopped) return;
    const auto g = static_cast<uint32_t>(static_cast<unsigned char>(c) - '0');
    if (g > 9 || value_ > (UINT32_MAX - g) / 10) {
      state_ = kStopped;
      return;
    }
    value_ = value_ * 10 + g;
    state_ = kDigits;
  }

  IntResult Result() const {
    const bool ok = state_ == kDigits && value_ <= INT32_MAX;
    const uint32_t v = negative_ ? 0u - value_ : value_;
    return {static_cast<int32_t>(v), ok};
  }

 private:
  // kSigned: the sign (if any) is behind us and no digit yet.
  enum State : uint8_t { kStart, kSigned, kDigits, kStopped };
  uint32_t value_ = 0;
  State state_ = kStart;
  bool negative_ = false;
};

IntResult StrToInt(std::string_view item);

}  // namespace IO
