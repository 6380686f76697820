/* sim_test_util.h - helpers shared by the simulator's tests. */
#ifndef SIM_TEST_UTIL_H
#define SIM_TEST_UTIL_H

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// Runs the program args[0] in dir, standard input from /dev/null and standard
// error into dir/stderr.txt, to its end.
inline Outcome runIn(const std::filesystem::path& dir, std::vector<std::string> args) {
  std::string errPath = (dir / "stderr.txt").string();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(120);
    if (!freopen(errPath.c_str(), "w", stderr)) _exit(121);
    if (!freopen("/dev/null", "r", stdin)) _exit(122);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(123);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(errPath)};
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
