/*
 * clock.h - the terminal clock: reading and setting it, and the date-time texts
 * of stored transactions, which take their year from it.
 *
 * Sections: the clock, transaction date-time texts.
 */
#ifndef SAFFRON_CORE_CLOCK_H
#define SAFFRON_CORE_CLOCK_H

#include <cstddef>

#include "util/DateTime.h"

// ---- the clock -------------------------------------------------------------

// Reads the terminal clock into dt[DATE_TIME_FIELDS] (clock record order, see
// DT_*). Returns 0, or the platform's error (dt then zero).
int getDateTime(int dt[DATE_TIME_FIELDS]);
// Sets the system clock and the real-time clock. year is within the century.
// Returns 0, -1 for a date or time that does not exist, or the platform's error.
int setSystemDateTime(int year, int month, int day, int hour, int minute, int second);
// From "YYYYMMDDhhmmss" (the century digits are skipped). Returns as
// setSystemDateTime, or -1 when the text is not 14 digits.
int setSystemDateTimeS(const char *text);

// ---- transaction date-time texts --------------------------------------------

// A stored record keeps only Date "MMDD" and Time "hhmmss"; the year comes
// from the clock, so a record of an earlier year shows the current year. A
// date that does not convert shows as 0000/00/00. Missing time characters
// read as '0'. The classic forms' out holds TRANSACTION_DATE_TIME_SIZE.
constexpr std::size_t TRANSACTION_DATE_TIME_SIZE = 20;
// "1403/01/01"
void TransactionDateS(const char *Date, const char *Time, char *out);
int TransactionDateS(const char *Date, const char *Time, char *out, std::size_t outSize);
// "10:15:02"
void TransactionTimeP(const char *Date, const char *Time, char *out);
int TransactionTimeP(const char *Date, const char *Time, char *out, std::size_t outSize);
// "1403/01/01 10:15"
void TransactionDateTimeS(const char *Date, const char *Time, char *out);
int TransactionDateTimeS(const char *Date, const char *Time, char *out, std::size_t outSize);
// "1403/01/01-10:15:02"
void TransactionDateTime(const char *Date, const char *Time, char *out);
int TransactionDateTime(const char *Date, const char *Time, char *out, std::size_t outSize);

#endif
