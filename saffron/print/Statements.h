/*
 * Statements.h - the printouts that are not receipts of one transaction: the
 * detailed statement and cashier totals of a date-time range, the settings
 * printout and the hardware printout.
 */
#ifndef SAFFRON_PRINT_STATEMENTS_H
#define SAFFRON_PRINT_STATEMENTS_H

#include <cstdint>

#include "journal/Journal.h"

constexpr int STATEMENT_PAGE_ROWS = 10;  // a page is started after every tenth row
constexpr int TITLE_DETAILED_STATEMENT = 94;
constexpr int TITLE_CASHIER_TOTALS = 72;

// Rows in journal order under a header (merchant, terminal, title with the
// filter's name, range and print time); a day line whenever the date changes;
// pages of STATEMENT_PAGE_ROWS rows; the 64-bit total of the amounts at the end.
// Returns the total.
int64_t printDetailedStatement(int filter, const TransactionRecord *records, int count, const char *from,
                               const char *to, const char *printTime, int titleMessage);
// Counts and amounts of purchases, bill payments and charges (vouchers and
// top-ups together) from the eight totals of readTransactionsTotally.
void printTotallyStatement(const int64_t *totals, const char *from, const char *to, const char *printTime,
                           int titleMessage);
void printSetting();
void printHardware();

// Row primitives (font, values, x, y -> height used).
int printReportTime(int font, const char *date, const char *time, int x, int y);
int printReportLine(int font, const char *rrn, const char *date, const char *time, const char *processCode,
                    const char *amount, int x, int y);
int printSepcifiedData(int font, int message, const char *value, int x, int y);

#endif
