// tessel's command line: the download worker without a window.
#ifndef TESSEL_CLI_H
#define TESSEL_CLI_H

#include <cstdio>

// Exit statuses (also listed by --help).
enum CliExit : int {
  CLI_OK = 0,
  CLI_USAGE = 2,
  // 3..11 are the download outcomes (DownloadOutcome).
};

// Runs `tessel --port PATH|COMn [--boot FILE] [--app FILE]`; returns the exit status.
int tesselCommandLine(int argc, char** argv);
void tesselUsage(FILE* out);

#endif
