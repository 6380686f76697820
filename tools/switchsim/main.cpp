/*
 * main.cpp - switchsim, an acquiring switch for the terminal on loopback.
 *
 * Sections: options, the listening socket, the connection loop with the
 * transport faults (drop, close, delay, split, garbage, truncate).
 *
 * One thread: poll() over the listening socket and every open connection;
 * each complete frame is answered before the next one is read.
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "crypto.h"
#include "switch.h"

using namespace switchsim;

namespace {

constexpr const char *DEVELOPMENT_MASTER_KEY = "0123456789ABCDEFFEDCBA9876543210";
constexpr int DEFAULT_PORT = 4080;
constexpr std::size_t MAX_FRAME = 4096; // a length word above this closes the connection
constexpr int POLL_MS = 200;

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

void usage(std::FILE *out) {
  std::fprintf(out,
               "usage: switchsim [options]\n"
               "       switchsim ledger-summary LEDGER\n"
               "\n"
               "An acquiring switch for saffron on 127.0.0.1: key exchange, merchant information,\n"
               "balance, bill inquiry and payment, purchase, voucher, top-up, advice and reversal.\n"
               "\n"
               "options:\n"
               "  --port N          TCP port on 127.0.0.1 (default %d; 0 picks a free one)\n"
               "  --cards FILE      card table: lines of PAN TRACK2 PIN BALANCE [BLOCKED]\n"
               "  --ledger FILE     append every request and answer as JSON lines\n"
               "  --faults FILE     fault script: lines of SELECTOR ACTION [ARG] [once]\n"
               "                    SELECTOR: request number, MTI, or MTI/PROCESSING-CODE\n"
               "                    ACTION: drop | close | delay MS | split [MS] | garbage |\n"
               "                            truncate | code XX\n"
               "  --master-key HEX  terminal master key, 32 hex digits (development key by default)\n"
               "  --quiet           no field dump on standard output\n"
               "  --help            this text\n",
               DEFAULT_PORT);
}

bool readFile(const std::string &path, std::string *text) {
  std::ifstream in(path);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

bool sendAll(int fd, const std::uint8_t *data, std::size_t len) {
  while (len > 0) {
    ssize_t n = send(fd, data, len, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

void pause(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Sends the answer as the fault says. false when the connection is to be closed.
bool deliver(int fd, const Reply &r) {
  const std::vector<std::uint8_t> &f = r.frame;
  switch (r.action) {
  case FaultAction::Close: return false;
  case FaultAction::Drop: return true;
  case FaultAction::Delay:
    pause(r.ms);
    return sendAll(fd, f.data(), f.size());
  case FaultAction::Split: {
    std::size_t first = f.size() / 2;
    if (!sendAll(fd, f.data(), first)) return false;
    pause(r.ms);
    return sendAll(fd, f.data() + first, f.size() - first);
  }
  case FaultAction::Garbage: {
    std::vector<std::uint8_t> g = f;
    if (g.size() > 2) randomBytes(g.data() + 2, g.size() - 2);
    return sendAll(fd, g.data(), g.size());
  }
  case FaultAction::Truncate:
    sendAll(fd, f.data(), f.size() / 2);
    return false;
  default:
    return f.empty() || sendAll(fd, f.data(), f.size());
  }
}

struct Client {
  int fd;
  std::string peer;
  std::vector<std::uint8_t> in;
};

} // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "ledger-summary") == 0) {
    if (argc != 3) {
      usage(stderr);
      return 2;
    }
    return ledgerSummary(argv[2], stdout);
  }

  Options options;
  std::string masterHex = DEVELOPMENT_MASTER_KEY, ledgerPath;
  int port = DEFAULT_PORT;
  bool quiet = false;
  options.cards = defaultCards();
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string *out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "switchsim: %s needs a value\n", a.c_str());
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v, error;
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "--port") {
      if (!value(&v)) return 2;
      char *end = nullptr;
      long p = std::strtol(v.c_str(), &end, 10);
      if (*end != '\0' || p < 0 || p > 65535) {
        std::fprintf(stderr, "switchsim: bad port %s\n", v.c_str());
        return 2;
      }
      port = static_cast<int>(p);
    } else if (a == "--cards") {
      if (!value(&v)) return 2;
      if (!loadCards(v, &options.cards, &error)) {
        std::fprintf(stderr, "switchsim: %s\n", error.c_str());
        return 2;
      }
    } else if (a == "--faults") {
      std::string text;
      if (!value(&v)) return 2;
      if (!readFile(v, &text) || !parseFaults(text, &options.faults, &error)) {
        std::fprintf(stderr, "switchsim: %s: %s\n", v.c_str(), error.empty() ? "cannot be read" : error.c_str());
        return 2;
      }
    } else if (a == "--ledger") {
      if (!value(&ledgerPath)) return 2;
    } else if (a == "--master-key") {
      if (!value(&masterHex)) return 2;
    } else {
      std::fprintf(stderr, "switchsim: unknown option %s\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }
  if (!fromHex(masterHex, options.masterKey, KEY_LEN)) {
    std::fprintf(stderr, "switchsim: the master key must be 32 hex digits\n");
    return 2;
  }
  if (!ledgerPath.empty()) {
    options.ledger = std::fopen(ledgerPath.c_str(), "a");
    if (options.ledger == nullptr) {
      std::fprintf(stderr, "switchsim: %s: %s\n", ledgerPath.c_str(), std::strerror(errno));
      return 2;
    }
  }
  options.dump = quiet ? nullptr : stdout;

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0) {
    std::perror("switchsim: socket");
    return 1;
  }
  int one = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // loopback only, whatever the options say
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 || listen(listener, 8) != 0) {
    std::fprintf(stderr, "switchsim: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
    return 1;
  }
  socklen_t alen = sizeof(addr);
  getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &alen);
  std::printf("switchsim listening on 127.0.0.1:%d\n", ntohs(addr.sin_port));
  std::fflush(stdout);

  struct sigaction sa{};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Switch sw(std::move(options));
  std::vector<Client> clients;
  while (!stopRequested) {
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    for (const Client &c : clients) fds.push_back({c.fd, POLLIN, 0});
    int ready = poll(fds.data(), fds.size(), POLL_MS);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::perror("switchsim: poll");
      break;
    }
    if (fds[0].revents & POLLIN) {
      sockaddr_in peer{};
      socklen_t plen = sizeof(peer);
      int fd = accept(listener, reinterpret_cast<sockaddr *>(&peer), &plen);
      if (fd >= 0) {
        char ip[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof(ip));
        clients.push_back({fd, std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port)), {}});
      }
    }
    std::vector<int> closing;
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Client &c = clients[i - 1];
      std::uint8_t buf[4096];
      ssize_t n = recv(c.fd, buf, sizeof(buf), 0);
      if (n <= 0) {
        closing.push_back(c.fd);
        continue;
      }
      c.in.insert(c.in.end(), buf, buf + n);
      bool keep = true;
      while (keep && c.in.size() >= 2) {
        std::size_t len = static_cast<std::size_t>(c.in[0]) << 8 | c.in[1];
        if (len > MAX_FRAME) {
          std::printf("!! %s: frame length %zu is too long, closing\n", c.peer.c_str(), len);
          keep = false;
          break;
        }
        if (c.in.size() < len + 2) break;
        std::vector<std::uint8_t> frame(c.in.begin(), c.in.begin() + static_cast<long>(len + 2));
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(len + 2));
        keep = deliver(c.fd, sw.handle(frame, c.peer));
      }
      if (!keep) closing.push_back(c.fd);
    }
    for (int fd : closing) {
      close(fd);
      for (std::size_t i = 0; i < clients.size(); ++i)
        if (clients[i].fd == fd) {
          clients.erase(clients.begin() + static_cast<long>(i));
          break;
        }
    }
  }
  for (const Client &c : clients) close(c.fd);
  close(listener);
  std::printf("switchsim stopped\n");
  return 0;
}
