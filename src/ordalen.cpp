#include "src/ordalen.h"

#include "platform/checked.h"

using rts::Add;
using rts::AddCard;
using rts::Div;
using rts::Mul;
using rts::Sub;
using rts::SubCard;

bool IsLeapYear(int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

void Ordalen(int32_t days, int32_t& year, uint32_t& month, uint32_t& day) {
  // Whole 400-year cycles; the only step that can fail.
  const int32_t y400 = Div(days, 146097);  // [-14700, 14699]
  days = Sub(days, Mul(y400, 146097));     // [0, 146096]

  // The first century of a cycle has 36525 days, the others 36524.
  int32_t y100 = Div(Sub(days, 1), 36524);  // [-1, 3]
  int32_t y4;                           // [0, 24]
  int32_t y1;                           // [0, 3]
  if (y100 > 0) {
    // A century whose first year is common.
    days = Sub(days, Add(Mul(y100, 36524), 1));  // [0, 36523]
    y4 = Div(Add(days, 1), 1461);                // [0, 24]
    if (y4 != 0) {
      days = Sub(days, Sub(Mul(y4, 1461), 1));  // [0, 1460], block starts leap
      y1 = Div(Sub(days, 1), 365);              // [-1, 3]
      if (y1 > 0) {
        days = Sub(days, Add(Mul(y1, 365), 1));  // [0, 364]
      } else {
        y1 = 0;  // the block's leap first year, days [0, 365]
      }
    } else {
      // The century's first four years are all common.
      y1 = Div(days, 365);            // [0, 3]
      days = Sub(days, Mul(y1, 365));  // [0, 364]
    }
  } else {
    // The cycle's first century: 25 blocks that all begin with a leap year.
    y4 = Div(days, 1461);            // [0, 24]
    days = Sub(days, Mul(y4, 1461));  // [0, 1460]
    y1 = Div(Sub(days, 1), 365);      // [-1, 3]
    if (y1 > 0) {
      days = Sub(days, Add(Mul(y1, 365), 1));  // [0, 364]
    } else {
      y1 = 0;  // [0, 365]
    }
    y100 = 0;
  }

  year = Add(Add(Add(Mul(y400, 400), Mul(y100, 100)), Mul(y4, 4)), y1);
  const bool l = IsLeapYear(year);
  const uint32_t dayOfYear = rts::ToCard(days);  // [0, 365]

  // The first month whose end lies beyond the day; from February on a leap
  // year's month ends move one day later. The ends rise, so that month is one
  // more than the number of months that end on or before the day: counted
  // without a branch, since the day is as good as random.
  const uint32_t leap = l ? 1 : 0;
  uint32_t ended = dayOfYear >= MonthStart[1] ? 1 : 0;  // January
  for (uint32_t i = 2; i <= 11; ++i) ended += dayOfYear >= MonthStart[i] + leap ? 1 : 0;
  month = ended + 1;  // [1, 12]: no month ends after day 365 of a leap year
  const uint32_t start =
      AddCard(rts::At(MonthStart, SubCard(month, 1)), (month > 2 && l) ? 1 : 0);
  day = AddCard(SubCard(dayOfYear, start), 1);  // [1, 31]
}
