/*
 * Engine.cpp - the transaction engine: connection, one exchange per call with
 * its journal status, the immediate reversal of an unanswered payment, and the
 * recovery of a transaction left unfinished in the pending file.
 *
 * Sections: the kinds, receipts, connection, the exchange, recovery.
 *
 * The pending file is written (status 1) before a payment request leaves the
 * terminal, so whatever happens after that point, a later start or idle minute
 * finds the record and sends what it still needs: a reversal while no answer
 * was recorded, an advice once one was.
 */
#include "txn/Engine.h"

#include <cstdio>
#include <cstring>

#include "comm/Bearer.h"
#include "comm/Connection.h"
#include "comm/communication.h"
#include "core/Filing.h"
#include "core/debug.h"
#include "core/screen.h"
#include "core/time.h"
#include "journal/Reports.h"
#include "print/Receipts.h"
#include "txn/Transactions.h"
#include "ui/Display.h"
#include "ui/Messages.h"

namespace {

constexpr std::size_t MSG_SIZE = 128;
constexpr int TEXT_SENDING = 120; // "sending the transaction"
constexpr int TITLE_ROW = 0;
constexpr int TEXT_ROW = 4;
constexpr int CONNECT_WAIT_SLOT = 3;
constexpr int CONNECT_WAIT = 500;          // 50 s for the background connection, units of 100 ms
constexpr unsigned CONNECT_POLL_MS = 1;    // between two looks at connectionStatus

/* ---- the kinds -------------------------------------------------------------------- */

struct Kind {
  int type;
  const char *mti;          // nullptr: the record's own (advice, reversal)
  const char *processCode;
  int titleMessage;
  bool kept;                // status kept in the journal
};

constexpr Kind KINDS[] = {
    {TT_PURCHASE, "0200", "000000", 3, true},     {TT_BALANCE, "0100", "310000", 2, false},
    {TT_BILL_INQUIRY, "0100", "190000", 56, false}, {TT_BILL_PAYMENT, "0200", "170000", 56, true},
    {TT_VOUCHER, "0200", "180000", 57, true},       {TT_TOPUP, "0200", "220000", 57, true},
    {TT_APPROVE, nullptr, nullptr, 35, false},      {TT_REVERSE, nullptr, nullptr, 149, false},
};

const Kind *kindOf(int type) {
  for (const Kind &k : KINDS)
    if (k.type == type) return &k;
  return nullptr;
}

void setText(char *slot, std::size_t size, const char *text) {
  std::memset(slot, 0, size);
  std::snprintf(slot, size, "%s", text);
}

int buildRequest(int type, unsigned char *frame, std::size_t size) {
  switch (type) {
  case TT_PURCHASE: return getPurchaseTransaction(frame, size);
  case TT_BALANCE: return getBalanceTransaction(frame, size);
  case TT_BILL_INQUIRY: return getBillInqTransaction(frame, size);
  case TT_BILL_PAYMENT: return getBillPaymentTransaction(frame, size);
  case TT_VOUCHER:
  case TT_TOPUP: return getChargeTransaction(frame, size, type);
  case TT_APPROVE: return getApproveTransaction(frame, size);
  case TT_REVERSE: return getReverseTransaction(frame, size);
  default: return 0;
  }
}

int parseAnswer(int type, const unsigned char *frame, std::size_t len) {
  switch (type) {
  case TT_PURCHASE: return parsePurchaseTransaction(frame, len);
  case TT_BALANCE: return parseBalanceTransaction(frame, len);
  case TT_BILL_INQUIRY: return parseBillInqTransaction(frame, len);
  case TT_BILL_PAYMENT: return parseBillPaymentTransaction(frame, len);
  case TT_VOUCHER:
  case TT_TOPUP: return parseChargeTransaction(frame, len, type);
  case TT_APPROVE: return parseApproveTransaction(frame, len);
  case TT_REVERSE: return parseReverseTransaction(frame, len);
  default: return STATUS_DECLINED;
  }
}

bool isKind(const TransactionRecord &trx, const char *processCode) {
  return std::strncmp(trx.ProcessCode, processCode, sizeof trx.ProcessCode) == 0;
}

/* ---- receipts ----------------------------------------------------------------------------- */

int printByKind(TransactionRecord trx, int copy) {
  const int printed = printReceiptOfType(&trx, transactionTypeOf(&trx), copy);
  return printed < 0 ? STATUS_DECLINED : printed;
}

int printReversal(TransactionRecord trx, int subtype) { return printReverseTicket(&trx, subtype); }

} // namespace

const EngineReceipts engineReceiptsDefault = {printReversal, printByKind};
EngineReceipts engineReceipts = engineReceiptsDefault;

int reversalSubtypeOf(const TransactionRecord *trx) {
  switch (transactionTypeOf(trx)) {
  case TT_PURCHASE: return REVERSE_PURCHASE;
  case TT_BILL_PAYMENT: return REVERSE_BILL_PAYMENT;
  case TT_VOUCHER: return REVERSE_VOUCHER;
  case TT_TOPUP: return REVERSE_TOPUP;
  default: return 0;
  }
}

/* ---- connection ------------------------------------------------------------------------------ */

int doConnection(const char *, int) {
  if (isUsingTread != 0) {
    // The customer menu's background thread is connecting: wait for it.
    mid_sysTimerSet(CONNECT_WAIT_SLOT, CONNECT_WAIT);
    for (;;) {
      const int status = connectionStatus.load();
      if (status == LINK_UP) return 0;
      if (status != LINK_CONNECTING) break;
      mid_sleepMs(CONNECT_POLL_MS);
      if (mid_sysTimerCheck(CONNECT_WAIT_SLOT) == 0) {
        connectionStatus = LINK_DOWN;
        return ENGINE_NO_CONNECTION;
      }
    }
    // No thread connection (it failed, or an exchange that failed closed it):
    // connect here rather than give up, or the reversal owed after a lost
    // answer could never leave while the thread is in use.
  }
  return tryConnect() >= 0 ? 0 : ENGINE_NO_CONNECTION;
}

/* ---- the exchange ------------------------------------------------------------------------------ */

int doTransaction(int type) {
  const Kind *kind = kindOf(type);
  if (kind == nullptr) return STATUS_DECLINED;
  char title[MSG_SIZE] = {};
  char text[MSG_SIZE] = {};
  if (kind->mti != nullptr) {
    setText(currentTransaction.MTI, sizeof currentTransaction.MTI, kind->mti);
    setText(currentTransaction.ProcessCode, sizeof currentTransaction.ProcessCode, kind->processCode);
  }
  getUiMessage(kind->titleMessage, title, sizeof title);
  getUiMessage(TEXT_SENDING, text, sizeof text);
  mid_lcdCls();
  lcdPrintC(1, TITLE_ROW, LINE_CENTER, FONT_FILE, 0, title);
  lcdPrint(1, TEXT_ROW, LINE_CENTER, FONT_FILE, 0, text, std::strlen(text));

  if (doConnection(config.HostIP, config.HostPort) != 0) return ENGINE_NO_CONNECTION;

  unsigned char request[TXN_FRAME_SIZE] = {};
  const int requestLen = buildRequest(type, request, sizeof request);
  if (requestLen <= 0) {
    // Nothing could be built, so nothing leaves the terminal and nothing is owed.
    tryDisconnect();
    return ENGINE_NO_CONNECTION;
  }
  if (kind->kept) updateTransactionStatus(&currentTransaction, TS_REQUESTED);

  unsigned char response[TXN_FRAME_SIZE] = {};
  int responseLen = 0;
  int status = remoteAction(request, requestLen, title, text, response, &responseLen,
                            static_cast<int>(sizeof response), config.linkMode);
  // A wait that ran out reads as success with nothing received.
  if (status == 0 && responseLen <= 0) status = -ENGINE_RESULT_OFFSET;

  int result = 0;
  if (status == 0) {
    result = parseAnswer(type, response, static_cast<std::size_t>(responseLen));
    // An answer without a response code says nothing of what the switch did
    // with a payment: it is settled as a lost answer, never taken for a decline.
    if (kind->kept && result == STATUS_NO_RESPONSE_CODE) status = -ENGINE_RESULT_OFFSET;
  }
  if (status == 0) {
    if (kind->kept) updateTransactionStatus(&currentTransaction, TS_ANSWERED);
    else if (type == TT_APPROVE) updateTransactionStatus(&currentTransaction, TS_COMPLETED);
    else if (type == TT_REVERSE) updateTransactionStatus(&currentTransaction, TS_REVERSED);
    return result;
  }

  // No usable answer: this connection is done with, and a late answer to this
  // request must never be read as the answer to the next one.
  tryDisconnect();
  result = status - ENGINE_RESULT_OFFSET;
  if (!kind->kept) return result; // an unanswered advice or reversal is repeated by recovery
  if (type == TT_TOPUP) {
    engineReceipts.reversal(currentTransaction, REVERSE_TOPUP);
    updateTransactionStatus(&currentTransaction, TS_REVERSED);
    return result;
  }
  updateTransactionStatus(&currentTransaction, TS_REVERSE_NEEDED);
  engineReceipts.reversal(currentTransaction, reversalSubtypeOf(&currentTransaction));
  updateTransactionStatus(&currentTransaction, TS_REVERSING);
  doTransaction(TT_REVERSE);
  return result;
}

/* ---- recovery ------------------------------------------------------------------------------------- */

namespace {

bool isKeptKind(const TransactionRecord &trx) { return transactionTypeOf(&trx) != 0; }

bool awaitsAnswer(int status) {
  return status == TS_REQUESTED || status == TS_REVERSE_NEEDED || status == TS_REVERSING;
}

// Settles the pending record now in currentTransaction; the exchange's result.
int settlePending(int print) {
  TransactionRecord &trx = currentTransaction;
  const bool topup = isKind(trx, "220000");
  if (awaitsAnswer(trx.Status)) {
    if (trx.Status != TS_REVERSING && print == 1) engineReceipts.reversal(trx, reversalSubtypeOf(&trx));
    if (topup) {
      // A top-up is never reversed by message: it is dropped as it is when its
      // answer is lost during the exchange.
      updateTransactionStatus(&trx, TS_REVERSED);
      return 0;
    }
    if (trx.Status != TS_REVERSING) updateTransactionStatus(&trx, TS_REVERSING);
    return doTransaction(TT_REVERSE);
  }
  // The answer had arrived: the customer may never have had the receipt.
  if (trx.Status < TS_RECEIPT_PRINTED && print == 1) engineReceipts.ofKind(trx, COPY_REPRINT);
  return doTransaction(TT_APPROVE);
}

} // namespace

int checkLastTransactionStatus(int *count, int print) {
  char pan[sizeof currentTransaction.PAN];
  char track2[sizeof currentTransaction.Track2];
  std::memcpy(pan, currentTransaction.PAN, sizeof pan);
  std::memcpy(track2, currentTransaction.Track2, sizeof track2);

  clearTransaction(&currentTransaction);
  readTempFile(&currentTransaction);
  int result = 0;
  const int status = currentTransaction.Status;
  if (status >= 1 && status <= 99) {
    if (isKeptKind(currentTransaction)) {
      if (count != nullptr) ++*count;
      result = settlePending(print);
    } else {
      removeTempFile(); // an inquiry changes nothing at the switch
    }
    if (currentTransaction.Status >= TS_COMPLETED) {
      removeTempFile();
      result = 0;
    }
  } else {
    // Left mid-way through its last file step by a power loss.
    finishCompletedPending(&currentTransaction);
  }

  // The new transaction starts from its card alone: a field left from the
  // settled one (a second balance in BillId, say) must not reach its receipt.
  clearTransaction(&currentTransaction);
  std::memcpy(currentTransaction.PAN, pan, sizeof pan);
  std::memcpy(currentTransaction.Track2, track2, sizeof track2);
  std::memset(pan, 0, sizeof pan);
  std::memset(track2, 0, sizeof track2);
  return result;
}

int checkLastTransactionStatusLight(int *count) {
  TransactionRecord pending;
  clearTransaction(&pending);
  readTempFile(&pending);
  if (pending.Status >= 1 && pending.Status <= 99) {
    if (isKeptKind(pending)) {
      if (count != nullptr) ++*count;
    } else {
      removeTempFile();
    }
  }
  return 0;
}

int checkUprintedTransaction() {
  TransactionRecord pending;
  clearTransaction(&pending);
  readTempFile(&pending);
  if (pending.Status != TS_DECLINED) return STATUS_DECLINED;
  int result = STATUS_DECLINED;
  if (isKeptKind(pending)) result = engineReceipts.ofKind(pending, COPY_REPRINT);
  removeTempFile();
  return result;
}
