/*
 * switchsim_e2e_test.cpp - saffron's logon and financial messages against a
 * running switchsim on 127.0.0.1: PIN blocks from the simulated PIN pad, MACs
 * checked by the switch, balances moved, and the ledger telling each
 * transaction's end.
 */
#include "process.h"
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "reset.h"
#include "comm/Connection.h"
#include "core/Filing.h"
#include "journal/Journal.h"
#include "pinpad.h"
#include "security/Injection.h"
#include "sim.h"
#include "txn/Transactions.h"

namespace fs = std::filesystem;

namespace {

using Line = std::map<std::string, std::string>;

using testsupport::readAll;
using testsupport::spawn;
using testsupport::listeningPort;

// A terminal in a fresh folder talking to a switchsim of its own.
class SwitchTest : public ::testing::Test {
protected:
  fs::path dir, ledger, output;
  pid_t pid = -1;
  int port = 0;

  void startSwitch(const std::string &faults = "") {
    std::vector<std::string> args = {SWITCHSIM_PROGRAM, "--port", "0", "--ledger", ledger.string()};
    if (!faults.empty()) {
      std::ofstream(dir / "faults.txt") << faults;
      args.push_back("--faults");
      args.push_back((dir / "faults.txt").string());
    }
    pid = spawn(args, output);
    ASSERT_GT(pid, 0);
    port = listeningPort(output, std::chrono::milliseconds(5000));
    ASSERT_GT(port, 0) << readAll(output);
    std::strcpy(config.HostIP, "127.0.0.1");
    config.HostPort = port;
    writeConfig2File();
  }

  void SetUp() override {
    dir = fs::temp_directory_path() / ("switchsim_e2e_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    ledger = dir / "ledger.jsonl";
    output = dir / "switchsim.out";
    testsupport::resetAll((dir / "terminal").c_str());
    mid_tcpSetWaitMs(3000);
    std::strcpy(config.SerialNo, "SN00112233");
    std::strcpy(config.NII, "0006");
    std::strcpy(turnRow.batchNo, "000001");
    std::strcpy(turnRow.stanNo, "000001");
    writeTurnRow2File();
  }

  void TearDown() override {
    remoteDisconnect();
    if (pid > 0) {
      kill(pid, SIGTERM);
      int status = 0;
      waitpid(pid, &status, 0);
    }
    mid_tcpSetWaitMs(TCP_WAIT_MS_DEFAULT);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
  }

  void connect() {
    remoteDisconnect(); // whatever the last exchange left open
    char address[32] = "127.0.0.1";
    ASSERT_GE(remoteConnect(address, sizeof(address), port, 0), 0);
  }

  void logon() {
    connect();
    ASSERT_EQ(doLogonKeyExhange(LOGON_KEY_EXCHANGE), 0);
    connect();
    ASSERT_EQ(doLogonKeyExhange(LOGON_MERCHANT_INFO), 0);
    connect();
  }

  // One request and its answer on the open connection; the parser's status or link status - 120.
  template <typename Build, typename Parse> int exchange(Build build, Parse parse) {
    unsigned char request[TXN_FRAME_SIZE], response[TXN_FRAME_SIZE];
    int n = build(request, sizeof(request));
    EXPECT_GT(n, 0);
    int got = 0;
    int status = remoteAction(request, n, "", "", response, &got, static_cast<int>(sizeof(response)), 0);
    if (status != 0) return status - 120;
    if (got <= 0) return -120;
    return parse(response, static_cast<std::size_t>(got));
  }

  void card(const char *pan, const char *track2, const char *pin, const char *mti, const char *pc,
            const char *price = "") {
    clearTransaction(&currentTransaction);
    std::strcpy(currentTransaction.MTI, mti);
    std::strcpy(currentTransaction.ProcessCode, pc);
    std::strcpy(currentTransaction.PAN, pan);
    std::strcpy(currentTransaction.Track2, track2);
    std::strcpy(currentTransaction.Price, price);
    sim::pushPinAnswer(pin);
    ASSERT_EQ(getPinDialog(), 0);
  }

  std::vector<Line> ledgerLines() {
    std::vector<Line> lines;
    std::istringstream in(readAll(ledger));
    for (std::string text; std::getline(in, text);) {
      Line l;
      nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
      EXPECT_TRUE(j.is_object()) << text;
      if (!j.is_object()) continue;
      for (const auto &[k, v] : j.items()) l[k] = v.is_string() ? v.get<std::string>() : v.dump();
      lines.push_back(l);
    }
    return lines;
  }

  std::string summary() {
    fs::path out = dir / "summary.txt";
    pid_t p = spawn({SWITCHSIM_PROGRAM, "ledger-summary", ledger.string()}, out);
    int status = 0;
    waitpid(p, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return readAll(out);
  }
};

// The outcome the summary gives the transaction of this kind and amount, or "".
std::string outcome(const std::string &report, const std::string &kind, const std::string &amount) {
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string key, k, a;
    words >> key >> k >> a;
    if (k != kind || a != amount) continue;
    std::string rest;
    std::getline(words, rest);
    return rest.substr(rest.find_first_not_of(' '));
  }
  return "";
}

constexpr const char *PAN_A = "6037991234567890";
constexpr const char *TRACK_A = "6037991234567890=2512101123456789";
constexpr const char *PAN_B = "6104337012345678901"; // 19 digits
constexpr const char *TRACK_B = "6104337012345678901=27061011234567";
constexpr const char *PAN_C = "6219861111222233";
constexpr const char *TRACK_C = "6219861111222233=2612101000000000";

} // namespace

TEST_F(SwitchTest, logonThenEveryRequestKindIsAnsweredAndBooked) {
  startSwitch();
  logon();
  EXPECT_STREQ(config.TerminalNo, "10000001");
  EXPECT_STREQ(config.MerchantNo, "123456789012");
  EXPECT_STREQ(config.MerchantName, "فروشگاه نمونه");
  EXPECT_STREQ(config.merchantPhone, "02188776655");
  EXPECT_STREQ(config.merchantExtra, "branch 12");
  EXPECT_EQ(config.merchantParam49, 12);
  EXPECT_STREQ(config.taxCode, "TAX-SIM-00000001");

  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  ASSERT_EQ(exchange(getBalanceTransaction, parseBalanceTransaction), 0);
  // The terminal prints the second block as the actual balance and the first
  // as the withdrawable one.
  EXPECT_STREQ(currentTransaction.Price, "000005000000");  // ledger (actual) balance
  EXPECT_STREQ(currentTransaction.BillId, "000004750000"); // available balance

  clearTransaction(&currentTransaction);
  std::strcpy(currentTransaction.MTI, "0100");
  std::strcpy(currentTransaction.ProcessCode, "190000");
  std::strcpy(currentTransaction.BillId, "1234567890123");
  std::strcpy(currentTransaction.PaymentId, "1500012345");
  ASSERT_EQ(exchange(getBillInqTransaction, parseBillInqTransaction), 0);
  EXPECT_STREQ(currentTransaction.Price, "000015000000");

  card(PAN_A, TRACK_A, "1234", "0200", "000000", "150000");
  ASSERT_EQ(exchange(getPurchaseTransaction, parsePurchaseTransaction), 0);
  EXPECT_STREQ(currentTransaction.ResponseCode, "00");
  const std::string purchaseRrn = currentTransaction.RRN, purchaseSwitchStan = currentTransaction.SwitchSTAN;
  EXPECT_EQ(purchaseRrn.size(), 12u);
  EXPECT_EQ(purchaseSwitchStan.size(), 6u);
  EXPECT_EQ(exchange(getApproveTransaction, parseApproveTransaction), 0);
  // The advice's answer names the purchase, so the record keeps its numbers.
  EXPECT_EQ(currentTransaction.RRN, purchaseRrn);
  EXPECT_EQ(currentTransaction.SwitchSTAN, purchaseSwitchStan);

  card(PAN_B, TRACK_B, "4321", "0200", "170000", "000001500000");
  std::strcpy(currentTransaction.BillId, "1234567890123");
  std::strcpy(currentTransaction.PaymentId, "150012345");
  ASSERT_EQ(exchange(getBillPaymentTransaction, parseBillPaymentTransaction), 0) << currentTransaction.ResponseCode;
  EXPECT_EQ(exchange(getApproveTransaction, parseApproveTransaction), 0);

  card(PAN_A, TRACK_A, "1234", "0200", "180000", "20000");
  currentTransaction.companyId = 11;
  ASSERT_EQ(exchange([](unsigned char *f, std::size_t n) { return getChargeTransaction(f, n, TT_VOUCHER); },
                     [](const unsigned char *f, std::size_t n) { return parseChargeTransaction(f, n, TT_VOUCHER); }),
            0);
  const std::string voucherSerial = currentTransaction.BillId, voucherPin = currentTransaction.PaymentId;
  EXPECT_EQ(voucherSerial.size(), 12u);
  EXPECT_EQ(voucherPin.size(), 16u);
  EXPECT_EQ(exchange(getApproveTransaction, parseApproveTransaction), 0);

  card(PAN_A, TRACK_A, "1234", "0200", "220000", "50000");
  currentTransaction.companyId = 12;
  std::strcpy(currentTransaction.CellphonNumber, "09121234567");
  ASSERT_EQ(exchange([](unsigned char *f, std::size_t n) { return getChargeTransaction(f, n, TT_TOPUP); },
                     [](const unsigned char *f, std::size_t n) { return parseChargeTransaction(f, n, TT_TOPUP); }),
            0);
  const std::string topUpRrn = currentTransaction.RRN;
  // The top-up is reversed, twice: the second gives nothing back.
  EXPECT_EQ(exchange(getReverseTransaction, parseReverseTransaction), 0);
  EXPECT_EQ(exchange(getReverseTransaction, parseReverseTransaction), 0);
  EXPECT_EQ(currentTransaction.RRN, topUpRrn);

  // Balance afterwards: 5,000,000 - 150,000 - 20,000 (the top-up came back).
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  ASSERT_EQ(exchange(getBalanceTransaction, parseBalanceTransaction), 0);
  EXPECT_STREQ(currentTransaction.Price, "000004830000");
  EXPECT_STREQ(currentTransaction.BillId, "000004580000"); // less the 250,000 blocked

  std::vector<Line> lines = ledgerLines();
  int requests = 0, credits = 0;
  for (Line &l : lines) {
    std::string all;
    for (auto &[k, v] : l) all += k + "=" + v + ";";
    EXPECT_EQ(all.find("2512101123456789"), std::string::npos) << "track 2 in the ledger";
    if (l["pan"].size()) {
      EXPECT_EQ(l["pan"].find("******"), 6u) << l["pan"];
    }
    if (l["dir"] != "request") {
      if (l["effect"] == "credit") ++credits;
      if (l["kind"] == "purchase" && l["mti"] == "0210") {
        EXPECT_EQ(l["rrn"], purchaseRrn);
        EXPECT_EQ(l["switch_stan"], purchaseSwitchStan);
      }
      if (l["kind"] == "voucher" && l["mti"] == "0210") {
        EXPECT_EQ(l["voucher_serial"], voucherSerial);
      }
      continue;
    }
    ++requests;
    EXPECT_EQ(l["mac"], "ok") << l["mti"] << " " << l["pc"];
    if (l["kind"] == "purchase" && l["mti"] == "0200") {
      EXPECT_EQ(l["amount"], "150000");
    }
    if (l.count("pin")) {
      EXPECT_EQ(l["pin"], "ok");
    }
  }
  EXPECT_EQ(requests, 14);
  EXPECT_EQ(credits, 1);

  std::string report = summary();
  EXPECT_EQ(outcome(report, "purchase", "150000"), "approved and advised") << report;
  EXPECT_EQ(outcome(report, "voucher", "20000"), "approved and advised") << report;
  EXPECT_EQ(outcome(report, "bill-payment", "1500000"), "approved and advised") << report;
  EXPECT_EQ(outcome(report, "top-up", "50000"), "reversed") << report;
  EXPECT_NE(report.find("3 approved and advised, 1 reversed, 0 declined, 0 still open"), std::string::npos) << report;
  std::string dump = readAll(output);
  EXPECT_EQ(dump.find("1234567890=25"), std::string::npos);
  // The charge PIN the terminal deciphered from the answer is nowhere in writing.
  EXPECT_EQ(dump.find(voucherPin), std::string::npos);
  EXPECT_EQ(readAll(ledger).find(voucherPin), std::string::npos);
  EXPECT_NE(dump.find("603799******7890"), std::string::npos);
}

TEST_F(SwitchTest, wrongPinUnknownCardAndLowFundsAreDeclined) {
  startSwitch();
  logon();
  card(PAN_A, TRACK_A, "9999", "0200", "000000", "1000");
  EXPECT_EQ(exchange(getPurchaseTransaction, parsePurchaseTransaction), 91);
  EXPECT_STREQ(currentTransaction.ResponseCode, "55");
  card("6037990000000001", "6037990000000001=2512101000000000", "1234", "0200", "000000", "1000");
  EXPECT_EQ(exchange(getPurchaseTransaction, parsePurchaseTransaction), 91);
  EXPECT_STREQ(currentTransaction.ResponseCode, "56");
  card(PAN_C, TRACK_C, "1111", "0200", "000000", "10001");
  EXPECT_EQ(exchange(getPurchaseTransaction, parsePurchaseTransaction), 91);
  EXPECT_STREQ(currentTransaction.ResponseCode, "51");
  card(PAN_C, TRACK_C, "1111", "0200", "000000", "10000");
  EXPECT_EQ(exchange(getPurchaseTransaction, parsePurchaseTransaction), 0);
  std::string report = summary();
  EXPECT_NE(report.find("0 approved and advised, 0 reversed, 3 declined, 1 still open"), std::string::npos) << report;
}

TEST_F(SwitchTest, aLostAnswerIsReversedAndCreditedOnce) {
  startSwitch("0200/000000 drop once\n0100/310000 code 91 once\n");
  logon();
  card(PAN_A, TRACK_A, "1234", "0200", "000000", "70000");
  mid_tcpSetWaitMs(500);
  EXPECT_EQ(exchange(getPurchaseTransaction, parsePurchaseTransaction), -120); // nothing came back
  mid_tcpSetWaitMs(3000);
  EXPECT_EQ(exchange(getReverseTransaction, parseReverseTransaction), 0);
  EXPECT_EQ(exchange(getReverseTransaction, parseReverseTransaction), 0);
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  EXPECT_EQ(exchange(getBalanceTransaction, parseBalanceTransaction), 91);
  EXPECT_STREQ(currentTransaction.ResponseCode, "91");
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  EXPECT_EQ(exchange(getBalanceTransaction, parseBalanceTransaction), 0);
  EXPECT_STREQ(currentTransaction.Price, "000005000000"); // debited, then credited back once
  std::string report = summary();
  EXPECT_EQ(outcome(report, "purchase", "70000"), "reversed") << report;
}

TEST_F(SwitchTest, splitDelayedAndBrokenAnswers) {
  startSwitch("3 split 300\n4 delay 200\n5 garbage\n6 truncate\n7 close\n");
  logon(); // requests 1 and 2
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  EXPECT_EQ(exchange(getBalanceTransaction, parseBalanceTransaction), 0); // a split answer is completed
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  EXPECT_EQ(exchange(getBalanceTransaction, parseBalanceTransaction), 0);
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  int garbled = exchange(getBalanceTransaction, parseBalanceTransaction);
  EXPECT_NE(garbled, 0); // random bytes approve nothing
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  EXPECT_LT(exchange(getBalanceTransaction, parseBalanceTransaction), -120); // cut short and closed
  connect();
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  EXPECT_LT(exchange(getBalanceTransaction, parseBalanceTransaction), -120); // closed unanswered
  connect();
  card(PAN_A, TRACK_A, "1234", "0100", "310000");
  EXPECT_EQ(exchange(getBalanceTransaction, parseBalanceTransaction), 0); // and the next one is fine
}

TEST_F(SwitchTest, withoutKeyExchangeTheMacIsRefused) {
  startSwitch();
  connect();
  // Keys of a terminal the switch never keyed.
  ASSERT_EQ(loadTerminalMasterKey(), 0);
  const unsigned char zeros[16] = {0};
  writePinKey(16, zeros);
  writeMacKey(16, zeros);
  std::strcpy(config.TerminalNo, "10000001");
  card(PAN_A, TRACK_A, "1234", "0200", "000000", "1000");
  EXPECT_EQ(exchange(getPurchaseTransaction, parsePurchaseTransaction), 91);
  EXPECT_STREQ(currentTransaction.ResponseCode, "63");
}

TEST_F(SwitchTest, logonReportsAMissingAnswerAndAFailedSend) {
  startSwitch("1 drop\n");
  mid_tcpSetWaitMs(300);
  connect();
  EXPECT_EQ(doLogonKeyExhange(LOGON_KEY_EXCHANGE), -240);
  EXPECT_EQ(doLogonKeyExhange(LOGON_KEY_EXCHANGE), -230); // the logon closed the connection
  connect();
  EXPECT_EQ(doLogonKeyExhange(3), 0); // not a logon kind: nothing is sent
  EXPECT_EQ(doLogonKeyExhange(LOGON_KEY_EXCHANGE), 0);
  int requests = 0;
  for (Line &l : ledgerLines()) requests += l["dir"] == "request";
  EXPECT_EQ(requests, 2);
}
