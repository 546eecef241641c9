#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/number_text.h"

namespace {

TEST(CardToStr, WritesTheShortestDigits) {
  const struct {
    uint32_t x;
    const char* text;
  } cases[] = {
      {0, "0"},          {7, "7"},           {10, "10"},
      {99, "99"},        {100, "100"},       {1000000000, "1000000000"},
      {2147483647, "2147483647"},            {2147483648u, "2147483648"},
      {4294967295u, "4294967295"},
  };
  for (const auto& c : cases) {
    char buf[IO::kNumberText];
    const std::size_t n = IO::CardToStr(c.x, buf);
    EXPECT_STREQ(buf, c.text) << c.x;
    EXPECT_EQ(n, std::string(c.text).size()) << c.x;
  }
}

TEST(IntToStr, PutsTheSignBeforeTheMagnitude) {
  const struct {
    int32_t x;
    const char* text;
  } cases[] = {
      {0, "0"},
      {5, "5"},
      {-1, "-1"},
      {-10, "-10"},
      {-5879600, "-5879600"},
      {INT32_MAX, "2147483647"},
      {INT32_MIN + 1, "-2147483647"},
      {INT32_MIN, "-2147483648"},  // fills the buffer to its last byte
  };
  for (const auto& c : cases) {
    char buf[IO::kNumberText];
    const std::size_t n = IO::IntToStr(c.x, buf);
    EXPECT_STREQ(buf, c.text) << c.x;
    EXPECT_EQ(n, std::string(c.text).size()) << c.x;
  }
}

TEST(LayOutField, FillsOnTheSideTheWidthsSignChooses) {
  const struct {
    std::size_t length;
    int32_t w;
    bool chopOff;
    uint32_t lead;
    std::size_t shown;
    uint32_t trail;
  } cases[] = {
      // Width 0: the text alone.
      {3, 0, false, 0, 3, 0},
      {3, 0, true, 0, 3, 0},
      {0, 0, false, 0, 0, 0},
      // Positive width: fill on the left.
      {1, 4, false, 3, 1, 0},
      {0, 4, false, 4, 0, 0},
      {4, 4, false, 0, 4, 0},
      {4, 4, true, 0, 4, 0},
      // Negative width: fill on the right.
      {1, -4, false, 0, 1, 3},
      {0, -2, false, 0, 0, 2},
      {4, -4, false, 0, 4, 0},
      // Wider than the field: in full, or cut to the field.
      {7, 4, false, 0, 7, 0},
      {7, 4, true, 0, 4, 0},
      {7, -4, false, 0, 7, 0},
      {7, -4, true, 0, 4, 0},
      {11, 1, true, 0, 1, 0},
      {11, -1, true, 0, 1, 0},
      // The extreme widths.
      {5, INT32_MAX, false, 2147483642u, 5, 0},
      {5, INT32_MIN, false, 0, 5, 2147483643u},
      {0, INT32_MIN, true, 0, 0, 2147483648u},
      {11, INT32_MIN, true, 0, 11, 2147483637u},
  };
  for (const auto& c : cases) {
    const IO::FieldLayout f = IO::LayOutField(c.length, c.w, c.chopOff);
    const std::string what = "length " + std::to_string(c.length) + " width " +
                             std::to_string(c.w) + (c.chopOff ? " chopped" : "");
    EXPECT_EQ(f.lead, c.lead) << what;
    EXPECT_EQ(f.shown, c.shown) << what;
    EXPECT_EQ(f.trail, c.trail) << what;
  }
}

}  // namespace
