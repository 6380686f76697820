// core_test_util.h - a fresh simulated terminal in its own folder for each test.
#ifndef TESTS_CORE_TEST_UTIL_H
#define TESTS_CORE_TEST_UTIL_H

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
#include "core/Business.h"
#include "core/Filing.h"
#include "core/debug.h"
#include "sim.h"
#include "ui/Messages.h"

// The simulator ended the run (script finished, runaway): unwinds the test's call.
struct SimExit {
  int status;
  std::string message;
};
// The application switched the terminal off.
struct PoweredOff {
  long long atMs;
};

inline std::vector<unsigned char> readBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string &path, const void *data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
}

inline std::string msg(int id) {
  char buffer[128] = {};
  return getUiMessage(id, buffer, sizeof buffer);
}

class TerminalTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/saffron-core-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    testsupport::resetAll(dir_.c_str());
    sim::setExitHandler([](int status, const std::string &message) { throw SimExit{status, message}; });
    sim::setPowerDownHandler([] { throw PoweredOff{sim::virtualNowMs()}; });
  }

  void TearDown() override {
    if (chdir("/") != 0) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Loads a simulator script; input is given only as the application waits for it.
  void script(const std::string &text) {
    std::string error;
    ASSERT_TRUE(sim::loadScript(text, &error)) << error;
  }

  // The settings a first start leaves, in memory and in p_Config.dat.
  void firstStart() {
    normalizeConfigAtStart();
    writeConfig2File();
    normalizeConfigModuleInit();
  }

  bool textAt(const std::string &utf8, int y) const {
    for (const auto &t : sim::screenTexts())
      if (t.utf8 == utf8 && t.y == y) return true;
    return false;
  }

  std::string dir_;
};

#endif
