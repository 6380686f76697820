/*
 * DateTime.h - the Solar Hijri (Shamsi) calendar, day of week and seconds since
 * 1970. Pure: the terminal clock and the texts that read it are in core/clock.h.
 *
 * The clock runs in the Gregorian calendar and the switch speaks Gregorian;
 * every date a user sees is Shamsi. Sections: leap rules and day-of-year
 * helpers, Gregorian to Shamsi, day of week and seconds since 1970.
 */
#ifndef SAFFRON_UTIL_DATETIME_H
#define SAFFRON_UTIL_DATETIME_H

#include <cstddef>
#include <cstdint>

// Gregorian month lengths. Every Gregorian-to-Shamsi conversion rewrites the
// February entry (29 or 28) for the year it converts: shared mutable state,
// read by miladiDayOrMonthNumber.
extern int u8MiladiMonthDays[12];

// Indexes of the date-time array filled by getDateTime (clock record order).
enum {
    DT_YEAR = 0,   // year within the century (year - 2000)
    DT_MONTH = 1,  // 1-12
    DT_DAY = 2,    // 1-31
    DT_HOUR = 3,   // 0-23
    DT_MINUTE = 4, // 0-59
    DT_SECOND = 5, // 0-59
    DT_WEEKDAY = 6 // 0 = Sunday ... 6 = Saturday
};
constexpr int DATE_TIME_FIELDS = 7;

// ---- leap rules and day-of-year helpers ----------------------------------

// 1 for a Gregorian leap year (full year), else 0.
int miladiKabisse(int year);
// 1 when year mod 33 is 1, 5, 9, 13, 17, 22, 26 or 30 (full Shamsi year), else 0.
int shamsiKabisse(int year);
// Shamsi month (wantDay 0) or day of month (wantDay 1) of a day of the year,
// 1-366 (366 is the 30th of month 12); 0 outside 1-366.
int dayOrMonthNumber(int dayOfYear, int wantDay);
// Gregorian month (wantDay 0) or day of month (wantDay 1) of a day of the
// year, from u8MiladiMonthDays; 0 when the day lies outside the twelve months.
int miladiDayOrMonthNumber(int dayOfYear, int wantDay);

// ---- Gregorian to Shamsi ---------------------------------------------------

// miladi = {year - 2000, month, day}; on success shamsi = {full year, month,
// day} and the result is 1. A date that does not exist or lies outside the
// years 1900-2040 gives 0 and leaves shamsi untouched.
int miladyToShamsi(const int miladi[3], int shamsi[3]);

// ---- day of week and seconds since 1970 -------------------------------------

// Room for the longest weekday name and its NUL.
constexpr std::size_t WEEKDAY_NAME_SIZE = 32;
// Writes the Persian weekday name of a full Gregorian date; 0, or -1 for a
// month outside 1-12 or a negative remainder (out = "").
int getDayOfWeek(int year, int month, int day, char *out);
int getDayOfWeek(int year, int month, int day, char *out, std::size_t outSize);
// Seconds since 1970-01-01 00:00 (no time zone), full Gregorian year.
int64_t UnixTime(int second, int minute, int hour, int day, int month, int year);

#endif
