// TransactionStatus.cpp - the journal status of a record and what each value
// does to the pending file, the journal and the last-record file.
#include <cstring>

#include "core/debug.h"
#include "journal/Journal.h"

namespace {

bool sameTransaction(const TransactionRecord &a, const TransactionRecord &b) {
  return std::strncmp(a.ProcessCode, b.ProcessCode, sizeof a.ProcessCode) == 0 &&
         std::strncmp(a.STAN, b.STAN, sizeof a.STAN) == 0 && std::strncmp(a.RRN, b.RRN, sizeof a.RRN) == 0 &&
         std::strncmp(a.DateTime, b.DateTime, sizeof a.DateTime) == 0;
}

// Appends a completed record unless the journal's newest record of its kind is
// this very transaction (an append that a power loss interrupted afterwards).
int appendOnce(const TransactionRecord &trx) {
  TransactionRecord newest;
  clearTransaction(&newest);
  const int type = transactionTypeOf(&trx);
  if (type != 0 && readLastTransaction(type, &newest) == 1 && sameTransaction(newest, trx)) return 0;
  return writeTransaction2File(trx) < 0 ? -1 : 0;
}

} // namespace

int updateTransactionStatus(TransactionRecord *trx, int status) {
  if (trx == nullptr) return -1;
  trx->Status = status;
  USB_printf2("updateTransactionStatus(%d)", status);
  if (status < TS_COMPLETED || status == TS_DECLINED) return writeTempFile(*trx) < 0 ? -1 : 0;
  int result = 0;
  switch (status) {
  case TS_COMPLETED:
    // Marked complete in the pending file first: from here on recovery finishes
    // the bookkeeping and never sends the advice again.
    if (writeTempFile(*trx) < 0) return -1;
    if (appendOnce(*trx) < 0) result = -1;
    if (writeLastTransaction2File(*trx) < 0) result = -1;
    // The pending file is the record's only copy until both are written; kept,
    // the next start-up finishes the bookkeeping (both steps repeat safely).
    if (result == 0) removeTempFile();
    return result;
  case TS_DECLINE_DONE:
    if (writeLastTransaction2File(*trx) < 0) result = -1;
    if (result == 0) removeTempFile();
    return result;
  case TS_REVERSED:
    removeTempFile();
    return 0;
  default:
    return 0;
  }
}

int finishCompletedPending(const TransactionRecord *pending) {
  if (pending == nullptr) return 0;
  const int status = pending->Status;
  if (status != TS_COMPLETED && status != TS_DECLINE_DONE && status != TS_REVERSED) return 0;
  TransactionRecord copy = *pending;
  updateTransactionStatus(&copy, status);
  return 1;
}
