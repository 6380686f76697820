/*
 * device.h - the simulator's device model, shared by the files that implement
 * the DLL_ operations (internal; tests and front ends use sim.h).
 *
 * Sections: the device record, the clock, waiting for input (where scripted
 * input is consumed and virtual time passes), the script runner, the LCD
 * helpers, images and artwork, leaving the run.
 */
#ifndef SIM_DEVICE_H
#define SIM_DEVICE_H

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim.h"

namespace sim::detail {

/* ---- the device record -------------------------------------------------------------- */

constexpr long long kPollQuantumMs = 10;             // virtual time an empty input poll costs
constexpr long long kRunawayMs = 24LL * 3600 * 1000; // default: polling this long with no progress ends the run

struct Swipe {
  std::string track1, track2, track3;
};

struct Device {
  // Clock: virtual (headless runs, tests) or the host clock plus an offset.
  bool virtualClock = true;
  std::atomic<long long> virtualMs{0};   // terminal-local wall time, ms since 1970 as if UTC
  std::atomic<long long> realOffsetMs{0};// terminal clock minus host local clock (real time)

  bool headless = false;         // a headless run: a script drives it, outputs go to outDir
  std::string outDir;            // absolute; empty = no outputs
  std::thread::id uiThread;      // the thread that drives the device; others sleep in real time

  std::string serial = "SIM00012345";
  int battery = 100;             // charge level 0..100
  int charger = 0;               // 0 none, 1 charging
  int tmsTask = 0;               // DLL_TMS_GetTask's answer
  int keySoundMode = 0, keySoundLevel = 0;
  bool mcrOpen = false;

  std::deque<int> keys;
  std::deque<Swipe> swipes;
  std::deque<std::string> pinAnswers;  // digits, or "cancel"
  std::vector<Beep> beeps;
  std::vector<std::string> events;     // listing of beeps, settings and power changes

  long long lastProgressMs = 0;  // virtual time of the last script step or input consumed
  long long runawayMs = kRunawayMs;

  std::function<void()> powerDownHandler;
  std::function<void(int, const std::string&)> exitHandler;

  // Set while a front end owns the process's end (the window): ends the run
  // with the status, outputs flushed, and never returns.
  void (*endRun)(int status) = nullptr;
  std::atomic<int> pinWaiters{0};  // PIN pad requests waiting for the cardholder's answer

  // What the window's test hooks wait on: inputs queued from any front end,
  // and the order of the last input taken and the last empty input poll.
  std::atomic<unsigned long long> inputsQueued{0};
  std::atomic<unsigned long long> activity{0}, lastTaken{0}, lastWaiting{0};
};

// The one device; guarded by mutex() for what other threads may touch (queues, clock).
Device& dev();
std::recursive_mutex& mutex();

/* ---- the clock ------------------------------------------------------------------------- */

long long nowMs();                        // terminal clock
void setNowMs(long long ms);              // moves the terminal clock (never the host's)
long long hostLocalMs();                  // the host's local wall time, encoded as if UTC
long long encodeDateTime(int year, int month, int day, int hour, int minute, int second);
bool validDateTime(int year, int month, int day, int hour, int minute, int second);
void noteEvent(const std::string& what);  // one line of events.txt, stamped with the clock
void noteProgress();                      // input consumed or a script step taken

/* ---- waiting for input ------------------------------------------------------------------ */

bool onUiThread();
// The application found no input: run due script commands; if still nothing is
// queued, let a quantum of time pass.
void idlePoll(bool (*haveInput)());
// ms of time pass (virtually: advancing the clock and running script commands
// as they fall due; really: sleeping while the script runs alongside).
void passTime(long long ms);
bool inputsPending();
// No input is queued, and the application has polled for input and found none
// since it last took one: the screen is the one its inputs led to.
bool applicationWaiting();

/* ---- the script runner ------------------------------------------------------------------ */

// Parses a whole script; false with the error (naming the line) when malformed.
bool scriptLoad(const std::string& text, std::string* error);
void scriptStartStdinReader();            // real-time runs: commands arrive as lines on stdin
void scriptPump();                        // runs the commands that are due now
long long scriptNextDueMs();              // when a running wait or expect falls due, or -1
void scriptClear();
void setKeepRunning(bool keep);

/* ---- LCD --------------------------------------------------------------------------------- */

void lcdReset();
std::string lcdListing();
// A text as the listings show it: in quotes, with quotes, backslashes and control characters escaped.
std::string quoteForListing(const std::string& s);
bool lcdWritePng(const std::string& path);
// Copies the 320 x 240 RGB framebuffer into rgb (size bytes, at least
// 320 * 240 * 3) unless it is unchanged since generation `known`; returns the
// current generation.
unsigned long long lcdSnapshot(unsigned char* rgb, size_t size, unsigned long long known);

/* ---- images and artwork ---------------------------------------------------------------------- */

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;  // row by row, 4 bytes a pixel
};
bool imageLoad(const std::string& path, Image* out, std::string* error);   // PNG or BMP by content
bool bmpDecode(const unsigned char* data, size_t size, Image* out, std::string* error);
bool pngWriteRgb(const std::string& path, const unsigned char* rgb, int width, int height);
bool bmpWriteRgb(const std::string& path, const unsigned char* rgb, int width, int height);
void installArtwork(const std::string& dir);   // the default pictures, when missing

/* ---- the printer's paper --------------------------------------------------------------------- */

constexpr int kPaperWidth = 384;  // dots across the paper

// What has come out of the printer so far, as one RGB strip kPaperWidth wide.
struct PaperStrip {
  int height = 0;
  std::vector<unsigned char> rgb;  // height rows of kPaperWidth * 3 bytes
  unsigned long long generation = 0;
};
// Fills *out unless unchanged since generation `known`; always true (kept for
// front ends written when the printer was not modelled).
bool printerPaper(PaperStrip* out, unsigned long long known);
void printerReset();                      // no page, paper in, empty strip, counter at 0

/* ---- power loss ------------------------------------------------------------------------------ */

constexpr int kPowerCutStatus = 99;  // exit status of a run whose power was cut
// Every DLL_ operation calls this first; the Nth call set by setPowerCut ends
// the process at once (nothing flushed). 0 never cuts. Resets the count.
void powerCutPoint();
void setPowerCut(long long nth);
long long platformCalls();             // DLL_ operations so far

/* ---- the PIN pad's own storage ---------------------------------------------------------------- */

// The file where the PIN pad keeps its keys across power cycles (empty: keys
// live in memory only, as in tests). Setting it loads what the file holds.
void setPinPadStore(const std::string& path);

/* ---- leaving the run ---------------------------------------------------------------------------- */

void flushOutputs();                      // events.txt into the out folder
// Ends the run with status (message to stderr); an exit handler intercepts it.
void finishRun(int status, const std::string& message);
std::string fontPath();                   // the TrueType file every font name maps to
void setFontOverride(const std::string& path);

}  // namespace sim::detail

#endif  // SIM_DEVICE_H
