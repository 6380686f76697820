/*
 * switchsim_switch_test.cpp - the switch's request handling in-process, driven
 * by a terminal double: what each answer carries, what a forged request may
 * not change, and which secrets never reach the ledger or the dump.
 */
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ledger.h"
#include "switch_client.h"

using namespace switchsim;
using namespace switchsim_test;

namespace {

constexpr const char *PAN_A = "6037991234567890";

std::string readStream(std::FILE *f) {
  std::string text;
  std::rewind(f);
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  return text;
}

std::string readFile(const std::filesystem::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A switch with the built-in cards, its ledger and dump in temporary files.
class SwitchHandling : public ::testing::Test {
protected:
  std::filesystem::path ledgerPath = std::filesystem::temp_directory_path() /
                                     ("switch_ledger_" + std::to_string(getpid()) + "_" +
                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
  Ledger ledgerFile;
  std::FILE *dump = std::tmpfile();
  Switch sw{makeOptions()};
  Client term{&sw};

  Options makeOptions() {
    std::filesystem::remove(ledgerPath);
    std::string error;
    EXPECT_TRUE(ledgerFile.open(ledgerPath.string(), &error)) << error;
    Options o;
    fromHex(DEV_MASTER_KEY, o.masterKey, KEY_LEN);
    o.cards = defaultCards();
    o.ledger = &ledgerFile;
    o.dump = dump;
    return o;
  }
  std::string ledgerText() { return readFile(ledgerPath); }
  void SetUp() override { ASSERT_TRUE(term.keyExchange()); }
  void TearDown() override {
    std::fclose(dump);
    std::filesystem::remove(ledgerPath);
  }
  long long balanceOf(const std::string &pan) {
    for (const Card &c : sw.cards())
      if (c.pan == pan) return c.balance;
    return -1;
  }
};

} // namespace

TEST_F(SwitchHandling, aForgedRequestChangesNoTerminalState) {
  Fields purchase = term.cardRequest("0200", "000000", PAN_A, "1234", 1000);
  // The same request MACed with a key the switch never gave out.
  std::uint8_t wrong[KEY_LEN] = {1, 2, 3};
  Fields forged = unpackFrame(term.send(packFrame(purchase, wrong)).frame);
  EXPECT_EQ(forged[39], "63");
  EXPECT_EQ(balanceOf(PAN_A), 5000000);
  std::string log = ledgerText();
  EXPECT_NE(log.find("\"mac\":\"bad\""), std::string::npos) << log;
  EXPECT_EQ(log.find("\"txn\""), std::string::npos) << "a forged request was booked: " << log;

  // The genuine request with the same trace number is not taken for a repeat.
  Fields genuine = term.exchange(purchase);
  EXPECT_EQ(genuine[39], "00");
  EXPECT_EQ(balanceOf(PAN_A), 4999000);
}

TEST_F(SwitchHandling, adviceAndReversalAnswersNameTheOriginal) {
  Fields purchase = term.cardRequest("0200", "000000", PAN_A, "1234", 1000);
  Fields answer = term.exchange(purchase);
  ASSERT_EQ(answer[39], "00");
  const std::string rrn = answer[37], switchStan = answer[38];

  Fields advice = {{0, "0220"}, {2, PAN_A}, {3, "000000"}, {4, purchase[4]}, {11, term.nextStan()},
                   {37, rrn}, {41, term.terminalId}};
  Fields adviceAnswer = term.exchange(advice);
  EXPECT_EQ(adviceAnswer[39], "00");
  EXPECT_EQ(adviceAnswer[37], rrn);
  EXPECT_EQ(adviceAnswer[38], switchStan);

  Fields reversal = {{0, "0420"}, {2, PAN_A}, {3, "000000"}, {4, purchase[4]}, {11, purchase[11]},
                     {41, term.terminalId}, {90, "0200" + purchase[11] + "06151015000058167205200000603799"},
                     {128, std::string(8, '\0')}};
  Fields reversalAnswer = term.exchange(reversal);
  EXPECT_EQ(reversalAnswer[39], "00");
  EXPECT_EQ(reversalAnswer[37], rrn);
  EXPECT_EQ(reversalAnswer[38], switchStan);
  EXPECT_EQ(balanceOf(PAN_A), 5000000);

  // New transactions still get numbers of their own.
  Fields next = term.exchange(term.cardRequest("0200", "000000", PAN_A, "1234", 10));
  EXPECT_NE(next[37], rrn);
  EXPECT_NE(next[38], switchStan);
}

TEST_F(SwitchHandling, balanceAnswerSendsAvailableBlockFirst) {
  Fields answer = term.exchange(term.cardRequest("0100", "310000", PAN_A, "1234"));
  ASSERT_EQ(answer[39], "00");
  EXPECT_EQ(answer[4], "000004750000");
  EXPECT_EQ(answer[54], "0002364C0000047500000001364C000005000000");
}

TEST_F(SwitchHandling, chargePinTravelsOnlyEnciphered) {
  Fields voucher = term.cardRequest("0200", "180000", PAN_A, "1234", 20000);
  voucher[35] = std::string("\x60\x37\x99\x12\x34\x56\x78\x90\xD2\x51\x21\x01\x12\x34\x56\x78\x9F", 17);
  voucher[45] = "B6037991234567890^CARDHOLDER/TEST^2512101123456789";
  Fields answer = term.exchange(voucher);
  ASSERT_EQ(answer[39], "00");
  std::map<int, std::string> tags = tagsOf(answer[48]);
  ASSERT_EQ(tags[41].size(), 32u);
  std::uint8_t enciphered[16], clear[16];
  ASSERT_TRUE(fromHex(tags[41], enciphered, 16));
  ASSERT_TRUE(tdesEcb(term.dataKey, enciphered, clear, 16, false));
  const std::string pin(reinterpret_cast<char *>(clear), 16);
  EXPECT_EQ(pin.find_first_not_of("0123456789"), std::string::npos) << "not the switch's charge PIN";

  const std::string written = ledgerText() + readStream(dump);
  for (const std::string &secret : {pin, std::string(PAN_A), std::string("CARDHOLDER"), std::string("2512101123456789")})
    EXPECT_EQ(written.find(secret), std::string::npos) << secret << " written down";
  EXPECT_NE(written.find("603799******7890"), std::string::npos);
}

TEST_F(SwitchHandling, requestsOutsideTheTableAreInvalid) {
  // Known MTIs with processing codes no route takes, and an MTI nothing takes.
  for (auto [mti, pc] : {std::pair{"0100", "000000"}, std::pair{"0200", "310000"}, std::pair{"0300", "000000"}}) {
    Fields answer = term.exchange({{0, mti}, {3, pc}, {11, term.nextStan()}, {41, term.terminalId}});
    EXPECT_EQ(answer[39], "12") << mti << "/" << pc;
  }
  EXPECT_EQ(balanceOf(PAN_A), 5000000);
}

TEST_F(SwitchHandling, anUndecodableRequestIsLoggedWithWhereItBroke) {
  std::vector<std::uint8_t> frame = packFrame({{0, "0100"}, {3, "930000"}, {11, term.nextStan()},
                                               {37, "610000000001"}, {41, term.terminalId}},
                                              term.macKey);
  // Cut the message inside field 37, which begins after MTI, bitmap, 3 and 11.
  const std::size_t field37 = 2 + 8 + 3 + 3;
  frame.resize(7 + field37 + 4);
  frame[0] = 0;
  frame[1] = static_cast<std::uint8_t>(frame.size() - 2);
  Reply reply = term.send(frame);
  EXPECT_EQ(unpackFrame(reply.frame)[39], "63"); // a message that does not decode has no good MAC
  std::string dumped = readStream(dump);
  EXPECT_NE(dumped.find("does not decode: field 37, at byte 16"), std::string::npos) << dumped;
  std::string log = ledgerText();
  EXPECT_NE(log.find("\"decode_field\":37,\"decode_offset\":16"), std::string::npos) << log;
}
