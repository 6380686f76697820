/*
 * bench_purchase.cpp - one purchase as the cardholder waits for it: the PIN
 * block from the PIN pad, the 0200 built, MACed, journalled and exchanged with
 * a switchsim on 127.0.0.1, the answer parsed and journalled, and the customer
 * receipt composed and printed. The terminal runs headless in this process
 * (simulated PIN pad and printer, virtual clock); the switch is a real process
 * on a real socket, so the time is the terminal's work plus one loopback round
 * trip.
 *
 * Besides the benchmark's own time it reports, per purchase, the thread's CPU
 * time (cpu_ms), the part of it the platform spent drawing the screens and
 * rasterising the receipt's page (drawing_ms: the simulator's work, the
 * printer's on a terminal) and the application's own share (app_ms).
 */
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "comm/Connection.h"
#include "core/Filing.h"
#include "journal/Journal.h"
#include "pinpad.h"
#include "platform_cpu.h"
#include "print/Printer.h"
#include "print/Receipts.h"
#include "security/Injection.h"
#include "sim.h"
#include "txn/Engine.h"
#include "txn/Transactions.h"

namespace fs = std::filesystem;

namespace {

struct Switch {
  pid_t pid = -1;
  int port = 0;
  fs::path dir;

  bool start() {
    dir = fs::temp_directory_path() / ("bench_purchase_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path log = dir / "switch.log";
    pid = fork();
    if (pid == 0) {
      std::FILE *out = std::fopen(log.c_str(), "w");
      if (out != nullptr) dup2(fileno(out), 1);
      execl(SWITCHSIM_PROGRAM, SWITCHSIM_PROGRAM, "--port", "0", "--quiet", static_cast<char *>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200 && port == 0; ++i) {
      std::ifstream in(log);
      std::stringstream s;
      s << in.rdbuf();
      const std::string text = s.str();
      const auto at = text.find("127.0.0.1:");
      if (at != std::string::npos && text.find('\n', at) != std::string::npos)
        port = std::stoi(text.substr(at + 10));
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return port > 0;
  }
  ~Switch() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    fs::remove_all(dir);
  }
};

bool logon(const Switch &sw) {
  sim::resetForTest((sw.dir / "terminal").c_str());
  sim::resetPinPadForTest();
  std::memset(&config, 0, sizeof config);
  std::strcpy(config.SerialNo, "BENCH0001");
  std::strcpy(config.NII, "0006");
  std::strcpy(config.HostIP, "127.0.0.1");
  config.HostPort = sw.port;
  config.askForSecondTicket = 3;
  writeConfig2File();
  readTurnRowFromFile(1);
  for (int kind : {LOGON_KEY_EXCHANGE, LOGON_MERCHANT_INFO}) {
    char address[32] = "127.0.0.1";
    if (remoteConnect(address, sizeof address, sw.port, 0) < 0 || doLogonKeyExhange(kind) != 0) return false;
  }
  return true;
}

void BM_PurchaseFromPinBlockToReceipt(benchmark::State &state) {
  Switch sw;
  if (!sw.start() || !logon(sw)) {
    state.SkipWithError("switchsim or the logon did not come up");
    return;
  }
  double cpuMs = 0, drawingMs = 0;
  long purchases = 0;
  for (auto _ : state) {
    state.PauseTiming();
    clearTransaction(&currentTransaction);
    std::strcpy(currentTransaction.PAN, "6037991234567890");
    std::strcpy(currentTransaction.Track2, "6037991234567890=2512101123456789");
    std::strcpy(currentTransaction.Price, "100");
    sim::pushPinAnswer("1234");
    state.ResumeTiming();

    const double cpuStart = benchcpu::threadCpuMs(), drawingStart = benchcpu::drawingCpuMs();
    const long pagesBefore = benchcpu::pagesStarted();
    if (getPinDialog() != 0 || doTransaction(TT_PURCHASE) != 0) {
      state.SkipWithError("the purchase was not approved");
      break;
    }
    printPurchaseTicket(&currentTransaction, COPY_CUSTOMER);
    cpuMs += benchcpu::threadCpuMs() - cpuStart;
    drawingMs += benchcpu::drawingCpuMs() - drawingStart;
    ++purchases;
    if (benchcpu::pagesStarted() != pagesBefore + 1) {
      state.SkipWithError("the receipt was not printed as one page");
      break;
    }
  }
  remoteDisconnect();
  if (purchases > 0) {
    state.counters["cpu_ms"] = cpuMs / static_cast<double>(purchases);
    state.counters["drawing_ms"] = drawingMs / static_cast<double>(purchases);
    state.counters["app_ms"] = (cpuMs - drawingMs) / static_cast<double>(purchases);
  }
}

} // namespace

BENCHMARK(BM_PurchaseFromPinBlockToReceipt)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
