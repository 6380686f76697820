/*
 * keypad.cpp - the keypad: a queue of key codes that the front end (script,
 * tests, a window) fills and the application reads. Finding no key is where
 * the application waits for input, so scripted input is given there.
 */
#include "device.h"
#include "libapi.h"

using namespace sim::detail;

static bool keyWaiting() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return !dev().keys.empty();
}

extern "C" int DLL_KbCheck(void) {
  powerCutPoint();
  if (keyWaiting()) return 0;
  idlePoll(&keyWaiting);
  return keyWaiting() ? 0 : 1;
}

extern "C" int DLL_KbGetCh(unsigned char* key) {
  powerCutPoint();
  if (!key) return DLL_ERR_PARAM;
  if (!keyWaiting()) idlePoll(&keyWaiting);
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Device& d = dev();
  if (d.keys.empty()) return 1;
  *key = static_cast<unsigned char>(d.keys.front());
  d.keys.pop_front();
  noteProgress();
  return 0;
}

extern "C" int DLL_KbFlush(void) {
  powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (!dev().keys.empty()) noteProgress();
  dev().keys.clear();
  return DLL_OK;
}

extern "C" int DLL_KbSetSound(unsigned char mode, unsigned char level) {
  powerCutPoint();
  if (level > 100) return DLL_ERR_PARAM;
  dev().keySoundMode = mode;
  dev().keySoundLevel = level;
  noteEvent(std::string("key sound ") + (mode == 0 ? "on" : "off") + " level=" + std::to_string(level));
  return DLL_OK;
}
