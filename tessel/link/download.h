// The firmware download conversation with a terminal's boot loader.
//
// Sections: boot-loader commands and tunables, the worker's job and the
// sink its texts go to, the process-wide flags, the steps (connect, send an
// image, finish) and the worker that runs them on its own thread.
#ifndef TESSEL_LINK_DOWNLOAD_H
#define TESSEL_LINK_DOWNLOAD_H

#include <atomic>
#include <cstddef>
#include <cstdint>

// ---- Boot-loader commands -----------------------------------------------------

constexpr uint8_t kCmdBootBlock = 0xC0;      // boot code block; +1 completes it
constexpr uint8_t kCmdAppBlock = 0xB0;       // operating system image block; +1 completes it
constexpr uint8_t kCmdFinish = 0xD2;         // leave the boot loader

constexpr size_t kBlockData = 512;           // image bytes per block
constexpr size_t kBlockHeader = 5;           // 32-bit block length, then one zero byte
constexpr unsigned kBlockSends = 9;          // sends of one block before giving up
constexpr uint8_t kFlashFaultCode = 100;     // reply byte 1 at or above this: flash write fault
constexpr uint32_t kBootMaxBytes = 0x10000;
constexpr uint32_t kBootMinBytes = 4096;
constexpr uint32_t kWakeReadMs = 20;         // wait for the answer to one 'T' or 'Q'
constexpr uint32_t kFinishSettleMs = 50;     // after 0xD2, before closing the port

// Time limits of the conversation. Process-wide so tests (and the command
// line's --wake-timeout) can shorten the ones that would otherwise take
// minutes; the defaults are the tool's.
struct DownloadTimings {
  unsigned handshakeTries = 10000;    // 'T' sends before "Handshack failed." (about 200 s)
  // The whole wake-up, 'T' and 'Q' together. Without it a loader that
  // answers 'T' but never 'Q' would hold a command-line run forever.
  uint32_t wakeTimeoutMs = 200000;
  uint32_t blockReplyMs = 1000;       // wait for the reply to one block
  uint32_t completionReplyMs = 30000; // wait for the reply to a completion command
};
extern DownloadTimings downloadTimings;

// ---- Job and sink -----------------------------------------------------------

enum class ImageKind { Boot, App };

struct DownloadJob {
  char device[256] = {};  // device path to open; empty means COM<comPort>
  unsigned comPort = 1;   // 1..255, used when device is empty
  bool boot = false;      // "boot" ticked
  bool app = false;       // "app" ticked
  char bootPath[256] = {};
  char appPath[256] = {};
};

// Where the worker's texts go. Every call comes from the worker thread; a
// window must hand them to its own thread.
class DownloadSink {
 public:
  virtual ~DownloadSink() = default;
  virtual void status(const char* text) = 0;          // the page's one-line status
  virtual void box(const char* text) = 0;             // a modal box owned by the page
  virtual void progress(int /*percent*/) {}           // 0..100, for a progress bar
  virtual void running(bool /*busy*/) {}              // Start off/Stop on, and back
  // Why a step failed, in more words than its status text or box (the
  // command line prints it after them; the dialog keeps its own texts).
  virtual void detail(const char* /*text*/) {}
};
// Installs the sink (nullptr: texts go to standard output).
void downloadSetSink(DownloadSink* sink);

// ---- Process-wide flags -----------------------------------------------------

extern std::atomic<bool> firmwareBusy;         // a worker runs
extern std::atomic<bool> firmwareStopRequest;  // "Stop" pressed; honoured in the wake-up loops

// How a run ended; the command line turns these into exit statuses.
enum DownloadOutcome : int {
  DL_SUCCESS = 0,
  DL_NOTHING_SELECTED = 2,
  DL_PORT_FAILED = 3,
  DL_HANDSHAKE_FAILED = 4,
  DL_STOPPED = 5,
  DL_FILE_FAILED = 6,
  DL_BOOT_TOO_LARGE = 7,
  DL_BOOT_TOO_SMALL = 8,
  DL_NO_BLOCK_REPLY = 9,
  DL_NO_COMPLETION_REPLY = 10,
  DL_FLASH_FAULT = 11,
  DL_THREAD_FAILED = 12,
  DL_BLOCK_REFUSED = 13,  // the loader answered every send of a block with a refusal
  DL_FILE_EMPTY = 14,
};
extern std::atomic<int> lastDownloadOutcome;

// ---- Steps ------------------------------------------------------------------

// Opens the port at 115200 and wakes the boot loader, choosing the framing.
// 0 connected, 1 failed or stopped after the port was opened, 2 port not opened.
int bootConnect(const DownloadJob& job);

// Looks at an image file without sending anything: present, a regular file,
// readable, not empty, and for boot code within its size limits. Shows the
// step's box; returns 0 or the failure number sendBootImage would give
// (1, 2, 3, or 14 empty).
int checkBootImage(const char* path, ImageKind which);

// Sends one image in blocks and completes it. 0, or 1 file cannot be opened,
// 2 boot code too large, 3 boot code too small, 9 no reply to a block,
// 10 no completion reply, 11 flash write fault, 13 block refused, 14 empty.
int sendBootImage(const char* path, ImageKind which);

// Sends 0xD2 with no payload.
int bootFinish();

// ---- Worker -----------------------------------------------------------------

// The whole run on the calling thread: check the images, connect, images,
// finish, close.
DownloadOutcome firmwareWorker(const DownloadJob& job);

// What "Start" does: refuses a job with nothing ticked (box), does nothing
// while a worker runs, else starts the worker thread. Returns true when a
// worker was started.
bool startFirmwareWorker(const DownloadJob& job);
// Waits for the last started worker thread to end (if any).
void joinFirmwareWorker();

#endif
