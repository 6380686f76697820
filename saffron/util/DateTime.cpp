/*
 * DateTime.cpp - Solar Hijri calendar, the terminal clock and the date-time
 * texts of stored transactions.
 *
 * Sections: leap rules and day-of-year helpers, Gregorian to Shamsi, the
 * clock, day of week and seconds since 1970, transaction date-time texts.
 */
#include "util/DateTime.h"

#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "libapi.h"

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

int putText(const char *text, char *out, std::size_t outSize)
{
    if (out == nullptr || outSize == 0)
        return -1;
    std::size_t n = std::strlen(text);
    if (n + 1 > outSize) {
        out[0] = '\0';
        return -1;
    }
    std::memcpy(out, text, n + 1);
    return 0;
}

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

// ---- the clock ---------------------------------------------------------------

int getDateTime(int dt[DATE_TIME_FIELDS])
{
    if (dt == nullptr)
        return -1;
    int raw[7] = {};
    int rc = DLL_SysGetDateTime(raw);
    if (rc != DLL_OK) {
        std::memset(dt, 0, sizeof(int) * DATE_TIME_FIELDS);
        return rc;
    }
    // The clock record holds one byte per field.
    dt[DT_YEAR] = static_cast<unsigned char>(raw[DLL_DT_YEAR] - 2000);
    dt[DT_MONTH] = static_cast<unsigned char>(raw[DLL_DT_MONTH]);
    dt[DT_DAY] = static_cast<unsigned char>(raw[DLL_DT_DAY]);
    dt[DT_HOUR] = static_cast<unsigned char>(raw[DLL_DT_HOUR]);
    dt[DT_MINUTE] = static_cast<unsigned char>(raw[DLL_DT_MINUTE]);
    dt[DT_SECOND] = static_cast<unsigned char>(raw[DLL_DT_SECOND]);
    dt[DT_WEEKDAY] = static_cast<unsigned char>(raw[DLL_DT_WEEKDAY]);
    USB_printf2("time is %02d%02d%02d-%02d%02d%02d %02d", dt[DT_YEAR], dt[DT_MONTH], dt[DT_DAY],
                dt[DT_HOUR], dt[DT_MINUTE], dt[DT_SECOND], dt[DT_WEEKDAY]);
    return 0;
}

int setSystemDateTime(int year, int month, int day, int hour, int minute, int second)
{
    USB_printf2("setSystemDateTime : %d/%d/%d %d:%d:%d ", year, month, day, hour, minute, second);
    // A date the switch sends is checked before it reaches the clock: a bad
    // field would otherwise stamp every later transaction.
    const int full = year + 2000;
    if (year < 0 || year > 99 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return -1;
    const int monthDays = month == 2 ? (miladiKabisse(full) ? 29 : 28) : (month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31);
    if (day > monthDays)
        return -1;

    int dt[7] = {};
    dt[DLL_DT_SECOND] = second;
    dt[DLL_DT_MINUTE] = minute;
    dt[DLL_DT_HOUR] = hour;
    dt[DLL_DT_DAY] = day;
    dt[DLL_DT_MONTH] = month;
    dt[DLL_DT_YEAR] = full;
    dt[DLL_DT_WEEKDAY] = 0; // recomputed by the platform
    int rc = DLL_SysSetDateTime(dt);
    if (rc != DLL_OK)
        return rc;
    return DLL_SysSetRtc(dt);
}

int setSystemDateTimeS(const char *text)
{
    if (text == nullptr)
        return -1;
    USB_printf2("setSystemDateTimeS %s", text);
    for (int i = 0; i < 14; ++i)
        if (text[i] < '0' || text[i] > '9')
            return -1; // also stops at a short text's terminator
    auto pair = [text](int at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    return setSystemDateTime(pair(2), pair(4), pair(6), pair(8), pair(10), pair(12));
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
    return putText(WEEKDAY_NAMES[w], out, outSize);
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

// ---- transaction date-time texts ----------------------------------------------

namespace {

struct RecordStamp {
    int shamsi[3]; // 0/0/0 when the date does not convert
    char time[6];  // hhmmss, '0' where the record's text ends early
};

int twoDigits(const char *p)
{
    if (p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9')
        return -1;
    return (p[0] - '0') * 10 + (p[1] - '0');
}

RecordStamp stampOf(const char *Date, const char *Time)
{
    RecordStamp st{};
    std::memset(st.time, '0', sizeof st.time);
    if (Time != nullptr)
        for (int i = 0; i < 6 && Time[i] != '\0'; ++i)
            st.time[i] = Time[i];
    if (Date == nullptr || strnlen(Date, 4) < 4)
        return st;
    int now[DATE_TIME_FIELDS] = {};
    if (getDateTime(now) != 0)
        return st;
    const int miladi[3] = {now[DT_YEAR], twoDigits(Date), twoDigits(Date + 2)};
    miladyToShamsi(miladi, st.shamsi);
    return st;
}

} // namespace

int TransactionDateS(const char *Date, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(Date, Time);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", st.shamsi[0], st.shamsi[1], st.shamsi[2]);
    return putText(buf, out, outSize);
}

int TransactionTimeP(const char *, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(nullptr, Time); // the time alone needs no clock reading
    const char *t = st.time;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%c%c:%c%c:%c%c", t[0], t[1], t[2], t[3], t[4], t[5]);
    return putText(buf, out, outSize);
}

int TransactionDateTimeS(const char *Date, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(Date, Time);
    const char *t = st.time;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %c%c:%c%c", st.shamsi[0], st.shamsi[1], st.shamsi[2], t[0],
                  t[1], t[2], t[3]);
    return putText(buf, out, outSize);
}

int TransactionDateTime(const char *Date, const char *Time, char *out, std::size_t outSize)
{
    const RecordStamp st = stampOf(Date, Time);
    const char *t = st.time;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d-%c%c:%c%c:%c%c", st.shamsi[0], st.shamsi[1], st.shamsi[2],
                  t[0], t[1], t[2], t[3], t[4], t[5]);
    return putText(buf, out, outSize);
}

void TransactionDateS(const char *Date, const char *Time, char *out)
{
    TransactionDateS(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}

void TransactionTimeP(const char *Date, const char *Time, char *out)
{
    TransactionTimeP(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}

void TransactionDateTimeS(const char *Date, const char *Time, char *out)
{
    TransactionDateTimeS(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}

void TransactionDateTime(const char *Date, const char *Time, char *out)
{
    TransactionDateTime(Date, Time, out, TRANSACTION_DATE_TIME_SIZE);
}
