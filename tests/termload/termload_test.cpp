/*
 * termload_test.cpp - termload's options, its cryptography against the switch
 * simulator's independent one, the report's percentiles, the ledger check, and
 * whole runs against a switchsim process on loopback (lost answers reversed,
 * every financial request settled once).
 */
#include "process.h"
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "crypto.h"
#include "termload.h"

namespace fs = std::filesystem;
using namespace termload;

namespace {

ParseResult parse(std::vector<const char *> args, Options *o, std::string *error) {
  args.insert(args.begin(), "termload");
  return parseOptions(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(TermloadOptions, onlyLoopbackAddressesAreAccepted) {
  for (const char *ok : {"127.0.0.1", "127.1.2.3"}) EXPECT_TRUE(isLoopback(ok)) << ok;
  for (const char *bad : {"10.0.0.1", "0.0.0.0", "128.0.0.1", "127.0.0.256", "127.0.0.1.5", " 127.0.0.1",
                          "+127.0.0.1", "localhost", "127.0.0.1x", ""})
    EXPECT_FALSE(isLoopback(bad)) << bad;
  Options o;
  std::string error;
  EXPECT_EQ(parse({"--port", "4080", "--host", "192.168.1.5"}, &o, &error), ParseResult::Error);
  EXPECT_NE(error.find("127.x.x.x"), std::string::npos) << error;
}

TEST(TermloadOptions, badValuesAreErrorsNotDefaults) {
  const std::vector<std::vector<const char *>> bad = {
      {},                                            // no port
      {"--port", "0"},
      {"--port", "4080", "--terminals", "0"},
      {"--port", "4080", "--terminals", "2.5"},
      {"--port", "4080", "--requests", "-1"},
      {"--port", "4080", "--seconds", "nan"},
      {"--port", "4080", "--rate", "fast"},
      {"--port", "4080", "--drop-share", "101"},
      {"--port", "4080", "--timeout-ms", "5"},
      {"--port", "4080", "--master-key", "0123"},
      {"--port", "4080", "--mix", "purchase=0,balance=0"},
      {"--port", "4080", "--mix", "purchase=5,purchase=5"},
      {"--port", "4080", "--mix", "refund=5"},
      {"--port", "4080", "--switchsim", "/bin/true"}, // without --ledger
      {"--port", "4080", "--cards", "/nonexistent/cards.txt"},
      {"--port", "4080", "--frobnicate", "1"},
      {"--port"},
  };
  for (const auto &args : bad) {
    Options o;
    std::string error;
    EXPECT_EQ(parse(args, &o, &error), ParseResult::Error) << (args.empty() ? "" : args.back());
    EXPECT_FALSE(error.empty());
  }
  Options o;
  std::string error;
  ASSERT_EQ(parse({"--port", "4080", "--mix", "balance=3,charge=1", "--rate", "250"}, &o, &error), ParseResult::Run)
      << error;
  EXPECT_EQ(o.mix[PURCHASE], 0);
  EXPECT_EQ(o.mix[BALANCE], 3);
  EXPECT_EQ(o.mix[CHARGE], 1);
  EXPECT_EQ(o.rate, 250);
  EXPECT_EQ(parse({"--help"}, &o, &error), ParseResult::Help);
}

// Two implementations written apart: the terminal's side must produce what the switch accepts.
TEST(TermloadCrypto, agreesWithTheSwitchSimulator) {
  Key key;
  ASSERT_TRUE(fromHex("0123456789ABCDEFFEDCBA9876543210", key.data(), KEY_LEN));
  std::uint8_t block[8];
  ASSERT_TRUE(pinBlock(key, "1234", "6037991234567890", block));
  EXPECT_EQ(switchsim::pinFromBlock(key.data(), block, "6037991234567890"), "1234");
  ASSERT_TRUE(pinBlock(key, "987654321012", "6104337012345678901", block));
  EXPECT_EQ(switchsim::pinFromBlock(key.data(), block, "6104337012345678901"), "987654321012");
  EXPECT_FALSE(pinBlock(key, "123", "6037991234567890", block));

  std::vector<std::uint8_t> msg(53);
  for (std::size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<std::uint8_t>(i * 37 + 5);
  for (std::size_t exclude : {4u, 8u})
    EXPECT_EQ(macText(key, msg.data(), msg.size(), exclude), switchsim::macText(key.data(), msg.data(), msg.size(), exclude));
}

TEST(TermloadReport, percentilesByNearestRank) {
  std::vector<double> none;
  EXPECT_EQ(percentile(&none, 99), 0);
  std::vector<double> s;
  for (int i = 100; i >= 1; --i) s.push_back(i);
  EXPECT_EQ(percentile(&s, 50), 50);
  EXPECT_EQ(percentile(&s, 99), 99);
  EXPECT_EQ(percentile(&s, 100), 100);
  std::vector<double> one{7.5};
  EXPECT_EQ(percentile(&one, 99), 7.5);
}

TEST(TermloadLedgerCheck, eachExpectedTransactionOnceInItsState) {
  Expected expected = {{"10000001/000001", "approved and advised"},
                       {"10000001/000002", "reversed"},
                       {"10000002/000007", "declined"}};
  const std::string good = "10000001/000001  purchase       000000001000  approved and advised\n"
                           "10000001/000002  purchase       000000001000  reversed\n"
                           "10000002/000007  bill-payment   000000001000  declined\n"
                           "10000009/000001  purchase       000000001000  still open\n"
                           "2 approved and advised, 1 reversed, 1 declined, 1 still open\n";
  EXPECT_TRUE(checkSummary(good, expected).empty());

  const std::string bad = "10000001/000001  purchase       000000001000  still open\n"
                          "10000002/000007  bill-payment   000000001000  declined\n"
                          "10000002/000007  bill-payment   000000001000  declined\n";
  std::vector<std::string> problems = checkSummary(bad, expected);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("still open, expected approved and advised"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("more than once"), std::string::npos) << problems[1];
  EXPECT_NE(problems[2].find("10000001/000002: missing"), std::string::npos) << problems[2];
}

/* ---- against a running switch simulator --------------------------------------------- */

using testsupport::readAll;
using testsupport::spawn;
using testsupport::listeningPort;

int waitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TermloadRun : public ::testing::Test {
protected:
  fs::path dir;
  pid_t switchPid = -1;
  int port = 0;

  void SetUp() override {
    dir = fs::temp_directory_path() / ("termload_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    if (switchPid > 0) {
      kill(switchPid, SIGTERM);
      waitFor(switchPid);
    }
    fs::remove_all(dir);
  }

  void startSwitch(const std::string &faults) {
    std::vector<std::string> args = {SWITCHSIM_PROGRAM, "--port", "0", "--quiet", "--ledger", (dir / "ledger.jsonl").string()};
    // Enough money that the run never meets a balance decline it does not expect.
    std::ofstream(dir / "cards.txt") << "6037991234567890 6037991234567890=2512101123456789 1234 900000000000\n";
    args.insert(args.end(), {"--cards", (dir / "cards.txt").string()});
    if (!faults.empty()) {
      std::ofstream(dir / "faults.txt") << faults;
      args.insert(args.end(), {"--faults", (dir / "faults.txt").string()});
    }
    switchPid = spawn(args, dir / "switch.out");
    ASSERT_GT(switchPid, 0);
    port = listeningPort(dir / "switch.out", std::chrono::milliseconds(5000));
    ASSERT_GT(port, 0) << readAll(dir / "switch.out");
  }

  // The switch's own summary of its ledger, compared with what the run expects.
  std::vector<std::string> ledgerProblems(const Report &report) {
    pid_t pid = spawn({SWITCHSIM_PROGRAM, "ledger-summary", (dir / "ledger.jsonl").string()}, dir / "summary.txt");
    EXPECT_EQ(waitFor(pid), 0);
    return checkSummary(readAll(dir / "summary.txt"), report.expected);
  }
};

TEST_F(TermloadRun, aMixWithDroppedAnswersSettlesEachRequestOnce) {
  ASSERT_NO_FATAL_FAILURE(startSwitch(""));
  Options o;
  o.port = port;
  o.terminals = 4;
  o.requests = 120;
  o.dropShare = 25;
  o.cards = {{"6037991234567890", "1234"}};
  Report report;
  std::string error;
  ASSERT_TRUE(run(o, &report, &error)) << error;
  EXPECT_EQ(report.loggedOn, 4);
  EXPECT_EQ(report.started, 120);
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  long started = 0, financialCount = 0;
  for (int k = 0; k < STARTED_KINDS; ++k) started += report.kinds[static_cast<std::size_t>(k)].count;
  EXPECT_EQ(started, 120);
  for (int k : {PURCHASE, BILL, CHARGE}) financialCount += report.kinds[static_cast<std::size_t>(k)].count;
  EXPECT_EQ(static_cast<long>(report.expected.size()), financialCount);
  // Every dropped answer was reversed, every other approval advised.
  long dropped = 0;
  for (const KindStats &s : report.kinds) dropped += s.dropped;
  EXPECT_GT(dropped, 0);
  EXPECT_EQ(report.kinds[REVERSAL].count, dropped);
  EXPECT_EQ(report.kinds[REVERSAL].codes["00"], dropped);
  EXPECT_EQ(report.kinds[ADVICE].count, financialCount - dropped);
  std::vector<std::string> problems = ledgerProblems(report);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(TermloadRun, anAnswerTheSwitchNeverSendsIsReversed) {
  ASSERT_NO_FATAL_FAILURE(startSwitch("0200/000000 drop once\n"));
  Options o;
  o.port = port;
  o.terminals = 1;
  o.requests = 3;
  o.mix = {1, 0, 0, 0};
  o.timeoutMs = 300;
  Report report;
  std::string error;
  ASSERT_TRUE(run(o, &report, &error)) << error;
  EXPECT_EQ(report.kinds[PURCHASE].lost, 1);
  EXPECT_EQ(report.kinds[PURCHASE].count, 2);
  EXPECT_EQ(report.kinds[REVERSAL].codes["00"], 1);
  ASSERT_EQ(report.expected.size(), 3u);
  EXPECT_EQ(std::count_if(report.expected.begin(), report.expected.end(),
                          [](const auto &e) { return e.second == "reversed"; }),
            1);
  std::vector<std::string> problems = ledgerProblems(report);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST_F(TermloadRun, theProgramRefusesAnythingButLoopbackWithoutConnecting) {
  // 192.0.2.1 is a documentation address: nothing answers there, and nothing may be tried.
  pid_t pid = spawn({TERMLOAD_PROGRAM, "--host", "192.0.2.1", "--port", "4080"}, dir / "out.txt");
  EXPECT_EQ(waitFor(pid), 2);
  pid = spawn({TERMLOAD_PROGRAM, "--port", "1", "--terminals", "1", "--quiet"}, dir / "out.txt");
  EXPECT_EQ(waitFor(pid), 2); // nothing listens on port 1: no logon is an error
}

} // namespace
