/*
 * key.h - the keypad: waiting for keys with a timeout, the idle screen's key
 * check, and the common confirmation wait.
 *
 * Every wait is a polling loop over the timer service, so a headless simulator
 * run on virtual time spends no wall time in it.
 */
#ifndef SAFFRON_CORE_KEY_H
#define SAFFRON_CORE_KEY_H

constexpr int KEY_NONE = 0; // what the waits return when no key came
constexpr int KEY_CLEAR = 8;
constexpr int KEY_ENTER = 13;
constexpr int KEY_CANCEL = 27;
constexpr int KEY_UP = 5;
constexpr int KEY_DOWN = 6;
constexpr int KEY_F7 = 7;
constexpr int KEY_F21 = 21;
constexpr int KEY_MENU = 22;

constexpr unsigned KEY_POLL_MS = 10; // between two looks at the keypad

// Results of waitForResult.
constexpr int WAIT_ENTER = 0;
constexpr int WAIT_CANCEL = 1;
constexpr int WAIT_TIMEOUT = 2;

void mid_kbFlush();
// The waiting key, or KEY_NONE at once when there is none.
int mid_kbGetKey();
// Waits up to ms for a key; the key, or KEY_NONE on timeout or for ms 0.
int mid_kbGetKeyMs(int ms);
// mode 0 = key click on at level, anything else = off.
int mid_kbSetSound(int mode, int level);
// 1 when a key is waiting. A key while the screen is dimmed lights it again
// and restarts the idle-minute count.
int kbHit();
// Flushes the keypad and waits up to ms: WAIT_ENTER, WAIT_CANCEL or WAIT_TIMEOUT.
// Other keys are ignored. The first argument is not read.
int waitForResult(int flag, int ms);
// Waits ms and returns WAIT_TIMEOUT.
int waitForNoResult(int flag, int ms);

#endif
