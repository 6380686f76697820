/*
 * engine_test.cpp - the transaction engine against a running switchsim: every
 * payment ends approved and advised or reversed exactly once, whatever answer
 * is lost, and the pending file says at each step what is still owed.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "security/Injection.h"
#include "switch_fixture.h"
#include "txn/Engine.h"

namespace {

using enginetest::SwitchFixture;

constexpr const char *PAN_A = "6037991234567890";
constexpr const char *TRACK_A = "6037991234567890=2512101123456789";

// What the engine printed, in order: "reversal N" or "copy N PROCESSCODE".
std::vector<std::string> printed;

int watchReversal(TransactionRecord, int subtype) {
  printed.push_back("reversal " + std::to_string(subtype));
  return 0;
}
int watchCopy(TransactionRecord trx, int copy) {
  printed.push_back("copy " + std::to_string(copy) + " " + trx.ProcessCode);
  return 0;
}

class Engine : public SwitchFixture {
protected:
  void SetUp() override {
    SwitchFixture::SetUp();
    printed.clear();
    engineReceipts = {watchReversal, watchCopy};
  }
  void TearDown() override {
    engineReceipts = engineReceiptsDefault;
    SwitchFixture::TearDown();
  }

  // The card, the amount and a PIN block, as the customer flow leaves them.
  void cardAndPin(const char *price, const char *pin = "1234") {
    clearTransaction(&currentTransaction);
    std::strcpy(currentTransaction.PAN, PAN_A);
    std::strcpy(currentTransaction.Track2, TRACK_A);
    std::strcpy(currentTransaction.Price, price);
    sim::pushPinAnswer(pin);
    ASSERT_EQ(getPinDialog(), 0);
  }

  static TransactionRecord pending() {
    TransactionRecord t;
    clearTransaction(&t);
    readTempFile(&t);
    return t;
  }

  static int journalCount() {
    long size = enginetest::fs::exists(TRX_FILE) ? static_cast<long>(enginetest::fs::file_size(TRX_FILE)) : 0;
    return static_cast<int>(size / static_cast<long>(sizeof(TransactionRecord)));
  }
};

TEST_F(Engine, anApprovedPurchaseIsAnsweredThenAdvisedAndJournalledOnce) {
  startSwitch();
  logon();
  cardAndPin("120000");
  ASSERT_EQ(doTransaction(TT_PURCHASE), 0);
  EXPECT_EQ(pending().Status, TS_ANSWERED);
  EXPECT_STREQ(pending().Track2, "") << "track 2 never reaches a file";
  updateTransactionStatus(&currentTransaction, TS_RECEIPT_PRINTED);
  EXPECT_EQ(doTransaction(TT_APPROVE), 0);
  EXPECT_EQ(currentTransaction.Status, TS_COMPLETED);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  EXPECT_EQ(journalCount(), 1);
  EXPECT_NE(summary().find("1 approved and advised, 0 reversed, 0 declined, 0 still open"), std::string::npos)
      << summary();
  EXPECT_TRUE(printed.empty());
}

TEST_F(Engine, aDeclinedPurchaseKeepsItsAnswerPendingAndIsNeverReversed) {
  startSwitch();
  logon();
  cardAndPin("120000", "9999");
  EXPECT_EQ(doTransaction(TT_PURCHASE), STATUS_DECLINED);
  EXPECT_STREQ(currentTransaction.ResponseCode, "55");
  EXPECT_EQ(pending().Status, TS_ANSWERED);
  EXPECT_EQ(requestsOf("0420"), 0);
}

TEST_F(Engine, aPurchaseWhoseAnswerIsLostIsReversedAtOnce) {
  startSwitch("0200/000000 drop once\n");
  logon();
  cardAndPin("70000");
  EXPECT_EQ(doTransaction(TT_PURCHASE), ENGINE_EXCHANGE_FAILED);
  EXPECT_EQ(currentTransaction.Status, TS_REVERSED);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  EXPECT_EQ(printed, std::vector<std::string>{"reversal 1"});
  EXPECT_EQ(requestsOf("0420"), 1);
  EXPECT_NE(summary().find("0 approved and advised, 1 reversed, 0 declined, 0 still open"), std::string::npos)
      << summary();
  EXPECT_EQ(journalCount(), 0);
}

TEST_F(Engine, aTopupWhoseAnswerIsLostIsDroppedWithoutAReversalMessage) {
  startSwitch("0200/220000 drop once\n");
  logon();
  cardAndPin("50000");
  currentTransaction.companyId = 12;
  std::strcpy(currentTransaction.CellphonNumber, "09121234567");
  EXPECT_EQ(doTransaction(TT_TOPUP), ENGINE_EXCHANGE_FAILED);
  EXPECT_EQ(currentTransaction.Status, TS_REVERSED);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  EXPECT_EQ(printed, std::vector<std::string>{"reversal 6"});
  EXPECT_EQ(requestsOf("0420"), 0);
}

TEST_F(Engine, inquiriesLeaveTheJournalAloneAnsweredOrNot) {
  startSwitch("0100/310000 drop once\n");
  logon();
  cardAndPin("");
  EXPECT_EQ(doTransaction(TT_BALANCE), ENGINE_EXCHANGE_FAILED);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  cardAndPin("");
  EXPECT_EQ(doTransaction(TT_BALANCE), 0);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  EXPECT_EQ(journalCount(), 0);
  EXPECT_TRUE(printed.empty());
}

TEST_F(Engine, withoutASwitchNothingIsSentAndNothingIsOwed) {
  startSwitch();
  logon();
  stopSwitch();
  cardAndPin("120000");
  EXPECT_EQ(doTransaction(TT_PURCHASE), ENGINE_NO_CONNECTION);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
}

// Recovery, as a restart finds the pending file.

TEST_F(Engine, restartAfterTheRequestLeftSendsTheReversalAndPrintsItsReceipt) {
  startSwitch("0200/000000 drop once\n0420 close once\n");
  logon();
  cardAndPin("80000");
  EXPECT_EQ(doTransaction(TT_PURCHASE), ENGINE_EXCHANGE_FAILED);
  // The immediate reversal found the link closed: still owed.
  ASSERT_EQ(pending().Status, TS_REVERSING);
  // As if the power had gone right after the request left.
  TransactionRecord t = pending();
  t.Status = TS_REQUESTED;
  writeTempFile(t);
  printed.clear();

  std::strcpy(currentTransaction.PAN, "6219861111222233");
  std::strcpy(currentTransaction.Track2, "6219861111222233=2612101000000000");
  int count = 0;
  EXPECT_EQ(checkLastTransactionStatus(&count, 1), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(printed, std::vector<std::string>{"reversal 1"});
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  EXPECT_NE(summary().find("0 approved and advised, 1 reversed, 0 declined, 0 still open"), std::string::npos)
      << summary();
  // The card just read survives the settlement; nothing else of the old record does.
  EXPECT_STREQ(currentTransaction.PAN, "6219861111222233");
  EXPECT_STREQ(currentTransaction.Price, "");
  EXPECT_EQ(currentTransaction.Status, 0);
}

TEST_F(Engine, restartAfterTheAnswerReprintsAsCopyThreeThenAdvises) {
  startSwitch();
  logon();
  cardAndPin("90000");
  ASSERT_EQ(doTransaction(TT_PURCHASE), 0);
  ASSERT_EQ(pending().Status, TS_ANSWERED);
  clearTransaction(&currentTransaction);
  int count = 0;
  EXPECT_EQ(checkLastTransactionStatus(&count, 1), 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(printed, std::vector<std::string>{"copy 3 000000"});
  EXPECT_EQ(journalCount(), 1);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  EXPECT_NE(summary().find("1 approved and advised, 0 reversed, 0 declined, 0 still open"), std::string::npos)
      << summary();
}

TEST_F(Engine, anUnansweredAdviceBlocksNewTransactionsUntilItGetsThrough) {
  startSwitch("0220 drop once\n");
  logon();
  cardAndPin("60000");
  ASSERT_EQ(doTransaction(TT_PURCHASE), 0);
  updateTransactionStatus(&currentTransaction, TS_RECEIPT_PRINTED);
  EXPECT_EQ(doTransaction(TT_APPROVE), ENGINE_EXCHANGE_FAILED);
  EXPECT_EQ(pending().Status, TS_RECEIPT_PRINTED);
  int count = 0;
  // The idle-minute settlement prints nothing; the advice goes again and is answered.
  EXPECT_EQ(checkLastTransactionStatus(&count, 0), 0);
  EXPECT_TRUE(printed.empty());
  EXPECT_EQ(journalCount(), 1);
  EXPECT_EQ(requestsOf("0220"), 2);
  EXPECT_NE(summary().find("1 approved and advised, 0 reversed, 0 declined, 0 still open"), std::string::npos)
      << summary();
}

TEST_F(Engine, aTopupLeftWithoutAnswerIsDroppedAtRestartWithoutAMessage) {
  startSwitch("0200/220000 drop once\n");
  logon();
  cardAndPin("50000");
  currentTransaction.companyId = 11;
  std::strcpy(currentTransaction.CellphonNumber, "09351234567");
  doTransaction(TT_TOPUP);
  TransactionRecord t = currentTransaction;
  t.Status = TS_REQUESTED;
  writeTempFile(t);
  printed.clear();
  int count = 0;
  EXPECT_EQ(checkLastTransactionStatus(&count, 1), 0);
  EXPECT_EQ(printed, std::vector<std::string>{"reversal 6"});
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE)) << "a dropped top-up is not left pending for ever";
  EXPECT_EQ(requestsOf("0420"), 0);
}

TEST_F(Engine, pendingRecordsOutsideTheRecoveryLoop) {
  startSwitch();
  logon();
  // A declined purchase whose receipt was lost: printed once at start-up, then gone.
  cardAndPin("30000", "9999");
  ASSERT_EQ(doTransaction(TT_PURCHASE), STATUS_DECLINED);
  updateTransactionStatus(&currentTransaction, TS_DECLINED);
  EXPECT_EQ(checkUprintedTransaction(), 0);
  EXPECT_EQ(printed, std::vector<std::string>{"copy 3 000000"});
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
  EXPECT_EQ(checkUprintedTransaction(), STATUS_DECLINED);

  // A leftover inquiry is dropped by the light count, which settles nothing.
  TransactionRecord inquiry;
  clearTransaction(&inquiry);
  std::strcpy(inquiry.ProcessCode, "310000");
  inquiry.Status = TS_REQUESTED;
  writeTempFile(inquiry);
  int count = 0;
  EXPECT_EQ(checkLastTransactionStatusLight(&count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));

  // A completion cut short after its journal append is finished, not appended twice.
  cardAndPin("40000");
  ASSERT_EQ(doTransaction(TT_PURCHASE), 0);
  ASSERT_EQ(doTransaction(TT_APPROVE), 0);
  ASSERT_EQ(journalCount(), 1);
  TransactionRecord done = currentTransaction;
  writeTempFile(done); // status 100 still in the pending file
  EXPECT_EQ(checkLastTransactionStatus(&count, 1), 0);
  EXPECT_EQ(journalCount(), 1);
  EXPECT_FALSE(enginetest::fs::exists(TEMP_FILE));
}

} // namespace
