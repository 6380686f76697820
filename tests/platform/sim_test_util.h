/* sim_test_util.h - helpers shared by the simulator's tests. */
#ifndef SIM_TEST_UTIL_H
#define SIM_TEST_UTIL_H

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sim.h"

// Thrown by the exit handler, so a test sees how a run would have ended.
struct SimExit {
  int status;
  std::string message;
};

// How a run of the demo program ended.
struct Outcome {
  int status;  // exit status; -1 killed or timed out
  std::string err;
};

// An empty folder of the running test's own under the temporary directory.
inline std::filesystem::path freshTestDir(const std::string& prefix) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              (prefix + std::to_string(getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// A fresh device in a fresh data folder under the test's temporary directory.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = freshTestDir("simtest-");
    sim::resetForTest(dir_.c_str());
    sim::setExitHandler([](int status, const std::string& message) { throw SimExit{status, message}; });
  }
  void TearDown() override {
    sim::resetForTest(nullptr);
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(dir_, ec);
  }
  std::filesystem::path dir_;
};

#endif  // SIM_TEST_UTIL_H
