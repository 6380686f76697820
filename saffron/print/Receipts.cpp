/*
 * Receipts.cpp - the six transaction receipts: one skeleton of header lines
 * (merchant, title, terminal and time, merchant number, trace and reference
 * numbers, bank and card, tax code), the result block of the kind, the
 * signature line of a purchase's merchant copy, a spacer and the logo.
 */
#include "print/Receipts.h"

#include <cstdlib>
#include <cstring>

#include "core/Filing.h"
#include "journal/Journal.h"
#include "txn/ResponseCodes.h"
#include "util/Strings.h"

namespace {

constexpr int F = PRN_FONT_RECEIPT;
constexpr int TAIL = 55;           // page below the spacer: the logo
constexpr int REVERSAL_TAIL = 50;

// How far a title advances the page: purchases and bill payments leave a blank
// band under it, balances and vouchers pack tighter than top-ups and reversals.
int titleAdvance(int kind, int h) {
  switch (kind) {
    case TICKET_PURCHASE:
    case TICKET_BILL: return (h - 7) + (h - 5);
    case TICKET_BALANCE:
    case TICKET_VOUCHER: return h - 7;
    default: return h - 5;
  }
}

// Steps 1 to 6 of every receipt; returns the position under them.
int printHeader(const TransactionRecord *trx, int kind, const char *company, int subtype, int copy) {
  openPrinter();
  int y = 0;
  const int merchant = printMerchantNameNphone(F, PRN_RIGHT_X, y);
  // No merchant name prints nothing: its overlap would push the title off the page.
  if (merchant > 0) y += merchant - 6;
  y += titleAdvance(kind, printTicketType(F, kind, company, subtype, copy, PRN_RIGHT_X, y));
  y += printTerminalNdateTime(F, trx->Date, trx->Time, PRN_LEFT_X, y) - 10;
  y += printMerchantNo(F, PRN_LEFT_X, y) - 10;
  y += printStanNrrn(F, trx->SwitchSTAN, trx->RRN, PRN_LEFT_X, y) - 5;
  y += printBankNcard(F, trx->PAN, PRN_LEFT_X, y) - 5;
  if (config.taxCode[0] != '\0') y += printTaxCode(F, PRN_LEFT_X, y);
  return y;
}

// Spacer, logo, and the page itself.
void printTail(int y, int tail) {
  const int spacer = printLine(F, PRN_RIGHT_X, y);
  printLogoXY(F, 0, y + spacer);
  startPrint(y + spacer + tail);
}

int printDeclined(const TransactionRecord *trx, int y) {
  return printFailed(F, responseCodeOf(trx), PRN_RIGHT_X, y, 1);
}

// A printed voucher PIN or top-up must not be taken for an unprinted one after
// a restart: move the pending record on to "printed".
void markPrinted(TransactionRecord *trx) {
  if (trx->Status >= TS_COMPLETED) return;
  updateTransactionStatus(trx, TS_RECEIPT_PRINTED);
}

} // namespace

int responseCodeOf(const TransactionRecord *trx) { return std::atoi(trx->ResponseCode); }

int printPurchaseTicket(TransactionRecord *trx, int copy) {
  int y = printHeader(trx, TICKET_PURCHASE, nullptr, 0, copy);
  const int code = responseCodeOf(trx);
  if (code == 0)
    y += printPriceEx(F, trx->Price, PRN_RIGHT_X, y);
  else
    y += printDeclined(trx, y);
  if (copy == COPY_MERCHANT) y += printCustomerSign(F, PRN_LEFT_X, y);
  printTail(y, TAIL);
  return code;
}

int printBalanceTicket(TransactionRecord *trx) {
  int y = printHeader(trx, TICKET_BALANCE, nullptr, 0, COPY_CUSTOMER);
  const int code = responseCodeOf(trx);
  if (code != 0) {
    y += printDeclined(trx, y);
  } else if (trx->BillId[0] == '\0') {
    y += printBalance(F, trx->Price, PRN_RIGHT_X, y);
  } else {
    y += printBalance2(F, trx->Price, PRN_RIGHT_X, y);   // actual balance
    y += printBalance1(F, trx->BillId, PRN_RIGHT_X, y);  // withdrawable, then the fee
  }
  printTail(y, TAIL);
  return code;
}

int printBillPaymentTicket(TransactionRecord *trx, int copy) {
  char company[2 * sizeof trx->description + 1] = {};
  // The bill company's name is stored in the single-byte code page of the bill tables.
  convertStr(trx->description, static_cast<int>(strnlen(trx->description, sizeof trx->description)), 0, 2, 6,
             company, sizeof company);
  int y = printHeader(trx, TICKET_BILL, company, 0, copy);
  const int code = responseCodeOf(trx);
  if (code == 0) {
    y += printBiluesc(F, trx->BillId, trx->PaymentId, PRN_LEFT_X, y);
    y += printPriceEx(F, trx->Price, PRN_RIGHT_X, y);
  } else {
    y += printDeclined(trx, y);
  }
  printTail(y, TAIL);
  return code;
}

namespace {
// Voucher and top-up: the charge's own lines, the amount, and the status move.
int printChargeTicket(TransactionRecord *trx, int copy, int kind) {
  int y = printHeader(trx, kind, trx->companyName, 0, copy);
  const int code = responseCodeOf(trx);
  if (code == 0) {
    if (kind == TICKET_VOUCHER)
      y += printVoucherDesc(F, trx, PRN_LEFT_X, y, copy);
    else
      y += printTopupDesc(F, trx->companyName, trx->CellphonNumber, PRN_LEFT_X, y);
    y += printPriceEx(F, trx->Price, PRN_RIGHT_X, y);
    markPrinted(trx);
  } else {
    y += printDeclined(trx, y);
  }
  printTail(y, TAIL);
  return code;
}
} // namespace

int printVoucherTicket(TransactionRecord *trx, int copy) { return printChargeTicket(trx, copy, TICKET_VOUCHER); }

int printTopupTicket(TransactionRecord *trx, int copy) { return printChargeTicket(trx, copy, TICKET_TOPUP); }

int printReverseTicket(TransactionRecord *trx, int subtype) {
  int y = printHeader(trx, TICKET_REVERSAL, nullptr, subtype, COPY_CUSTOMER);
  y += printFailed(F, RESPONSE_TRANSACTION_ERROR, PRN_RIGHT_X, y, 0);
  y += printReverseDesc(PRN_FONT_SMALL, subtype, PRN_RIGHT_X, y);
  printTail(y, REVERSAL_TAIL);
  return responseCodeOf(trx);
}
