/*
 * system.h - the system wrappers the core needs: serial number, backlight
 * hooks, sleep and power.
 */
#ifndef SAFFRON_CORE_SYSTEM_H
#define SAFFRON_CORE_SYSTEM_H

#include <cstddef>
#include <cstdint>

struct LcdBackLight {
  int16_t brightness; // doubled at the second idle minute
  int32_t keep;       // -1 screen kept lit, 0 dimmed
  int32_t interval;   // whole idle minutes since the last key, card or sleep
  uint8_t unused[8];
};

// Survives across idle-loop entries; all zero at start. A key press lights the
// screen again (kbHit), the idle loop dims it.
extern LcdBackLight lcdBackLightStruct;

// Device serial number as text, bounded by outSize and always terminated.
// Returns 0, or the platform's error (out is then "").
int mid_sysReadSN(char *out, std::size_t outSize);
// Backlight hooks; this platform dims by itself, so they do nothing.
void mid_sys_backlight_set_time();
void mid_sys_backlight_init();
// Returns when the terminal wakes.
int mid_sysEnterSleep();
int mid_sysPowerDown();

#endif
