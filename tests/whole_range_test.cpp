// Every 32-bit day count: those from kMinDays up convert to a real date that
// a days-from-date count of our own maps back to the same count; those below
// fail with a whole overflow. Runs in the release build only (label
// "whole-range").
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/failure.h"
#include "src/ordalen.h"

namespace {

bool Leap(int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int64_t MonthLength(int64_t y, int64_t m) {
  if (m == 2) return Leap(y) ? 29 : 28;
  return (m == 4 || m == 6 || m == 9 || m == 11) ? 30 : 31;
}

// Days from 0000-01-01 to y-m-d, in a year that starts on 1 March so that the
// leap day is the last day of its year: whole 400-year eras, then years of
// the era, then the months from March, whose lengths 31 30 31 30 31 repeat
// and are counted by (153 * month + 2) / 5.
int64_t DaysFromDate(int64_t y, int64_t m, int64_t d) {
  const int64_t marchYear = m <= 2 ? y - 1 : y;
  const int64_t era = (marchYear >= 0 ? marchYear : marchYear - 399) / 400;
  const int64_t yearOfEra = marchYear - era * 400;  // [0, 399]
  const int64_t monthFromMarch = (m + 9) % 12;      // March 0 .. February 11
  const int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + d - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  // Era 0 begins on 0000-03-01, 60 days after 0000-01-01 (year 0 is leap).
  return era * 146097 + dayOfEra + 60;
}

// DaysFromDate with the count of the month's first day kept between calls:
// consecutive counts mostly share their month, and DaysFromDate(y, m, d) is
// DaysFromDate(y, m, 1) + d - 1.
class DaysFromDateOfMonth {
 public:
  int64_t operator()(int64_t y, int64_t m, int64_t d) {
    if (y != year_ || m != month_) {
      year_ = y;
      month_ = m;
      first_ = DaysFromDate(y, m, 1);
    }
    return first_ + d - 1;
  }

 private:
  int64_t year_ = INT64_MIN;
  int64_t month_ = 0;
  int64_t first_ = 0;
};

TEST(DaysFromDate, CountsKnownDates) {
  // The test's own yardstick, against dates fixed by hand.
  EXPECT_EQ(DaysFromDate(0, 1, 1), 0);
  EXPECT_EQ(DaysFromDate(0, 2, 29), 59);
  EXPECT_EQ(DaysFromDate(0, 3, 1), 60);
  EXPECT_EQ(DaysFromDate(-1, 12, 31), -1);
  EXPECT_EQ(DaysFromDate(-2, 12, 31), -366);
  EXPECT_EQ(DaysFromDate(1970, 1, 1), 719528);
  EXPECT_EQ(DaysFromDate(2023, 4, 25), 739000);
  EXPECT_EQ(DaysFromDate(9999, 12, 31), 3652424);
  EXPECT_EQ(DaysFromDate(10000, 1, 1), 3652425);
  EXPECT_EQ(DaysFromDate(5879610, 7, 11), 2147483647);
  EXPECT_EQ(DaysFromDate(-5879600, 1, 1), -2147479803);
}

struct Mismatch {
  int32_t days;
  int32_t year;
  uint32_t month;
  uint32_t day;
};

// Checks counts [first, last] and returns those that failed (the first few)
// and how many there were.
uint64_t CheckRange(int64_t first, int64_t last, std::vector<Mismatch>& seen) {
  uint64_t failures = 0;
  DaysFromDateOfMonth daysFromDate;
  for (int64_t n = first; n <= last; ++n) {
    const auto days = static_cast<int32_t>(n);
    int32_t y = 0;
    uint32_t m = 0;
    uint32_t d = 0;
    Ordalen(days, y, m, d);
    const bool good = m >= 1 && m <= 12 && d >= 1 && d <= MonthLength(y, m) &&
                      daysFromDate(y, m, d) == n;
    if (!good) {
      if (seen.size() < 10) seen.push_back({days, y, m, d});
      ++failures;
    }
  }
  return failures;
}

TEST(WholeRange, EveryCountFromTheFirstRoundTrips) {
  constexpr int64_t kFirst = kMinDays;
  constexpr int64_t kLast = INT32_MAX;
  constexpr int64_t kChunks = 256;
  constexpr int64_t kChunkSize = (kLast - kFirst + kChunks) / kChunks;

  const auto start = std::chrono::steady_clock::now();
  std::atomic<int64_t> nextChunk{0};
  std::atomic<uint64_t> failures{0};
  std::mutex seenMutex;
  std::vector<Mismatch> seen;
  auto work = [&] {
    std::vector<Mismatch> mine;
    for (int64_t c = nextChunk++; c < kChunks; c = nextChunk++) {
      const int64_t first = kFirst + c * kChunkSize;
      const int64_t last = std::min(first + kChunkSize - 1, kLast);
      failures += CheckRange(first, last, mine);
    }
    std::lock_guard<std::mutex> lock(seenMutex);
    seen.insert(seen.end(), mine.begin(), mine.end());
  };
  std::thread other(work);
  work();
  other.join();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

  std::ostringstream report;
  for (const Mismatch& s : seen) {
    report << "\n  " << s.days << " -> " << s.year << "/" << s.month << "/" << s.day;
  }
  EXPECT_EQ(failures.load(), 0u) << "counts that did not round-trip:" << report.str();
  std::cout << "checked " << (kLast - kFirst + 1) << " counts in " << took.count() << " s\n";
}

TEST(WholeRange, EveryCountBelowTheFirstOverflowsBeforeWritingADate) {
  int64_t overflows = 0;
  for (int64_t n = INT32_MIN; n < kMinDays; ++n) {
    int32_t y = 123;
    uint32_t m = 45;
    uint32_t d = 67;
    try {
      Ordalen(static_cast<int32_t>(n), y, m, d);
      ADD_FAILURE() << n << " converted to " << y << "/" << m << "/" << d;
    } catch (const rts::Failure& f) {
      if (f.number == rts::kWholeOverflow && std::string(f.text) == "whole overflow" &&
          y == 123 && m == 45u && d == 67u) {
        ++overflows;
      } else {
        ADD_FAILURE() << n << ": failure #" << f.number << " " << f.text << ", date " << y
                      << "/" << m << "/" << d;
      }
    }
  }
  EXPECT_EQ(overflows, 3845);
}

}  // namespace
