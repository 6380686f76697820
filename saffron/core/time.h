/*
 * time.h - the clock and the timer service every screen uses for its timeouts.
 *
 * Ten slots, each a start time and a duration in milliseconds; durations are
 * given in units of 100 ms. The clock is the platform's (virtual in a headless
 * simulator run), so nothing here reads the host clock directly.
 */
#ifndef SAFFRON_CORE_TIME_H
#define SAFFRON_CORE_TIME_H

#include <cstdint>

constexpr int TIMER_SLOTS = 10;
constexpr int MENU_TIMEOUT = 600;  // 60 seconds, in units of 100 ms
constexpr int INPUT_TIMEOUT = 450; // 45 seconds, in units of 100 ms

// Milliseconds since 1970, from the terminal's clock.
int64_t sys_clock();
// Starts slot with duration (units of 100 ms); returns the slot.
int mid_sysTimerSet(int slot, int duration);
// Remaining time of slot in units of 100 ms; 0 once it has run out (or for a bad slot).
int mid_sysTimerCheck(int slot);
// The same two on a slot index taken modulo 256.
int s_SetTimer(int slot, int duration);
int s_CheckTimer(int slot);
// Stops every slot (a fresh start; tests begin from it).
void mid_sysTimerResetAll();
// Lets ms milliseconds pass (virtual time in a headless simulator run).
void mid_sleepMs(unsigned int ms);

#endif
