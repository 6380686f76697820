/*
 * Debug.h - diagnostics. Lines are written only when the debug unlock at
 * start-up set hasDebug; a release terminal prints nothing. Kept in util, free
 * of the platform, so every part (the codec included) may log.
 */
#ifndef SAFFRON_UTIL_DEBUG_H
#define SAFFRON_UTIL_DEBUG_H

#include <cstddef>

extern int hasDebug; // 1 after the debug unlock at start-up

// Formats a line of at most 2048 bytes and discards it.
void USB_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Writes the formatted line and "\r" to standard output when hasDebug is set.
void USB_printf2(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Sends len bytes as hexadecimal text over the debug port (standard output here) when hasDebug is set.
void USB_printfEx(const unsigned char *data, std::size_t len);
void USB_printfEx2(const unsigned char *data, std::size_t len);
void USB_printfData(const unsigned char *data, std::size_t len);

#endif
