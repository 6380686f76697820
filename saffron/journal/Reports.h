/*
 * Reports.h - the merchant's report menu: reprints of earlier receipts (the
 * newest of a kind, by switch trace number, by reference number), the detailed
 * statement and cashier totals of a date-time range, and the hardware report;
 * and the diagnostic dump of a record.
 *
 * Every screen returns to its caller: the menus return their negative choice,
 * the actions 0 when something was printed and -1 when nothing was found or
 * the merchant cancelled.
 */
#ifndef SAFFRON_JOURNAL_REPORTS_H
#define SAFFRON_JOURNAL_REPORTS_H

#include <cstddef>

#include "journal/Journal.h"

constexpr int REPORTS_TITLE = 73;          // the report menu
constexpr int REPRINT_TITLE = 93;          // the reprint menu and its searches
constexpr int STATEMENT_CAPACITY = 1000;   // records one statement lists
constexpr std::size_t TRX_DUMP_SIZE = 1024;

// The report menu (reprint, detailed statement, cashier totals, hardware).
int MerchantMenuReports();
int MerchantMenuReportAction(int choice);
// The reprint menu: newest of a kind, by trace number, by reference number.
int MerchantMenuReportsRePrint();
int MerchantMenuReportsRePrintAction(int choice);
int MerchantMenuReportsRePrintByLast();
int MerchantMenuReportsRePrintByLastAction(int choice);
// type: TT_PURCHASE, TT_BILL_PAYMENT, TT_VOUCHER or TT_TOPUP.
int MerchantMenuReportsRePrintByLastTrxType(int type);
int MerchantMenuReportsRePrintByStan();
int MerchantMenuReportsRePrintByRrn();
int MerchantMenuReportsTransactions();
int MerchantMenuReportsCashierTotal();
int MerchantMenuReportsHardware();

// Searches [from, to) and prints; message 125 when nothing is in the range.
int getDetailedStatement(int filter, const char *from, const char *to, int titleMessage);
int getTotalStatement(int filter, const char *from, const char *to, int titleMessage);

// The receipt of a record of type (1, 5, 6, 7) as the given copy; -1 for another type.
int printReceiptOfType(TransactionRecord *trx, int type, int copy);

// The record as one diagnostic line, written to the debug port: the card
// number masked and track 2 left out. out may be null. Returns the length.
int trxToString(const TransactionRecord *trx, char *out, std::size_t outSize);

#endif
