/*
 * main.cpp - termload: options, the run, the report, and the ledger check
 * through the switch simulator's own summary.
 */
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "termload.h"

using namespace termload;

namespace {

// Runs `program ledger-summary --check ledger` and collects its standard output.
// false when it cannot be run or exits non-zero.
bool ledgerSummary(const std::string &program, const std::string &ledger, std::string *text, std::string *error) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    *error = "cannot make a pipe";
    return false;
  }
  pid_t pid = fork();
  if (pid < 0) {
    *error = "cannot start " + program;
    return false;
  }
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    const char *args[] = {program.c_str(), "ledger-summary", "--check", ledger.c_str(), nullptr};
    execv(program.c_str(), const_cast<char *const *>(args));
    _exit(127);
  }
  close(pipeFds[1]);
  char buf[65536];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) text->append(buf, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = program + " ledger-summary --check " + ledger + " failed (status " +
             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
    return false;
  }
  return true;
}

} // namespace

int main(int argc, char **argv) {
  Options options;
  std::string error;
  switch (parseOptions(argc, argv, &options, &error)) {
  case ParseResult::Help:
    usage(stdout);
    return 0;
  case ParseResult::Error:
    std::fprintf(stderr, "termload: %s\n", error.c_str());
    std::fprintf(stderr, "try termload --help\n");
    return 2;
  case ParseResult::Run: break;
  }
  std::signal(SIGPIPE, SIG_IGN);
  Report report;
  if (!options.quiet)
    std::fprintf(stderr, "termload: %d terminals to %s:%d\n", options.terminals, options.host.c_str(), options.port);
  if (!run(options, &report, &error)) {
    std::fprintf(stderr, "termload: %s\n", error.c_str());
    return 2;
  }
  printReport(stdout, report);
  bool clean = report.problems.empty();
  for (const KindStats &s : report.kinds)
    if (s.lost != 0) clean = false;

  if (!options.ledger.empty()) {
    std::string summary;
    if (!ledgerSummary(options.switchsim, options.ledger, &summary, &error)) {
      std::printf("ledger: %s\n", error.c_str());
      return 1;
    }
    std::vector<std::string> problems = checkSummary(summary, report.expected);
    for (const std::string &p : problems) std::printf("ledger: %s\n", p.c_str());
    std::printf("ledger: %zu financial requests, %s\n", report.expected.size(),
                problems.empty() ? "each settled exactly once as expected" : "MISMATCHES above");
    if (!problems.empty()) clean = false;
  }
  return clean ? 0 : 1;
}
