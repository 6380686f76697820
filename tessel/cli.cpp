// Command line: parses the options, runs the firmware worker on this
// thread, prints the status texts and a progress line.
#include "cli.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "download.h"
#include "serial.h"

namespace {

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

void ConsoleSink::status(const char* text) {
  const char* percent = std::strchr(text, '%');
  if (!percent) {
    finishLine();
    lastProgress_.clear();
    lastTenth_ = -1;
    std::fprintf(out_, "%s\n", text);
    std::fflush(out_);
    return;
  }
  if (text == lastProgress_) return;  // the same percentage for another block
  lastProgress_ = text;
  if (tty_) {
    std::fprintf(out_, "\r%s\x1b[K", text);
    pendingLine_ = true;
  } else {
    // The number ends at the '%': "Download APP...49%" is in its fourth tenth.
    const char* digits = percent;
    while (digits > text && digits[-1] >= '0' && digits[-1] <= '9') --digits;
    const int tenth = std::atoi(digits) / 10;
    if (tenth == lastTenth_) return;
    lastTenth_ = tenth;
    std::fprintf(out_, "%s\n", text);
  }
  std::fflush(out_);
}

void ConsoleSink::progress(int percent) {
  if (!tty_ && percent == 100) {
    std::fprintf(out_, "progress 100%%\n");
    std::fflush(out_);
  }
}

void ConsoleSink::detail(const char* text) {
  finishLine();
  std::fflush(out_);
  std::fprintf(err_, "tessel: %s\n", text);
  std::fflush(err_);
}

void ConsoleSink::finishLine() {
  if (pendingLine_) std::fprintf(out_, "\n");
  pendingLine_ = false;
}

void tesselUsage(FILE* out) {
  std::fprintf(out,
               "usage: tessel --port PATH|COMn [--boot FILE] [--app FILE] [--wake-timeout SECONDS]\n"
               "       tessel              (opens the download dialog)\n"
               "\n"
               "Checks the images, wakes the boot loader on the port at 115200 baud, sends the\n"
               "boot code image (--boot, 4096 to 65536 bytes) and/or the operating system image\n"
               "(--app, not empty), then tells the terminal to leave its boot loader.\n"
               "The wake-up gives up after --wake-timeout seconds (default 200, 1 to 86400).\n"
               "Ctrl-C stops while waking. COMn maps to TESSEL_COMn, else a COMn=PATH line of\n"
               "$TESSEL_PORTMAP or ./comports.map, else /dev/ttyS(n-1).\n"
               "\n"
               "exit status:\n"
               "   0  download finished\n"
               "   2  bad command line (no port, an empty port, bad time-out, no image)\n"
               "   3  the serial port could not be opened\n"
               "   4  the boot loader did not answer the wake-up within the time-out\n"
               "   5  stopped by the user while waking the boot loader\n"
               "   6  an image file could not be opened or read\n"
               "   7  boot code larger than 65536 bytes\n"
               "   8  boot code smaller than 4096 bytes\n"
               "   9  the boot loader stopped answering: no reply to a block after 9 sends\n"
               "  10  the boot loader did not confirm the end of an image\n"
               "  11  the boot loader reported a flash write fault\n"
               "  13  the boot loader refused a block on all 9 sends\n"
               "  14  an image file is empty\n");
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
    if (i + 1 >= argc || (a != "--port" && a != "--boot" && a != "--app" && a != "--wake-timeout")) {
      tesselUsage(stderr);
      return CLI_USAGE;
    }
    const char* v = argv[++i];
    if (a == "--wake-timeout") {
      char* end = nullptr;
      errno = 0;
      const unsigned long seconds = std::strtoul(v, &end, 10);
      if (!v[0] || *end || errno || v[0] == '-' || seconds < 1 || seconds > 86400) {
        std::fprintf(stderr, "tessel: --wake-timeout takes whole seconds, 1 to 86400\n");
        return CLI_USAGE;
      }
      downloadTimings.wakeTimeoutMs = static_cast<uint32_t>(seconds * 1000);
      downloadTimings.handshakeTries = ~0u;  // the time alone decides, also beyond 10000 tries
    } else if (a == "--port") {
      if (!v[0]) {
        // An empty path would fall back to COM1's device.
        std::fprintf(stderr, "tessel: --port needs a device path or COMn\n");
        return CLI_USAGE;
      }
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

  ConsoleSink sink(stdout, stderr, isatty(STDOUT_FILENO) != 0);
  downloadSetSink(&sink);
  linkSetBoxHook(linkBoxToStderr);
  std::signal(SIGINT, onInterrupt);
  const DownloadOutcome outcome = firmwareWorker(job);
  std::signal(SIGINT, SIG_DFL);
  sink.finishLine();
  downloadSetSink(nullptr);
  linkSetBoxHook(nullptr);
  return outcome;
}
