/*
 * device.cpp - the simulator's device record: clock, input queues, waiting for
 * input, leaving the run, and the sim:: calls over them.
 *
 * Sections: the record, the clock, events, waiting for input, leaving the run,
 * sim:: interface.
 */
#include "device.h"

#include <sched.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "libapi.h"
#include "platform_clock.h"
#include "radio.h"

namespace sim::detail {

/* ---- the record ------------------------------------------------------------------------- */

// Never destroyed: a detached stdin reader may still run while the process exits.
Device& dev() {
  static Device* d = new Device();
  return *d;
}

std::recursive_mutex& mutex() {
  static std::recursive_mutex* m = new std::recursive_mutex();
  return *m;
}

/* ---- the clock ----------------------------------------------------------------------------- */

long long hostLocalMs() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm local;
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &local);
  return (static_cast<long long>(tv.tv_sec) + local.tm_gmtoff) * 1000 + tv.tv_usec / 1000;
}

long long nowMs() {
  Device& d = dev();
  if (d.virtualClock) return d.virtualMs.load();
  return hostLocalMs() + d.realOffsetMs.load();
}

void setNowMs(long long ms) {
  Device& d = dev();
  if (d.virtualClock)
    d.virtualMs.store(ms);
  else
    d.realOffsetMs.store(ms - hostLocalMs());
}

bool validDateTime(int year, int month, int day, int hour, int minute, int second) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1970 || year > 2099 || month < 1 || month > 12) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int last = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day >= 1 && day <= last && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 &&
         second <= 59;
}

long long encodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return static_cast<long long>(timegm(&t)) * 1000;
}

/* ---- events -------------------------------------------------------------------------------- */

static std::string stamp(long long ms) {
  time_t secs = static_cast<time_t>(ms / 1000);
  struct tm t;
  gmtime_r(&secs, &t);
  char buf[64];
  snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
           t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ms % 1000));
  return buf;
}

void noteEvent(const std::string& what) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  dev().events.push_back(stamp(nowMs()) + " " + what);
}

void noteProgress() {
  Device& d = dev();
  d.lastProgressMs = nowMs();
  d.lastTaken = ++d.activity;
}

/* ---- waiting for input ---------------------------------------------------------------------- */

bool onUiThread() { return std::this_thread::get_id() == dev().uiThread; }

// The process's threads now, from /proc/self/stat (its 20th field); 0 when unknown.
static long threadCount() {
  char buf[1024];
  FILE* f = fopen("/proc/self/stat", "r");
  if (!f) return 0;
  size_t n = fread(buf, 1, sizeof buf - 1, f);
  fclose(f);
  buf[n] = '\0';
  // The command name may hold spaces and parentheses: count from its closing one.
  const char* p = strrchr(buf, ')');
  for (int field = 2; p && field < 20; ++field) p = strchr(p + 1, ' ');
  return p ? strtol(p + 1, nullptr, 10) : 0;
}

static std::atomic<long> threadsAtReset{0};

// Virtual time must not outrun the application's own threads (the link
// connecting in the background): they work in real time, and a waiter polling
// on the virtual clock would give up on them after a few real milliseconds on a
// busy machine. While the process has more threads than at reset, the virtual
// clock keeps the pace of the real one.
static bool backgroundThreads() {
  long base = threadsAtReset.load();
  return base > 0 && threadCount() > base;
}

bool applicationWaiting() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Device& d = dev();
  return d.keys.empty() && d.swipes.empty() && d.pinAnswers.empty() && d.lastWaiting > d.lastTaken;
}

bool inputsPending() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Device& d = dev();
  return !d.keys.empty() || !d.swipes.empty() || !d.pinAnswers.empty();
}

// Virtual time only moves on the UI thread; polling for this long without any
// script step or input means the run can never end by itself.
static void checkRunaway() {
  Device& d = dev();
  if (!d.virtualClock) return;
  if (nowMs() - d.lastProgressMs > d.runawayMs)
    finishRun(4, "sim: runaway: the application kept waiting for input for " +
                     std::to_string(d.runawayMs / 60000) +
                     " virtual minutes with no script step and no input taken");
}

void idlePoll(bool (*haveInput)()) {
  if (!onUiThread()) return;
  scriptPump();
  if (haveInput()) return;
  Device& d = dev();
  d.lastWaiting = ++d.activity;
  if (d.virtualClock) {
    if (backgroundThreads()) usleep(static_cast<useconds_t>(kPollQuantumMs) * 1000u);
    setNowMs(nowMs() + kPollQuantumMs);
    checkRunaway();
  } else {
    usleep(5000);  // real time: don't spin the host's CPU
  }
}

void passTime(long long ms) {
  if (ms < 0) ms = 0;
  Device& d = dev();
  if (!onUiThread()) {
    usleep(static_cast<useconds_t>(ms) * 1000u);
    return;
  }
  if (d.virtualClock) {
    long long target = nowMs() + ms;
    for (;;) {
      scriptPump();
      long long t = nowMs();
      if (t >= target) break;
      long long next = target;
      long long due = scriptNextDueMs();
      if (due > t && due < next) next = due;
      if (backgroundThreads()) {
        long long step = next - t < kPollQuantumMs ? next - t : kPollQuantumMs;
        usleep(static_cast<useconds_t>(step) * 1000u);
        next = t + step;
      }
      setNowMs(next);
    }
    checkRunaway();
    // Background threads (the link) run in real time: give them a chance.
    sched_yield();
  } else {
    long long end = nowMs() + ms;
    for (;;) {
      scriptPump();
      long long left = end - nowMs();
      if (left <= 0) break;
      usleep(static_cast<useconds_t>(left < 10 ? left : 10) * 1000u);
    }
  }
}

/* ---- leaving the run ---------------------------------------------------------------------------- */

void flushOutputs() {
  Device& d = dev();
  fflush(stdout);
  if (d.outDir.empty()) return;
  std::vector<std::string> events;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    events = d.events;
  }
  std::ofstream f(d.outDir + "/events.txt", std::ios::trunc);
  for (const std::string& e : events) f << e << "\n";
  // What a power-cut sweep needs to know: how many cut points this run had.
  f << "platform calls " << platformCalls() << "\n";
}

void finishRun(int status, const std::string& message) {
  Device& d = dev();
  flushOutputs();
  if (d.exitHandler) {
    // Don't let the same end come round again while the handler unwinds.
    scriptClear();
    d.exitHandler(status, message);
    return;
  }
  if (!message.empty()) fprintf(stderr, "%s\n", message.c_str());
  fflush(stderr);
  if (d.endRun) d.endRun(status);
  std::exit(status);
}

}  // namespace sim::detail

/* ---- sim:: interface ---------------------------------------------------------------------------- */

namespace sim {
using namespace detail;

void resetForTest(const char* dataDir) {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    Device& d = dev();
    d.virtualClock = true;
    d.virtualMs = encodeDateTime(2026, 12, 7, 10, 0, 0);
    d.realOffsetMs = 0;
    d.headless = false;
    d.outDir.clear();
    d.uiThread = std::this_thread::get_id();
    threadsAtReset = threadCount();
    d.serial = "SIM00012345";
    d.battery = 100;
    d.charger = 0;
    d.tmsTask = 0;
    d.keySoundMode = 0;
    d.keySoundLevel = 0;
    d.mcrOpen = false;
    d.keys.clear();
    d.swipes.clear();
    d.pinAnswers.clear();
    d.beeps.clear();
    d.events.clear();
    d.lastProgressMs = d.virtualMs;
    d.runawayMs = kRunawayMs;
    d.powerDownHandler = nullptr;
    d.exitHandler = nullptr;
  }
  scriptClear();
  setKeepRunning(false);
  lcdReset();
  radioReset();
  printerReset();
  if (dataDir) {
    std::error_code ec;
    std::filesystem::create_directories(dataDir, ec);
    if (chdir(dataDir) != 0) perror("sim: chdir to the data folder");
    else installArtwork(".");
  }
}

void setVirtualTime(int year, int month, int day, int hour, int minute, int second) {
  setNowMs(encodeDateTime(year, month, day, hour, minute, second));
  noteProgress();
}

long long virtualNowMs() { return nowMs(); }

void pushKey(int code) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  dev().keys.push_back(code & 0xFF);
  ++dev().inputsQueued;
}

void pushSwipe(const std::string& track2, const std::string& track1) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  dev().swipes.push_back(Swipe{track1, track2, ""});
  ++dev().inputsQueued;
}

void pushPinAnswer(const std::string& digits) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  dev().pinAnswers.push_back(digits);
  ++dev().inputsQueued;
}

static bool pinWaiting() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return !dev().pinAnswers.empty();
}

bool takePinAnswerWithin(std::string* digits, long long timeoutMs) {
  // Lets a front end show that the PIN pad is asking.
  struct Asking {
    Asking() { ++dev().pinWaiters; }
    ~Asking() { --dev().pinWaiters; }
  } asking;
  long long deadline = nowMs() + (timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::recursive_mutex> lock(mutex());
      Device& d = dev();
      if (!d.pinAnswers.empty()) {
        std::string answer = d.pinAnswers.front();
        d.pinAnswers.pop_front();
        noteProgress();
        if (answer == "cancel") return false;
        if (digits) *digits = answer;
        return true;
      }
    }
    if (nowMs() >= deadline) return false;
    if (!onUiThread()) {
      // Only the UI thread moves virtual time; elsewhere wait in real time.
      if (dev().virtualClock) return false;
      usleep(10000);
      continue;
    }
    idlePoll(&pinWaiting);
  }
}

bool takePinAnswer(std::string* digits) { return takePinAnswerWithin(digits, 60000); }

size_t pendingKeys() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return dev().keys.size();
}

size_t pendingSwipes() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return dev().swipes.size();
}

void setOutputDir(const std::string& dir) { dev().outDir = dir; }

void setRunawayLimitMs(long long ms) { dev().runawayMs = ms; }

void setPowerDownHandler(std::function<void()> handler) { dev().powerDownHandler = std::move(handler); }

void setExitHandler(std::function<void(int, const std::string&)> handler) {
  dev().exitHandler = std::move(handler);
}

int keySoundMode() { return dev().keySoundMode; }
int keySoundLevel() { return dev().keySoundLevel; }
void setTmsTask(int task) { dev().tmsTask = task; }

void setSerial(const std::string& serial) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  dev().serial = serial.substr(0, DLL_SN_SIZE - 1);
}

void setPower(int batteryLevel, int charger) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  dev().battery = batteryLevel < 0 ? 0 : batteryLevel > 100 ? 100 : batteryLevel;
  dev().charger = charger ? 1 : 0;
}

std::vector<Beep> beeps() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return dev().beeps;
}

}  // namespace sim
