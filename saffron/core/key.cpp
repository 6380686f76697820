// key.cpp - keypad waits over the timer service.
#include "core/key.h"

#include "core/system.h"
#include "core/time.h"
#include "libapi.h"

namespace {
constexpr int KEY_WAIT_SLOT = 3; // the slot input editors and confirmation waits use
} // namespace

void mid_kbFlush() { DLL_KbFlush(); }

int mid_kbGetKey() {
  unsigned char key = DLL_KEY_NONE;
  if (DLL_KbGetCh(&key) != 0 || key == DLL_KEY_NONE) return KEY_NONE;
  return key;
}

int mid_kbGetKeyMs(int ms) {
  if (ms <= 0) return KEY_NONE;
  const int64_t deadline = sys_clock() + ms;
  for (;;) {
    const int key = mid_kbGetKey();
    if (key != KEY_NONE) return key;
    if (sys_clock() >= deadline) return KEY_NONE;
    mid_sleepMs(KEY_POLL_MS);
  }
}

int mid_kbSetSound(int mode, int level) {
  return DLL_KbSetSound(static_cast<unsigned char>(mode), static_cast<unsigned char>(level));
}

int kbHit() {
  if (DLL_KbCheck() != 0) return 0;
  if (lcdBackLightStruct.keep == 0) {
    lcdBackLightStruct.keep = -1;
    mid_sys_backlight_set_time();
    lcdBackLightStruct.interval = 0;
  }
  return 1;
}

int waitForResult(int, int ms) {
  mid_kbFlush();
  mid_sysTimerSet(KEY_WAIT_SLOT, ms / 100);
  for (;;) {
    const int key = mid_kbGetKey();
    if (key == KEY_ENTER) return WAIT_ENTER;
    if (key == KEY_CANCEL) return WAIT_CANCEL;
    if (mid_sysTimerCheck(KEY_WAIT_SLOT) == 0) return WAIT_TIMEOUT;
    mid_sleepMs(KEY_POLL_MS);
  }
}

int waitForNoResult(int, int ms) {
  if (ms > 0) mid_sleepMs(static_cast<unsigned>(ms));
  return WAIT_TIMEOUT;
}
