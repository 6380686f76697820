/*
 * sim.h - the terminal simulator's own C++ interface, for tests of other modules
 * and for front ends.
 *
 * The simulator is one device model (clock, keypad, card reader, PIN pad
 * answers, LCD with a text model beside its pixels, power) that the DLL_
 * operations of libapi.h act on. A front end feeds its input queues: the
 * headless script runner does, tests do through these calls, and so does the
 * window front end.
 *
 * Time: after resetForTest (and in every headless run) the clock is virtual.
 * Waiting for input with nothing queued lets a small quantum of virtual time
 * pass, and PLAT_SleepMs advances the clock without sleeping, so timeouts of
 * minutes cost no wall time.
 */
#ifndef SIM_SIM_H
#define SIM_SIM_H

#include <functional>
#include <string>
#include <vector>

namespace sim {

/* One text drawn on the LCD, as the application asked for it. */
struct ScreenText {
  int x, y, align, size;    // DLL_LcdPrintTTF position (top of the line box), DLL_LCD_ALIGN_*, size 1..3
  unsigned textColor565;    // text colour as set by DLL_LcdSetTTFConfig
  bool bgOn;                // background box filled
  unsigned bgRgb;           // its colour, 0xRRGGBB
  std::string utf8;         // the text exactly as given
};

/* One image drawn on the LCD. */
struct ScreenImage {
  int x, y;
  std::string name;         // file name as given
};

/* One DLL_SysBeef. */
struct Beep {
  long long atMs;           // virtual clock when it sounded
  int tone;
  unsigned ms;
};

/* ---- device state ----------------------------------------------------------- */

// Fresh device: virtual clock 2026-12-07 10:00:00, empty queues, blank LCD, no
// script; chdir to dataDir if given (created when missing, and given the
// default pictures that are missing there).
void resetForTest(const char* dataDir = nullptr);
void setVirtualTime(int year, int month, int day, int hour, int minute, int second);
long long virtualNowMs();     // terminal-local wall time in ms since 1970, encoded as if UTC

/* ---- input queues --------------------------------------------------------------- */

void pushKey(int code);
void pushSwipe(const std::string& track2, const std::string& track1 = "");
void pushPinAnswer(const std::string& digits);   // "cancel" = the cardholder cancels
// For the PIN pad: the next answer, consuming the script as needed (up to 60
// virtual seconds); false = cancel or none.
bool takePinAnswer(std::string* digits);
bool takePinAnswerWithin(std::string* digits, long long timeoutMs);
size_t pendingKeys();
size_t pendingSwipes();

/* ---- LCD ----------------------------------------------------------------------------- */

std::vector<ScreenText> screenTexts();
std::vector<ScreenImage> screenImages();
bool screenContains(const std::string& utf8Fragment);
bool writeShot(const std::string& dir, const std::string& name); // NAME.png + NAME.txt
std::string screenListing();                   // what NAME.txt holds
// The framebuffer, 320 x 240 RGB, row by row, 3 bytes a pixel. Unguarded: read
// it on the thread that drives the device (the window takes locked copies).
const unsigned char* framebuffer();
unsigned pixelAt(int x, int y);                // 0xRRGGBB, 0 outside the screen

/* ---- printer -------------------------------------------------------------------------- */

/* One page DLL_FTPrnStart printed. */
struct PrintedPage {
  int number;                      // 1, 2, ... since the reset: the NNN of print-NNN.png/.txt
  int height;                      // dots fed
  std::string listing;             // what print-NNN.txt holds: every item with place, alignment, size
  std::vector<unsigned char> rgb;  // the paper, 384 x height RGB
};

// Paper out: DLL_PrnCheckStatus reports it and DLL_FTPrnStart prints nothing
// (the composed page is kept for a retry). Paper in again ends that.
void setPaper(bool present);
bool paperPresent();
std::vector<PrintedPage> printedPages();  // the newest 64 pages, oldest first
int pagesPrinted();                       // count since the reset
void clearPaper();                        // empties the strip the window shows

/* ---- system -------------------------------------------------------------------------- */

void setPowerDownHandler(std::function<void()> handler); // tests intercept power-off instead of exit
// Tests intercept the exits of a headless run (end of script, failed expect,
// malformed script, runaway) instead of ending the process: status and message.
void setExitHandler(std::function<void(int status, const std::string& message)> handler);
int keySoundMode();                               // as last set by DLL_KbSetSound
int keySoundLevel();
void setTmsTask(int task);
void setSerial(const std::string& serial);
void setPower(int batteryLevel, int charger);
std::vector<Beep> beeps();

/* ---- modem and WiFi radio ------------------------------------------------------------- */

// What the modem and the WiFi radio are doing, for tests and front ends.
struct BearerState {
  bool simPresent = false;
  bool attached = false;           // to the packet network
  int attachChecks = 0;            // attachment checks since power-on, SIM change or attach-after
  bool pppUp = false;
  bool wifiOpen = false;           // radio on
  std::string joined;              // SSID of the joined network, "" when none
  std::vector<std::string> networks;  // "SSID SIGNAL" of each network in range, in scan order
};
BearerState bearerState();
// Changes the modem or the radio as the script line would ("modem nosim",
// "wifi add Cafe secret -45", ...). false and *error when the line is malformed.
bool radioCommand(const std::string& line, std::string* error);

/* ---- scripts --------------------------------------------------------------------------- */

// Loads a headless script (the same language as --sim-script) that then runs as
// the application waits for input. false and *error naming the line when a line
// is malformed; nothing is loaded then.
bool loadScript(const std::string& text, std::string* error);
void setOutputDir(const std::string& dir);  // where shots of a script go (empty: none)
// Polling for input this long (virtual ms) with no script step and no input
// taken ends the run as a runaway (status 4); 24 hours by default.
void setRunawayLimitMs(long long ms);

}  // namespace sim

#endif  // SIM_SIM_H
