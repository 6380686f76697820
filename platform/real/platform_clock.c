/* platform_clock.c - the clock seam on a real terminal: the system clock and usleep. */
#include "platform_clock.h"

#include <sys/time.h>
#include <unistd.h>

long long PLAT_ClockMs(void) {
  struct timeval tv;
  gettimeofday(&tv, 0);
  return (long long)tv.tv_sec * 1000 + tv.tv_usec / 1000;
}

void PLAT_SleepMs(unsigned int ms) { usleep((useconds_t)ms * 1000u); }
