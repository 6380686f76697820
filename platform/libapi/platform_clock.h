/*
 * platform_clock.h - the time source and the sleep under saffron's mid_ layer.
 *
 * The application reads the clock and sleeps only through these two calls, so
 * the terminal simulator can run on virtual time: a headless run advances the
 * clock on every sleep and nothing waits in real time. On a real terminal they
 * are gettimeofday and usleep (platform/real/platform_clock.c).
 */
#ifndef PLATFORM_CLOCK_H
#define PLATFORM_CLOCK_H

#ifdef __cplusplus
extern "C" {
#endif

/* Milliseconds since 1970-01-01 00:00 UTC, as the terminal's clock shows them (local wall time). */
long long PLAT_ClockMs(void);
/* Lets ms milliseconds pass. In the simulator this is also where scripted input is consumed. */
void PLAT_SleepMs(unsigned int ms);

#ifdef __cplusplus
}
#endif

#endif /* PLATFORM_CLOCK_H */
