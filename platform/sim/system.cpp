/*
 * system.cpp - start-up options, the system operations (serial number, date and
 * time, beeps, sleep, power, battery), the clock seam and the update service.
 *
 * Sections: options, DLL_ApiInit, system operations, clock seam, update service.
 */
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cardfile.h"
#include "device.h"
#include "libapi.h"
#include "platform_clock.h"
#include "radio.h"
#include "text.h"
#ifdef SIM_HAS_WINDOW
#include <dlfcn.h>

#include "window.h"
#endif

namespace sim::detail {

/* ---- options ------------------------------------------------------------------------------------ */

static const char* kHelp =
    "terminal simulator options (everything else is left to the application):\n"
    "  --sim-headless           run from a script, write screens to --sim-out, virtual time\n"
    "  --sim-script FILE        the script (default: standard input)\n"
    "  --sim-out DIR            pictures and listings (default ./sim-out)\n"
    "  --sim-data DIR           the terminal's working folder (default ./terminal-data)\n"
    "  --sim-time YYYYMMDDhhmmss  start the terminal clock here\n"
    "  --sim-serial TEXT        serial number (default SIM00012345)\n"
    "  --sim-battery N          charge level 0..100 (default 100)\n"
    "  --sim-charger 0|1        charger connected (default 0)\n"
    "  --sim-tms-task N         the update service's answer 0..3 (default 0)\n"
    "  --sim-modem \"WORDS\"     a modem command at start, e.g. \"nosim\" or \"attach-after 20\" (repeatable)\n"
    "  --sim-wifi \"WORDS\"      a WiFi command at start, e.g. \"add Cafe secret -45\" (repeatable)\n"
    "  --sim-radio FILE         modem and wifi command lines to apply at start\n"
    "  --sim-cards FILE         the window's test cards: PAN TRACK2 PIN BALANCE [BLOCKED] lines, as the\n"
    "                           switch simulator's --cards file (default: its built-in cards)\n"
    "  --sim-font FILE          TrueType font for every font name (also env SIM_FONT)\n"
    "  --sim-keep-running       don't end the run when the script ends\n"
    "  --sim-power-cut N        cut the power at the Nth platform call: exit 99 at once, nothing flushed\n"
    "  --sim-no-window          real time from a script or standard input, even with a display\n"
    "  --sim-window-shot FILE MS       window test hook: a picture of the window MS ms after it opens\n"
    "  --sim-window-click KEY MS       window test hook: click keypad button KEY (0-9 ENTER CANCEL\n"
    "                                  CLEAR UP DOWN MENU F7)\n"
    "  --sim-window-type KEY MS        window test hook: type KEY's host keyboard key\n"
    "  --sim-window-swipe N MS         window test hook: choose test card N (from 1) and click Swipe\n"
    "  --sim-window-pin DIGITS|cancel MS  window test hook: answer the PIN pad through its panel\n"
    "  --sim-window-close MS           window test hook: close the window\n"
    "  --sim-window-expect TEXT MS     window test hook: the next hooks wait until the screen shows TEXT\n"
    "                                  (30 s at most, else the run ends with status 3)\n"
    "  --sim-window-bearer ACTION MS   window test hook: work the modem and WiFi panel: pull-sim,\n"
    "                                  insert-sim, drop, add:SSID:PASS:SIGNAL, remove:SSID\n"
    "  --sim-help               this text\n"
    "script commands, one a line, '#' starts a comment:\n"
    "  key K (code or ENTER CANCEL CLEAR UP DOWN MENU), type DIGITS, swipe TRACK2 [TRACK1],\n"
    "  pin DIGITS|cancel, wait MS, shot NAME, expect TEXT, power LEVEL CHARGER, quit,\n"
    "  modem sim|nosim|drop|attach-after N|never,\n"
    "  wifi add SSID PASS|- SIGNAL [MHZ] | remove SSID | busy SSID N | clear\n";

struct WindowHook {
  std::string what;  // shot: the file; click, type: the key name
  long long afterMs;
  char kind;         // 's' shot, 'c' click, 't' type, 'w' swipe, 'p' PIN, 'b' bearer panel, 'e' expect, 'x' close
};

struct Options {
  bool headless = false, keepRunning = false, help = false, noWindow = false;
  std::vector<WindowHook> windowHooks;
  std::string script, out = "sim-out", data = "terminal-data", time, serial = "SIM00012345", font;
  int battery = 100, charger = 0, tmsTask = 0;
  std::vector<std::pair<std::string, std::vector<std::string>>> radio;  // device, its command's words
  long long powerCut = 0;
  std::vector<TestCard> cards = defaultTestCards();
};

static std::string fontOverride;

void setFontOverride(const std::string& path) { fontOverride = path; }

std::string fontPath() {
  if (!fontOverride.empty()) return fontOverride;
  const char* env = getenv("SIM_FONT");
  if (env && *env) return env;
  return std::string(PROJECT_FONT_CACHE) + "/Vazir-Bold.ttf";
}

[[noreturn]] static void usageError(const std::string& message) {
  fprintf(stderr, "sim: %s (--sim-help lists the options)\n", message.c_str());
  exit(2);
}

static int intOption(const std::string& name, const std::string& value, int lo, int hi) {
  char* end = nullptr;
  errno = 0;
  long v = strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
    usageError(name + " wants a number " + std::to_string(lo) + ".." + std::to_string(hi) + ", not \"" + value +
               "\"");
  return static_cast<int>(v);
}

static std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

// One modem or WiFi command, checked now and applied once the device is fresh.
static void radioOption(Options& o, const std::string& device, const std::string& text, const std::string& from) {
  std::vector<std::string> args = words(text);
  std::string why;
  if (!radioCommand(device, args, false, &why)) usageError(from + " \"" + text + "\": " + why);
  o.radio.emplace_back(device, args);
}

// A device file: "modem ..." and "wifi ..." lines, '#' starts a comment.
static void radioFile(Options& o, const std::string& path) {
  std::ifstream f(path);
  if (!f) usageError("cannot read the radio file " + path);
  std::string raw;
  int lineNo = 0;
  while (std::getline(f, raw)) {
    ++lineNo;
    size_t hash = raw.find('#');
    if (hash != std::string::npos) raw.erase(hash);
    std::vector<std::string> w = words(raw);
    if (w.empty()) continue;
    std::string device = w[0];
    if (device != "modem" && device != "wifi")
      usageError(path + " line " + std::to_string(lineNo) + ": a line starts with modem or wifi");
    w.erase(w.begin());
    std::string rest;
    for (const std::string& a : w) rest += (rest.empty() ? "" : " ") + a;
    radioOption(o, device, rest, path + " line " + std::to_string(lineNo));
  }
}

static Options parseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    if (!argv[i] || strncmp(argv[i], "--sim-", 6) != 0) continue;
    std::string arg = argv[i], name = arg, value;
    bool hasValue = false;
    size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    }
    auto take = [&]() -> std::string {
      if (hasValue) return value;
      if (i + 1 >= argc || !argv[i + 1]) usageError(name + " wants a value");
      return argv[++i];
    };
    // Two values, for the window's test hooks: WHAT MS.
    auto hook = [&](char kind) {
      if (hasValue || i + 2 >= argc || !argv[i + 1] || !argv[i + 2]) usageError(name + " wants two values");
      std::string what = argv[++i];
      int ms = intOption(name, argv[++i], 0, 3600 * 1000);
      o.windowHooks.push_back(WindowHook{what, ms, kind});
    };
    auto flag = [&]() {
      if (hasValue) usageError(name + " takes no value");
    };
    if (name == "--sim-headless") flag(), o.headless = true;
    else if (name == "--sim-keep-running") flag(), o.keepRunning = true;
    else if (name == "--sim-help") flag(), o.help = true;
    else if (name == "--sim-no-window") flag(), o.noWindow = true;
    else if (name == "--sim-window-shot") hook('s');
    else if (name == "--sim-window-click") hook('c');
    else if (name == "--sim-window-type") hook('t');
    else if (name == "--sim-window-swipe") hook('w');
    else if (name == "--sim-window-pin") hook('p');
    else if (name == "--sim-window-bearer") hook('b');
    else if (name == "--sim-window-expect") hook('e');
    else if (name == "--sim-window-close")
      o.windowHooks.push_back(WindowHook{"", intOption(name, take(), 0, 3600 * 1000), 'x'});
    else if (name == "--sim-script") o.script = take();
    else if (name == "--sim-out") o.out = take();
    else if (name == "--sim-data") o.data = take();
    else if (name == "--sim-time") o.time = take();
    else if (name == "--sim-serial") o.serial = take();
    else if (name == "--sim-font") o.font = take();
    else if (name == "--sim-battery") o.battery = intOption(name, take(), 0, 100);
    else if (name == "--sim-charger") o.charger = intOption(name, take(), 0, 1);
    else if (name == "--sim-tms-task") o.tmsTask = intOption(name, take(), 0, 3);
    else if (name == "--sim-modem") radioOption(o, "modem", take(), name);
    else if (name == "--sim-wifi") radioOption(o, "wifi", take(), name);
    else if (name == "--sim-radio") radioFile(o, take());
    else if (name == "--sim-cards") {
      std::string error;
      if (!loadTestCards(take(), &o.cards, &error)) usageError("--sim-cards " + error);
    }
    else if (name == "--sim-power-cut") o.powerCut = intOption(name, take(), 1, 2000000000);
    else usageError("unknown option " + name);
  }
  if (o.serial.empty() || o.serial.size() >= DLL_SN_SIZE) usageError("--sim-serial wants 1 to 31 characters");
  for (char c : o.serial)
    if (c < 0x21 || c > 0x7E) usageError("--sim-serial wants printable characters without spaces");
  return o;
}

// YYYYMMDDhhmmss -> terminal clock ms; false when malformed or not a real date.
static bool parseSimTime(const std::string& s, long long* ms) {
  if (s.size() != 14) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  auto num = [&](size_t at, size_t n) { return std::stoi(s.substr(at, n)); };
  int Y = num(0, 4), M = num(4, 2), D = num(6, 2), h = num(8, 2), m = num(10, 2), sec = num(12, 2);
  if (!validDateTime(Y, M, D, h, m, sec)) return false;
  *ms = encodeDateTime(Y, M, D, h, m, sec);
  return true;
}

static std::string absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

// Opens the window unless told not to; false means a real-time run without
// one (the reason is on stderr). The window's test hooks need the window.
// The script's whole text; an empty path means standard input.
static std::string readScript(const std::string& path) {
  std::stringstream ss;
  if (path.empty()) {
    ss << std::cin.rdbuf();
  } else {
    // A folder opens as an empty stream here; a pipe is a fine script.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) usageError("the script " + path + " is a folder");
    std::ifstream f(path, std::ios::binary);
    if (!f) usageError("cannot read the script " + path);
    ss << f.rdbuf();
  }
  return ss.str();
}

#ifdef SIM_HAS_WINDOW
// Loads the window front end from beside this library; nullptr with *why when it cannot.
static const WindowFrontEnd* loadWindowFrontEnd(std::string* why) {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&loadWindowFrontEnd), &self) == 0 || self.dli_fname == nullptr) {
    *why = "the simulator library cannot find where it was loaded from";
    return nullptr;
  }
  const std::string path = (std::filesystem::path(self.dli_fname).parent_path() / SIM_WINDOW_MODULE).string();
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* error = dlerror();
    *why = "the window front end cannot be loaded: " + std::string(error ? error : path);
    return nullptr;
  }
  auto entry = reinterpret_cast<const WindowFrontEnd* (*)()>(dlsym(module, "simWindowFrontEnd"));
  if (entry == nullptr) {
    *why = path + " is not the window front end";
    return nullptr;
  }
  return entry();
}
#endif

static bool startWindow(const Options& o, const std::string& programName) {
#ifdef SIM_HAS_WINDOW
  if (o.noWindow) {
    if (!o.windowHooks.empty()) usageError("--sim-window-... test hooks need the window, not --sim-no-window");
    return false;
  }
  std::string why;
  const char* display = getenv("DISPLAY");
  const WindowFrontEnd* w = nullptr;
  // Without a display the window libraries are not even loaded.
  if (display == nullptr || *display == '\0')
    why = "DISPLAY is not set";
  else
    w = loadWindowFrontEnd(&why);
  if (w == nullptr) {
    if (!o.windowHooks.empty()) usageError("the window test hooks need a window, but " + why);
    fprintf(stderr, "sim: no window: %s\n", why.c_str());
    return false;
  }
  WindowPlan plan;
  for (const WindowHook& h : o.windowHooks) {
    if (h.kind == 's') {
      plan.shots.push_back(WindowPlan::Shot{h.what, h.afterMs});
      continue;
    }
    if (h.kind == 'p') {
      bool digits = !h.what.empty() && h.what.size() <= 12 &&
                    h.what.find_first_not_of("0123456789") == std::string::npos;
      if (!digits && h.what != "cancel") usageError("--sim-window-pin wants 1 to 12 digits or cancel");
      plan.pins.push_back(WindowPlan::Pin{h.what, h.afterMs});
      continue;
    }
    if (h.kind == 'b') {
      static const char* kActions[] = {"pull-sim", "insert-sim", "drop", "add:", "remove:"};
      bool known = false;
      for (const char* a : kActions) known = known || h.what.rfind(a, 0) == 0;
      if (!known) usageError("--sim-window-bearer wants pull-sim, insert-sim, drop, add:SSID:PASS:SIGNAL or remove:SSID");
      plan.radios.push_back(WindowPlan::Radio{h.what, h.afterMs});
      continue;
    }
    if (h.kind == 'x') {
      plan.closeAfterMs = h.afterMs;
      continue;
    }
    if (h.kind == 'e') {
      if (h.what.empty()) usageError("--sim-window-expect wants a text");
      plan.expects.push_back(WindowPlan::Expect{h.what, h.afterMs});
      continue;
    }
    int code;
    if (h.kind == 'w') {
      code = intOption("--sim-window-swipe", h.what, 1, w->testCards());
    } else {
      code = w->keyCode(h.what);
      if (code < 0) usageError("unknown keypad button \"" + h.what + "\" (0-9 ENTER CANCEL CLEAR UP DOWN MENU F7)");
    }
    plan.presses.push_back(WindowPlan::Press{code, h.kind, h.afterMs});
  }
  if (w->start(programName, plan, &why)) return true;
  if (!plan.empty()) usageError("the window test hooks need a window, but " + why);
  fprintf(stderr, "sim: no window: %s\n", why.c_str());
  return false;
#else
  (void)programName;
  if (!o.windowHooks.empty()) usageError("this build has no window front end (BUILD_SIM_WINDOW is off)");
  if (!o.noWindow) fprintf(stderr, "sim: this build has no window front end\n");
  return false;
#endif
}

}  // namespace sim::detail

using namespace sim::detail;

/* ---- DLL_ApiInit ------------------------------------------------------------------------------------ */

extern "C" int DLL_ApiInit(int argc, char** argv) {
  Options o = parseOptions(argc, argv);
  if (o.help) {
    fputs(kHelp, stdout);
    exit(0);
  }
  long long startMs = 0;
  if (!o.time.empty() && !parseSimTime(o.time, &startMs))
    usageError("--sim-time wants YYYYMMDDhhmmss (a real date, years 1970..2099), not \"" + o.time + "\"");

  sim::resetForTest(nullptr);
  Device& d = dev();
  d.headless = o.headless;
  d.serial = o.serial;
  d.battery = o.battery;
  d.charger = o.charger;
  d.tmsTask = o.tmsTask;
  setWindowCards(o.cards);
  for (const auto& [device, args] : o.radio) radioCommand(device, args, true, nullptr);
  if (!o.font.empty()) {
    setFontOverride(absolute(o.font));
    // Checked now: a font that does not load would give screens without text.
    int width = 0;
    if (!textMeasure("0", 1, &width)) usageError("--sim-font " + o.font + " is not a font that loads");
  }
  setKeepRunning(o.keepRunning);

  // Headless runs always use virtual time; otherwise the host clock, shifted by --sim-time.
  d.virtualClock = o.headless;
  if (o.headless)
    d.virtualMs = o.time.empty() ? hostLocalMs() / 1000 * 1000 : startMs;
  else
    d.realOffsetMs = o.time.empty() ? 0 : startMs - hostLocalMs();
  d.lastProgressMs = nowMs();

  // Paths given on the command line are the caller's, relative to where it started us.
  d.outDir = absolute(o.out);
  std::string scriptPath = o.script.empty() ? "" : absolute(o.script);
  for (WindowHook& h : o.windowHooks)
    if (h.kind == 's') h.what = absolute(h.what);
  if (o.headless && !o.windowHooks.empty()) usageError("--sim-window-... test hooks need the window, not --sim-headless");
  // Taken before changing into the data folder: a relative one would otherwise
  // put the PIN pad's store inside it, away from where other runs look for it.
  std::string dataPath = absolute(o.data);
  while (dataPath.size() > 1 && dataPath.back() == '/') dataPath.pop_back();
  std::error_code ec;
  std::filesystem::create_directories(d.outDir, ec);
  if (ec) usageError("cannot create the out folder " + d.outDir + ": " + ec.message());
  std::filesystem::create_directories(o.data, ec);
  if (ec) usageError("cannot create the data folder " + o.data + ": " + ec.message());
  if (chdir(o.data.c_str()) != 0) usageError("cannot enter the data folder " + o.data + ": " + strerror(errno));
  installArtwork(".");
  // The PIN pad's keys live beside the terminal's folder, never among its files.
  setPinPadStore(dataPath + ".pinpad");
  setPowerCut(o.powerCut);

  const char* mode = o.headless ? "headless" : "real-time";
  if (o.headless) {
    std::string text = readScript(scriptPath), error;
    if (!scriptLoad(text, &error)) {
      fprintf(stderr, "%s\n", error.c_str());
      exit(2);
    }
  } else {
    // Read before the window opens, so a missing script is reported on its own.
    std::string text = scriptPath.empty() ? "" : readScript(scriptPath);
    bool window = startWindow(o, argc > 0 && argv && argv[0] ? argv[0] : "");
    if (window) {
      // The window decides when the run ends (or a script's quit does).
      setKeepRunning(true);
    } else if (!o.noWindow) {
      fprintf(stderr, "sim: running in real time with script commands from %s\n",
              scriptPath.empty() ? "standard input" : scriptPath.c_str());
    }
    if (!scriptPath.empty()) {
      std::string error;
      if (!scriptLoad(text, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        if (d.endRun) d.endRun(2);
        exit(2);
      }
    } else if (!window) {
      scriptStartStdinReader();
    }
    if (window) mode = "window";
  }
  noteEvent(std::string("start ") + mode + " serial=" + d.serial);
  return DLL_OK;
}

/* ---- system operations ---------------------------------------------------------------------------- */

extern "C" int DLL_SysReadSN(char* sn) {
  powerCutPoint();
  if (!sn) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  snprintf(sn, DLL_SN_SIZE, "%s", dev().serial.c_str());
  return DLL_OK;
}

extern "C" int DLL_SysGetDateTime(int* dt) {
  powerCutPoint();
  if (!dt) return DLL_ERR_PARAM;
  time_t secs = static_cast<time_t>(nowMs() / 1000);
  struct tm t;
  gmtime_r(&secs, &t);
  dt[DLL_DT_SECOND] = t.tm_sec;
  dt[DLL_DT_MINUTE] = t.tm_min;
  dt[DLL_DT_HOUR] = t.tm_hour;
  dt[DLL_DT_DAY] = t.tm_mday;
  dt[DLL_DT_MONTH] = t.tm_mon + 1;
  dt[DLL_DT_YEAR] = t.tm_year + 1900;
  dt[DLL_DT_WEEKDAY] = t.tm_wday;
  return DLL_OK;
}

static int setClock(const int* dt, const char* what) {
  if (!dt) return DLL_ERR_PARAM;
  if (!validDateTime(dt[DLL_DT_YEAR], dt[DLL_DT_MONTH], dt[DLL_DT_DAY], dt[DLL_DT_HOUR], dt[DLL_DT_MINUTE],
                     dt[DLL_DT_SECOND]))
    return DLL_ERR_PARAM;
  // Only the simulated clock moves; the host's is never touched.
  setNowMs(encodeDateTime(dt[DLL_DT_YEAR], dt[DLL_DT_MONTH], dt[DLL_DT_DAY], dt[DLL_DT_HOUR], dt[DLL_DT_MINUTE],
                          dt[DLL_DT_SECOND]));
  noteProgress();
  noteEvent(what);
  return DLL_OK;
}

extern "C" int DLL_SysSetDateTime(const int* dt) {
  powerCutPoint();
  return setClock(dt, "clock set");
}
extern "C" int DLL_SysSetRtc(const int* dt) {
  powerCutPoint();
  return setClock(dt, "real-time clock set");
}

extern "C" int DLL_SysBeef(unsigned char tone, unsigned int ms) {
  powerCutPoint();
  if (tone > 6) return DLL_ERR_PARAM;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex());
    dev().beeps.push_back(sim::Beep{nowMs(), tone, ms});
  }
  noteEvent("beep tone=" + std::to_string(tone) + " ms=" + std::to_string(ms));
  passTime(ms);
  return DLL_OK;
}

static bool wakeInput() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return !dev().keys.empty() || !dev().swipes.empty();
}

extern "C" int DLL_SysEnterSleep(void) {
  powerCutPoint();
  noteEvent("sleep");
  const long long asleepAt = nowMs();
  while (!wakeInput()) {
    if (!onUiThread()) {
      usleep(10000);
      continue;
    }
    idlePoll(&wakeInput);
  }
  noteEvent("wake");
  modemSlept(nowMs() - asleepAt);
  return DLL_OK;
}

extern "C" int DLL_SysPowerDown(void) {
  powerCutPoint();
  Device& d = dev();
  noteEvent("power off");
  if (d.headless && !d.outDir.empty()) sim::writeShot(d.outDir, "power-off");
  flushOutputs();
  if (d.powerDownHandler) {
    d.powerDownHandler();
    return DLL_OK;
  }
  fflush(stderr);
  if (d.endRun) d.endRun(0);  // the window closes first
  exit(0);
}

extern "C" int DLL_SysCheckBattery(unsigned char* buf) {
  powerCutPoint();
  if (!buf) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  buf[0] = static_cast<unsigned char>(dev().battery);
  buf[1] = buf[2] = buf[3] = 0;
  return DLL_OK;
}

extern "C" int DLL_SysCheckUsbStatus(unsigned char* buf) {
  powerCutPoint();
  if (!buf) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  buf[0] = static_cast<unsigned char>(dev().charger);
  buf[1] = buf[2] = buf[3] = 0;
  return DLL_OK;
}

/* ---- clock seam ---------------------------------------------------------------------------------------- */

extern "C" long long PLAT_ClockMs(void) { return nowMs(); }

extern "C" void PLAT_SleepMs(unsigned int ms) { passTime(ms); }

/* ---- update service -------------------------------------------------------------------------------------- */

extern "C" int DLL_TMS_GetTask(void) {
  powerCutPoint();
  return dev().tmsTask;
}
