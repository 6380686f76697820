/*
 * window.h - the simulator's window front end as the rest of the simulator
 * sees it (internal; no wxWidgets types here, so system.cpp builds without wx).
 *
 * The window shows the same device the headless front end drives: the LCD
 * scaled up, a keypad, test cards to swipe, the PIN pad's answer, battery and
 * charger, and the paper strip. It runs wxWidgets on a thread of its own; the
 * application keeps the thread that called DLL_ApiInit.
 *
 * The front end is a library of its own that the simulator loads only when a
 * window is to be opened (simWindowFrontEnd below), so headless runs, tests
 * and scripted demos never load wxWidgets and GTK.
 */
#ifndef SIM_WINDOW_H
#define SIM_WINDOW_H

#include <string>
#include <vector>

namespace sim::detail {

// Things a test asks the window to do by itself, each at a time in ms after
// the window first came up.
struct WindowPlan {
  struct Shot {
    std::string path;   // absolute; NAME.png gets the window, NAME-lcd.png and NAME.txt beside it
    long long afterMs;
  };
  struct Press {
    int code;           // terminal key code; for a swipe, the test card's place in the list (from 1)
    char how;           // 'c' click the keypad button, 't' type the host key, 'w' choose a card and click Swipe
    long long afterMs;
  };
  struct Pin {
    std::string answer;  // digits typed into the PIN field and OK, or "cancel" for its Cancel button
    long long afterMs;
  };
  struct Radio {
    std::string action;  // pull-sim, insert-sim, drop, add:SSID:PASS:SIGNAL (PASS empty: open), remove:SSID
    long long afterMs;
  };
  struct Expect {
    std::string text;    // some text on the LCD must contain it before the next hook runs
    long long afterMs;
  };
  std::vector<Shot> shots;
  std::vector<Press> presses;
  std::vector<Pin> pins;
  std::vector<Radio> radios;    // through the modem and WiFi panel's controls
  std::vector<Expect> expects;
  long long closeAfterMs = -1;  // close the window as its close box would; -1: never
  bool empty() const {
    return shots.empty() && presses.empty() && pins.empty() && radios.empty() && expects.empty() &&
           closeAfterMs < 0;
  }
};

// Opens the window (on a thread of its own) and waits until it is up. false,
// with *why, when there is no display to open; nothing is left running then.
bool windowStart(const std::string& programName, const WindowPlan& plan, std::string* why);

// Closes the window and ends the process with status (standard output and error
// flushed). Never returns.
[[noreturn]] void windowEndRun(int status);

/* ---- keys ------------------------------------------------------------------------------ */

// Keypad button names (0..9, ENTER, CANCEL, CLEAR, UP, DOWN, MENU, F7) -> key code; -1 if none.
int windowKeyCode(const std::string& name);
// How many test cards the card reader panel offers.
int windowTestCards();
// A host keyboard key (a wxWidgets key code) -> terminal key code; -1 when it is not one.
int windowKeyForHost(int hostKey);
// The host key that types terminal key `code` (the first of its keys); -1 if none.
int windowHostKeyFor(int code);

/* ---- the front end as the simulator loads it ------------------------------------------------ */

struct WindowFrontEnd {
  bool (*start)(const std::string& programName, const WindowPlan& plan, std::string* why);
  int (*keyCode)(const std::string& name);
  int (*testCards)();
};

}  // namespace sim::detail

// The one symbol the simulator looks up in the loaded front end.
extern "C" const sim::detail::WindowFrontEnd* simWindowFrontEnd();

#endif  // SIM_WINDOW_H
