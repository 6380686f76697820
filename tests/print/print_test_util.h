// print_test_util.h - a fresh simulated terminal with a configured merchant for
// each printing test, records of every kind, and golden listings of the paper.
#ifndef TESTS_PRINT_TEST_UTIL_H
#define TESTS_PRINT_TEST_UTIL_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "reset.h"
#include "core/Filing.h"
#include "core/debug.h"
#include "journal/Journal.h"
#include "sim.h"
#include "ui/Messages.h"

template <std::size_t N>
void put(char (&slot)[N], const std::string &text) {
  std::memset(slot, 0, N);
  std::memcpy(slot, text.data(), std::min(text.size(), N - 1));
}

inline std::string msg(int id) {
  char buffer[128] = {};
  return getUiMessage(id, buffer, sizeof buffer);
}

inline std::string readText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A completed record of the given kind, as the journal would hold it.
inline TransactionRecord makeRecord(const char *processCode, const char *switchStan, const char *rrn,
                                    const char *price, const char *date = "1207", const char *time = "101502",
                                    const char *response = "00") {
  TransactionRecord t;
  clearTransaction(&t);
  put(t.MTI, "0200");
  put(t.ProcessCode, processCode);
  put(t.PAN, "6037991234567890");
  put(t.Price, price);
  put(t.STAN, "000042");
  put(t.Date, date);
  put(t.Time, time);
  put(t.DateTime, std::string("26") + date + std::string(time).substr(0, 4));
  put(t.RRN, rrn);
  put(t.SwitchSTAN, switchStan);
  put(t.ResponseCode, response);
  t.Status = 100;
  return t;
}

class PrintTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/saffron-print-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    testsupport::resetAll(dir_.c_str());
    sim::setExitHandler([](int status, const std::string &message) {
      FAIL() << "simulator ended the run: " << status << " " << message;
    });
    put(config.TerminalNo, "12345678");
    put(config.MerchantNo, "000000123456789");
    put(config.MerchantName, "فروشگاه زعفران");
    put(config.merchantPhone, "02188776655");
    put(config.HostIP, "127.000.000.001");
    config.HostPort = 4080;
    put(config.TMSHost, "tms.saffron.invalid");
    config.TMSPort = 1010;
    put(config.SerialNo, "SIM00012345");
    put(config.softwareVersion, "14012406005");
    // PRINT_PNG_DIR=folder keeps each test's pages as print-NNN.png/.txt for review.
    if (const char *keep = getenv("PRINT_PNG_DIR")) {
      std::string out = std::string(keep) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
      std::filesystem::create_directories(out);
      sim::setOutputDir(out);
    }
  }

  void TearDown() override {
    if (chdir("/") != 0) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Listings of the pages printed so far, without their time-stamped head line.
  static std::vector<std::string> pages() {
    std::vector<std::string> out;
    for (const sim::PrintedPage &p : sim::printedPages()) {
      std::string l = p.listing;
      out.push_back(l.substr(l.find('\n') + 1));
    }
    return out;
  }

  static std::string lastPage() {
    auto all = pages();
    return all.empty() ? std::string() : all.back();
  }

#ifdef PRINT_GOLDEN_DIR
  // Compares a listing with tests/print/golden/NAME.txt; with PRINT_UPDATE_GOLDEN
  // set, writes it there instead (review the diff before committing).
  static void expectGolden(const std::string &name, const std::string &listing) {
    std::string path = std::string(PRINT_GOLDEN_DIR) + "/" + name + ".txt";
    if (getenv("PRINT_UPDATE_GOLDEN") != nullptr) {
      std::filesystem::create_directories(PRINT_GOLDEN_DIR);
      std::ofstream(path, std::ios::binary | std::ios::trunc) << listing;
      return;
    }
    EXPECT_EQ(listing, readText(path)) << "golden " << path;
  }
#endif

  std::string dir_;
};

#endif
