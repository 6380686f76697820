/*
 * switchsim_server_test.cpp - the switchsim program over loopback: serving
 * terminals side by side, closing what stalls, refusing past its limits
 * without spinning, sharing one ledger between two runs, and refusing bad
 * option values with exit status 2.
 */
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "switch_client.h"

namespace fs = std::filesystem;
using namespace switchsim_test;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

namespace {

std::string readAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Proc {
  pid_t pid = -1;
  int port = 0;
  fs::path out, err;
};

// Starts switchsim with args; stdout and stderr go to files. A non-zero
// fileLimit caps its descriptors, a non-zero sizeLimit the size of files it writes.
Proc spawn(const fs::path &dir, const std::string &name, const std::vector<std::string> &args, rlim_t fileLimit = 0,
           rlim_t sizeLimit = 0) {
  Proc r;
  r.out = dir / (name + ".out");
  r.err = dir / (name + ".err");
  r.pid = fork();
  if (r.pid == 0) {
    int o = open(r.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(r.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    if (fileLimit != 0) {
      rlimit lim{fileLimit, fileLimit};
      setrlimit(RLIMIT_NOFILE, &lim);
    }
    if (sizeLimit != 0) {
      signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing
      rlimit lim{sizeLimit, sizeLimit};
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    std::vector<std::string> all = {SWITCHSIM_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return r;
}

// Starts a switch on a free port and waits for it to listen.
Proc startSwitch(const fs::path &dir, const std::string &name, std::vector<std::string> args, rlim_t fileLimit = 0,
                 rlim_t sizeLimit = 0) {
  args.insert(args.begin(), {"--port", "0", "--quiet"});
  Proc r = spawn(dir, name, args, fileLimit, sizeLimit);
  for (int i = 0; i < 400 && r.port == 0; ++i) {
    std::string text = readAll(r.out);
    auto at = text.find("listening on 127.0.0.1:");
    if (at != std::string::npos && text.find('\n', at) != std::string::npos)
      r.port = std::stoi(text.substr(at + std::strlen("listening on 127.0.0.1:")));
    else
      std::this_thread::sleep_for(Ms(25));
  }
  return r;
}

int waitExit(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void stop(Proc &r) {
  if (r.pid <= 0) return;
  kill(r.pid, SIGTERM);
  waitExit(r.pid);
  r.pid = -1;
}

int connectTo(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool sendBytes(int fd, const std::vector<std::uint8_t> &bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// One whole answer frame within ms; empty on a time-out or a closed connection.
std::vector<std::uint8_t> readFrame(int fd, int ms) {
  std::vector<std::uint8_t> in;
  auto deadline = SteadyClock::now() + Ms(ms);
  while (SteadyClock::now() < deadline) {
    if (in.size() >= 2 && in.size() >= 2u + (in[0] << 8 | in[1])) return in;
    pollfd p{fd, POLLIN, 0};
    int left = static_cast<int>(std::chrono::duration_cast<Ms>(deadline - SteadyClock::now()).count());
    if (poll(&p, 1, left > 0 ? left : 0) <= 0) break;
    std::uint8_t buf[2048];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    in.insert(in.end(), buf, buf + n);
  }
  return {};
}

// True when the peer closed the connection within ms.
bool closedWithin(int fd, int ms) {
  auto deadline = SteadyClock::now() + Ms(ms);
  while (SteadyClock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    std::uint8_t b;
    ssize_t n = recv(fd, &b, 1, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
  }
  return false;
}

// A key exchange as a fresh terminal sends it: MACed with the provisional key.
std::vector<std::uint8_t> keyExchangeFrame(const std::string &serial, int stan) {
  std::uint8_t master[16], zeros[16] = {0}, provisional[16];
  switchsim::fromHex(DEV_MASTER_KEY, master, 16);
  switchsim::tdesEcb(master, zeros, provisional, 16, false);
  char s[8];
  std::snprintf(s, sizeof s, "%06d", stan % 1000000);
  return packFrame({{0, "0800"}, {3, "920000"}, {11, s}, {24, "006"}, {48, bcdTag(1, serial)}}, provisional, 4);
}

// Sends a key exchange on fd and says whether an approved answer came within ms.
bool keyExchangeOn(int fd, const std::string &serial, int stan, int ms = 3000) {
  if (!sendBytes(fd, keyExchangeFrame(serial, stan))) return false;
  std::vector<std::uint8_t> answer = readFrame(fd, ms);
  return !answer.empty() && unpackFrame(answer)[39] == "00";
}

long cpuTicks(pid_t pid) {
  std::string stat = readAll("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream rest(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) {
      stime = std::stol(field);
      break;
    }
  }
  return utime + stime;
}

class Server : public ::testing::Test {
protected:
  fs::path dir;
  std::vector<Proc> runs;
  std::vector<int> fds;

  void SetUp() override {
    dir = fs::temp_directory_path() / ("switchsim_server_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    for (int fd : fds) close(fd);
    for (Proc &r : runs) stop(r);
    fs::remove_all(dir);
  }
  Proc &start(const std::vector<std::string> &args, rlim_t fileLimit = 0, rlim_t sizeLimit = 0) {
    runs.push_back(startSwitch(dir, "switch" + std::to_string(runs.size()), args, fileLimit, sizeLimit));
    EXPECT_GT(runs.back().port, 0) << readAll(runs.back().err);
    return runs.back();
  }
  int openConn(int port) {
    int fd = connectTo(port);
    EXPECT_GE(fd, 0);
    if (fd >= 0) fds.push_back(fd);
    return fd;
  }
};

} // namespace

TEST_F(Server, aStalledTerminalHoldsUpNoOther) {
  std::ofstream(dir / "faults") << "1 delay 8000\n";
  Proc &sw = start({"--faults", (dir / "faults").string()});
  int slow = openConn(sw.port);
  ASSERT_TRUE(sendBytes(slow, keyExchangeFrame("SLOW0001", 1))); // request 1: answered after 8 s
  std::this_thread::sleep_for(Ms(200));
  int half = openConn(sw.port);
  std::vector<std::uint8_t> frame = keyExchangeFrame("HALF0001", 1);
  ASSERT_TRUE(sendBytes(half, std::vector<std::uint8_t>(frame.begin(), frame.begin() + 10)));
  int silent = openConn(sw.port); // connects, never sends
  (void)silent;

  int quick = openConn(sw.port);
  auto began = SteadyClock::now();
  EXPECT_TRUE(keyExchangeOn(quick, "QUICK001", 1, 6000));
  EXPECT_LT(std::chrono::duration_cast<Ms>(SteadyClock::now() - began).count(), 4000);
}

TEST_F(Server, anUnfinishedFrameIsClosedAfterTheTimeout) {
  Proc &sw = start({"--frame-timeout", "300"});
  int half = openConn(sw.port);
  std::vector<std::uint8_t> frame = keyExchangeFrame("HALF0001", 1);
  ASSERT_TRUE(sendBytes(half, std::vector<std::uint8_t>(frame.begin(), frame.begin() + 5)));
  int idle = openConn(sw.port); // nothing begun: not timed out
  EXPECT_TRUE(closedWithin(half, 3000));
  EXPECT_TRUE(keyExchangeOn(idle, "IDLE0001", 1));
  EXPECT_NE(readAll(sw.out).find("unfinished"), std::string::npos) << readAll(sw.out);
}

TEST_F(Server, connectionsPastTheLimitAreRefusedAndLaterServed) {
  Proc &sw = start({"--max-connections", "2"});
  int a = openConn(sw.port), b = openConn(sw.port);
  ASSERT_TRUE(keyExchangeOn(a, "TERM0001", 1));
  ASSERT_TRUE(keyExchangeOn(b, "TERM0002", 1));
  int c = openConn(sw.port);
  EXPECT_TRUE(closedWithin(c, 2000)) << "the third connection was kept waiting";
  EXPECT_NE(readAll(sw.out).find("refusing"), std::string::npos) << readAll(sw.out);
  close(a);
  fds.erase(std::find(fds.begin(), fds.end(), a));
  std::this_thread::sleep_for(Ms(400)); // its thread notices the close
  int d = openConn(sw.port);
  EXPECT_TRUE(keyExchangeOn(d, "TERM0003", 1));
}

TEST_F(Server, aBurstOf200TerminalsIsServed) {
  Proc &sw = start({});
  std::vector<int> burst;
  for (int i = 0; i < 200; ++i) {
    int fd = openConn(sw.port);
    ASSERT_GE(fd, 0) << "connection " << i << " refused";
    burst.push_back(fd);
  }
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(sendBytes(burst[static_cast<std::size_t>(i)], keyExchangeFrame("BURST" + std::to_string(i), i + 1)));
  int answered = 0;
  for (int fd : burst) answered += unpackFrame(readFrame(fd, 10000))[39] == "00";
  EXPECT_EQ(answered, 200);
}

TEST_F(Server, runningOutOfDescriptorsRefusesWithoutSpinning) {
  Proc &sw = start({}, 40);
  std::vector<int> flood;
  for (int i = 0; i < 80; ++i) {
    int fd = connectTo(sw.port);
    if (fd >= 0) flood.push_back(fd);
  }
  std::this_thread::sleep_for(Ms(500));
  long before = cpuTicks(sw.pid);
  std::this_thread::sleep_for(Ms(1000));
  long used = cpuTicks(sw.pid) - before;
  EXPECT_LT(used, 30) << "the switch used " << used << " ticks of CPU in a second while out of descriptors";
  EXPECT_NE(readAll(sw.out).find("out of file descriptors"), std::string::npos) << readAll(sw.out);
  for (int fd : flood) close(fd);
  std::this_thread::sleep_for(Ms(500));
  int fresh = openConn(sw.port);
  EXPECT_TRUE(keyExchangeOn(fresh, "AFTER001", 1));
}

TEST_F(Server, twoRunsShareOneConsistentLedger) {
  fs::path ledger = dir / "ledger.jsonl";
  int ports[2] = {start({"--ledger", ledger.string()}).port, start({"--ledger", ledger.string()}).port};
  std::atomic<int> approved{0};
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t)
    clients.emplace_back([&, t] {
      int fd = connectTo(ports[t % 2]);
      for (int i = 0; i < 10; ++i) approved += keyExchangeOn(fd, "SHARE" + std::to_string(t), i + 1);
      close(fd);
    });
  for (std::thread &c : clients) c.join();
  EXPECT_EQ(approved.load(), 40);
  for (Proc &r : runs) stop(r);

  std::istringstream lines(readAll(ledger));
  std::set<std::string> runIds;
  int count = 0;
  for (std::string text; std::getline(lines, text); ++count) {
    nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
    ASSERT_TRUE(line.is_object()) << "line " << count + 1 << ": " << text;
    runIds.insert(line["run"].get<std::string>());
  }
  EXPECT_EQ(count, 2 + 40 * 2); // a start line per run, a request and an answer each
  EXPECT_EQ(runIds.size(), 2u);
  Proc check = spawn(dir, "check", {"ledger-summary", "--check", ledger.string()});
  EXPECT_EQ(waitExit(check.pid), 0) << readAll(check.err);
}

// Frames that arrive together are answered one by one, in order, each after
// its own ledger lines.
TEST_F(Server, framesSentTogetherAreAnsweredInOrder) {
  Proc &sw = start({"--ledger", (dir / "ledger.jsonl").string()});
  int fd = openConn(sw.port);
  std::vector<std::uint8_t> three;
  for (int stan = 1; stan <= 3; ++stan) {
    std::vector<std::uint8_t> f = keyExchangeFrame("PIPE0001", stan);
    three.insert(three.end(), f.begin(), f.end());
  }
  ASSERT_TRUE(sendBytes(fd, three));
  // The answers may well arrive together: split them here.
  std::vector<std::uint8_t> in;
  auto deadline = SteadyClock::now() + Ms(5000);
  std::vector<std::vector<std::uint8_t>> answers;
  while (answers.size() < 3 && SteadyClock::now() < deadline) {
    if (in.size() >= 2 && in.size() >= 2u + (in[0] << 8 | in[1])) {
      std::size_t n = 2u + (in[0] << 8 | in[1]);
      answers.emplace_back(in.begin(), in.begin() + static_cast<long>(n));
      in.erase(in.begin(), in.begin() + static_cast<long>(n));
      continue;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    std::uint8_t buf[4096];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    in.insert(in.end(), buf, buf + n);
  }
  ASSERT_EQ(answers.size(), 3u);
  const char *stans[] = {"000001", "000002", "000003"};
  for (std::size_t i = 0; i < 3; ++i) {
    Fields an = unpackFrame(answers[i]);
    EXPECT_EQ(an[11], stans[i]);
    EXPECT_EQ(an[39], "00");
  }
}

// A terminal that sends its request and shuts its side at once still gets the answer.
TEST_F(Server, aRequestSentJustBeforeTheCloseIsAnswered) {
  Proc &sw = start({"--ledger", (dir / "ledger.jsonl").string()});
  int fd = openConn(sw.port);
  ASSERT_TRUE(sendBytes(fd, keyExchangeFrame("LAST0001", 7)));
  shutdown(fd, SHUT_WR);
  Fields an = unpackFrame(readFrame(fd, 3000));
  EXPECT_EQ(an[11], "000007");
  EXPECT_EQ(an[39], "00");
  EXPECT_TRUE(closedWithin(fd, 2000));
}

// The ledger runs out of room part way: every answer the terminal got has
// both its lines in the ledger, whole; the first request whose lines could
// not be written gets no answer and its connection is closed.
TEST_F(Server, noAnswerLeavesBeforeItsLedgerLinesAreWritten) {
  fs::path ledger = dir / "ledger.jsonl";
  Proc &sw = start({"--ledger", ledger.string()}, 0, 2500);
  int fd = openConn(sw.port);
  int answered = 0;
  bool closed = false;
  for (int stan = 1; stan <= 20 && !closed; ++stan) {
    if (keyExchangeOn(fd, "FULL0001", stan, 3000))
      ++answered;
    else
      closed = closedWithin(fd, 2000);
  }
  EXPECT_TRUE(closed) << "the ledger never filled up";
  EXPECT_GE(answered, 1);
  std::istringstream lines(readAll(ledger));
  int count = 0;
  for (std::string text; std::getline(lines, text); ++count)
    ASSERT_TRUE(nlohmann::json::parse(text, nullptr, false).is_object()) << "line " << count + 1 << ": " << text;
  EXPECT_EQ(count, 1 + 2 * answered) << "the start line, then a request and an answer for each answered exchange";
  EXPECT_NE(readAll(sw.err).find("cannot be written"), std::string::npos) << readAll(sw.err);
}

TEST_F(Server, badOptionValuesExitWithStatus2) {
  std::ofstream(dir / "cards") << "6037990000000001 6037990000000001=2512 1234 5000abc\n";
  std::ofstream(dir / "faults") << "3 explode\n";
  const std::vector<std::vector<std::string>> bad = {
      {"--port", ""},
      {"--port", "80x"},
      {"--port", "-1"},
      {"--port", "65536"},
      {"--port"},
      {"--cards", (dir / "cards").string()},
      {"--cards", dir.string()},
      {"--cards", (dir / "missing").string()},
      {"--faults", dir.string()},
      {"--faults", (dir / "faults").string()},
      {"--ledger", dir.string()},
      {"--master-key", "0123"},
      {"--max-connections", "0"},
      {"--frame-timeout", "ten"},
      {"--frobnicate"},
      {"ledger-summary", dir.string()},
      {"ledger-summary"},
  };
  int n = 0;
  for (const std::vector<std::string> &args : bad) {
    Proc r = spawn(dir, "bad" + std::to_string(n++), args);
    EXPECT_EQ(waitExit(r.pid), 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_NE(readAll(r.err).find("switchsim"), std::string::npos) << "no message for " << args[0];
  }
}
