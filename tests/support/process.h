/*
 * process.h - what the tests that run our programs share: reading a file
 * whole and starting a program with its standard output into a file.
 */
#ifndef SAFFRON_TESTS_SUPPORT_PROCESS_H
#define SAFFRON_TESTS_SUPPORT_PROCESS_H

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/types.h>
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

} // namespace testsupport

#endif
