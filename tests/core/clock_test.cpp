// The terminal clock through the simulator, and the date-time texts of
// stored transactions that read it.
#include <gtest/gtest.h>

#include <string>

#include "reset.h"
#include "sim.h"
#include "core/clock.h"

namespace {

class Clock : public ::testing::Test {
protected:
    void SetUp() override { testsupport::resetAll(); }
};

TEST_F(Clock, ReadsTheClockRecordOrder)
{
    sim::setVirtualTime(2024, 3, 20, 10, 15, 2);
    int dt[DATE_TIME_FIELDS] = {};
    ASSERT_EQ(getDateTime(dt), 0);
    EXPECT_EQ(dt[DT_YEAR], 24);
    EXPECT_EQ(dt[DT_MONTH], 3);
    EXPECT_EQ(dt[DT_DAY], 20);
    EXPECT_EQ(dt[DT_HOUR], 10);
    EXPECT_EQ(dt[DT_MINUTE], 15);
    EXPECT_EQ(dt[DT_SECOND], 2);
    EXPECT_EQ(dt[DT_WEEKDAY], 3); // Wednesday
}

TEST_F(Clock, SetFromTheSwitchText)
{
    ASSERT_EQ(setSystemDateTimeS("20240320101502"), 0);
    int dt[DATE_TIME_FIELDS] = {};
    ASSERT_EQ(getDateTime(dt), 0);
    EXPECT_EQ(dt[DT_YEAR], 24);
    EXPECT_EQ(dt[DT_MONTH], 3);
    EXPECT_EQ(dt[DT_DAY], 20);
    EXPECT_EQ(dt[DT_HOUR], 10);
    EXPECT_EQ(dt[DT_MINUTE], 15);
    EXPECT_EQ(dt[DT_SECOND], 2);
    EXPECT_EQ(sim::virtualNowMs() / 1000, UnixTime(2, 15, 10, 20, 3, 2024));
}

TEST_F(Clock, MalformedDatesLeaveTheClockAlone)
{
    sim::setVirtualTime(2025, 1, 2, 3, 4, 5);
    const long long before = sim::virtualNowMs();
    EXPECT_EQ(setSystemDateTimeS("2024032010150"), -1); // 13 characters
    EXPECT_EQ(setSystemDateTimeS("2024032010150x"), -1);
    EXPECT_EQ(setSystemDateTimeS("20241320101502"), -1); // month 13
    EXPECT_EQ(setSystemDateTimeS("20230229101502"), -1); // no 29 February in 2023
    EXPECT_EQ(setSystemDateTimeS("20240320246002"), -1); // hour 24
    EXPECT_EQ(setSystemDateTimeS(nullptr), -1);
    EXPECT_EQ(setSystemDateTime(24, 2, 30, 0, 0, 0), -1);
    EXPECT_EQ(sim::virtualNowMs(), before);

    EXPECT_EQ(setSystemDateTime(24, 2, 29, 23, 59, 59), 0);
    int dt[DATE_TIME_FIELDS] = {};
    getDateTime(dt);
    EXPECT_EQ(dt[DT_DAY], 29);
}

std::string text(void (*fn)(const char *, const char *, char *), const char *date, const char *time)
{
    char out[TRANSACTION_DATE_TIME_SIZE];
    fn(date, time, out);
    return out;
}

TEST_F(Clock, TransactionTextsTakeTheYearFromTheClock)
{
    sim::setVirtualTime(2024, 6, 1, 12, 0, 0);
    EXPECT_EQ(text(TransactionDateTime, "0320", "101502"), "1403/01/01-10:15:02");
    EXPECT_EQ(text(TransactionDateTimeS, "0320", "101502"), "1403/01/01 10:15");
    EXPECT_EQ(text(TransactionDateS, "0320", "101502"), "1403/01/01");
    EXPECT_EQ(text(TransactionTimeP, "0320", "101502"), "10:15:02");
    // A record from December shown in the next year takes that year.
    EXPECT_EQ(text(TransactionDateS, "1231", "000000"), "1403/10/11");

    sim::setVirtualTime(2025, 1, 10, 8, 0, 0);
    EXPECT_EQ(text(TransactionDateS, "1231", "000000"), "1404/10/10");
}

TEST_F(Clock, DamagedRecordFieldsStayInBounds)
{
    sim::setVirtualTime(2023, 6, 1, 12, 0, 0);
    EXPECT_EQ(text(TransactionDateS, "0229", "000000"), "0000/00/00"); // no 29 February in 2023
    EXPECT_EQ(text(TransactionDateS, "13", "000000"), "0000/00/00");
    EXPECT_EQ(text(TransactionDateTime, "xx01", "12"), "0000/00/00-12:00:00");
    EXPECT_EQ(text(TransactionTimeP, nullptr, nullptr), "00:00:00");
    // The same day in a leap year converts, and a failed conversion is not reused for it.
    sim::setVirtualTime(2024, 6, 1, 12, 0, 0);
    EXPECT_EQ(text(TransactionDateS, "0229", "000000"), "1402/12/10");
    sim::setVirtualTime(2023, 6, 1, 12, 0, 0);
    EXPECT_EQ(text(TransactionDateS, "0229", "000000"), "0000/00/00");
    EXPECT_EQ(text(TransactionDateS, "0228", "000000"), "1401/12/09");

    char small[6];
    EXPECT_EQ(TransactionDateTime("0320", "101502", small, sizeof small), -1);
    EXPECT_STREQ(small, "");
}

} // namespace
