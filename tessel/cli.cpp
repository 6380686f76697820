// Command line: parses the options, runs the firmware worker on this
// thread, prints the status texts and a progress line.
#include "cli.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <string>
#include <unistd.h>

#include "download.h"
#include "serial.h"

namespace {

class ConsoleSink final : public DownloadSink {
 public:
  explicit ConsoleSink(bool tty) : tty_(tty) {}
  void status(const char* text) override {
    // Progress texts ("boot......49%") overwrite each other on a terminal.
    const bool progress = std::strchr(text, '%') != nullptr;
    if (tty_ && progress) {
      std::printf("\r%s\x1b[K", text);
      pendingLine_ = true;
    } else {
      finishLine();
      std::printf("%s\n", text);
    }
    std::fflush(stdout);
  }
  void box(const char* text) override { status(text); }
  void progress(int percent) override {
    if (!tty_ && percent == 100) {
      std::printf("progress 100%%\n");
      std::fflush(stdout);
    }
  }
  void finishLine() {
    if (pendingLine_) std::printf("\n");
    pendingLine_ = false;
  }

 private:
  bool tty_;
  bool pendingLine_ = false;
};

void onInterrupt(int) {
  // The first ^C asks the worker to stop (honoured while waking the loader);
  // a second one ends the program.
  firmwareStopRequest = true;
  std::signal(SIGINT, SIG_DFL);
}

void linkBoxToStderr(const char* text, const char* title) { std::fprintf(stderr, "%s: %s\n", title, text); }

bool copyField(char* field, size_t size, const char* value) {
  const size_t n = std::strlen(value);
  if (n >= size) return false;
  std::memcpy(field, value, n + 1);
  return true;
}

}  // namespace

void tesselUsage(FILE* out) {
  std::fprintf(out,
               "usage: tessel --port PATH|COMn [--boot FILE] [--app FILE]\n"
               "       tessel              (opens the download dialog)\n"
               "\n"
               "Wakes the boot loader on the port at 115200 baud, sends the boot code image\n"
               "(--boot, 4096 to 65536 bytes) and/or the operating system image (--app),\n"
               "then tells the terminal to leave its boot loader. Ctrl-C stops while waking.\n"
               "COMn maps to TESSEL_COMn, else a COMn=PATH line of $TESSEL_PORTMAP or\n"
               "./comports.map, else /dev/ttyS(n-1).\n"
               "\n"
               "exit status:\n"
               "   0  download finished\n"
               "   2  bad command line (no port, or neither --boot nor --app)\n"
               "   3  the serial port could not be opened\n"
               "   4  the boot loader did not answer the wake-up (handshake failed)\n"
               "   5  stopped by the user while waking the boot loader\n"
               "   6  an image file could not be opened or read\n"
               "   7  boot code larger than 65536 bytes\n"
               "   8  boot code smaller than 4096 bytes\n"
               "   9  a block was not accepted after 9 sends (receive timeout)\n"
               "  10  the boot loader did not confirm the end of an image\n"
               "  11  the boot loader reported a flash write fault\n");
}

int tesselCommandLine(int argc, char** argv) {
  DownloadJob job;
  bool havePort = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      tesselUsage(stdout);
      return CLI_OK;
    }
    if (i + 1 >= argc || (a != "--port" && a != "--boot" && a != "--app")) {
      tesselUsage(stderr);
      return CLI_USAGE;
    }
    const char* v = argv[++i];
    if (a == "--port") {
      unsigned n = 0;
      char tail = 0;
      if ((std::strncmp(v, "COM", 3) == 0 || std::strncmp(v, "com", 3) == 0) &&
          std::sscanf(v + 3, "%u%c", &n, &tail) == 1) {
        if (n < 1 || n > 255) {
          std::fprintf(stderr, "tessel: COM port number must be 1 to 255\n");
          return CLI_USAGE;
        }
        job.comPort = n;
        job.device[0] = '\0';
      } else if (!copyField(job.device, sizeof job.device, v)) {
        std::fprintf(stderr, "tessel: port path too long\n");
        return CLI_USAGE;
      }
      havePort = true;
    } else if (a == "--boot") {
      job.boot = copyField(job.bootPath, sizeof job.bootPath, v);
      if (!job.boot) {
        std::fprintf(stderr, "tessel: boot file path too long\n");
        return CLI_USAGE;
      }
    } else {
      job.app = copyField(job.appPath, sizeof job.appPath, v);
      if (!job.app) {
        std::fprintf(stderr, "tessel: app file path too long\n");
        return CLI_USAGE;
      }
    }
  }
  if (!havePort) {
    std::fprintf(stderr, "tessel: --port is required\n");
    tesselUsage(stderr);
    return CLI_USAGE;
  }
  if (!job.boot && !job.app) {
    std::printf("No select any download file!\n");
    return CLI_USAGE;
  }

  ConsoleSink sink(isatty(STDOUT_FILENO) != 0);
  downloadSetSink(&sink);
  linkSetBoxHook(linkBoxToStderr);
  std::signal(SIGINT, onInterrupt);
  const DownloadOutcome outcome = firmwareWorker(job);
  std::signal(SIGINT, SIG_DFL);
  sink.finishLine();
  downloadSetSink(nullptr);
  linkSetBoxHook(nullptr);
  if (outcome == DL_NO_COMPLETION_REPLY) std::fprintf(stderr, "tessel: no reply to the end of an image\n");
  return outcome;
}
