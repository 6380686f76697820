/*
 * process.h - what the tests that run our programs share: reading a file
 * whole, starting a program with its standard output into a file, and
 * reading the port a server it started listens on.
 */
#ifndef SAFFRON_TESTS_SUPPORT_PROCESS_H
#define SAFFRON_TESTS_SUPPORT_PROCESS_H

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport {

// The whole file; empty when it cannot be read.
inline std::string readAll(const std::filesystem::path &p) {
  std::ifstream in(p);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the program args[0] with its standard output into outFile; returns its pid.
inline pid_t spawn(const std::vector<std::string> &args, const std::filesystem::path &outFile) {
  pid_t pid = fork();
  if (pid == 0) {
    std::FILE *out = std::fopen(outFile.c_str(), "w");
    if (out != nullptr) dup2(fileno(out), 1);
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// The port of the whole line "... listening on 127.0.0.1:PORT" a server writes
// into outFile, waiting up to `wait` for it; 0 when none comes.
inline int listeningPort(const std::filesystem::path &outFile,
                         std::chrono::milliseconds wait = std::chrono::milliseconds(10000)) {
  const std::string marker = "listening on 127.0.0.1:";
  const auto step = std::chrono::milliseconds(25);
  for (auto waited = std::chrono::milliseconds(0);; waited += step) {
    const std::string text = readAll(outFile);
    const std::size_t at = text.find(marker);
    if (at != std::string::npos && text.find('\n', at) != std::string::npos)
      return std::stoi(text.substr(at + marker.size()));
    if (waited >= wait) return 0;
    std::this_thread::sleep_for(step);
  }
}

} // namespace testsupport

#endif
