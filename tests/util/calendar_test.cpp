// Gregorian to Solar Hijri conversion, leap rules, weekday and seconds since
// 1970, checked day by day over long spans as well as at known dates.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "util/DateTime.h"

namespace {

using namespace std::chrono;

struct Shamsi {
    int y, m, d;
};

bool toShamsi(int year, int month, int day, Shamsi *out)
{
    const int g[3] = {year - 2000, month, day};
    int s[3] = {-1, -1, -1};
    if (!miladyToShamsi(g, s))
        return false;
    *out = {s[0], s[1], s[2]};
    return true;
}

std::string shamsiText(int year, int month, int day)
{
    Shamsi s{};
    if (!toShamsi(year, month, day, &s))
        return "rejected";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", s.y, s.m, s.d);
    return buf;
}

int shamsiMonthLength(int year, int month)
{
    if (month <= 6)
        return 31;
    if (month <= 11)
        return 30;
    return shamsiKabisse(year) ? 30 : 29;
}

TEST(LeapRules, Gregorian)
{
    EXPECT_EQ(miladiKabisse(2024), 1);
    EXPECT_EQ(miladiKabisse(2023), 0);
    EXPECT_EQ(miladiKabisse(1900), 0);
    EXPECT_EQ(miladiKabisse(2000), 1);
    EXPECT_EQ(miladiKabisse(2100), 0);
}

TEST(LeapRules, ShamsiThirtyThreeYearCycle)
{
    EXPECT_EQ(shamsiKabisse(1403), 1);
    EXPECT_EQ(shamsiKabisse(1404), 0);
    EXPECT_EQ(shamsiKabisse(1399), 1);
    EXPECT_EQ(shamsiKabisse(1278), 0);
    int leaps = 0;
    for (int y = 1386; y < 1386 + 33; ++y)
        leaps += shamsiKabisse(y);
    EXPECT_EQ(leaps, 8);
}

TEST(ShamsiConversion, KnownDates)
{
    EXPECT_EQ(shamsiText(2024, 3, 20), "1403/01/01");
    EXPECT_EQ(shamsiText(2024, 3, 19), "1402/12/29");
    EXPECT_EQ(shamsiText(2025, 3, 21), "1404/01/01");
    EXPECT_EQ(shamsiText(2023, 9, 22), "1402/06/31");
    EXPECT_EQ(shamsiText(2023, 9, 23), "1402/07/01");
    EXPECT_EQ(shamsiText(2025, 3, 20), "1403/12/30");
    EXPECT_EQ(shamsiText(1900, 3, 21), "1279/01/01");
    EXPECT_EQ(shamsiText(1900, 3, 20), "1278/12/29");
    EXPECT_EQ(shamsiText(1900, 1, 1), "1278/10/11");
    EXPECT_EQ(shamsiText(2040, 12, 31), "1419/10/11");
}

TEST(ShamsiConversion, RejectsImpossibleAndOutOfRangeDates)
{
    EXPECT_EQ(shamsiText(2024, 13, 1), "rejected");
    EXPECT_EQ(shamsiText(2024, 0, 1), "rejected");
    EXPECT_EQ(shamsiText(2024, 5, 0), "rejected");
    EXPECT_EQ(shamsiText(2024, 2, 30), "rejected");
    EXPECT_EQ(shamsiText(2023, 2, 29), "rejected");
    EXPECT_EQ(shamsiText(2024, 4, 31), "rejected");
    EXPECT_EQ(shamsiText(2041, 1, 1), "rejected");
    EXPECT_EQ(shamsiText(1899, 12, 31), "rejected");
    EXPECT_NE(shamsiText(2024, 2, 29), "rejected");

    int untouched[3] = {7, 7, 7};
    const int bad[3] = {24, 2, 30};
    EXPECT_EQ(miladyToShamsi(bad, untouched), 0);
    EXPECT_EQ(untouched[0], 7);
    EXPECT_EQ(untouched[2], 7);
}

TEST(ShamsiConversion, FebruaryEntryFollowsTheConvertedYear)
{
    const int leap[3] = {24, 1, 1};
    const int common[3] = {23, 1, 1};
    int s[3];
    miladyToShamsi(leap, s);
    EXPECT_EQ(u8MiladiMonthDays[1], 29);
    EXPECT_EQ(miladiDayOrMonthNumber(60, 0), 2); // 29 February
    miladyToShamsi(common, s);
    EXPECT_EQ(u8MiladiMonthDays[1], 28);
    EXPECT_EQ(miladiDayOrMonthNumber(60, 0), 3); // 1 March
    EXPECT_EQ(miladiDayOrMonthNumber(60, 1), 1);
    EXPECT_EQ(miladiDayOrMonthNumber(366, 0), 0); // beyond December of a common year
    EXPECT_EQ(miladiDayOrMonthNumber(0, 0), 0);
}

// Walks every Gregorian day of [from, to] and checks that the Shamsi dates
// follow each other one day at a time, with the months' lengths and the
// leap years of the 33-year rule.
void checkConsecutive(year_month_day from, year_month_day to, unsigned latestNowruz)
{
    Shamsi prev{};
    bool first = true;
    int yearsSeen = 0;
    for (sys_days day = sys_days{from}; day <= sys_days{to}; day += days{1}) {
        const year_month_day g{day};
        Shamsi s{};
        ASSERT_TRUE(toShamsi(int(g.year()), int(unsigned(g.month())), int(unsigned(g.day())), &s))
            << int(g.year()) << "-" << unsigned(g.month()) << "-" << unsigned(g.day());
        ASSERT_GE(s.m, 1);
        ASSERT_LE(s.m, 12);
        ASSERT_GE(s.d, 1);
        ASSERT_LE(s.d, shamsiMonthLength(s.y, s.m));
        if (!first) {
            Shamsi expected{prev.y, prev.m, prev.d + 1};
            if (expected.d > shamsiMonthLength(prev.y, prev.m)) {
                expected.d = 1;
                if (++expected.m > 12) {
                    expected.m = 1;
                    ++expected.y;
                    ++yearsSeen;
                }
            }
            ASSERT_TRUE(s.y == expected.y && s.m == expected.m && s.d == expected.d)
                << int(g.year()) << "-" << unsigned(g.month()) << "-" << unsigned(g.day()) << " gave " << s.y
                << "/" << s.m << "/" << s.d;
        }
        // Nowruz stays within a day or two of the equinox.
        if (s.m == 1 && s.d == 1) {
            EXPECT_EQ(unsigned(g.month()), 3u);
            EXPECT_TRUE(unsigned(g.day()) >= 20 && unsigned(g.day()) <= latestNowruz) << int(g.year());
        }
        prev = s;
        first = false;
    }
    EXPECT_GT(yearsSeen, 0);
}

TEST(ShamsiConversion, EveryDayFrom1990To2040IsConsecutive)
{
    checkConsecutive(1990y / January / 1, 2040y / December / 31, 21);
}

TEST(ShamsiConversion, EveryDayOfTheWholeAcceptedRangeIsConsecutive)
{
    checkConsecutive(1900y / March / 21, 1990y / January / 1, 22);
}

TEST(ShamsiConversion, LeapYearsHaveDay366)
{
    // Esfand 30 exists exactly in the years the rule calls leap.
    bool has30[1420] = {};
    for (int gy = 1990; gy <= 2040; ++gy)
        for (int gd = 15; gd <= 25; ++gd) {
            Shamsi s{};
            ASSERT_TRUE(toShamsi(gy, 3, gd, &s));
            if (s.m == 12 && s.d == 30)
                has30[s.y] = true;
        }
    for (int y = 1369; y <= 1418; ++y)
        EXPECT_EQ(has30[y], shamsiKabisse(y) == 1) << y;
}

TEST(DayOfYear, ShamsiMonthAndDay)
{
    EXPECT_EQ(dayOrMonthNumber(1, 0), 1);
    EXPECT_EQ(dayOrMonthNumber(1, 1), 1);
    EXPECT_EQ(dayOrMonthNumber(186, 0), 6);
    EXPECT_EQ(dayOrMonthNumber(186, 1), 31);
    EXPECT_EQ(dayOrMonthNumber(187, 0), 7);
    EXPECT_EQ(dayOrMonthNumber(187, 1), 1);
    EXPECT_EQ(dayOrMonthNumber(365, 0), 12);
    EXPECT_EQ(dayOrMonthNumber(365, 1), 29);
    EXPECT_EQ(dayOrMonthNumber(366, 1), 30);
    EXPECT_EQ(dayOrMonthNumber(0, 0), 0);
    EXPECT_EQ(dayOrMonthNumber(367, 0), 0);
    // Walking the year reaches every month's last day exactly once.
    int lastDays = 0;
    for (int d = 1; d <= 365; ++d)
        if (dayOrMonthNumber(d + 1, 1) == 1 || d == 365)
            ++lastDays;
    EXPECT_EQ(lastDays, 12);
}

std::string weekdayName(int y, int m, int d)
{
    char out[WEEKDAY_NAME_SIZE];
    if (getDayOfWeek(y, m, d, out) != 0)
        return "error";
    return out;
}

TEST(DayOfWeek, NamesAndEveryDayAgainstTheCivilCalendar)
{
    EXPECT_EQ(weekdayName(2024, 3, 20), "\xDA\x86\xD9\x87\xD8\xA7\xD8\xB1\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87"); // چهارشنبه
    EXPECT_EQ(weekdayName(2024, 3, 23), "\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87");                                 // شنبه
    EXPECT_EQ(weekdayName(2024, 3, 24), "\xDB\x8C\xDA\xA9\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87");                 // یکشنبه
    EXPECT_EQ(weekdayName(2024, 3, 22), "\xD8\xAC\xD9\x85\xD8\xB9\xD9\x87");                                 // جمعه
    EXPECT_EQ(weekdayName(2024, 13, 1), "error");

    const std::string names[7] = {weekdayName(2024, 3, 24), weekdayName(2024, 3, 25), weekdayName(2024, 3, 26),
                                  weekdayName(2024, 3, 27), weekdayName(2024, 3, 28), weekdayName(2024, 3, 29),
                                  weekdayName(2024, 3, 30)};
    for (sys_days day = sys_days{1990y / January / 1}; day <= sys_days{2040y / December / 31};
         day += days{1}) {
        const year_month_day g{day};
        const unsigned w = std::chrono::weekday{day}.c_encoding();
        ASSERT_EQ(weekdayName(int(g.year()), int(unsigned(g.month())), int(unsigned(g.day()))), names[w])
            << int(g.year()) << "-" << unsigned(g.month()) << "-" << unsigned(g.day());
    }
}

TEST(SecondsSince1970, KnownValuesAndEveryDay)
{
    EXPECT_EQ(UnixTime(0, 0, 0, 1, 3, 1972), 68256000);
    EXPECT_EQ(UnixTime(0, 0, 0, 1, 1, 1970), 0);
    EXPECT_EQ(UnixTime(5, 4, 3, 1, 1, 1970), 3 * 3600 + 4 * 60 + 5);
    for (sys_days day = sys_days{1970y / January / 1}; day <= sys_days{2105y / December / 31};
         day += days{1}) {
        const year_month_day g{day};
        const int64_t expected = int64_t(day.time_since_epoch().count()) * 86400 + 12 * 3600 + 34 * 60 + 56;
        ASSERT_EQ(UnixTime(56, 34, 12, int(unsigned(g.day())), int(unsigned(g.month())), int(g.year())), expected)
            << int(g.year()) << "-" << unsigned(g.month()) << "-" << unsigned(g.day());
    }
}

} // namespace
