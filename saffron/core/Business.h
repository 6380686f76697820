/*
 * Business.h - the terminal's spine: start-up, the update-service prompt, the
 * idle screen and its loop, the settings summary and power-off.
 *
 * Sections: idle-screen codes, start-up, idle screen, actions.
 */
#ifndef SAFFRON_CORE_BUSINESS_H
#define SAFFRON_CORE_BUSINESS_H

#include <cstddef>
#include <cstdint>

#include "core/system.h"

// The idle backlight state (lcdBackLightStruct) lives with the system wrappers.

/* ---- idle-screen codes (splashMenu's result) --------------------------------------- */

constexpr int SPLASH_CARD = 0;          // a card was swiped and accepted
constexpr int SPLASH_MAIN_MENU = 1000;  // key 22
constexpr int SPLASH_UP = 1001;
constexpr int SPLASH_DOWN = 1002;
constexpr int SPLASH_NINE = 1003;
constexpr int SPLASH_SETTINGS = 2000;   // Clear: the settings summary
constexpr int SPLASH_REFRESH = 4000;    // key 7: the idle screen afresh

constexpr int IDLE_SLOT = 1;               // timer slot of the idle minute
constexpr unsigned IDLE_POLL_MS = 100;     // between two turns of the idle loop
constexpr int64_t LONG_SLEEP_MS = 300000;  // a sleep this long drops the PPP link

constexpr const char *IDLE_BACKGROUND = "main.png";
constexpr int MERCHANT_LINE_MAX = 65;  // bytes on one line
constexpr int MERCHANT_LINE_Y = 174;
constexpr int MERCHANT_LINE1_Y = 168;
constexpr int MERCHANT_LINE2_Y = 188;

// MerchantMenuTMSAction's results.
constexpr int TMS_CONTINUE = 0;
constexpr int TMS_EXIT_FOR_UPDATE = 1; // Enter on a waiting update: the process ends

/* ---- start-up ------------------------------------------------------------------------ */

// The program: start-up, then the idle loop for good. Returns only when the
// process is to end (0).
int saffronMain(int argc, char **argv);
void moduleInit();
// The update-service prompt; TMS_EXIT_FOR_UPDATE when the user accepted an update.
int MerchantMenuTMSAction();
// Four presses of DEBUG_UNLOCK_KEY at start-up, then the code derived from the
// serial number, set hasDebug. Writes the configuration file. Returns hasDebug.
int debugUnlock();
// The 4-digit unlock code of a serial number, into out (at least 5 bytes).
void debugUnlockCode(const char *serial, char *out, std::size_t outSize);

/* ---- idle screen ------------------------------------------------------------------------ */

// part 0 the body, part 1 the date line (when force is non-zero), else clears.
void drawSplash(int part, int force);
// Splits a merchant line for the idle screen: up to MERCHANT_LINE_MAX bytes it
// stays whole (second empty); longer, it breaks at the last space within its
// first 66 bytes (or, with none, at the last character start within them).
void splitMerchantLine(const char *line, char *first, std::size_t firstSize, char *second, std::size_t secondSize);
// The idle loop; returns one of the SPLASH_ codes.
int splashMenu();

/* ---- actions ------------------------------------------------------------------------------- */

int splashMenuAction(int code);
int SplashMenuClear();
void displaySetting();
int TurnOffMenu();
int exitFromApp();

#endif
