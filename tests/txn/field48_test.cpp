/*
 * field48_test.cpp - field-48 elements: how requests build them and what each
 * tag of an answer does to config and currentTransaction.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/Filing.h"
#include "crypto.h"
#include "journal/Journal.h"
#include "libapi.h"
#include "security/Injection.h"
#include "txn/Transactions.h"
#include "txn_support.h"

using txntest::TxnTerminal;

namespace {

// Walks bytes in a heap block of exactly their size, so a read past them is caught.
void parseExact(const std::string &bytes) {
  std::unique_ptr<char[]> block(new char[bytes.size()]);
  std::memcpy(block.get(), bytes.data(), bytes.size());
  ParseField48Velbor(block.get(), bytes.size());
}

} // namespace

TEST(Field48Build, hexadecimalToDecimalReadsDecimalDigitsAsBcd) {
  EXPECT_EQ(hexadecimalToDecimal("15"), 0x15);
  EXPECT_EQ(hexadecimalToDecimal("95"), 0x95);
  EXPECT_EQ(hexadecimalToDecimal("1F"), 0x1F);
  EXPECT_EQ(hexadecimalToDecimal(""), 0);
}

TEST(Field48Build, tenCharacterSerialGivesTheTagOneElement) {
  char text[64] = {0};
  ASSERT_EQ(SetLTVTagsInfo(text, sizeof(text), 1, "1234567890"), 0);
  EXPECT_EQ(std::string(text), std::string("\x11\x01") + "1234567890");
  ASSERT_EQ(SetLTVTagsInfo(text, sizeof(text), 95, "7"), 0); // appended after the first
  EXPECT_EQ(std::string(text), std::string("\x11\x01") + "1234567890" + "\x02\x95" + "7");
}

TEST(Field48Build, refusesWhatCannotBeEncodedOrDoesNotFit) {
  char text[16] = {0};
  EXPECT_EQ(SetLTVTagsInfo(text, sizeof(text), 0, "1"), -1);
  EXPECT_EQ(SetLTVTagsInfo(text, sizeof(text), 100, "1"), -1);
  std::string tooLong(99, 'x');
  char big[256] = {0};
  EXPECT_EQ(SetLTVTagsInfo(big, sizeof(big), 5, tooLong.c_str()), -1);
  EXPECT_EQ(SetLTVTagsInfo(big, sizeof(big), 5, std::string(98, 'x').c_str()), 0);
  EXPECT_EQ(static_cast<unsigned char>(big[0]), 0x99);
  EXPECT_EQ(SetLTVTagsInfo(text, sizeof(text), 2, "0123456789abcd"), -1); // 14 + L, T, NUL > 16
  EXPECT_EQ(text[0], '\0');
}

TEST_F(TxnTerminal, anElementLongerThanTheFieldEndsTheWalk) {
  std::strcpy(config.merchantPhone, "old");
  // The second element claims 8 value bytes where 2 remain.
  parseExact(std::string("\x03\x49") + "77" + "\x09\x34" + "12");
  EXPECT_EQ(config.merchantParam49, 77);
  EXPECT_STREQ(config.merchantPhone, "old");
  parseExact(std::string("\x05")); // a lone length byte
  parseExact(std::string("\x00\x34" "1234", 6)); // L of zero ends at once
  EXPECT_STREQ(config.merchantPhone, "old");
}

TEST_F(TxnTerminal, overlongValuesAreCutToTheirSlots) {
  std::string phone(60, '9');
  parseExact(std::string("\x61\x34") + phone);
  EXPECT_EQ(std::string(config.merchantPhone), std::string(sizeof(config.merchantPhone) - 1, '9'));
  std::string serial(50, '1');
  parseExact(std::string("\x51\x40") + serial);
  EXPECT_EQ(std::strlen(currentTransaction.BillId), sizeof(currentTransaction.BillId) - 1);
}

TEST_F(TxnTerminal, merchantNameIsDecodedUpToItsBackslash) {
  std::strcpy(config.MerchantName, "kept");
  parseExact(std::string("\x04\x31") + "\xC8\xD1\xC7"); // no backslash: ignored
  EXPECT_STREQ(config.MerchantName, "kept");
  parseExact(std::string("\x06\x31") + "\xC8\xD1\\xx");
  EXPECT_STREQ(config.MerchantName, "\xD8\xA8\xD8\xB1"); // "بر" in UTF-8
}

TEST_F(TxnTerminal, chargeSerialIsTurnedRoundAndChargePinDeciphered) {
  // A data key known in clear, loaded enciphered under the master key.
  ASSERT_EQ(loadTerminalMasterKey(), 0);
  std::uint8_t master[16], clearKey[16], enc[16];
  ASSERT_TRUE(switchsim::fromHex(TERMINAL_MASTER_KEY_HEX, master, 16));
  for (int i = 0; i < 16; ++i) clearKey[i] = static_cast<std::uint8_t>(0x31 + i);
  ASSERT_TRUE(switchsim::tdesEcb(master, clearKey, enc, 16, true));
  ASSERT_EQ(writeAccKey(16, enc), 0);
  const std::string pin = "1234567890123456";
  std::uint8_t pinEnc[16];
  ASSERT_TRUE(switchsim::tdesEcb(clearKey, reinterpret_cast<const std::uint8_t *>(pin.data()), pinEnc, 16, true));
  std::string hex = switchsim::toHex(pinEnc, 16);
  parseExact(std::string("\x13\x40") + "654321098765" + "\x33\x41" + hex);
  EXPECT_STREQ(currentTransaction.BillId, "567890123456");
  EXPECT_STREQ(currentTransaction.PaymentId, pin.c_str());
}

TEST_F(TxnTerminal, switchDateTimeSetsTheClockAndTheRecord) {
  parseExact(std::string("\x15\x50") + "20270102030405");
  EXPECT_STREQ(currentTransaction.DateTime, "2701020304");
  EXPECT_STREQ(currentTransaction.Time, "030405");
  EXPECT_STREQ(currentTransaction.Date, "0102");
  int dt[7];
  DLL_SysGetDateTime(dt);
  EXPECT_EQ(dt[DLL_DT_YEAR], 2027);
  EXPECT_EQ(dt[DLL_DT_HOUR], 3);
  std::strcpy(currentTransaction.Time, "same");
  parseExact(std::string("\x06\x50") + "20270"); // too short to be a date: ignored
  EXPECT_STREQ(currentTransaction.Time, "same");
}

TEST_F(TxnTerminal, taxCodeKeepsSixteenCharactersAndIsSaved) {
  std::strcpy(config.taxCode, "previous-value-xx");
  parseExact(std::string("\x21\x98") + "ABCDEFGHIJKLMNOPQRST");
  EXPECT_STREQ(config.taxCode, "ABCDEFGHIJKLMNOP");
  std::memset(&config, 0, sizeof(config));
  readConfigFromFile(0);
  EXPECT_STREQ(config.taxCode, "ABCDEFGHIJKLMNOP");
}

TEST_F(TxnTerminal, tagsOutsideTheKnownSetAreSkipped) {
  parseExact(std::string("\x03\x01") + "zz" + "\x03\x99" + "zz" + "\x05\x34" + "5555");
  EXPECT_STREQ(config.merchantPhone, "5555");
}
