// The download conversation: wake-up handshake, image blocks, completion,
// finish, and the worker thread that runs them.
#include "download.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "packet.h"
#include "serial.h"

DownloadTimings downloadTimings;
std::atomic<bool> firmwareBusy{false};
std::atomic<bool> firmwareStopRequest{false};
std::atomic<int> lastDownloadOutcome{DL_SUCCESS};

namespace {

DownloadSink* g_sink = nullptr;
std::mutex g_threadMutex;  // guards g_worker between Start and join
std::thread g_worker;

void showStatus(const char* text) {
  if (g_sink) {
    g_sink->status(text);
  } else {
    std::printf("%s\n", text);
    std::fflush(stdout);
  }
}

void showBox(const char* text) {
  if (g_sink) {
    g_sink->box(text);
  } else {
    std::printf("%s\n", text);
    std::fflush(stdout);
  }
}

void showDetail(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (g_sink) {
    g_sink->detail(text);
  } else {
    std::printf("%s\n", text);
    std::fflush(stdout);
  }
}

void showProgress(int percent) {
  if (g_sink) g_sink->progress(percent);
}

void showRunning(bool busy) {
  if (g_sink) g_sink->running(busy);
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool fileSize(FILE* f, uint64_t* size) {
  if (std::fseek(f, 0, SEEK_END) != 0) return false;
  const long end = std::ftell(f);
  if (end < 0 || std::fseek(f, 0, SEEK_SET) != 0) return false;
  *size = static_cast<uint64_t>(end);
  return true;
}

constexpr int kWakeWriteFailed = -2;

// One raw wake-up byte out, one byte back within 20 ms; -1 when none came,
// kWakeWriteFailed when the byte could not be written.
int wakeExchange(uint8_t out) {
  if (!serialWrite(&out, 1)) return kWakeWriteFailed;
  uint8_t in = 0;
  return serialRead(&in, 1, kWakeReadMs) ? in : -1;
}

// Sends block number blockNo (from 1) until an intact, accepted reply; 0,
// 9 when the last send got no intact reply (the loader went away), 13 when
// it was refused, or 11.
int sendBlock(uint8_t command, const uint8_t* payload, size_t len, uint64_t blockNo) {
  uint8_t reply[kMaxPacket];
  bool refused = false;  // the last send was answered, but not with success
  for (unsigned send = 0; send < kBlockSends; ++send) {
    sendPacket(framingSelector, command, payload, len);  // a failed write counts as a send
    size_t total = 0;
    refused = false;
    if (recvPacket(framingSelector, reply, sizeof reply, downloadTimings.blockReplyMs, &total) != LINK_OK)
      continue;
    const size_t replyLen = headerPayloadLength(reply);
    // Reply bytes are only looked at when the reply carries them.
    if (replyLen >= 2 && reply[kPacketHeader + 1] >= kFlashFaultCode) {
      showStatus("Write flash fault.");
      showDetail("the boot loader could not write block %llu to its flash",
                 static_cast<unsigned long long>(blockNo));
      return 11;
    }
    if (replyLen >= 1 && reply[kPacketHeader] == 0) return 0;
    refused = true;
  }
  showStatus("Receive timeout!");
  if (refused) {
    showDetail("the boot loader refused block %llu on all %u sends", static_cast<unsigned long long>(blockNo),
               kBlockSends);
    return 13;
  }
  showDetail("no reply to block %llu after %u sends: the boot loader stopped answering",
             static_cast<unsigned long long>(blockNo), kBlockSends);
  return 9;
}

// Completion command, then its reply with status 0 within one overall limit.
int completeImage(uint8_t command) {
  if (sendPacket(framingSelector, command, nullptr, 0) != LINK_OK) return 10;
  uint8_t reply[kMaxPacket];
  const uint64_t start = linkNowMs();
  for (;;) {
    const uint64_t elapsed = linkNowMs() - start;
    if (elapsed >= downloadTimings.completionReplyMs) return 10;
    size_t total = 0;
    const uint32_t left = static_cast<uint32_t>(downloadTimings.completionReplyMs - elapsed);
    if (recvPacket(framingSelector, reply, sizeof reply, left, &total) != LINK_OK) continue;
    const size_t replyLen = headerPayloadLength(reply);
    if (replyLen >= 1 && reply[kPacketHeader] == 0) return 0;
  }
}

}  // namespace

void downloadSetSink(DownloadSink* sink) { g_sink = sink; }

int bootConnect(const DownloadJob& job) {
  firmwareStopRequest = false;
  const bool opened = job.device[0] ? serialOpenDevice(job.device, kLinkBaud)
                                    : serialOpenPort(job.comPort, kLinkBaud);
  if (!opened) {
    showStatus("Open serial port failed.");
    showDetail("cannot open %s", serialLastOpenError());
    return 2;
  }
  showStatus("Connecting...");

  const uint64_t wakeStart = linkNowMs();
  const auto wakeTimedOut = [wakeStart] { return linkNowMs() - wakeStart >= downloadTimings.wakeTimeoutMs; };
  bool woke = false;
  for (unsigned tries = 0; tries < downloadTimings.handshakeTries && !wakeTimedOut(); ++tries) {
    if (firmwareStopRequest) {
      showStatus("User stop download.");
      return 1;
    }
    const int answer = wakeExchange('T');
    if (answer == 'R' || answer == 'S') {
      framingSelector = answer == 'R' ? kFramingXor : kFramingCrc;
      woke = true;
      break;
    }
  }
  if (!woke) {
    showStatus("Handshack failed.");
    showDetail("the boot loader did not answer the wake-up within %.1f s", downloadTimings.wakeTimeoutMs / 1000.0);
    return 1;
  }

  // The answer to 'Q' decides the framing, whatever 'T' was answered with.
  for (;;) {
    if (firmwareStopRequest) {
      showStatus("User stop download.");
      return 1;
    }
    if (wakeTimedOut()) {
      showStatus("Handshack failed.");
      showDetail("the boot loader answered 'T' but not 'Q' within %.1f s", downloadTimings.wakeTimeoutMs / 1000.0);
      return 1;
    }
    const int answer = wakeExchange('Q');
    if (answer == 'R' || answer == 'P') {
      framingSelector = answer == 'R' ? kFramingXor : kFramingCrc;
      break;
    }
    // A port that refuses writes is given the read window anyway, so the
    // loop does not spin the CPU.
    if (answer == kWakeWriteFailed) linkSleepMs(kWakeReadMs);
  }
  showStatus("Handshack finish.");
  return 0;
}

namespace {

// Opens an image and judges it before anything is sent: the checks of
// checkBootImage, shared with sendBootImage. 0, or 1, 2, 3, 14.
int openImage(const char* path, ImageKind which, FilePtr* file, uint64_t* size) {
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(st)) {
    // A folder opens for reading on some systems, and a pipe would block.
    showBox("Can't open the file.");
    showDetail("%s: %s", path, ec ? ec.message().c_str() : "not a regular file");
    return 1;
  }
  file->reset(std::fopen(path, "rb"));
  if (!*file || !fileSize(file->get(), size)) {
    const int err = errno;
    showBox("Can't open the file.");
    showDetail("%s: %s", path, std::strerror(err));
    return 1;
  }
  if (which == ImageKind::Boot) {
    if (*size > kBootMaxBytes) {
      showBox("boot file size error(>64K bytes), please ensure the boot file is the right!");
      return 2;
    }
    if (*size < kBootMinBytes) {
      // U+FF0C FULLWIDTH COMMA between the two halves, as the tool has always shown it.
      showBox("boot file size error(<4096 bytes)\xEF\xBC\x8Cplease ensure the boot file is the right!");
      return 3;
    }
  } else if (*size == 0) {
    // An empty image would leave the terminal with no operating system.
    showBox("The download file is empty.");
    showDetail("%s: 0 bytes", path);
    return 14;
  }
  return 0;
}

DownloadOutcome outcomeOf(int stepResult) {
  switch (stepResult) {
    case 0: return DL_SUCCESS;
    case 1: return DL_FILE_FAILED;
    case 2: return DL_BOOT_TOO_LARGE;
    case 3: return DL_BOOT_TOO_SMALL;
    case 9: return DL_NO_BLOCK_REPLY;
    case 11: return DL_FLASH_FAULT;
    case 13: return DL_BLOCK_REFUSED;
    case 14: return DL_FILE_EMPTY;
    default: return DL_NO_COMPLETION_REPLY;
  }
}

}  // namespace

int checkBootImage(const char* path, ImageKind which) {
  FilePtr file;
  uint64_t size = 0;
  return openImage(path, which, &file, &size);
}

int sendBootImage(const char* path, ImageKind which) {
  FilePtr file;
  uint64_t size = 0;
  const int check = openImage(path, which, &file, &size);
  if (check != 0) return check;

  uint8_t command = kCmdAppBlock;
  const char* label = "Download APP...";
  if (which == ImageKind::Boot) {
    command = kCmdBootBlock;
    label = "boot......";
  } else {
    showStatus("Download QOS");
  }

  uint8_t payload[kBlockHeader + kBlockData];
  uint64_t sent = 0;
  uint64_t blockNo = 0;
  while (sent < size) {
    const size_t n = static_cast<size_t>(size - sent < kBlockData ? size - sent : kBlockData);
    // 64-bit arithmetic: sent * 100 overflows 32 bits for images past 42 MB.
    const int percent = static_cast<int>(sent * 100 / size);
    char text[64];
    std::snprintf(text, sizeof text, "%s%d%%", label, percent);
    showStatus(text);
    showProgress(percent);

    payload[0] = static_cast<uint8_t>(n >> 24);
    payload[1] = static_cast<uint8_t>(n >> 16);
    payload[2] = static_cast<uint8_t>(n >> 8);
    payload[3] = static_cast<uint8_t>(n);
    payload[4] = 0;
    if (std::fread(payload + kBlockHeader, 1, n, file.get()) != n) {
      // The file shrank while we sent it: what was promised cannot be sent.
      showBox("Can't open the file.");
      showDetail("%s: the file became shorter while it was sent", path);
      return 1;
    }
    const int r = sendBlock(command, payload, kBlockHeader + n, ++blockNo);
    if (r != 0) return r;
    sent += n;
  }
  showProgress(100);

  if (completeImage(static_cast<uint8_t>(command + 1)) != 0) {
    showDetail("no reply to the end of the image within %.1f s", downloadTimings.completionReplyMs / 1000.0);
    return 10;
  }
  showStatus("Download success.");
  return 0;
}

int bootFinish() { return sendPacket(framingSelector, kCmdFinish, nullptr, 0); }

DownloadOutcome firmwareWorker(const DownloadJob& job) {
  firmwareBusy = true;
  showRunning(true);
  DownloadOutcome outcome = DL_SUCCESS;

  // The images are judged before the boot loader is woken: a terminal left
  // in its boot loader by a typo in a path has to be power-cycled.
  int r = 0;
  if (job.boot) r = checkBootImage(job.bootPath, ImageKind::Boot);
  if (r == 0 && job.app) r = checkBootImage(job.appPath, ImageKind::App);
  const int connect = r != 0 ? -1 : bootConnect(job);
  if (r != 0) {
    outcome = outcomeOf(r);
  } else if (connect == 2) {
    outcome = DL_PORT_FAILED;
  } else if (connect == 1) {
    outcome = firmwareStopRequest ? DL_STOPPED : DL_HANDSHAKE_FAILED;
  } else {
    if (job.boot) r = sendBootImage(job.bootPath, ImageKind::Boot);
    if (r == 0 && job.app) r = sendBootImage(job.appPath, ImageKind::App);
    outcome = outcomeOf(r);
    if (r == 0) {
      bootFinish();
      linkSleepMs(kFinishSettleMs);
      serialClose();
      showStatus("Download finish.");
    }
  }
  serialClose();
  lastDownloadOutcome = outcome;
  firmwareBusy = false;
  showRunning(false);
  return outcome;
}

bool startFirmwareWorker(const DownloadJob& job) {
  if (!job.boot && !job.app) {
    showBox("No select any download file!");
    return false;
  }
  // Claimed here rather than in the worker so two quick Starts cannot both
  // see the flag clear before the first thread has run.
  bool expected = false;
  if (!firmwareBusy.compare_exchange_strong(expected, true)) return false;

  std::lock_guard<std::mutex> lock(g_threadMutex);
  if (g_worker.joinable()) g_worker.join();  // the previous run has ended: busy was clear
  try {
    g_worker = std::thread([job] { firmwareWorker(job); });
  } catch (const std::system_error&) {
    firmwareBusy = false;
    lastDownloadOutcome = DL_THREAD_FAILED;
    showBox("Create thread fault.");
    return false;
  }
  return true;
}

void joinFirmwareWorker() {
  std::lock_guard<std::mutex> lock(g_threadMutex);
  if (g_worker.joinable()) g_worker.join();
}
