/*
 * txn_messages_test.cpp - the logon and financial requests byte for byte, and
 * what their parsers take from an answer. MACs are cross-checked against the
 * switch simulator's own implementation of the retail MAC.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/Filing.h"
#include "crypto.h"
#include "journal/Journal.h"
#include "security/Injection.h"
#include "txn/Transactions.h"
#include "txn_support.h"

using txntest::answerFrame;
using txntest::Bytes;
using txntest::fieldsOf;
using txntest::hexOf;
using txntest::TxnTerminal;

namespace {

struct Keys {
  std::uint8_t master[16], pin[16], mac[16], data[16];
};

Keys knownKeys() {
  Keys k;
  switchsim::fromHex(TERMINAL_MASTER_KEY_HEX, k.master, 16);
  for (int i = 0; i < 16; ++i) {
    k.pin[i] = static_cast<std::uint8_t>(0x10 + i);
    k.mac[i] = static_cast<std::uint8_t>(0x40 + 3 * i);
    k.data[i] = static_cast<std::uint8_t>(0x80 + 5 * i);
  }
  return k;
}

// Field 62 of a key-exchange answer: the three keys enciphered under the master key.
std::string field62(const Keys &k) {
  std::uint8_t clear[48], enc[48];
  std::memcpy(clear, k.pin, 16);
  std::memcpy(clear + 16, k.mac, 16);
  std::memcpy(clear + 32, k.data, 16);
  EXPECT_TRUE(switchsim::tdesEcb(k.master, clear, enc, 48, true));
  return std::string(reinterpret_cast<char *>(enc), 48);
}

// The MAC key the PIN pad holds after the key exchange wrote zero working keys.
void provisionalKey(std::uint8_t out[16]) {
  Keys k = knownKeys();
  const std::uint8_t zeros[16] = {0};
  switchsim::tdesEcb(k.master, zeros, out, 16, false);
}

void loadKeys(const Keys &k) {
  ASSERT_EQ(loadTerminalMasterKey(), 0);
  std::string enc = field62(k);
  const auto *e = reinterpret_cast<const unsigned char *>(enc.data());
  ASSERT_EQ(writePinKey(16, e), 0);
  ASSERT_EQ(writeMacKey(16, e + 16), 0);
  ASSERT_EQ(writeAccKey(16, e + 32), 0);
}

// The MAC text carried by a request frame, checked by the switch's implementation.
std::string switchMac(const std::uint8_t key[16], const unsigned char *frame, int len, std::size_t exclude = 8) {
  return switchsim::macText(key, frame + 7, static_cast<std::size_t>(len - 7), exclude);
}

void fillCard(const char *pan, const char *track2) {
  std::strcpy(currentTransaction.PAN, pan);
  std::strcpy(currentTransaction.Track2, track2);
  for (int i = 0; i < 8; ++i)
    currentTransaction.pinBlock[i] = static_cast<unsigned char>(0xA0 + i);
}

void setKind(const char *mti, const char *pc) {
  std::strcpy(currentTransaction.MTI, mti);
  std::strcpy(currentTransaction.ProcessCode, pc);
}

} // namespace

/* ---- key exchange ------------------------------------------------------------------ */

TEST_F(TxnTerminal, keyExchangeRequestIsFramedByteForByte) {
  unsigned char frame[TXN_FRAME_SIZE];
  int len = getLogonKeyExchangeTransaction(frame, sizeof(frame));
  ASSERT_EQ(len, 74);
  const std::string tags = "1101"
                           "31323334353637383930"
                           "1202"
                           "3134303132343036303035"
                           "020331"
                           "021537"
                           "022231";
  const std::string expected = "0048"
                               "6000060080"
                               "0800"
                               "2038010000010001"
                               "920000"
                               "000001"
                               "101500"
                               "0615"
                               "0006"
                               "0034" +
                               tags;
  EXPECT_EQ(hexOf(frame, static_cast<std::size_t>(len - 8)), expected);
  std::uint8_t key[16];
  provisionalKey(key);
  // Over the packed message less its last 4 bytes, with the provisional keys.
  EXPECT_EQ(std::string(reinterpret_cast<char *>(frame + len - 8), 8), switchMac(key, frame, len, 4));
  EXPECT_STREQ(currentTransaction.STAN, "000001");
  EXPECT_STREQ(currentTransaction.DateTime, "2606151015");
}

TEST_F(TxnTerminal, approvedKeyExchangeTakesIdentifiersAndWorkingKeys) {
  unsigned char frame[TXN_FRAME_SIZE];
  ASSERT_GT(getLogonKeyExchangeTransaction(frame, sizeof(frame)), 0);
  Keys k = knownKeys();
  Bytes answer = answerFrame({{0, "0810"},
                              {3, "920000"},
                              {11, "000001"},
                              {37, "610000000001"},
                              {38, "000042"},
                              {39, "00"},
                              {41, "20000002"},
                              {42, "987654321      "},
                              {62, field62(k)}});
  EXPECT_EQ(parseLogonKeyExchangeTransaction(answer.data(), answer.size()), 0);
  EXPECT_STREQ(config.TerminalNo, "20000002");
  EXPECT_STREQ(config.MerchantNo, "987654321");
  EXPECT_STREQ(currentTransaction.RRN, "610000000001");
  EXPECT_STREQ(currentTransaction.SwitchSTAN, "000042");
  EXPECT_STREQ(turnRow.lastSucceedStan, "000001");
  // Saved: a reload keeps the identifiers.
  std::memset(&config, 0, sizeof(config));
  readConfigFromFile(0);
  EXPECT_STREQ(config.TerminalNo, "20000002");
  // The next request is MACed with the new MAC key.
  int len = getLogonMercInfoTransaction(frame, sizeof(frame));
  ASSERT_GT(len, 0);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(frame + len - 8), 8), switchMac(k.mac, frame, len));
  EXPECT_EQ(fieldsOf(frame, len)[41], "20000002");
}

TEST_F(TxnTerminal, keyExchangeAnswered77WritesNoKeysAndKeepsIdentifiers) {
  unsigned char frame[TXN_FRAME_SIZE];
  ASSERT_GT(getLogonKeyExchangeTransaction(frame, sizeof(frame)), 0);
  Bytes answer =
      answerFrame({{0, "0810"}, {39, "77"}, {41, "99999999"}, {42, "555555555555555"}, {62, field62(knownKeys())}});
  EXPECT_EQ(parseLogonKeyExchangeTransaction(answer.data(), answer.size()), 77);
  EXPECT_STREQ(currentTransaction.ResponseCode, "77");
  EXPECT_STREQ(config.TerminalNo, "10000001");
  EXPECT_STREQ(config.MerchantNo, "123456789012");
  std::uint8_t key[16];
  provisionalKey(key);
  int len = getLogonMercInfoTransaction(frame, sizeof(frame));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(frame + len - 8), 8), switchMac(key, frame, len));
}

TEST_F(TxnTerminal, shortField62LoadsTheMissingKeyBytesAsZeros) {
  unsigned char frame[TXN_FRAME_SIZE];
  ASSERT_GT(getLogonKeyExchangeTransaction(frame, sizeof(frame)), 0);
  std::string only16 = field62(knownKeys()).substr(0, 16); // the PIN key alone
  Bytes answer = answerFrame({{0, "0810"}, {39, "00"}, {62, only16}});
  EXPECT_EQ(parseLogonKeyExchangeTransaction(answer.data(), answer.size()), 0);
  std::uint8_t key[16];
  provisionalKey(key); // the MAC key bytes were zeros
  int len = getLogonMercInfoTransaction(frame, sizeof(frame));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(frame + len - 8), 8), switchMac(key, frame, len));
}

TEST_F(TxnTerminal, logonAnswersWithoutApprovalReportTheirCode) {
  Bytes declined = answerFrame({{0, "0810"}, {39, "05"}, {41, "99999999"}});
  EXPECT_EQ(parseLogonKeyExchangeTransaction(declined.data(), declined.size()), 91);
  EXPECT_STREQ(currentTransaction.ResponseCode, "05");
  EXPECT_STREQ(config.TerminalNo, "10000001");
  Bytes noCode = answerFrame({{0, "0810"}, {41, "99999999"}});
  EXPECT_EQ(parseLogonKeyExchangeTransaction(noCode.data(), noCode.size()), -130);
  EXPECT_EQ(parseLogonMercInfoTransaction(noCode.data(), noCode.size()), -130);
  Bytes code77 = answerFrame({{0, "0110"}, {39, "77"}});
  EXPECT_EQ(parseLogonMercInfoTransaction(code77.data(), code77.size()),
            91); // 77 means something only to the key exchange
}

TEST_F(TxnTerminal, merchantInformationReplacesNameAndSettings) {
  std::strcpy(config.MerchantName, "old name");
  writeConfig2File();
  std::string tags = std::string("\x06\x31") + "\xC8\xD1\\xx" + "\x05\x34" + "1234" + "\x03\x49" + "12";
  Bytes answer = answerFrame({{0, "0110"}, {39, "00"}, {42, "777         "}, {48, tags}});
  EXPECT_EQ(parseLogonMercInfoTransaction(answer.data(), answer.size()), 0);
  EXPECT_STREQ(config.MerchantName, "\xD8\xA8\xD8\xB1");
  EXPECT_STREQ(config.merchantPhone, "1234");
  EXPECT_EQ(config.merchantParam49, 12);
  EXPECT_STREQ(config.MerchantNo, "777");
  // A name tag without its backslash leaves the name cleared.
  Bytes noSlash = answerFrame({{0, "0110"}, {39, "00"}, {48, std::string("\x03\x31") + "\xC8\xD1"}});
  EXPECT_EQ(parseLogonMercInfoTransaction(noSlash.data(), noSlash.size()), 0);
  EXPECT_STREQ(config.MerchantName, "");
}

/* ---- financial requests -------------------------------------------------------------- */

TEST_F(TxnTerminal, purchaseCarriesItsFieldsAndAValidMac) {
  Keys k = knownKeys();
  loadKeys(k);
  setKind("0200", "000000");
  fillCard("6037991234567890", "6037991234567890=2512101123456789");
  std::strcpy(currentTransaction.Price, "150000");
  unsigned char frame[TXN_FRAME_SIZE];
  int len = getPurchaseTransaction(frame, sizeof(frame));
  ASSERT_GT(len, 0);
  // Bitmap: 2, 3, 4, 11, 12, 13, 22, 24, 25, 35, 41, 42, 48, 49, 52, 64.
  EXPECT_EQ(hexOf(frame + 9, 8), "7038058020C19001");
  // Field 2 right after the bitmap: length byte 0x16 and 8 bytes.
  EXPECT_EQ(hexOf(frame + 17, 9), "166037991234567890");
  auto f = fieldsOf(frame, len);
  EXPECT_EQ(f[4], "000000150000");
  EXPECT_EQ(f[11], "000001");
  EXPECT_EQ(f[12], "101500");
  EXPECT_EQ(f[13], "0615");
  EXPECT_EQ(f[22], "021");
  EXPECT_EQ(f[24], "006");
  EXPECT_EQ(f[25], "00");
  EXPECT_EQ(f[41], "10000001");
  EXPECT_EQ(f[42], "123456789012   ");
  EXPECT_EQ(f[49], "364");
  EXPECT_EQ(f[52], "\xA0\xA1\xA2\xA3\xA4\xA5\xA6\xA7");
  EXPECT_EQ(hexOf(reinterpret_cast<const std::uint8_t *>(f[35].data()), f[35].size()),
            "6037991234567890D2512101123456789"
            "0");
  EXPECT_EQ(f[48].substr(0, 12), std::string("\x11\x01") + "1234567890");
  EXPECT_EQ(f[64], switchMac(k.mac, frame, len));
  EXPECT_STREQ(currentTransaction.STAN, "000001");
  EXPECT_STREQ(turnRow.originalStan, "000001");
}

TEST_F(TxnTerminal, nineteenDigitCardGoesOutWithATrailingF) {
  loadKeys(knownKeys());
  setKind("0200", "000000");
  fillCard("6104337012345678901", "6104337012345678901=27061011234567");
  std::strcpy(currentTransaction.Price, "1000");
  unsigned char frame[TXN_FRAME_SIZE];
  int len = getPurchaseTransaction(frame, sizeof(frame));
  ASSERT_GT(len, 0);
  EXPECT_EQ(hexOf(frame + 17, 11), "196104337012345678901F");
  // A 34-character track 2: 17 bytes and 0x0F, digit count 35.
  auto f = fieldsOf(frame, len);
  ASSERT_EQ(f[35].size(), 18u);
  EXPECT_EQ(static_cast<unsigned char>(f[35][17]), 0x0F);
  std::string raw(reinterpret_cast<char *>(frame), static_cast<std::size_t>(len));
  EXPECT_NE(raw.find(std::string("\x35") + f[35]), std::string::npos);
}

TEST_F(TxnTerminal, balanceAndBillInquirySendOnlyTheirFields) {
  loadKeys(knownKeys());
  setKind("0100", "310000");
  fillCard("6037991234567890", "6037991234567890=2512101123456789");
  unsigned char frame[TXN_FRAME_SIZE];
  int len = getBalanceTransaction(frame, sizeof(frame));
  auto f = fieldsOf(frame, len);
  EXPECT_EQ(f.count(4), 0u);
  EXPECT_EQ(f.count(49), 0u);
  EXPECT_EQ(f.count(52), 1u);
  EXPECT_STREQ(turnRow.originalStan, ""); // trace flag 0 keeps no original

  clearTransaction(&currentTransaction);
  setKind("0100", "190000");
  std::strcpy(currentTransaction.BillId, "1234567890123");
  std::strcpy(currentTransaction.PaymentId, "15000123");
  len = getBillInqTransaction(frame, sizeof(frame));
  f = fieldsOf(frame, len);
  for (unsigned absent : {2u, 4u, 35u, 52u})
    EXPECT_EQ(f.count(absent), 0u) << absent;
  EXPECT_NE(f[48].find(std::string("\x14\x06") + "1234567890123" + "\x09\x07" + "15000123"), std::string::npos);
  EXPECT_EQ(f[11], "000002");
}

TEST_F(TxnTerminal, chargeTagsNameOperatorAmountAndPhone) {
  loadKeys(knownKeys());
  setKind("0200", "220000");
  fillCard("6037991234567890", "6037991234567890=2512101123456789");
  std::strcpy(currentTransaction.Price, "20000");
  currentTransaction.companyId = 11;
  std::strcpy(currentTransaction.CellphonNumber, "09121234567");
  unsigned char frame[TXN_FRAME_SIZE];
  int len = getChargeTransaction(frame, sizeof(frame), 7);
  auto f = fieldsOf(frame, len);
  EXPECT_NE(f[48].find(std::string("\x05\x14") + "1142" + "\x12\x08" + "09121234567"), std::string::npos);
  setKind("0200", "180000");
  len = getChargeTransaction(frame, sizeof(frame), 6);
  f = fieldsOf(frame, len);
  EXPECT_NE(f[48].find(std::string("\x05\x14") + "1142"), std::string::npos);
  EXPECT_EQ(f[48].find(std::string("\x08") + "09121234567"), std::string::npos); // no phone for a voucher
}

TEST_F(TxnTerminal, reversalNamesTheOriginalInField90) {
  Keys k = knownKeys();
  loadKeys(k);
  setKind("0200", "000000");
  fillCard("6037991234567890", "6037991234567890=2512101123456789");
  std::strcpy(currentTransaction.Price, "150000");
  std::strcpy(currentTransaction.STAN, "000123");
  std::strcpy(currentTransaction.Date, "0615");
  std::strcpy(currentTransaction.Time, "101500");
  std::strcpy(currentTransaction.DateTime, "2606141015"); // field 13 comes from here
  std::strcpy(turnRow.stanNo, "000200");
  writeTurnRow2File();
  unsigned char frame[TXN_FRAME_SIZE];
  int len = getReverseTransaction(frame, sizeof(frame));
  ASSERT_GT(len, 0);
  auto f = fieldsOf(frame, len);
  EXPECT_EQ(f[0], "0420");
  EXPECT_EQ(f[90], "020000012306151015000058167205200000603799");
  EXPECT_EQ(f[11], "000201");
  EXPECT_EQ(f[12], "101500");
  EXPECT_EQ(f[13], "0614");
  EXPECT_EQ(f[49], "364");
  for (unsigned absent : {35u, 48u, 52u, 64u})
    EXPECT_EQ(f.count(absent), 0u) << absent;
  EXPECT_EQ(f[128], switchMac(k.mac, frame, len));
  EXPECT_STREQ(currentTransaction.STAN, "000123");
}

TEST_F(TxnTerminal, adviceTakesANewTraceNumberAndKeepsTheOriginal) {
  Keys k = knownKeys();
  loadKeys(k);
  setKind("0200", "170000");
  fillCard("6104337012345678901", "6104337012345678901=27061011234567");
  std::strcpy(currentTransaction.Price, "000000250000");
  std::strcpy(currentTransaction.STAN, "000050");
  std::strcpy(currentTransaction.Date, "0614");
  std::strcpy(currentTransaction.Time, "235959");
  std::strcpy(currentTransaction.RRN, "610000000007");
  unsigned char frame[TXN_FRAME_SIZE];
  int len = getApproveTransaction(frame, sizeof(frame));
  ASSERT_GT(len, 0);
  auto f = fieldsOf(frame, len);
  EXPECT_EQ(f[0], "0220");
  EXPECT_EQ(f[3], "170000");
  EXPECT_EQ(f[2], "6104337012345678901"); // unchanged, no F
  EXPECT_EQ(f[4], "000000250000");
  EXPECT_EQ(f[11], "000001");
  EXPECT_EQ(f[12], "235959");
  EXPECT_EQ(f[13], "0614");
  EXPECT_EQ(f[37], "610000000007");
  EXPECT_EQ(f.count(48), 0u);
  EXPECT_EQ(f[64], switchMac(k.mac, frame, len));
  EXPECT_STREQ(currentTransaction.STAN, "000050");
}

TEST_F(TxnTerminal, aBufferTooSmallForTheFrameBuildsNothing) {
  loadKeys(knownKeys());
  setKind("0200", "000000");
  fillCard("6037991234567890", "6037991234567890=2512101123456789");
  unsigned char frame[40];
  EXPECT_EQ(getPurchaseTransaction(frame, sizeof(frame)), 0);
}

/* ---- financial answers ----------------------------------------------------------------- */

TEST_F(TxnTerminal, balanceAnswerGivesBothBalances) {
  std::strcpy(turnRow.stanNo, "000009");
  Bytes answer = answerFrame({{0, "0110"},
                              {4, "000004750000"},
                              {37, "610000000003"},
                              {38, "000777"},
                              {39, "00"},
                              {54, "0001364C0000050000000002364C000004750000"}});
  EXPECT_EQ(parseBalanceTransaction(answer.data(), answer.size()), 0);
  EXPECT_STREQ(currentTransaction.Price, "000004750000");
  EXPECT_STREQ(currentTransaction.BillId, "000005000000");
  EXPECT_STREQ(currentTransaction.RRN, "610000000003");
  EXPECT_STREQ(currentTransaction.SwitchSTAN, "000777");
  EXPECT_STREQ(turnRow.lastSucceedStan, "000009");
  clearTransaction(&currentTransaction);
  Bytes odd = answerFrame({{0, "0110"}, {4, "000000001000"}, {39, "00"}, {54, "0001364C000005000000"}});
  EXPECT_EQ(parseBalanceTransaction(odd.data(), odd.size()), 0);
  EXPECT_STREQ(currentTransaction.Price, "000000001000");
  EXPECT_STREQ(currentTransaction.BillId, "");
}

TEST_F(TxnTerminal, declinedAnswersLeaveTheAmountAlone) {
  std::strcpy(currentTransaction.Price, "150000");
  Bytes answer = answerFrame({{0, "0210"}, {4, "000000999999"}, {39, "51"}, {37, "610000000004"}});
  EXPECT_EQ(parseBillInqTransaction(answer.data(), answer.size()), 91);
  EXPECT_STREQ(currentTransaction.Price, "150000");
  EXPECT_STREQ(currentTransaction.ResponseCode, "51");
  EXPECT_STREQ(currentTransaction.RRN, "610000000004");
  Bytes ok = answerFrame({{0, "0110"}, {4, "000015000000"}, {39, "00"}});
  EXPECT_EQ(parseBillInqTransaction(ok.data(), ok.size()), 0);
  EXPECT_STREQ(currentTransaction.Price, "000015000000");
}

TEST_F(TxnTerminal, adviceAndReversalAnswersReportTheCodeItself) {
  Bytes ok = answerFrame({{0, "0230"}, {39, "00"}, {38, "000001"}});
  EXPECT_EQ(parseApproveTransaction(ok.data(), ok.size()), 0);
  Bytes notFound = answerFrame({{0, "0230"}, {39, "25"}});
  EXPECT_EQ(parseApproveTransaction(notFound.data(), notFound.size()), 25);
  Bytes letters = answerFrame({{0, "0430"}, {39, "A1"}});
  EXPECT_EQ(parseReverseTransaction(letters.data(), letters.size()), 91); // never reported as approved
  Bytes none = answerFrame({{0, "0430"}, {37, "610000000005"}});
  EXPECT_EQ(parseReverseTransaction(none.data(), none.size()), -130);
  std::strcpy(currentTransaction.SwitchSTAN, "123456");
  Bytes withStan = answerFrame({{0, "0430"}, {39, "00"}, {38, "999999"}});
  EXPECT_EQ(parseReverseTransaction(withStan.data(), withStan.size()), 0);
  EXPECT_STREQ(currentTransaction.SwitchSTAN, "123456"); // the reversal keeps the original's
}

TEST_F(TxnTerminal, framesThatDisagreeWithTheirLengthAreEmpty) {
  Bytes answer = answerFrame({{0, "0210"}, {39, "00"}});
  EXPECT_EQ(parsePurchaseTransaction(answer.data(), answer.size() - 1), -130); // one byte short
  Bytes lying = answer;
  lying[0] = 0x7F; // claims far more than arrived
  EXPECT_EQ(parsePurchaseTransaction(lying.data(), lying.size()), -130);
  const unsigned char tiny[3] = {0x00, 0x04, 0x60};
  EXPECT_EQ(parsePurchaseTransaction(tiny, sizeof(tiny)), -130);
  EXPECT_EQ(parsePurchaseTransaction(answer.data(), answer.size()), 0);
}
