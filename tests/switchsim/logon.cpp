/*
 * logon.cpp - switchsim-logon: runs the terminal's two logon exchanges (key
 * exchange, then merchant information) against a switch on 127.0.0.1, the way
 * the manager's logon does, and prints what the terminal took from the answers.
 * The terminal's files live in the data folder given (created when missing).
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comm/Connection.h"
#include "core/Filing.h"
#include "journal/Journal.h"
#include "sim.h"
#include "txn/Transactions.h"

namespace {

void usage(std::FILE *out) {
  std::fprintf(out,
               "usage: switchsim-logon --port N [--data DIR]\n"
               "Runs the key exchange and the merchant-information request against the switch on\n"
               "127.0.0.1:N and prints the identifiers, keys status and merchant settings received.\n"
               "DIR holds the terminal's files (default: terminal-data).\n");
}

int runOne(int kind, int port) {
  char address[32] = "127.0.0.1";
  if (remoteConnect(address, sizeof(address), port, 0) < 0) {
    std::fprintf(stderr, "switchsim-logon: cannot connect to 127.0.0.1:%d\n", port);
    return -110;
  }
  return doLogonKeyExhange(kind);
}

} // namespace

int main(int argc, char **argv) {
  int port = 0;
  std::string data = "terminal-data";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      usage(stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
      data = argv[++i];
    } else {
      usage(stderr);
      return 2;
    }
  }
  if (port <= 0 || port > 65535) {
    usage(stderr);
    return 2;
  }
  sim::resetForTest(data.c_str());
  readConfigFromFile(0);
  if (config.SerialNo[0] == '\0') std::strcpy(config.SerialNo, "SIM0000001");
  std::strcpy(config.NII, "0006");
  std::strcpy(config.HostIP, "127.0.0.1");
  config.HostPort = port;
  writeConfig2File();
  readTurnRowFromFile(0);

  int keys = runOne(LOGON_KEY_EXCHANGE, port);
  std::printf("key exchange: status %d, response code \"%s\"\n", keys, currentTransaction.ResponseCode);
  if (keys != 0) return 1;
  std::printf("  terminal %s, merchant %s, tax code %s\n", config.TerminalNo, config.MerchantNo, config.taxCode);
  int info = runOne(LOGON_MERCHANT_INFO, port);
  std::printf("merchant information: status %d, response code \"%s\"\n", info, currentTransaction.ResponseCode);
  if (info != 0) return 1;
  std::printf("  name %s, phone %s, parameter 49 = %d\n", config.MerchantName, config.merchantPhone,
              config.merchantParam49);
  return 0;
}
