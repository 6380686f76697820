/*
 * main.cpp - switchsim, an acquiring switch for the terminal on loopback.
 *
 * Sections: options (each bad value is an error with exit status 2), the
 * listening socket, serving, and the ledger summary.
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "crypto.h"
#include "ledger.h"
#include "server.h"
#include "switch.h"

using namespace switchsim;

namespace {

constexpr const char *DEVELOPMENT_MASTER_KEY = "0123456789ABCDEFFEDCBA9876543210";
constexpr long DEFAULT_PORT = 4080;
constexpr long MAX_CONNECTIONS_LIMIT = 4096;
constexpr long MAX_FRAME_TIMEOUT_MS = 3600000;

volatile sig_atomic_t stopRequested = 0;

void onSignal(int) { stopRequested = 1; }

void usage(std::FILE *out) {
  std::fprintf(out,
               "usage: switchsim [options]\n"
               "       switchsim ledger-summary [--check] LEDGER\n"
               "\n"
               "An acquiring switch for saffron on 127.0.0.1: key exchange, merchant information,\n"
               "balance, bill inquiry and payment, purchase, voucher, top-up, advice and reversal.\n"
               "\n"
               "options:\n"
               "  --port N          TCP port on 127.0.0.1 (default %ld; 0 picks a free one)\n"
               "  --cards FILE      card table: lines of PAN TRACK2 PIN BALANCE [BLOCKED]\n"
               "  --ledger FILE     append every request and answer as JSON lines\n"
               "  --faults FILE     fault script: lines of SELECTOR ACTION [ARG] [once]\n"
               "                    SELECTOR: request number, MTI, or MTI/PROCESSING-CODE\n"
               "                    ACTION: drop | close | delay MS | split [MS] | garbage |\n"
               "                            truncate | code XX\n"
               "  --master-key HEX  terminal master key, 32 hex digits (development key by default)\n"
               "  --max-connections N  connections served at once (default 256); more are closed\n"
               "  --frame-timeout MS   close a connection whose frame stays unfinished this long\n"
               "                       (default 10000)\n"
               "  --quiet           no field dump on standard output\n"
               "  --help            this text\n"
               "\n"
               "ledger-summary prints each financial transaction's end; --check makes damaged\n"
               "lines an error (exit status 1).\n",
               DEFAULT_PORT);
}

int badOption(const std::string &message) {
  std::fprintf(stderr, "switchsim: %s\n", message.c_str());
  return 2;
}

// A whole decimal number in [low, high]; no sign, spaces or trailing text.
bool numberIn(const std::string &text, long low, long high, long *out) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  long v = std::stol(text);
  if (v < low || v > high) return false;
  *out = v;
  return true;
}

int summaryCommand(int argc, char **argv) {
  bool check = false;
  std::string path;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--check") {
      check = true;
    } else if (path.empty() && !a.empty() && a[0] != '-') {
      path = a;
    } else {
      usage(stderr);
      return 2;
    }
  }
  if (path.empty()) {
    usage(stderr);
    return 2;
  }
  return ledgerSummary(path, check, stdout, stderr);
}

} // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && std::strcmp(argv[1], "ledger-summary") == 0) return summaryCommand(argc, argv);

  Options options;
  ServerOptions serverOptions;
  Ledger ledger;
  std::string masterHex = DEVELOPMENT_MASTER_KEY, ledgerPath;
  long port = DEFAULT_PORT;
  bool quiet = false;
  options.cards = defaultCards();
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string v, error;
    auto value = [&]() {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "--port" || a == "--cards" || a == "--faults" || a == "--ledger" || a == "--master-key" ||
               a == "--max-connections" || a == "--frame-timeout") {
      if (!value()) return badOption(a + " needs a value");
      long n = 0;
      if (a == "--port") {
        if (!numberIn(v, 0, 65535, &port)) return badOption("bad port '" + v + "': expected 0 to 65535");
      } else if (a == "--max-connections") {
        if (!numberIn(v, 1, MAX_CONNECTIONS_LIMIT, &n))
          return badOption("bad --max-connections '" + v + "': expected 1 to " + std::to_string(MAX_CONNECTIONS_LIMIT));
        serverOptions.maxConnections = static_cast<int>(n);
      } else if (a == "--frame-timeout") {
        if (!numberIn(v, 1, MAX_FRAME_TIMEOUT_MS, &n))
          return badOption("bad --frame-timeout '" + v + "': expected 1 to " + std::to_string(MAX_FRAME_TIMEOUT_MS) +
                           " milliseconds");
        serverOptions.frameTimeoutMs = n;
      } else if (a == "--cards") {
        if (!loadCards(v, &options.cards, &error)) return badOption(error);
      } else if (a == "--faults") {
        std::string text;
        if (!readSmallFile(v, &text, &error)) return badOption(error);
        if (!parseFaults(text, &options.faults, &error)) return badOption(v + ": " + error);
      } else if (a == "--ledger") {
        if (v.empty()) return badOption("--ledger needs a file name");
        ledgerPath = v;
      } else {
        masterHex = v;
      }
    } else {
      std::fprintf(stderr, "switchsim: unknown option %s\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }
  if (!fromHex(masterHex, options.masterKey, KEY_LEN)) return badOption("the master key must be 32 hex digits");
  if (!ledgerPath.empty()) {
    std::string error;
    if (!ledger.open(ledgerPath, &error)) return badOption(error);
    options.ledger = &ledger;
    serverOptions.ledger = &ledger;
  }
  options.dump = quiet ? nullptr : stdout;

  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
      listen(listener, LISTEN_BACKLOG) != 0) {
    std::fprintf(stderr, "switchsim: cannot listen on 127.0.0.1:%ld: %s\n", port, std::strerror(errno));
    return 1;
  }
  socklen_t alen = sizeof(addr);
  getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &alen);
  std::printf("switchsim listening on 127.0.0.1:%d\n", ntohs(addr.sin_port));
  if (options.ledger != nullptr) std::printf("ledger %s, run %s\n", ledgerPath.c_str(), ledger.runId().c_str());
  std::fflush(stdout);

  struct sigaction sa{};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Switch sw(std::move(options));
  serve(sw, listener, serverOptions, &stopRequested);
  close(listener);
  std::printf("switchsim stopped\n");
  return 0;
}
