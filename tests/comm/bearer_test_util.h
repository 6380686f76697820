// bearer_test_util.h - a fresh simulated terminal for the bearer tests: its
// own data folder, a switch listening on 127.0.0.1, and a link whose connect
// needs a route: without a PPP link or a joined WiFi network it fails, as it
// does on the terminal.
#ifndef TESTS_COMM_BEARER_TEST_UTIL_H
#define TESTS_COMM_BEARER_TEST_UTIL_H

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <stdlib.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "reset.h"
#include "comm/Bearer.h"
#include "comm/Connection.h"
#include "core/Filing.h"
#include "sim.h"

// The simulator ended the run (script finished, runaway).
struct SimExit {
  int status;
  std::string message;
};

// The switch: connects queue on the backlog, which is all a connect needs.
class SwitchListener {
public:
  SwitchListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd_, 16) != 0) abort();
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~SwitchListener() { close(fd_); }
  int port() const { return port_; }

private:
  int fd_ = -1;
  int port_ = 0;
};

inline std::atomic<int> connects{0};
inline std::atomic<bool> holdConnects{false}; // a connect waits while set

// No route without a bearer: the connect fails as the kernel would fail it.
inline int routedConnect(int fd, const sockaddr *addr, socklen_t len) {
  ++connects;
  while (holdConnects) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const sim::BearerState b = sim::bearerState();
  if (!b.pppUp && b.joined.empty()) {
    errno = ENETUNREACH;
    return -1;
  }
  return tcpSysDefault.connect(fd, addr, len);
}

inline void radio(const std::string &line) {
  std::string error;
  ASSERT_TRUE(sim::radioCommand(line, &error)) << line << ": " << error;
}

class BearerTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/saffron-bearer-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    testsupport::resetAll(dir_.c_str());
    // A run that would end unwinds the test instead of ending the process.
    sim::setExitHandler([](int status, const std::string &message) { throw SimExit{status, message}; });
    std::snprintf(config.HostIP, sizeof config.HostIP, "127.0.0.1");
    config.HostPort = sw_.port();
    std::snprintf(config.APN, sizeof config.APN, "mcinet");
    config.connectionType = CONNECTION_GPRS;
    connectionStatus = LINK_DOWN;
    initLinkState();
    connects = 0;
    holdConnects = false;
    tcpSys = TcpSysCalls{tcpSysDefault.resolve, routedConnect};
  }
  void TearDown() override {
    holdConnects = false;
    waitForNoThread();
    tcpClose();
    tcpSys = tcpSysDefault;
    linkThreadCreate = defaultCreate;
    connectionStatus = LINK_DOWN;
    if (chdir("/") != 0) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // The background thread has finished (real time: it runs beside the test).
  static bool waitForNoThread() {
    for (int i = 0; i < 2000 && pThread != NO_THREAD; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return pThread == NO_THREAD;
  }

  void pppUp() {
    ASSERT_EQ(wirelessSetup(config.APN, config.APNUser, config.APNPass, CONNECTION_GPRS), 0);
    ASSERT_EQ(DLL_PppStatus(), 0);
  }

  static inline int (*const defaultCreate)(pthread_t *, void *(*)(void *), void *) = linkThreadCreate;
  SwitchListener sw_;
  std::string dir_;
};

#endif
