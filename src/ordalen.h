// Calendar arithmetic: day counts since 0000-01-01 of the proleptic Gregorian
// calendar (year 0 exists and is leap) turned into year, month and day.
// No I/O, no state.
#pragma once

#include <cstdint>

// Days in the first k months of a common year, k = 0..12.
inline constexpr uint32_t MonthStart[13] = {0,   31,  59,  90,  120, 151, 181,
                                            212, 243, 273, 304, 334, 365};

// The smallest count that converts: the first day of year -5879600.
inline constexpr int32_t kMinDays = -14699 * 146097;  // -2147479803

// True when `year` is divisible by 4 and not by 100, or by 400. Any value.
bool IsLeapYear(int32_t year);

// Converts `days` into `year` [-5879600, 5879610], `month` [1, 12] and
// `day` [1, month length], written in that order. Counts below kMinDays raise
// the whole-overflow failure before any output is written.
void Ordalen(int32_t days, int32_t& year, uint32_t& month, uint32_t& day);
