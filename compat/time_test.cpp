// gmtime_s and localtime_s: the caller's struct, a status, and nothing half filled.
#include "compat/time.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

namespace {

// A struct tm whose every byte is set, to see what a call leaves behind.
std::tm filled() {
  std::tm value;
  std::memset(&value, 0x5a, sizeof value);
  return value;
}

bool all_zero(const std::tm& value) {
  return value.tm_sec == 0 && value.tm_min == 0 && value.tm_hour == 0 && value.tm_mday == 0 &&
         value.tm_mon == 0 && value.tm_year == 0 && value.tm_wday == 0 && value.tm_yday == 0 &&
         value.tm_isdst == 0;
}

TEST(GmtimeS, ConvertsIntoTheCallersStruct) {
  struct Case {
    compat::time64_t time;
    int year, month, day, hour, minute, second, weekday, yearday;
  };
  const Case cases[] = {
      {0, 70, 0, 1, 0, 0, 0, 4, 0},                       // 1970-01-01 Thursday
      {951782400, 100, 1, 29, 0, 0, 0, 2, 59},            // 2000-02-29, a leap day
      {2147483647, 138, 0, 19, 3, 14, 7, 2, 18},          // the last 32-bit second
      {2147483648, 138, 0, 19, 3, 14, 8, 2, 18},          // and the one after it
      {32503680000, 1100, 0, 1, 0, 0, 0, 3, 0},           // 3000-01-01
  };
  for (const Case& c : cases) {
    std::tm result = filled();
    ASSERT_EQ(compat::gmtime_s(&result, &c.time), 0) << c.time;
    EXPECT_EQ(result.tm_year, c.year) << c.time;
    EXPECT_EQ(result.tm_mon, c.month) << c.time;
    EXPECT_EQ(result.tm_mday, c.day) << c.time;
    EXPECT_EQ(result.tm_hour, c.hour) << c.time;
    EXPECT_EQ(result.tm_min, c.minute) << c.time;
    EXPECT_EQ(result.tm_sec, c.second) << c.time;
    EXPECT_EQ(result.tm_wday, c.weekday) << c.time;
    EXPECT_EQ(result.tm_yday, c.yearday) << c.time;
    EXPECT_EQ(result.tm_isdst, 0) << c.time;
  }
}

TEST(GmtimeS, ResultsDoNotShareStorage) {
  const compat::time64_t first_time = 0;
  const compat::time64_t second_time = 86400;
  std::tm first{};
  std::tm second{};
  ASSERT_EQ(compat::gmtime_s(&first, &first_time), 0);
  ASSERT_EQ(compat::gmtime_s(&second, &second_time), 0);
  EXPECT_EQ(first.tm_mday, 1);
  EXPECT_EQ(second.tm_mday, 2);
}

TEST(GmtimeS, ATimeTheHostCannotConvertGivesEinvalAndAllZero) {
  // No host's broken-down year (an int) reaches this far.
  const compat::time64_t too_far = INT64_MAX;
  std::tm result = filled();
  errno = 0;
  EXPECT_EQ(compat::gmtime_s(&result, &too_far), EINVAL);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_TRUE(all_zero(result));

  result = filled();
  EXPECT_EQ(compat::localtime_s(&result, &too_far), EINVAL);
  EXPECT_TRUE(all_zero(result));
}

TEST(GmtimeS, NullPointersGiveEinval) {
  const compat::time64_t time = 0;
  std::tm result = filled();
  EXPECT_EQ(compat::gmtime_s(&result, nullptr), EINVAL);
  EXPECT_TRUE(all_zero(result));
  EXPECT_EQ(compat::gmtime_s(nullptr, &time), EINVAL);
  EXPECT_EQ(compat::localtime_s(nullptr, &time), EINVAL);
}

TEST(LocaltimeS, AgreesWithTheHostsLocalTime) {
  const compat::time64_t time = 1700000000;
  std::tm result = filled();
  ASSERT_EQ(compat::localtime_s(&result, &time), 0);
  const std::time_t host_time = 1700000000;
  const std::tm* host_result = std::localtime(&host_time);
  ASSERT_NE(host_result, nullptr);
  const std::tm expected = *host_result;
  EXPECT_EQ(result.tm_year, expected.tm_year);
  EXPECT_EQ(result.tm_yday, expected.tm_yday);
  EXPECT_EQ(result.tm_hour, expected.tm_hour);
  EXPECT_EQ(result.tm_min, expected.tm_min);
  EXPECT_EQ(result.tm_isdst, expected.tm_isdst);
}

}  // namespace
