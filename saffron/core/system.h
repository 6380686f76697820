/*
 * system.h - the system wrappers the core needs: serial number, backlight
 * hooks, sleep and power.
 */
#ifndef SAFFRON_CORE_SYSTEM_H
#define SAFFRON_CORE_SYSTEM_H

#include <cstddef>

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
