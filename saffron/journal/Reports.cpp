/*
 * Reports.cpp - the report menu and its screens: reprints, the statement and
 * totals prompts with their search screens, and the record dump.
 *
 * Sections: screens, the report menu, reprints, statements, the record dump.
 */
#include "journal/Reports.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "core/clock.h"
#include "core/debug.h"
#include "core/key.h"
#include "core/screen.h"
#include "print/Printer.h"
#include "print/Receipts.h"
#include "print/Statements.h"
#include "ui/Display.h"
#include "ui/Helper.h"
#include "ui/Menu.h"
#include "ui/Messages.h"
#include "util/DateTime.h"

namespace {

constexpr int RESULT_MS = 3000;
constexpr int NUMBER_TIMEOUT = 450;  // units of 100 ms
constexpr int MSG_CANCELLED = 103, MSG_SEARCHING = 124, MSG_NOT_FOUND = 125, MSG_PREPARING = 343;

// The kinds of the newest-transaction reprint: menu text and transaction type.
struct Kind {
  int message, type;
};
constexpr Kind kLastKinds[] = {{3, TT_PURCHASE}, {56, TT_BILL_PAYMENT}, {145, TT_VOUCHER}, {65, TT_TOPUP}};
constexpr int kStatementKinds[] = {3, 56, 145};

// Message screens take texts; these take message numbers.
int showMessageIds(int title, int text, int ms) {
  char t[UI_MESSAGE_BUFFER_SIZE], m[UI_MESSAGE_BUFFER_SIZE];
  return showMessage(getUiMessage(title, t), getUiMessage(text, m), ms);
}

template <std::size_t N> int menuOf(const int (&messages)[N], int title) {
  MenuItem items[N];
  for (std::size_t i = 0; i < N; ++i) initMenuItem(static_cast<int>(i + 1), messages[i], 1, &items[i]);
  return showMenu(static_cast<int>(N), items, title);
}

// The record's reference numbers as the merchant types them: digits only.
int askNumber(int prompt, int minLen, int maxLen, char *out, std::size_t outSize) {
  char p[UI_MESSAGE_BUFFER_SIZE];
  drawHeader(REPRINT_TITLE);
  lcdPrint(1, 2, LINE_CENTER, FONT_FILE, 3, getUiMessage(prompt, p), LCD_LINE_MAX);
  out[0] = '\0';
  return getInputData(INPUT_MODE_NUMBER, 1, 3, minLen, maxLen, out, outSize, NUMBER_TIMEOUT);
}

// "from" and "to" of a range; false when the merchant left either editor.
bool askRange(char *from, char *to) {
  return getDateTimeFromUser(0, 84, 184, from, DATE_TIME_TEXT_SIZE) == INPUT_ACCEPTED &&
         getDateTimeFromUser(1, 85, 185, to, DATE_TIME_TEXT_SIZE) == INPUT_ACCEPTED;
}

// The print time: the clock in Shamsi, "YYYY/MM/DD hh:mm:ss".
void printTimeNow(char *out, std::size_t outSize) {
  int dt[DATE_TIME_FIELDS] = {};
  getDateTime(dt);
  const int miladi[3] = {dt[DT_YEAR], dt[DT_MONTH], dt[DT_DAY]};
  int shamsi[3] = {0, 0, 0};
  miladyToShamsi(miladi, shamsi);
  snprintf(out, outSize, "%04d/%02d/%02d %02d:%02d:%02d", shamsi[0], shamsi[1], shamsi[2], dt[DT_HOUR],
           dt[DT_MINUTE], dt[DT_SECOND]);
}

void showSearching(int title) {
  showMessageIds(title, MSG_SEARCHING, 0);
}

// After a search by number: the reprint, or "no result" (lookup result not 0).
int reprintFound(int lookup, TransactionRecord *trx, int type) {
  if (lookup != 0) {
    showMessageIds(REPRINT_TITLE, MSG_NOT_FOUND, RESULT_MS);
    return -1;
  }
  printReceiptOfType(trx, type, COPY_REPRINT);
  return 0;
}

// The "preparing" line under the search screen, and the print time.
void showPreparing(char *printTime, std::size_t printTimeSize) {
  char buf[UI_MESSAGE_BUFFER_SIZE];
  lcdPrint(1, 3, LINE_CENTER, FONT_FILE, 3, getUiMessage(MSG_PREPARING, buf), LCD_LINE_MAX);
  printTimeNow(printTime, printTimeSize);
}

} // namespace

/* ---- the report menu ------------------------------------------------------------------ */

int MerchantMenuReports() {
  static const int kItems[] = {71, 94, 72, 211};
  int choice;
  while ((choice = menuOf(kItems, REPORTS_TITLE)) >= 0) MerchantMenuReportAction(choice);
  return choice;
}

int MerchantMenuReportAction(int choice) {
  USB_printf2("Menu <<==  MerchantMenuReportAction Action %d", choice);
  switch (choice) {
    case 1: return MerchantMenuReportsRePrint();
    case 2: return MerchantMenuReportsTransactions();
    case 3: return MerchantMenuReportsCashierTotal();
    case 4: return MerchantMenuReportsHardware();
    default: return 0;
  }
}

/* ---- reprints ---------------------------------------------------------------------------- */

int printReceiptOfType(TransactionRecord *trx, int type, int copy) {
  switch (type) {
    case TT_PURCHASE: return printPurchaseTicket(trx, copy);
    case TT_BILL_PAYMENT: return printBillPaymentTicket(trx, copy);
    case TT_VOUCHER: return printVoucherTicket(trx, copy);
    case TT_TOPUP: return printTopupTicket(trx, copy);
    default: return -1;
  }
}

int MerchantMenuReportsRePrint() {
  static const int kItems[] = {178, 179, 418};
  int choice;
  while ((choice = menuOf(kItems, REPRINT_TITLE)) >= 0) MerchantMenuReportsRePrintAction(choice);
  return choice;
}

int MerchantMenuReportsRePrintAction(int choice) {
  switch (choice) {
    case 1: return MerchantMenuReportsRePrintByLast();
    case 2: return MerchantMenuReportsRePrintByStan();
    case 3: return MerchantMenuReportsRePrintByRrn();
    default: return 0;
  }
}

int MerchantMenuReportsRePrintByLast() {
  int messages[std::size(kLastKinds)];
  for (std::size_t i = 0; i < std::size(kLastKinds); ++i) messages[i] = kLastKinds[i].message;
  const int choice = menuOf(messages, 178);
  if (choice < 1 || choice > static_cast<int>(std::size(kLastKinds))) {
    showMessageIds(REPRINT_TITLE, choice == MENU_CANCEL ? MSG_CANCELLED : MSG_NOT_FOUND, RESULT_MS);
    return -1;
  }
  return MerchantMenuReportsRePrintByLastAction(choice);
}

int MerchantMenuReportsRePrintByLastAction(int choice) {
  if (choice < 1 || choice > static_cast<int>(std::size(kLastKinds))) return 0;
  return MerchantMenuReportsRePrintByLastTrxType(kLastKinds[choice - 1].type);
}

int MerchantMenuReportsRePrintByLastTrxType(int type) {
  TransactionRecord trx;
  clearTransaction(&trx);
  if (readLastTransaction(type, &trx) != 1) {
    int kindMessage = 0;
    for (const Kind &k : kLastKinds)
      if (k.type == type) kindMessage = k.message;
    char title[2 * UI_MESSAGE_BUFFER_SIZE + 4] = {}, buf[UI_MESSAGE_BUFFER_SIZE], text[UI_MESSAGE_BUFFER_SIZE];
    snprintf(title, sizeof title, "%s - %s", getUiMessage(178, buf), getUiMessage(kindMessage, text));
    showMessage(title, getUiMessage(MSG_NOT_FOUND, text), RESULT_MS);
    return -1;
  }
  printReceiptOfType(&trx, type, COPY_REPRINT);
  return 0;
}

int MerchantMenuReportsRePrintByStan() {
  char typed[8] = {};
  if (askNumber(179, 1, 6, typed, sizeof typed) != INPUT_ACCEPTED) return -1;
  // The merchant reads the switch's trace number off the receipt, leading zeros and all or not.
  char stan[8] = {};
  snprintf(stan, sizeof stan, "%06d", std::atoi(typed));
  TransactionRecord trx;
  clearTransaction(&trx);
  int type = 0;
  const int found = readTransactionByOrigStan(stan, &trx, &type);
  return reprintFound(found, &trx, type);
}

int MerchantMenuReportsRePrintByRrn() {
  char rrn[16] = {};
  if (askNumber(418, 6, 12, rrn, sizeof rrn) != INPUT_ACCEPTED) return -1;
  TransactionRecord trx;
  clearTransaction(&trx);
  int type = 0;
  const int found = readTransactionByRrn(rrn, &trx, &type);
  USB_printf2("readTransactionByRrn=%d  trxType=%d", found, type);
  return reprintFound(found, &trx, type);
}

/* ---- statements ------------------------------------------------------------------------------ */

int MerchantMenuReportsTransactions() {
  const int choice = menuOf(kStatementKinds, TITLE_DETAILED_STATEMENT);
  if (choice < 1) return -1;
  const int filter = choice == 1 ? TRX_FILTER_PURCHASE : choice == 2 ? TRX_FILTER_BILL : TRX_FILTER_CHARGE;
  char from[DATE_TIME_TEXT_SIZE] = {}, to[DATE_TIME_TEXT_SIZE] = {};
  if (!askRange(from, to)) return -1;
  return getDetailedStatement(filter, from, to, TITLE_DETAILED_STATEMENT);
}

int MerchantMenuReportsCashierTotal() {
  char from[DATE_TIME_TEXT_SIZE] = {}, to[DATE_TIME_TEXT_SIZE] = {};
  if (!askRange(from, to)) return -1;
  return getTotalStatement(TRX_FILTER_ALL, from, to, TITLE_CASHIER_TOTALS);
}

int MerchantMenuReportsHardware() {
  printHardware();
  return 0;
}

int getDetailedStatement(int filter, const char *from, const char *to, int titleMessage) {
  // Static: a thousand records are too many for the stack.
  static TransactionRecord records[STATEMENT_CAPACITY];
  showSearching(titleMessage);
  const int count = readTransactions(filter, from, to, records, STATEMENT_CAPACITY);
  mid_kbFlush();
  if (count <= 0) {
    showMessageIds(titleMessage, MSG_NOT_FOUND, RESULT_MS);
    return -1;
  }
  char printed[32];
  showPreparing(printed, sizeof printed);
  printDetailedStatement(filter, records, count, from, to, printed, titleMessage);
  mid_kbFlush();
  return 0;
}

int getTotalStatement(int, const char *from, const char *to, int titleMessage) {
  int64_t totals[8] = {};
  showSearching(titleMessage);
  const int count = readTransactionsTotally(from, to, totals);
  mid_kbFlush();
  if (count <= 0) {
    showMessageIds(titleMessage, MSG_NOT_FOUND, RESULT_MS);
    return -1;
  }
  char printed[32];
  showPreparing(printed, sizeof printed);
  printTotallyStatement(totals, from, to, printed, titleMessage);
  mid_kbFlush();
  return 0;
}

/* ---- the record dump ------------------------------------------------------------------------------ */

int trxToString(const TransactionRecord *trx, char *out, std::size_t outSize) {
  if (trx == nullptr) return 0;
  char line[TRX_DUMP_SIZE];
  char masked[32];
  maskCardNumber(trx->PAN, masked, sizeof masked);
  // Track 2 is never written: the field is left empty in the dump. A voucher's
  // PaymentId is its charge PIN, which stays off the port as well.
  const char *paymentId = transactionTypeOf(trx) == TT_VOUCHER && trx->PaymentId[0] != '\0' ? "***" : trx->PaymentId;
  const int n = snprintf(line, sizeof line,
                         "trx.MTI:%.4s, trx.ProcessCode:%.6s, trx.STAN:%.6s, trx.DateTime:%.10s, trx.Date:%.4s, "
                         "trx.Time:%.6s,trx.PAN:%s, trx.Track2:%s,  trx.Price:%.12s, trx.ResponseCode:%.2s, "
                         "trx.RRN:%.12s, trx.description:%.32s, trx.BillId:%.32s, trx.PaymentId:%s, "
                         "trx.CellphonNumber:%.11s, trx.companyId:%d, trx.companyName:%.31s, trx.Status:%d",
                         trx->MTI, trx->ProcessCode, trx->STAN, trx->DateTime, trx->Date, trx->Time, masked, "",
                         trx->Price, trx->ResponseCode, trx->RRN, trx->description, trx->BillId,
                         paymentId, trx->CellphonNumber, trx->companyId,
                         trx->companyName, static_cast<int>(trx->Status));
  USB_printf2("%s", line);
  if (out != nullptr && outSize > 0) snprintf(out, outSize, "%s", line);
  return n < 0 ? 0 : n;
}
