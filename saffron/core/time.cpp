// time.cpp - the timer service over the platform clock.
#include "core/time.h"

#include "platform_clock.h"

namespace {
struct TimerSlot {
  int64_t startMs;
  int64_t durationMs;
};
TimerSlot timerSlots[TIMER_SLOTS] = {};
} // namespace

int64_t sys_clock() { return PLAT_ClockMs(); }

int mid_sysTimerSet(int slot, int duration) {
  if (slot < 0 || slot >= TIMER_SLOTS) return slot;
  timerSlots[slot].startMs = sys_clock();
  timerSlots[slot].durationMs = static_cast<int64_t>(duration) * 100;
  return slot;
}

int mid_sysTimerCheck(int slot) {
  if (slot < 0 || slot >= TIMER_SLOTS) return 0;
  const int64_t elapsed = sys_clock() - timerSlots[slot].startMs;
  const int64_t remaining = timerSlots[slot].durationMs - elapsed;
  if (remaining <= 0) return 0;
  return static_cast<int>((remaining + 99) / 100);
}

void mid_sysTimerResetAll() {
  for (TimerSlot &t : timerSlots) t = {};
}

int s_SetTimer(int slot, int duration) { return mid_sysTimerSet(slot % 256, duration); }

int s_CheckTimer(int slot) { return mid_sysTimerCheck(slot % 256); }

void mid_sleepMs(unsigned int ms) { PLAT_SleepMs(ms); }
