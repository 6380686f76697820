/*
 * Statements.cpp - detailed statement, cashier totals, settings and hardware
 * printouts, built from the line primitives of Printer.
 *
 * Sections: row primitives, the statements' common header, statements,
 * settings and hardware.
 */
#include "print/Statements.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "print/Printer.h"
#include "ui/Messages.h"
#include "util/BillUtil.h"
#include "core/clock.h"
#include "util/Strings.h"

namespace {
constexpr int F = PRN_FONT_RECEIPT;
constexpr int TAIL = 55;
constexpr int TOTALS_TAIL = 39;
constexpr int SETTINGS_TAIL = 47;
} // namespace

/* ---- row primitives ---------------------------------------------------------------- */

int printReportTime(int font, const char *date, const char *time, int x, int y) {
  char day[TRANSACTION_DATE_TIME_SIZE] = {}, line[TRANSACTION_DATE_TIME_SIZE] = {};
  TransactionDateS(date, time, day, sizeof day);
  appendLtrRun(line, sizeof line, day);
  return printRightLine(font, line, x, y);
}

int printReportLine(int font, const char *rrn, const char *date, const char *time, const char *, const char *amount,
                    int, int y) {
  char clock[TRANSACTION_DATE_TIME_SIZE] = {}, right[64] = {}, plain[32] = {}, grouped[48] = {};
  TransactionTimeP(date, time, clock, sizeof clock);
  // Time under the header's first column (rightmost), then the reference number;
  // each number reversed so that it reads left to right in the line.
  appendLtrRun(right, sizeof right, clock);
  appendLtrRun(right, sizeof right, "|   ");
  appendLtrRun(right, sizeof right, rrn != nullptr ? rrn : "");
  removeLeadingZero(amount != nullptr ? amount : "", plain, sizeof plain);
  TrnRegulateTotalAmount(grouped, sizeof grouped, plain);
  return printLabelValue(font, right, grouped, y);
}

int printSepcifiedData(int font, int message, const char *value, int, int y) {
  return printMessageValue(font, message, value, y);
}

/* ---- the statements' common header ------------------------------------------------- */

namespace {
int printStatementHeader(int filter, const char *from, const char *to, const char *printTime, int titleMessage) {
  openPrinter();
  int y = 0;
  y += printMerchantNameNphone(F, PRN_RIGHT_X, y);
  y += printTerminalNmerchant(F, PRN_LEFT_X, y) - 16;
  y += printTicketType(F, TICKET_REPORT, nullptr, filter, titleMessage, PRN_RIGHT_X, y) - 8;
  y += printSepcifiedData(F, 84, from, PRN_LEFT_X, y) - 8;
  y += printSepcifiedData(F, 85, to, PRN_LEFT_X, y) - 8;
  y += printSepcifiedData(F, 420, printTime, PRN_LEFT_X, y) - 8;
  y += printLine1(F, PRN_LEFT_X, y) - 16;
  return y;
}

void finish(int y, int tail) {
  const int spacer = printLine(F, PRN_RIGHT_X, y);
  printLogoXY(F, 0, y + spacer);
  startPrint(y + spacer + tail);
}
} // namespace

/* ---- statements ----------------------------------------------------------------------- */

int64_t printDetailedStatement(int filter, const TransactionRecord *records, int count, const char *from,
                               const char *to, const char *printTime, int titleMessage) {
  int y = printStatementHeader(filter, from, to, printTime, titleMessage);
  char buf[UI_MESSAGE_BUFFER_SIZE];
  y += printRightLine(F, getUiMessage(344, buf), PRN_RIGHT_X, y);
  int64_t total = 0;
  const char *previousDate = nullptr;
  for (int i = 0; i < count; ++i) {
    const TransactionRecord &r = records[i];
    if (previousDate == nullptr || std::strncmp(previousDate, r.Date, sizeof r.Date) != 0)
      y += printReportTime(F, r.Date, r.Time, PRN_RIGHT_X, y);
    previousDate = r.Date;
    printReportLine(F, r.RRN, r.Date, r.Time, r.ProcessCode, r.Price, PRN_LEFT_X, y);
    y += 2 * PRN_LINE_HEIGHT - 8;
    // A 64-bit sum: a shop's takings over a range easily pass 2^31 Rials.
    total += std::strtoll(r.Price, nullptr, 10);
    if ((i + 1) % STATEMENT_PAGE_ROWS == 0) {
      startPrint(y);
      openPrinter();
      y = 0;
    }
  }
  y += printLine1(F, PRN_LEFT_X, y);
  y += printTotalAmount(F, PRN_LEFT_X, total, y);
  finish(y, TAIL);
  return total;
}

void printTotallyStatement(const int64_t *totals, const char *from, const char *to, const char *printTime,
                           int titleMessage) {
  int y = printStatementHeader(0, from, to, printTime, titleMessage);
  const int64_t values[6] = {
      totals[TOTAL_PURCHASE_COUNT],
      totals[TOTAL_PURCHASE_AMOUNT],
      totals[TOTAL_BILL_COUNT],
      totals[TOTAL_BILL_AMOUNT],
      totals[TOTAL_VOUCHER_COUNT] + totals[TOTAL_TOPUP_COUNT],
      totals[TOTAL_VOUCHER_AMOUNT] + totals[TOTAL_TOPUP_AMOUNT],
  };
  static const int kLabels[6] = {216, 217, 218, 219, 220, 221};
  for (int i = 0; i < 6; ++i) {
    char grouped[GROUPED_NUMBER_SIZE];
    IntToString(values[i], grouped, sizeof grouped);
    y += printSepcifiedData(F, kLabels[i], grouped, PRN_LEFT_X, y) - 8;
  }
  finish(y, TOTALS_TAIL);
}

/* ---- settings and hardware --------------------------------------------------------------- */

namespace {
// Merchant, title, and the terminal's identity: serial, terminal, merchant, version.
int printIdentity(int titleKind) {
  openPrinter();
  int y = 0;
  y += printMerchantNameNphone(F, PRN_RIGHT_X, y);
  y += printTicketType(F, titleKind, nullptr, 0, 0, PRN_RIGHT_X, y);
  y += printSerialNumber(F, PRN_LEFT_X, y);
  y += printTerminalNo(F, PRN_LEFT_X, y);
  y += printMerchantNo(F, PRN_LEFT_X, y);
  y += printSoftwareVersion(F, PRN_LEFT_X, y);
  return y;
}
} // namespace

void printSetting() {
  int y = printIdentity(TICKET_CONFIG);
  y += printTicketType(F, TICKET_NETWORK, nullptr, 0, 0, PRN_RIGHT_X, y);
  y += printIpAddress(F, PRN_LEFT_X, y);
  y += printPortNo(F, PRN_LEFT_X, y);
  y += printTMSIpAddress(F, PRN_LEFT_X, y);
  y += printTMSPortNo(F, PRN_LEFT_X, y);
  y += printConnectionType(F, PRN_LEFT_X, y);
  finish(y, SETTINGS_TAIL);
}

void printHardware() {
  int y = printIdentity(TICKET_HARDWARE);
  y += printIpAddress(F, PRN_LEFT_X, y);
  y += printPortNo(F, PRN_LEFT_X, y);
  finish(y, TAIL);
}
