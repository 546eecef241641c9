#include <gtest/gtest.h>

#include "platform/failure.h"
#include "src/ordalen.h"

namespace {

struct DateCase {
  int32_t days;
  int32_t year;
  uint32_t month;
  uint32_t day;
};

TEST(Ordalen, ConvertsTheCalendarsTurningPoints) {
  const DateCase cases[] = {
      {0, 0, 1, 1},          {-1, -1, 12, 31},          {59, 0, 2, 29},
      {60, 0, 3, 1},         {365, 0, 12, 31},          {366, 1, 1, 1},
      {1460, 3, 12, 31},     {1461, 4, 1, 1},           {36524, 99, 12, 31},
      {36525, 100, 1, 1},    {36583, 100, 2, 28},       {36584, 100, 3, 1},
      {37984, 103, 12, 31},  {37985, 104, 1, 1},        {38044, 104, 2, 29},
      {38350, 104, 12, 31},  {38351, 105, 1, 1},        {73048, 199, 12, 31},
      {73049, 200, 1, 1},    {146096, 399, 12, 31},     {146097, 400, 1, 1},
      {-307, -1, 2, 28},     {-306, -1, 3, 1},          {-365, -1, 1, 1},
      {-366, -2, 12, 31},    {-1461, -4, 1, 1},         {-1402, -4, 2, 29},
      {-36525, -101, 12, 31}, {-36524, -100, 1, 1},     {-146097, -400, 1, 1},
      {-146096, -400, 1, 2}, {694019, 1900, 2, 28},     {694020, 1900, 3, 1},
      {730544, 2000, 2, 29}, {719528, 1970, 1, 1},      {739653, 2025, 2, 6},
      {3652424, 9999, 12, 31}, {2147479802, 5879599, 12, 31},
      {2147479803, 5879600, 1, 1}, {2147483647, 5879610, 7, 11},
      {-2147479802, -5879600, 1, 2}, {-2147479803, -5879600, 1, 1},
  };
  for (const DateCase& c : cases) {
    int32_t year = 99;
    uint32_t month = 99;
    uint32_t day = 99;
    Ordalen(c.days, year, month, day);
    EXPECT_EQ(year, c.year) << "days " << c.days;
    EXPECT_EQ(month, c.month) << "days " << c.days;
    EXPECT_EQ(day, c.day) << "days " << c.days;
  }
}

TEST(Ordalen, CountsBelowTheRangeOverflowBeforeAnyOutput) {
  for (int32_t days : {INT32_MIN, INT32_MIN + 1, -2147479804}) {
    int32_t year = 77;
    uint32_t month = 77;
    uint32_t day = 77;
    try {
      Ordalen(days, year, month, day);
      ADD_FAILURE() << "no failure for " << days;
    } catch (const rts::Failure& f) {
      EXPECT_EQ(f.number, 5);
      EXPECT_STREQ(f.text, "whole overflow");
    }
    EXPECT_EQ(year, 77);
    EXPECT_EQ(month, 77u);
    EXPECT_EQ(day, 77u);
  }
}

TEST(IsLeapYear, FollowsTheGregorianRuleForEverySign) {
  for (int32_t y : {0, 4, 400, 2000, -4, -400, 5879600}) EXPECT_TRUE(IsLeapYear(y)) << y;
  for (int32_t y : {1, 100, 1900, -1, -100, 2100, INT32_MAX, INT32_MIN + 1}) EXPECT_FALSE(IsLeapYear(y)) << y;
}

}  // namespace
