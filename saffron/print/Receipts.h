/*
 * Receipts.h - the receipt of one transaction record, one function per kind.
 *
 * Called after a transaction (customer copy, then the merchant copy), by the
 * engine when it recovers an unprinted or reversed transaction, and by the
 * reprint menus. Each returns the record's response code as a number (0 for
 * an approved record); a page the user gave up on at the paper dialog is lost,
 * and the function returns as if it had printed.
 */
#ifndef SAFFRON_PRINT_RECEIPTS_H
#define SAFFRON_PRINT_RECEIPTS_H

#include "journal/Journal.h"
#include "print/Printer.h"

// Reversal subtypes (printReverseTicket).
constexpr int REVERSE_PURCHASE = 1;
constexpr int REVERSE_BILL_PAYMENT = 4;
constexpr int REVERSE_VOUCHER = 5;
constexpr int REVERSE_TOPUP = 6;

// copy: COPY_CUSTOMER, COPY_MERCHANT or COPY_REPRINT. The merchant copy of a
// purchase carries the customer's signature line.
int printPurchaseTicket(TransactionRecord *trx, int copy);
// Always the customer copy. A second balance in BillId prints the actual
// balance (Price) and the withdrawable one (BillId).
int printBalanceTicket(TransactionRecord *trx);
int printBillPaymentTicket(TransactionRecord *trx, int copy);
// Voucher and top-up: printing an approved record whose Status is below 100
// sets it to 3 and rewrites the pending file, so a printed PIN is not taken
// for an unprinted one after a restart. The PIN is on the customer copy only.
int printVoucherTicket(TransactionRecord *trx, int copy);
int printTopupTicket(TransactionRecord *trx, int copy);
// The notice that a failed transaction's amount will be refunded.
int printReverseTicket(TransactionRecord *trx, int subtype);

// The record's response code as a decimal number (an empty code is 0).
int responseCodeOf(const TransactionRecord *trx);

#endif
