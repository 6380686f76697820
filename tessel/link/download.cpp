// The download conversation: wake-up handshake, image blocks, completion,
// finish, and the worker thread that runs them.
#include "download.h"

#include <cstdio>
#include <cstring>
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

// Sends one block until an intact, accepted reply; 0, 9 or 11.
int sendBlock(uint8_t command, const uint8_t* payload, size_t len) {
  uint8_t reply[kMaxPacket];
  for (unsigned send = 0; send < kBlockSends; ++send) {
    sendPacket(framingSelector, command, payload, len);  // a failed write counts as a send
    size_t total = 0;
    if (recvPacket(framingSelector, reply, sizeof reply, downloadTimings.blockReplyMs, &total) != LINK_OK)
      continue;
    const size_t replyLen = headerPayloadLength(reply);
    // Reply bytes are only looked at when the reply carries them.
    if (replyLen >= 2 && reply[kPacketHeader + 1] >= kFlashFaultCode) {
      showStatus("Write flash fault.");
      return 11;
    }
    if (replyLen >= 1 && reply[kPacketHeader] == 0) return 0;
  }
  showStatus("Receive timeout!");
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
    return 2;
  }
  showStatus("Connecting...");

  bool woke = false;
  for (unsigned tries = 0; tries < downloadTimings.handshakeTries; ++tries) {
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
    return 1;
  }

  // The answer to 'Q' decides the framing, whatever 'T' was answered with.
  for (;;) {
    if (firmwareStopRequest) {
      showStatus("User stop download.");
      return 1;
    }
    const int answer = wakeExchange('Q');
    if (answer == 'R' || answer == 'P') {
      framingSelector = answer == 'R' ? kFramingXor : kFramingCrc;
      break;
    }
    // This loop ends only on an answer or a stop: a port that refuses writes
    // is given the read window anyway, so the loop does not spin the CPU.
    if (answer == kWakeWriteFailed) linkSleepMs(kWakeReadMs);
  }
  showStatus("Handshack finish.");
  return 0;
}

int sendBootImage(const char* path, ImageKind which) {
  FilePtr file{std::fopen(path, "rb")};
  uint64_t size = 0;
  if (!file || !fileSize(file.get(), &size)) {
    showBox("Can't open the file.");
    return 1;
  }

  uint8_t command = kCmdAppBlock;
  const char* label = "Download APP...";
  if (which == ImageKind::Boot) {
    command = kCmdBootBlock;
    label = "boot......";
    if (size > kBootMaxBytes) {
      showBox("boot file size error(>64K bytes), please ensure the boot file is the right!");
      return 2;
    }
    if (size < kBootMinBytes) {
      // U+FF0C FULLWIDTH COMMA between the two halves, as the tool has always shown it.
      showBox("boot file size error(<4096 bytes)\xEF\xBC\x8Cplease ensure the boot file is the right!");
      return 3;
    }
  } else {
    showStatus("Download QOS");
  }

  uint8_t payload[kBlockHeader + kBlockData];
  uint64_t sent = 0;
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
      return 1;
    }
    const int r = sendBlock(command, payload, kBlockHeader + n);
    if (r != 0) return r;
    sent += n;
  }
  showProgress(100);

  if (completeImage(static_cast<uint8_t>(command + 1)) != 0) return 10;
  showStatus("Download success.");
  return 0;
}

int bootFinish() { return sendPacket(framingSelector, kCmdFinish, nullptr, 0); }

DownloadOutcome firmwareWorker(const DownloadJob& job) {
  firmwareBusy = true;
  showRunning(true);
  DownloadOutcome outcome = DL_SUCCESS;

  const int connect = bootConnect(job);
  if (connect == 2) {
    outcome = DL_PORT_FAILED;
  } else if (connect == 1) {
    outcome = firmwareStopRequest ? DL_STOPPED : DL_HANDSHAKE_FAILED;
  } else {
    int r = 0;
    if (job.boot) r = sendBootImage(job.bootPath, ImageKind::Boot);
    if (r == 0 && job.app) r = sendBootImage(job.appPath, ImageKind::App);
    switch (r) {
      case 0: outcome = DL_SUCCESS; break;
      case 1: outcome = DL_FILE_FAILED; break;
      case 2: outcome = DL_BOOT_TOO_LARGE; break;
      case 3: outcome = DL_BOOT_TOO_SMALL; break;
      case 9: outcome = DL_NO_BLOCK_REPLY; break;
      case 11: outcome = DL_FLASH_FAULT; break;
      default: outcome = DL_NO_COMPLETION_REPLY; break;
    }
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
