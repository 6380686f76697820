// tessel's command line: the download worker without a window.
#ifndef TESSEL_CLI_H
#define TESSEL_CLI_H

#include <cstdio>
#include <string>

#include "download.h"

// Exit statuses (also listed by --help).
enum CliExit : int {
  CLI_OK = 0,
  CLI_USAGE = 2,
  // 3..14 are the download outcomes (DownloadOutcome).
};

// Runs `tessel --port PATH|COMn [--boot FILE] [--app FILE] [--wake-timeout S]`;
// returns the exit status.
int tesselCommandLine(int argc, char** argv);
void tesselUsage(FILE* out);

// The worker's texts on a console. On a terminal the progress texts
// ("boot......49%") rewrite one line; into a file or pipe a progress text is
// printed only when it reaches a new tenth, so a large image writes a dozen
// lines, not one per block. Details go to `err` after the text they explain.
class ConsoleSink final : public DownloadSink {
 public:
  ConsoleSink(FILE* out, FILE* err, bool tty) : out_(out), err_(err), tty_(tty) {}
  void status(const char* text) override;
  void box(const char* text) override { status(text); }
  void progress(int percent) override;
  void detail(const char* text) override;
  // Ends a rewritten progress line before anything else is printed.
  void finishLine();

 private:
  FILE* out_;
  FILE* err_;
  bool tty_;
  bool pendingLine_ = false;  // a rewritten progress line is on screen
  std::string lastProgress_;  // the last progress text shown
  int lastTenth_ = -1;        // its tenth (0..10) when not a terminal; -1 none yet
};

#endif
