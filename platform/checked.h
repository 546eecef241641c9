// Checked whole-number arithmetic: every result outside its type's range, a
// negative value used as unsigned, a zero divisor and a table index outside
// its table raise a failure instead of wrapping or invoking undefined
// behaviour. Division is floored: the quotient is the greatest whole number
// not above the exact one, also for negative dividends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/failure.h"

namespace rts {

inline int32_t Add(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_add_overflow(a, b, &r)) RaiseWholeOverflow();
  return r;
}

inline int32_t Sub(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) RaiseWholeOverflow();
  return r;
}

inline int32_t Mul(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) RaiseWholeOverflow();
  return r;
}

// Floored quotient: the greatest whole number not above a / b.
inline int32_t Div(int32_t a, int32_t b) {
  if (b == 0 || (a == INT32_MIN && b == -1)) RaiseWholeOverflow();
  int32_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

inline uint32_t AddCard(uint32_t a, uint32_t b) {
  uint32_t r;
  if (__builtin_add_overflow(a, b, &r)) RaiseWholeOverflow();
  return r;
}

inline uint32_t SubCard(uint32_t a, uint32_t b) {
  uint32_t r;
  if (__builtin_sub_overflow(a, b, &r)) RaiseWholeOverflow();
  return r;
}

// A signed value used where an unsigned one is needed.
inline uint32_t ToCard(int32_t a) {
  if (a < 0) RaiseWholeOverflow();
  return static_cast<uint32_t>(a);
}

// Element `i` of a table of `n` entries.
template <typename T, std::size_t n>
inline const T& At(const T (&table)[n], uint32_t i) {
  if (i >= n) Raise(kIndexOutOfRange, "index out of range");
  return table[i];
}

}  // namespace rts
