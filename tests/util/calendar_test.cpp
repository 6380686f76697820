// Gregorian to Solar Hijri conversion, leap rules, weekday and seconds since
// 1970, checked day by day over long spans as well as at known dates.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(LeapRules, GregorianAndShamsi)
{
    EXPECT_EQ(miladiKabisse(2024), 1);
    EXPECT_EQ(miladiKabisse(2023), 0);
    EXPECT_EQ(miladiKabisse(1900), 0);
    EXPECT_EQ(miladiKabisse(2000), 1);
    EXPECT_EQ(shamsiKabisse(1403), 1);
    EXPECT_EQ(shamsiKabisse(1404), 0);
    EXPECT_EQ(shamsiKabisse(1399), 1);
    EXPECT_EQ(shamsiKabisse(1278), 0);
    // The civil calendar's leap years of this span, the five-year gap before 1408 included.
    const int leaps[] = {1370, 1375, 1379, 1383, 1387, 1391, 1395, 1399, 1403, 1408, 1412, 1416};
    for (int y = 1368; y <= 1418; ++y)
        EXPECT_EQ(shamsiKabisse(y), std::count(std::begin(leaps), std::end(leaps), y) ? 1 : 0) << y;
}

TEST(ShamsiConversion, KnownDates)
{
    EXPECT_EQ(shamsiText(2024, 3, 20), "1403/01/01");
    EXPECT_EQ(shamsiText(2024, 3, 19), "1402/12/29");
    EXPECT_EQ(shamsiText(2025, 3, 21), "1404/01/01");
    EXPECT_EQ(shamsiText(2023, 9, 22), "1402/06/31");
    EXPECT_EQ(shamsiText(2023, 9, 23), "1402/07/01");
    EXPECT_EQ(shamsiText(2025, 3, 20), "1403/12/30");
    EXPECT_EQ(shamsiText(1990, 3, 21), "1369/01/01");
    EXPECT_EQ(shamsiText(2000, 3, 20), "1379/01/01");
    EXPECT_EQ(shamsiText(2017, 3, 21), "1396/01/01");
    EXPECT_EQ(shamsiText(2021, 3, 20), "1399/12/30");
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
    EXPECT_TRUE(untouched[0] == 7 && untouched[1] == 7 && untouched[2] == 7);
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
    bool hasEsfand30[1420] = {};
    int firstYear = 0;
    for (sys_days day = sys_days{from}; day <= sys_days{to}; day += days{1}) {
        const year_month_day g{day};
        Shamsi s{};
        ASSERT_TRUE(toShamsi(int(g.year()), int(unsigned(g.month())), int(unsigned(g.day())), &s))
            << int(g.year()) << "-" << unsigned(g.month()) << "-" << unsigned(g.day());
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
        if (first)
            firstYear = s.y;
        hasEsfand30[s.y] |= s.m == 12 && s.d == 30;
        prev = s;
        first = false;
    }
    EXPECT_GT(yearsSeen, 0);
    // Esfand 30 exists exactly in the years the rule calls leap.
    for (int y = firstYear; y < prev.y; ++y) // the last year's Esfand lies past the walk
        EXPECT_EQ(hasEsfand30[y], shamsiKabisse(y) == 1) << y;
}

TEST(ShamsiConversion, EveryDayOfTheAcceptedRangeIsConsecutive)
{
    checkConsecutive(1990y / January / 1, 2040y / December / 31, 21);
    checkConsecutive(1900y / January / 1, 1990y / January / 1, 22);
}

TEST(DayOfYear, ShamsiMonthAndDay)
{
    EXPECT_EQ(dayOrMonthNumber(186, 0), 6);
    EXPECT_EQ(dayOrMonthNumber(186, 1), 31);
    EXPECT_EQ(dayOrMonthNumber(187, 0), 7);
    EXPECT_EQ(dayOrMonthNumber(187, 1), 1);
    EXPECT_EQ(dayOrMonthNumber(365, 1), 29);
    EXPECT_EQ(dayOrMonthNumber(366, 0), 12);
    EXPECT_EQ(dayOrMonthNumber(366, 1), 30);
    EXPECT_EQ(dayOrMonthNumber(0, 0), 0);
    EXPECT_EQ(dayOrMonthNumber(367, 0), 0);
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
