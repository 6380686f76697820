/*
 * switch_fixture.h - a fresh terminal folder beside a switchsim process of its
 * own on 127.0.0.1, logged on; the ledger read back as the switch's summary.
 */
#ifndef TESTS_ENGINE_SWITCH_FIXTURE_H
#define TESTS_ENGINE_SWITCH_FIXTURE_H

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
#include <string>
#include <thread>
#include <vector>

#include "reset.h"
#include "comm/Connection.h"
#include "core/Filing.h"
#include "journal/Journal.h"
#include "pinpad.h"
#include "sim.h"
#include "txn/Transactions.h"

namespace enginetest {

namespace fs = std::filesystem;

using testsupport::readAll;
using testsupport::spawn;
using testsupport::listeningPort;

class SwitchFixture : public ::testing::Test {
protected:
  fs::path dir, ledger, output;
  pid_t pid = -1;
  int port = 0;

  void SetUp() override {
    dir = fs::temp_directory_path() / ("engine_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    ledger = dir / "ledger.jsonl";
    output = dir / "switchsim.out";
    testsupport::resetAll((dir / "terminal").c_str());
    // A lost answer costs this much real time in every test that drops one.
    mid_tcpSetWaitMs(1500);
    std::strcpy(config.SerialNo, "SN00112233");
    std::strcpy(config.NII, "0006");
    std::strcpy(turnRow.batchNo, "000001");
    std::strcpy(turnRow.stanNo, "000001");
    writeTurnRow2File();
  }

  void TearDown() override {
    remoteDisconnect();
    stopSwitch();
    mid_tcpSetWaitMs(TCP_WAIT_MS_DEFAULT);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
  }

  void stopSwitch() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
  }

  // Starts the switch (with a fault script when given) and points the terminal at it.
  void startSwitch(const std::string &faults = "") {
    std::vector<std::string> args = {SWITCHSIM_PROGRAM, "--port", "0", "--ledger", ledger.string()};
    if (!faults.empty()) {
      std::ofstream(dir / "faults.txt") << faults;
      args.push_back("--faults");
      args.push_back((dir / "faults.txt").string());
    }
    port = 0;
    pid = spawn(args, output);
    ASSERT_GT(pid, 0);
    port = listeningPort(output, std::chrono::milliseconds(5000));
    ASSERT_GT(port, 0) << readAll(output);
    std::strcpy(config.HostIP, "127.0.0.1");
    config.HostPort = port;
    writeConfig2File();
  }

  // Key exchange and merchant information, as the manager's logon runs them.
  void logon() {
    for (int kind : {LOGON_KEY_EXCHANGE, LOGON_MERCHANT_INFO}) {
      char address[32] = "127.0.0.1";
      ASSERT_GE(remoteConnect(address, sizeof address, port, 0), 0);
      ASSERT_EQ(doLogonKeyExhange(kind), 0);
    }
  }

  // The switch's one-line verdict on each transaction.
  std::string summary() {
    fs::path out = dir / "summary.txt";
    pid_t p = spawn({SWITCHSIM_PROGRAM, "ledger-summary", ledger.string()}, out);
    int status = 0;
    waitpid(p, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return readAll(out);
  }

  // How many ledger requests carry this MTI.
  int requestsOf(const std::string &mti) {
    std::istringstream in(readAll(ledger));
    int n = 0;
    for (std::string line; std::getline(in, line);)
      if (line.find("\"dir\":\"request\"") != std::string::npos &&
          line.find("\"mti\":\"" + mti + "\"") != std::string::npos)
        ++n;
    return n;
  }
};

} // namespace enginetest

#endif
