// TCP link against listeners on 127.0.0.1 that each test opens itself: connect
// and address handling, the frame reader (split, short, oversized, silent peer),
// writes to a closed peer, and the exchange.
#include <gtest/gtest.h>

#include <cstdio>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <future>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "reset.h"
#include "comm/Connection.h"
#include "sim.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int TEST_WAIT_MS = 400;  // shortened wait; the terminal keeps 30 seconds

// A one-connection listener on 127.0.0.1 with a free port; the peer's behaviour
// runs on its own thread once a client connects.
class Peer {
 public:
  explicit Peer(std::function<void(int fd)> behaviour) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(listener_, 1) != 0) abort();
    socklen_t len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, behaviour] {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      conn_ = fd;
      behaviour(fd);
      const int mine = conn_.exchange(-1);
      if (mine >= 0) close(mine);
    });
  }
  // Ends the peer's side too, so a peer still reading returns at once.
  ~Peer() {
    shutdown(listener_, SHUT_RDWR);
    const int fd = conn_.load();
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> conn_{-1};
  std::thread thread_;
};

void sendAll(int fd, const Bytes &b) { ASSERT_EQ(send(fd, b.data(), b.size(), MSG_NOSIGNAL), (ssize_t)b.size()); }

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// 0x00 0x2A: a TPDU and 37 message bytes.
Bytes frame42() {
  Bytes f = {0x00, 0x2A, 0x60, 0x00, 0x06, 0x00, 0x80};
  for (int i = 0; i < 37; ++i) f.push_back(static_cast<unsigned char>(0x30 + i));
  return f;
}

// Reads everything the client sends until it closes.
Bytes drain(int fd) {
  Bytes got;
  unsigned char buf[512];
  ssize_t n;
  while ((n = recv(fd, buf, sizeof buf, 0)) > 0) got.insert(got.end(), buf, buf + n);
  return got;
}

class TcpLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::resetAll();
    mid_tcpSetWaitMs(TEST_WAIT_MS);
  }
  void TearDown() override {
    tcpClose();
    tcpSys = tcpSysDefault;
    mid_tcpSetWaitMs(0);  // back to the terminal's default
  }
  // Connects to the peer and reads one frame into a buffer of bufSize.
  int readFrom(Peer &peer, Bytes *out, int bufSize = 1024, int *lenOut = nullptr) {
    EXPECT_GE(tcpConnect("127.0.0.1", peer.port()), 0);
    out->assign(static_cast<std::size_t>(bufSize), 0xEE);
    int len = -7;
    const int r = tcpRead(out->data(), &len, bufSize);
    if (lenOut != nullptr) *lenOut = len;
    if (r == 0 && len >= 0) out->resize(static_cast<std::size_t>(len));
    return r;
  }
};

// ---- connecting -------------------------------------------------------------------------

TEST_F(TcpLinkTest, ConnectOpensTheOneSocketAndCloseForgetsIt) {
  Peer peer([](int fd) { drain(fd); });
  EXPECT_EQ(sockfd, -1);
  const int fd = tcpConnect("127.0.0.1", peer.port());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(sockfd, fd);
  EXPECT_EQ(tcpClose(), 0);
  EXPECT_EQ(sockfd, -1);
  EXPECT_EQ(tcpClose(), 0);  // nothing open
}

TEST_F(TcpLinkTest, ConnectRefusedGivesMinusOneAndNoSocket) {
  int port;
  {
    Peer closed([](int) {});
    port = closed.port();
  }
  EXPECT_EQ(tcpConnect("127.0.0.1", port), -1);
  EXPECT_EQ(sockfd, -1);
}

TEST_F(TcpLinkTest, HostNameIsResolved) {
  Peer peer([](int fd) { drain(fd); });
  EXPECT_GE(tcpConnect("localhost", peer.port()), 0);
}

std::atomic<int> connectCalls{0};
sockaddr_in lastConnectAddress{};
int refusingConnect(int, const sockaddr *addr, socklen_t) {
  ++connectCalls;
  std::memcpy(&lastConnectAddress, addr, sizeof lastConnectAddress);
  errno = ECONNREFUSED;
  return -1;
}
int failingResolve(const char *, in_addr *) { return -1; }

TEST_F(TcpLinkTest, UnresolvableNameFailsWithoutAConnectAttempt) {
  tcpSys.resolve = failingResolve;
  tcpSys.connect = refusingConnect;
  connectCalls = 0;
  EXPECT_EQ(tcpConnect("switch.unknown", 5000), -1);
  EXPECT_EQ(connectCalls.load(), 0);
  EXPECT_EQ(sockfd, -1);
}

TEST_F(TcpLinkTest, RemoteConnectDropsLeadingZerosFromTheAddress) {
  // The connect is intercepted: nothing leaves the machine.
  tcpSys.connect = refusingConnect;
  tcpSys.resolve = failingResolve;
  connectCalls = 0;
  char address[32] = "010.001.002.003";
  EXPECT_EQ(remoteConnect(address, sizeof address, 8000, 0), -1);
  EXPECT_STREQ(address, "10.1.2.3");
  ASSERT_EQ(connectCalls.load(), 1);
  char text[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &lastConnectAddress.sin_addr, text, sizeof text);
  EXPECT_STREQ(text, "10.1.2.3");
  EXPECT_EQ(ntohs(lastConnectAddress.sin_port), 8000);
}

TEST_F(TcpLinkTest, RemoteConnectRefusesAnAddressThatTrimsToAllZeros) {
  // A host name, or a typing slip, trims to 0.0.0.0: that would reach a local
  // service instead of the switch.
  tcpSys.connect = refusingConnect;
  tcpSys.resolve = failingResolve;
  connectCalls = 0;
  for (const char *typed : {"switch.example", "0.0.0.0", "000.000.000.000", "x"}) {
    char address[32];
    std::snprintf(address, sizeof address, "%s", typed);
    EXPECT_EQ(remoteConnect(address, sizeof address, 8000, 0), -1) << typed;
    EXPECT_STREQ(address, "0.0.0.0") << typed;
  }
  EXPECT_EQ(connectCalls.load(), 0);
  EXPECT_EQ(sockfd, -1);
}

TEST_F(TcpLinkTest, RemoteConnectReachesALocalPeerAndDisconnects) {
  Peer peer([](int fd) { drain(fd); });
  char address[32] = "127.000.000.001";
  EXPECT_GE(remoteConnect(address, sizeof address, peer.port(), 1), 0);
  EXPECT_STREQ(address, "127.0.0.1");
  EXPECT_EQ(remoteDisconnect(), 0);
  EXPECT_EQ(sockfd, -1);
}

TEST_F(TcpLinkTest, TcpInitPreparesOnlyOnce) {
  tcpInit();
  struct sigaction now {};
  sigaction(SIGPIPE, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  signal(SIGPIPE, SIG_DFL);
  tcpInit();  // the second call changes nothing
  sigaction(SIGPIPE, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
  signal(SIGPIPE, SIG_IGN);
}

TEST(LinkDefaults, WaitsAreThirtySecondsUnlessATestShortensThem) {
  EXPECT_EQ(mid_tcpWaitMs(), 30000);
  mid_tcpSetWaitMs(250);
  EXPECT_EQ(mid_tcpWaitMs(), 250);
  mid_tcpSetWaitMs(0);
  EXPECT_EQ(mid_tcpWaitMs(), 30000);
}

// ---- reading frames -------------------------------------------------------------------------

TEST_F(TcpLinkTest, LengthBytes002AReadAs44Bytes) {
  Peer peer([](int fd) {
    sendAll(fd, frame42());
    drain(fd);
  });
  Bytes got;
  ASSERT_EQ(readFrom(peer, &got), 0);
  EXPECT_EQ(got, frame42());
}

TEST_F(TcpLinkTest, FrameSplitAcrossTwoSendsIsCompleted) {
  Peer peer([](int fd) {
    const Bytes f = frame42();
    sendAll(fd, Bytes(f.begin(), f.begin() + 20));
    pause(100);
    sendAll(fd, Bytes(f.begin() + 20, f.end()));
    drain(fd);
  });
  Bytes got;
  ASSERT_EQ(readFrom(peer, &got), 0);
  EXPECT_EQ(got, frame42());
}

TEST_F(TcpLinkTest, LengthBytesSplitAcrossTwoSendsAreCompleted) {
  Peer peer([](int fd) {
    const Bytes f = frame42();
    sendAll(fd, Bytes(f.begin(), f.begin() + 1));
    pause(50);
    sendAll(fd, Bytes(f.begin() + 1, f.end()));
    drain(fd);
  });
  Bytes got;
  ASSERT_EQ(readFrom(peer, &got), 0);
  EXPECT_EQ(got.size(), 44u);
}

TEST_F(TcpLinkTest, MessageCutShortByThePeerGivesMinusTwo) {
  Peer peer([](int fd) {
    const Bytes f = frame42();
    sendAll(fd, Bytes(f.begin(), f.begin() + 12));
  });  // then closes
  Bytes got;
  int len = 0;
  EXPECT_EQ(readFrom(peer, &got, 1024, &len), -2);
  EXPECT_EQ(len, -7);  // untouched
}

TEST_F(TcpLinkTest, MessageLeftShortByASilentPeerGivesMinusTwoWhenTheWaitEnds) {
  Peer peer([](int fd) {
    const Bytes f = frame42();
    sendAll(fd, Bytes(f.begin(), f.begin() + 30));
    drain(fd);
  });
  Bytes got;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(readFrom(peer, &got), -2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(TcpLinkTest, FewerThanTwoLengthBytesGiveMinusOne) {
  Peer peer([](int fd) { sendAll(fd, Bytes{0x00}); });
  Bytes got;
  EXPECT_EQ(readFrom(peer, &got), -1);
}

TEST_F(TcpLinkTest, PeerClosingWithoutAnswerGivesMinusOne) {
  Peer peer([](int) {});
  Bytes got;
  EXPECT_EQ(readFrom(peer, &got), -1);
}

TEST_F(TcpLinkTest, SilentPeerGivesZeroWithTheLengthUnchanged) {
  Peer peer([](int fd) { drain(fd); });  // reads, never answers
  Bytes got;
  int len = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(readFrom(peer, &got, 1024, &len), 0);
  EXPECT_EQ(len, -7);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(TEST_WAIT_MS - 50));
  EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(TcpLinkTest, FrameLargerThanTheBufferFailsWithoutWritingPastIt) {
  Peer peer([](int fd) {
    sendAll(fd, frame42());
    drain(fd);
  });
  ASSERT_GE(tcpConnect("127.0.0.1", peer.port()), 0);
  // The reader is told 43 bytes; the 44th and beyond must stay untouched.
  Bytes buf(64, 0xEE);
  int len = -7;
  EXPECT_EQ(tcpRead(buf.data(), &len, 43), -2);
  EXPECT_EQ(len, -7);
  for (std::size_t i = 43; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << i;
}

TEST_F(TcpLinkTest, ExactlyFittingFrameIsAccepted) {
  Peer peer([](int fd) {
    sendAll(fd, frame42());
    drain(fd);
  });
  Bytes got;
  EXPECT_EQ(readFrom(peer, &got, 44), 0);
  EXPECT_EQ(got.size(), 44u);
}

TEST_F(TcpLinkTest, ReadWithoutAConnectionFails) {
  unsigned char buf[16];
  int len = 0;
  EXPECT_EQ(tcpRead(buf, &len, sizeof buf), -1);
  EXPECT_EQ(tcpWrite(buf, sizeof buf), -1);
}

// ---- writing and the exchange ---------------------------------------------------------------

TEST_F(TcpLinkTest, WriteToAClosedPeerReturnsAnErrorAndTheProcessLives) {
  Peer peer([](int fd) {
    // Reset the connection at once.
    linger l{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  });
  ASSERT_GE(tcpConnect("127.0.0.1", peer.port()), 0);
  pause(100);
  const Bytes f = frame42();
  int result = 0;
  for (int i = 0; i < 20 && result >= 0; ++i) {
    result = tcpWrite(f.data(), static_cast<int>(f.size()));
    pause(10);
  }
  EXPECT_EQ(result, -1);
  int len = 0;
  Bytes resp(64);
  EXPECT_EQ(remoteAction(f.data(), static_cast<int>(f.size()), "", "", resp.data(), &len,
                         static_cast<int>(resp.size()), 0),
            -110);
}

std::vector<std::string> progressSeen;
void recordProgress(int stage, const char *title, const char *text) {
  progressSeen.push_back(std::to_string(stage) + " " + title + " " + text);
}

TEST_F(TcpLinkTest, ExchangeWritesTheRequestAndReturnsTheWholeResponseFrame) {
  std::promise<Bytes> seen;
  Peer peer([&](int fd) {
    unsigned char buf[256];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    seen.set_value(n > 0 ? Bytes(buf, buf + n) : Bytes{});
    sendAll(fd, frame42());
    drain(fd);
  });
  ASSERT_GE(tcpConnect("127.0.0.1", peer.port()), 0);
  const Bytes request = {0x00, 0x09, 0x60, 0x00, 0x06, 0x00, 0x80, 0x08, 0x00, 0x20, 0x20};
  Bytes resp(1024, 0);
  int len = 0;
  progressSeen.clear();
  const LinkProgress before = mid_setLinkProgress(recordProgress);
  EXPECT_EQ(remoteAction(request.data(), static_cast<int>(request.size()), "title", "sending", resp.data(), &len,
                         static_cast<int>(resp.size()), 0),
            0);
  ASSERT_EQ(len, 44);
  EXPECT_EQ(Bytes(resp.begin(), resp.begin() + len), frame42());
  EXPECT_EQ(seen.get_future().get(), request);
  // The link reports its stages to whoever shows them; it draws nothing itself.
  EXPECT_EQ(progressSeen, (std::vector<std::string>{"1 title sending", "2 title sending"}));
  progressSeen.clear();
  tcpClose();
  EXPECT_EQ(remoteAction(request.data(), static_cast<int>(request.size()), "", "", resp.data(), &len,
                         static_cast<int>(resp.size()), 0),
            LINK_SEND_FAILED);
  EXPECT_TRUE(progressSeen.empty()) << "an untitled exchange is not shown";
  mid_setLinkProgress(before);
}

TEST_F(TcpLinkTest, ExchangeWithASilentSwitchSucceedsWithNoData) {
  Peer peer([](int fd) { drain(fd); });
  ASSERT_GE(tcpConnect("127.0.0.1", peer.port()), 0);
  const Bytes f = frame42();
  Bytes resp(1024, 0);
  int len = 0;
  EXPECT_EQ(remoteAction(f.data(), static_cast<int>(f.size()), "", "", resp.data(), &len,
                         static_cast<int>(resp.size()), 0),
            0);
  EXPECT_EQ(len, 0);
}

}  // namespace
