/*
 * DateTime.cpp - Solar Hijri calendar, day of week and seconds since 1970.
 *
 * Sections: leap rules and day-of-year helpers, Gregorian to Shamsi, day of
 * week and seconds since 1970.
 */
#include "util/DateTime.h"

#include <cstdio>
#include <cstring>

#include "util/Strings.h"


int u8MiladiMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

namespace {

constexpr int SHAMSI_MONTH_DAYS[12] = {31, 31, 31, 31, 31, 31, 30, 30, 30, 30, 30, 29};
constexpr int DAYS_BEFORE_MONTH[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int WEEKDAY_OFFSET[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};

// Range the conversion accepts, and the Shamsi year that 1 January 1900 falls in.
constexpr int FIRST_YEAR = 1900;
constexpr int LAST_YEAR = 2040;
constexpr int BASE_SHAMSI_YEAR = 1278;
// Day of Shamsi year 1278 that 31 December 1899 is.
constexpr int BASE_DAY_OFFSET = 286;

// Weekday names, Sunday first; the catalogue's messages 22-26 then 21.
constexpr const char *WEEKDAY_NAMES[7] = {
    "\xDB\x8C\xDA\xA9\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87",                 // یکشنبه
    "\xD8\xAF\xD9\x88\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87",                 // دوشنبه
    "\xD8\xB3\xD9\x87 \xD8\xB4\xD9\x86\xD8\xA8\xD9\x87",                // سه شنبه
    "\xDA\x86\xD9\x87\xD8\xA7\xD8\xB1\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87", // چهارشنبه
    "\xD9\xBE\xD9\x86\xD8\xAC\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87",         // پنجشنبه
    "\xD8\xAC\xD9\x85\xD8\xB9\xD9\x87",                                 // جمعه
    "\xD8\xB4\xD9\x86\xD8\xA8\xD9\x87",                                 // شنبه
};

} // namespace

// ---- leap rules and day-of-year helpers ----------------------------------

int miladiKabisse(int year)
{
    return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 1 : 0;
}

int shamsiKabisse(int year)
{
    switch (((year % 33) + 33) % 33) {
    case 1: case 5: case 9: case 13: case 17: case 22: case 26: case 30:
        return 1;
    default:
        return 0;
    }
}

int dayOrMonthNumber(int dayOfYear, int wantDay)
{
    if (dayOfYear < 1 || dayOfYear > 366)
        return 0;
    if (dayOfYear == 366) // the 30th of month 12 of a leap year
        return wantDay ? 30 : 12;
    int month = 0;
    while (dayOfYear > SHAMSI_MONTH_DAYS[month])
        dayOfYear -= SHAMSI_MONTH_DAYS[month++];
    return wantDay ? dayOfYear : month + 1;
}

int miladiDayOrMonthNumber(int dayOfYear, int wantDay)
{
    if (dayOfYear < 1)
        return 0;
    for (int month = 0; month < 12; ++month) {
        if (dayOfYear <= u8MiladiMonthDays[month])
            return wantDay ? dayOfYear : month + 1;
        dayOfYear -= u8MiladiMonthDays[month];
    }
    return 0;
}

// ---- Gregorian to Shamsi ---------------------------------------------------

int miladyToShamsi(const int miladi[3], int shamsi[3])
{
    if (miladi == nullptr || shamsi == nullptr)
        return 0;
    const int year = miladi[0] + 2000;
    const int month = miladi[1];
    const int day = miladi[2];

    u8MiladiMonthDays[1] = miladiKabisse(year) ? 29 : 28;
    if (month < 1 || month > 12 || day < 1 || day > u8MiladiMonthDays[month - 1] ||
        year < FIRST_YEAR || year > LAST_YEAR)
        return 0;

    // Days since 31 December 1899.
    int n = (year - FIRST_YEAR) * 365 + day;
    for (int m = 0; m < month - 1; ++m)
        n += u8MiladiMonthDays[m];
    for (int y = FIRST_YEAR; y < year; ++y)
        n += miladiKabisse(y);

    const int k = shamsiKabisse(BASE_SHAMSI_YEAR) ? 80 : 79;
    int s;
    int r;
    if (n <= k) {
        s = BASE_SHAMSI_YEAR;
        r = n + BASE_DAY_OFFSET;
    } else {
        const int d = n - k;
        s = d / 365 + BASE_SHAMSI_YEAR + 1;
        r = d % 365;
        if (r == 0) {
            s = d / 365 + BASE_SHAMSI_YEAR;
            r = 365;
        }
        // Every leap year passed since 1279 took one more day than 365.
        for (int y = BASE_SHAMSI_YEAR + 1; y < s; ++y) {
            if (shamsiKabisse(y))
                --r;
            if (r == 0) {
                --s;
                r = (y == s && shamsiKabisse(s)) ? 366 : 365;
            }
        }
    }

    int sm;
    int sd;
    if (r <= 186) {
        sm = (r + 30) / 31;
        sd = r % 31 == 0 ? 31 : r % 31;
    } else {
        const int rr = r - 186;
        sm = (rr + 29) / 30 + 6;
        sd = rr % 30 == 0 ? 30 : rr % 30;
    }
    shamsi[0] = s;
    shamsi[1] = sm;
    shamsi[2] = sd;
    return 1;
}

// ---- day of week and seconds since 1970 -------------------------------------

int getDayOfWeek(int year, int month, int day, char *out, std::size_t outSize)
{
    if (out != nullptr && outSize > 0)
        out[0] = '\0';
    if (month < 1 || month > 12)
        return -1;
    const int y = month < 3 ? year - 1 : year;
    const int w = (y + y / 4 - y / 100 + y / 400 + WEEKDAY_OFFSET[month - 1] + day) % 7;
    if (w < 0 || w > 6)
        return -1;
    return putText(WEEKDAY_NAMES[w], std::strlen(WEEKDAY_NAMES[w]), out, outSize);
}

int getDayOfWeek(int year, int month, int day, char *out)
{
    return getDayOfWeek(year, month, day, out, WEEKDAY_NAME_SIZE);
}

int64_t UnixTime(int second, int minute, int hour, int day, int month, int year)
{
    if (month < 1 || month > 12)
        return 0;
    const int64_t y = year - 1970;
    const int64_t a = month >= 3 ? 1 : 0;
    const int64_t yy = y + a;
    const int64_t days = (day - 1) + DAYS_BEFORE_MONTH[month - 1] + (yy + 1) / 4 - (yy + 69) / 100 +
                         (yy + 369) / 400 + (yy - a) * 365;
    return ((days * 24 + hour) * 60 + minute) * 60 + second;
}
