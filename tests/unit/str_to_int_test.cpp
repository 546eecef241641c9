#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/str_to_int.h"

namespace {

struct Case {
  std::string item;
  int32_t value;
  bool ok;
};

void ExpectConverts(const Case& c) {
  const IO::IntResult r = IO::StrToInt(c.item);
  EXPECT_EQ(r.value, c.value) << '"' << c.item << '"';
  EXPECT_EQ(r.ok, c.ok) << '"' << c.item << '"';
}

TEST(StrToInt, AcceptsASignAndDigitsUpToTheSignedRange) {
  const Case cases[] = {
      {"0", 0, true},
      {"5", 5, true},
      {"+5", 5, true},
      {"-5", -5, true},
      {"-0", 0, true},
      {"+0", 0, true},
      {"0012", 12, true},
      {"-0012", -12, true},
      {"739000", 739000, true},
      {"2147483647", INT32_MAX, true},
      {"+2147483647", INT32_MAX, true},
      {"-2147483647", -INT32_MAX, true},
      {"-2147479803", -2147479803, true},
      {"-2147479804", -2147479804, true},  // the dialogue's range is narrower
  };
  for (const Case& c : cases) ExpectConverts(c);
}

TEST(StrToInt, KeepsTheValueBuiltSoFarWhenItStops) {
  const Case cases[] = {
      {"", 0, false},
      {"-", 0, false},
      {"+", 0, false},
      {"abc", 0, false},
      {"--5", 0, false},
      {"+-5", 0, false},
      {"-+5", 0, false},
      {"5-", 5, false},
      {"12abc", 12, false},
      {"1.5", 1, false},
      {"1e5", 1, false},
      {"1,000", 1, false},
      {"-12x", -12, false},
      {" 5", 0, false},
      {std::string("1\0" "2", 3), 1, false},
      {"\xff" "5", 0, false},
      {"5\x80", 5, false},
  };
  for (const Case& c : cases) ExpectConverts(c);
}

TEST(StrToInt, WrapsMagnitudesPastTheSignedRangeModulo2To32) {
  const Case cases[] = {
      {"2147483648", INT32_MIN, false},
      {"-2147483648", INT32_MIN, false},
      {"-2147483649", INT32_MAX, false},
      {"3000000000", -1294967296, false},
      {"4294967295", -1, false},
      {"-4294967295", 1, false},
      // A digit that would pass 4294967295 stops the conversion.
      {"4294967296", 429496729, false},
      {"42949672950", -1, false},
      {"99999999999", 999999999, false},
      {"-4294967296", -429496729, false},
  };
  for (const Case& c : cases) ExpectConverts(c);
}

TEST(StrToInt, LeadingZerosOfAnyLengthNeverOverflow) {
  const std::string zeros(100000, '0');
  ExpectConverts({zeros + "12", 12, true});
  ExpectConverts({"-" + zeros + "2147483647", -INT32_MAX, true});
  ExpectConverts({"+" + zeros, 0, true});
  ExpectConverts({zeros + "2147483648", INT32_MIN, false});
}

}  // namespace
