// PIN pad: key loading, PIN block, MAC and deciphering checked against known
// answers, and the packing of track 2 for field 35.
//
// The expected bytes were computed independently of this code with the openssl
// command line (OpenSSL 3.0), e.g.
//   echo 89ABCDEF0123456776543210FEDCBA98 | xxd -r -p |
//     openssl enc -des-ede -K 0123456789ABCDEFFEDCBA9876543210 -nopad | xxd -p
// for a working key enciphered under the master key (-des-ede is 2-key TDES ECB);
//   echo 041225EEEEEEEEEE | xxd -r -p | openssl enc -des-ede -K <PIN key> -nopad
// for a PIN block (PIN field 041234FFFFFFFFFF XOR PAN field 0000111111111111);
// and for a retail MAC, single DES CBC with the left key half over all blocks but
// the last (-des-ede-cbc -K K1K1 -iv 0), then the last block with -des-ede-cbc
// -K K1K2 -iv <previous result>. The MAC of "Now is the time for all " under
// 0123456789ABCDEF FEDCBA9876543210 is the published value A1C72E74EA3FA9B6.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reset.h"
#include "journal/Journal.h"
#include "libapi.h"
#include "pinpad.h"
#include "security/Injection.h"
#include "txn/Transactions.h"
#include "sim.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes hex(const std::string &h) {
  Bytes b;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(static_cast<unsigned char>(std::stoi(h.substr(i, 2), nullptr, 16)));
  return b;
}

std::string toHex(const unsigned char *p, std::size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

// Clear PIN key 89ABCDEF0123456776543210FEDCBA98 under the development master key.
const Bytes PIN_KEY_UNDER_MASTER = hex("4230EF1CB268495597F4494DD23D8A72");
// Clear MAC key 0123456789ABCDEFFEDCBA9876543210 under the master key.
const Bytes MAC_KEY_UNDER_MASTER = hex("1A4D672DCA6CB3351FD1B02B237AF9AE");
// Clear data key 1F2E3D4C5B6A79880011223344556677 under the master key.
const Bytes DATA_KEY_UNDER_MASTER = hex("1F0E1BFFA5BC7EB131A7364CAC91CA39");

class PinPadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetAll();
  }
  void loadKeys() {
    ASSERT_EQ(loadTerminalMasterKey(), 0);
    ASSERT_EQ(writePinKey(16, PIN_KEY_UNDER_MASTER.data()), 0);
    ASSERT_EQ(writeMacKey(16, MAC_KEY_UNDER_MASTER.data()), 0);
    ASSERT_EQ(writeAccKey(16, DATA_KEY_UNDER_MASTER.data()), 0);
  }
};

// ---- keys ------------------------------------------------------------------------------

TEST_F(PinPadTest, WorkingKeysNeedTheMasterKeyFirst) {
  EXPECT_EQ(writePinKey(16, PIN_KEY_UNDER_MASTER.data()), DLL_ERR_NOT_READY);
  EXPECT_EQ(loadTerminalMasterKey(), 0);
  EXPECT_EQ(writePinKey(16, PIN_KEY_UNDER_MASTER.data()), 0);
}

TEST_F(PinPadTest, MalformedKeysAreRefused) {
  const Bytes longKey(25, 0x11);
  EXPECT_EQ(writeMasterKey(25, longKey.data()), -1);
  EXPECT_EQ(writeMasterKey(16, nullptr), -1);
  EXPECT_EQ(writeMasterKey(8, longKey.data()), DLL_ERR_PARAM);  // the PIN pad takes 16-byte keys
  ASSERT_EQ(loadTerminalMasterKey(), 0);
  EXPECT_EQ(writeMacKey(8, MAC_KEY_UNDER_MASTER.data()), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_PciWriteSKey(9, 0, 16, MAC_KEY_UNDER_MASTER.data(), 129, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_PciWriteSKey(DLL_PCI_KEY_MAC, 1, 16, MAC_KEY_UNDER_MASTER.data(), 129, 0), DLL_ERR_PARAM);
}

TEST_F(PinPadTest, ANewMasterKeyRetiresTheWorkingKeys) {
  loadKeys();
  const Bytes other = hex("00112233445566778899AABBCCDDEEFF");
  ASSERT_EQ(writeMasterKey(16, other.data()), 0);
  unsigned char data[8] = {};
  unsigned char mac[8];
  EXPECT_EQ(DLL_PciGetMac(0, 8, data, mac, 2), DLL_ERR_NOT_READY);
  // Reloading the same master key keeps the working keys.
  loadKeys();
  ASSERT_EQ(loadTerminalMasterKey(), 0);
  EXPECT_EQ(DLL_PciGetMac(0, 8, data, mac, 2), 0);
}

// ---- PIN entry -----------------------------------------------------------------------------

TEST_F(PinPadTest, PinBlockIsFormat0UnderThePinKey) {
  loadKeys();
  std::strcpy(currentTransaction.PAN, "4111111111111111");
  sim::pushPinAnswer("1234");
  ASSERT_EQ(getPinDialog(), 0);
  EXPECT_EQ(toHex(currentTransaction.pinBlock, 8), "58B583E21EEB26B5");
  EXPECT_EQ(currentTransaction.pinBlock[8], 0);
  int x = 0, y = 0;
  sim::pinPromptPosition(&x, &y);
  EXPECT_EQ(x, 110);
  EXPECT_EQ(y, 150);

  // PAN field 0000799123456789: the 12 digits before the check digit.
  std::strcpy(currentTransaction.PAN, "6037991234567890");
  sim::pushPinAnswer("1234");
  ASSERT_EQ(getPinDialog(), 0);
  EXPECT_EQ(toHex(currentTransaction.pinBlock, 8), "B5FA3BB0CA4D94C3");
}

TEST_F(PinPadTest, CancelledOrMissingPinGivesMinusOneAndAZeroBlock) {
  loadKeys();
  std::strcpy(currentTransaction.PAN, "4111111111111111");
  std::memset(currentTransaction.pinBlock, 0x77, sizeof currentTransaction.pinBlock);
  sim::pushPinAnswer("cancel");
  EXPECT_EQ(getPinDialog(), -1);
  EXPECT_EQ(toHex(currentTransaction.pinBlock, 9), "000000000000000000");
  EXPECT_EQ(getPinDialog(), -1);  // nobody answers within the time-out
  sim::pushPinAnswer("12345");    // the application asks for exactly 4 digits
  EXPECT_EQ(getPinDialog(), -1);
  EXPECT_EQ(toHex(currentTransaction.pinBlock, 8), "0000000000000000");
}

TEST_F(PinPadTest, HeadlessScriptAnswersThePinPad) {
  loadKeys();
  std::strcpy(currentTransaction.PAN, "4111111111111111");
  std::string error;
  ASSERT_TRUE(sim::loadScript("wait 100\npin 1234\npin cancel\n", &error)) << error;
  ASSERT_EQ(getPinDialog(), 0);
  EXPECT_EQ(toHex(currentTransaction.pinBlock, 8), "58B583E21EEB26B5");
  EXPECT_EQ(getPinDialog(), -1);
  EXPECT_EQ(toHex(currentTransaction.pinBlock, 8), "0000000000000000");
}

TEST_F(PinPadTest, PinEntryWithoutAPinKeyFailsWithoutTakingTheAnswer) {
  ASSERT_EQ(loadTerminalMasterKey(), 0);
  std::strcpy(currentTransaction.PAN, "4111111111111111");
  sim::pushPinAnswer("1234");
  EXPECT_EQ(getPinDialog(), DLL_ERR_NOT_READY);
  ASSERT_EQ(writePinKey(16, PIN_KEY_UNDER_MASTER.data()), 0);
  EXPECT_EQ(getPinDialog(), 0);
  EXPECT_EQ(toHex(currentTransaction.pinBlock, 8), "58B583E21EEB26B5");
}

// ---- MAC --------------------------------------------------------------------------------------

TEST_F(PinPadTest, MacIsTheRetailMacWithTheMacKey) {
  loadKeys();
  std::string text = "Now is the time for all ";
  Bytes data(text.begin(), text.end());
  unsigned char mac[8];
  ASSERT_EQ(getMac(data.data(), 24, data.size(), mac), 0);
  EXPECT_EQ(toHex(mac, 8), "A1C72E74EA3FA9B6");
  char out[9];
  ASSERT_EQ(getMacAscii(data.data(), 24, data.size(), out, sizeof out), 0);
  EXPECT_STREQ(out, "A1C72E74");
}

TEST_F(PinPadTest, MacOf93BytesRunsOver96WithThreeZerosWrittenIntoTheCallersBuffer) {
  loadKeys();
  Bytes data(104, 0xEE);  // 93 message bytes, then the 8-byte placeholder and more
  for (int i = 0; i < 93; ++i) data[i] = static_cast<unsigned char>(i);
  char out[9];
  ASSERT_EQ(getMacAscii(data.data(), 93, data.size(), out, sizeof out), 0);
  EXPECT_STREQ(out, "9FC0160D");  // MAC 9FC0160DB29CEDAB over bytes 0..92 and 00 00 00
  EXPECT_EQ(data[93], 0);
  EXPECT_EQ(data[95], 0);
  EXPECT_EQ(data[96], 0xEE);
}

TEST_F(PinPadTest, MacOfAMultipleOf8RunsOverExactlyThatLength) {
  loadKeys();
  Bytes data(104, 0xEE);
  for (int i = 0; i < 96; ++i) data[i] = static_cast<unsigned char>(i);
  unsigned char mac[8];
  ASSERT_EQ(getMac(data.data(), 96, data.size(), mac), 0);
  EXPECT_EQ(toHex(mac, 8), "5227958DDD40725B");
  EXPECT_EQ(data[96], 0xEE);
}

TEST_F(PinPadTest, MacWithoutAMacKeyIsZeroAndReportedAsAFailure) {
  Bytes data(16, 0x31);
  char out[9];
  EXPECT_NE(getMacAscii(data.data(), 16, data.size(), out, sizeof out), 0);
  EXPECT_STREQ(out, "00000000");
}

TEST_F(PinPadTest, MacRefusesABufferTooSmallForThePadding) {
  loadKeys();
  Bytes data(10, 0x31);
  unsigned char mac[8];
  EXPECT_EQ(getMac(data.data(), 10, data.size(), mac), -1);  // needs 16
  EXPECT_EQ(data[9], 0x31);
  char small[8];
  EXPECT_EQ(getMacAscii(data.data(), 8, data.size(), small, sizeof small), -1);
}

TEST_F(PinPadTest, DataIsDecipheredWithTheDataKey) {
  loadKeys();
  const Bytes cipher = hex("3E7B03847A1B9409861224D68DF61B29");
  unsigned char clear[17] = {};
  ASSERT_EQ(DLL_PciGetEncData(0, 16, cipher.data(), clear), 0);
  EXPECT_STREQ(reinterpret_cast<char *>(clear), "ACCOUNT=12345678");
  EXPECT_EQ(DLL_PciGetEncData(0, 12, cipher.data(), clear), DLL_ERR_PARAM);
}

// ---- track 2 ---------------------------------------------------------------------------------

TEST(Track2, OddLengthGetsATrailingZeroNibble) {
  const char *track2 = "6037991234567890=21121011234567890123";  // 37 characters
  unsigned char out[64];
  std::memset(out, 0xEE, sizeof out);
  int length = static_cast<int>(std::strlen(track2));
  ASSERT_EQ(packetConvertTrack2(track2, out, sizeof out, &length), 0);
  EXPECT_EQ(length, 38);
  EXPECT_EQ(toHex(out, 20), "6037991234567890D2112101123456789012300" "0");
}

TEST(Track2, EvenLengthPacksAsIs) {
  const char *track2 = "6037991234567890=21121011234567890";  // 34 characters
  unsigned char out[64];
  int length = 34;
  ASSERT_EQ(packetConvertTrack2(track2, out, sizeof out, &length), 0);
  EXPECT_EQ(length, 34);
  EXPECT_EQ(toHex(out, 18), "6037991234567890D2112101123456789000");
}

TEST(Track2, TextWithoutSeparatorIsConvertedUnchanged) {
  unsigned char out[8];
  int length = 5;
  ASSERT_EQ(packetConvertTrack2("12345", out, sizeof out, &length), 0);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(toHex(out, 4), "12345000");
}

TEST(Track2, BadInputIsRefusedWithoutOverflow) {
  unsigned char out[64];
  int length = 6;
  EXPECT_EQ(packetConvertTrack2("12?456", out, sizeof out, &length), -1);
  const std::string longText(127, '1');
  length = 127;
  EXPECT_EQ(packetConvertTrack2(longText.c_str(), out, sizeof out, &length), -1);
  const std::string fits(40, '1');
  length = 40;
  EXPECT_EQ(packetConvertTrack2(fits.c_str(), out, 20, &length), -1);  // 20 bytes + terminator
  length = 40;
  EXPECT_EQ(packetConvertTrack2(fits.c_str(), out, 21, &length), 0);
}

}  // namespace
