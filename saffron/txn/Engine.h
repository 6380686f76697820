/*
 * Engine.h - the transaction engine: one financial exchange with the switch
 * from connection to parsed answer, the journal status of the transaction at
 * every step, and the recovery that later completes (advice) or cancels
 * (reversal) a transaction interrupted by a lost answer or a power loss.
 *
 * Sections: results, the exchange, recovery, receipts the engine prints.
 */
#ifndef SAFFRON_TXN_ENGINE_H
#define SAFFRON_TXN_ENGINE_H

#include "journal/Journal.h"

/* ---- results ------------------------------------------------------------------ */

constexpr int ENGINE_NO_CONNECTION = -110;  // nothing was sent
constexpr int ENGINE_EXCHANGE_FAILED = -240; // sent, but no usable answer came back
constexpr int ENGINE_RESULT_OFFSET = 120;    // a link status s is reported as s - 120

/* ---- the exchange ---------------------------------------------------------------- */

// Connects to the configured switch (the arguments are not used). 0 when
// connected, ENGINE_NO_CONNECTION otherwise.
int doConnection(const char *address, int port);

// Runs one exchange of the given type (TT_*) over currentTransaction. Returns
// the parser's status when an answer arrived (0 approved, 91 declined, -130
// an inquiry answered without a response code; the advice and reversal give
// the numeric response code; a payment answered without a code is settled as
// a lost answer),
// ENGINE_NO_CONNECTION, or ENGINE_EXCHANGE_FAILED (a purchase, bill payment or
// voucher is then reversed at once; a top-up is dropped without a message).
int doTransaction(int type);

/* ---- recovery ----------------------------------------------------------------------- */

// Settles the transaction left in the pending file: reversal for one that never
// got its answer, advice for one that did. print 1 (start-up) also prints the
// receipts a customer may not have. Increases *count for a financial record.
// 0 when nothing is owed any more; otherwise the result of the exchange that
// failed, and new transactions must wait. The card just read (PAN, Track2)
// survives; every other field of currentTransaction is cleared.
int checkLastTransactionStatus(int *count, int print);
// Counts an unfinished financial transaction without settling it; drops a
// leftover inquiry. Returns 0.
int checkLastTransactionStatusLight(int *count);
// A declined transaction whose receipt was never printed: prints it as a
// reprint and removes the pending file. The print result, or 91 when nothing
// was printed.
int checkUprintedTransaction();

/* ---- receipts the engine prints ----------------------------------------------------- */

// The receipts the engine prints go through this table so that tests can watch
// them; the defaults are the receipts of print/.
struct EngineReceipts {
  int (*reversal)(TransactionRecord trx, int subtype);
  // The receipt of the record's own kind (purchase, bill payment, voucher, top-up).
  int (*ofKind)(TransactionRecord trx, int copy);
};
extern EngineReceipts engineReceipts;
extern const EngineReceipts engineReceiptsDefault;

// The reversal receipt's subtype of a record's kind (REVERSE_* of
// print/Receipts.h), 0 for a kind that is never reversed.
int reversalSubtypeOf(const TransactionRecord *trx);

#endif
