/*
 * bench_statement.cpp - a detailed statement over a full journal (500
 * records, the size at which the terminal trims it), from the range the
 * merchant typed to the composed pages: the search screen, the journal read
 * and filtered, the rows composed and the pages handed to the printer. The
 * terminal runs headless in this process (simulated LCD and printer, virtual
 * clock, no picture files written).
 *
 * Reported per statement besides the benchmark's own time: the thread's CPU
 * time (cpu_ms), the platform's drawing of the screens and rasterising of the
 * pages within it (drawing_ms: the simulator's work, the printer's on a
 * terminal), the application's own share (app_ms) and the pages printed.
 * BM_StatementSearch times the journal search alone.
 */
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/Filing.h"
#include "journal/Journal.h"
#include "journal/Reports.h"
#include "platform_cpu.h"
#include "print/Statements.h"
#include "sim.h"

namespace fs = std::filesystem;

namespace {

constexpr int RECORDS = TRX_TRIM_COUNT;  // the most the journal holds before it is trimmed
constexpr int PER_DAY = 25;              // 20 days of purchases: a day line every 25 rows
// The whole Shamsi month of the records (Gregorian 2026-11-22 .. 2026-12-11).
constexpr const char *FROM = "1405/09/01-00:00:00";
constexpr const char *TO = "1405/10/01-00:00:00";

template <std::size_t N>
void put(char (&field)[N], const std::string &value) {
  const std::size_t n = value.size() < N - 1 ? value.size() : N - 1;
  std::memcpy(field, value.data(), n);
  field[n] = '\0';
}

// A terminal in a fresh folder whose journal holds RECORDS completed purchases,
// written through the journal's own writer.
struct Terminal {
  fs::path dir;

  bool start() {
    dir = fs::temp_directory_path() / ("bench_statement_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    sim::resetForTest(dir.c_str());
    std::memset(&config, 0, sizeof config);
    std::strcpy(config.SerialNo, "BENCH0001");
    std::strcpy(config.HostIP, "127.0.0.1");
    writeConfig2File();
    for (int i = 0; i < RECORDS; ++i) {
      const int day = i / PER_DAY;  // 0..19 from 22 November
      const int month = day < 9 ? 11 : 12, mday = day < 9 ? 22 + day : day - 8;
      char date[8], time[8], rrn[16], stan[8], price[16];
      std::snprintf(date, sizeof date, "%02d%02d", month, mday);
      std::snprintf(time, sizeof time, "%02d%02d%02d", 8 + (i % PER_DAY) / 3, (i * 7) % 60, (i * 13) % 60);
      std::snprintf(rrn, sizeof rrn, "%012d", 100000 + i);
      std::snprintf(stan, sizeof stan, "%06d", 1 + i);
      std::snprintf(price, sizeof price, "%d", 10000 + 137 * i);
      TransactionRecord t;
      clearTransaction(&t);
      put(t.MTI, "0200");
      put(t.ProcessCode, "000000");
      put(t.PAN, "6037991234567890");
      put(t.Price, price);
      put(t.STAN, stan);
      put(t.Date, date);
      put(t.Time, time);
      put(t.DateTime, std::string("26") + date + std::string(time).substr(0, 4));
      put(t.RRN, rrn);
      put(t.SwitchSTAN, stan);
      put(t.ResponseCode, "00");
      t.Status = TS_COMPLETED;
      if (writeTransaction2File(t) != static_cast<int>(sizeof t)) return false;
    }
    return true;
  }
  ~Terminal() {
    sim::resetForTest(nullptr);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

void BM_DetailedStatement(benchmark::State &state) {
  Terminal terminal;
  if (!terminal.start()) {
    state.SkipWithError("the journal could not be filled");
    return;
  }
  double cpuMs = 0, drawingMs = 0;
  long statements = 0, pages = 0;
  for (auto _ : state) {
    const double cpuStart = benchcpu::threadCpuMs(), drawingStart = benchcpu::drawingCpuMs();
    const long pagesBefore = benchcpu::pagesStarted();
    if (getDetailedStatement(TRX_FILTER_PURCHASE, FROM, TO, TITLE_DETAILED_STATEMENT) != 0) {
      state.SkipWithError("the statement found nothing");
      break;
    }
    cpuMs += benchcpu::threadCpuMs() - cpuStart;
    drawingMs += benchcpu::drawingCpuMs() - drawingStart;
    pages = benchcpu::pagesStarted() - pagesBefore;
    ++statements;
  }
  if (statements > 0) {
    state.counters["cpu_ms"] = cpuMs / static_cast<double>(statements);
    state.counters["drawing_ms"] = drawingMs / static_cast<double>(statements);
    state.counters["app_ms"] = (cpuMs - drawingMs) / static_cast<double>(statements);
    state.counters["pages"] = static_cast<double>(pages);
  }
}

void BM_StatementSearch(benchmark::State &state) {
  Terminal terminal;
  if (!terminal.start()) {
    state.SkipWithError("the journal could not be filled");
    return;
  }
  static TransactionRecord records[STATEMENT_CAPACITY];
  for (auto _ : state) {
    const int found = readTransactions(TRX_FILTER_PURCHASE, FROM, TO, records, STATEMENT_CAPACITY);
    if (found != RECORDS) {
      state.SkipWithError("the search did not find every record");
      break;
    }
    benchmark::DoNotOptimize(records);
  }
}

}  // namespace

BENCHMARK(BM_DetailedStatement)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StatementSearch)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
