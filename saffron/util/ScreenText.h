/*
 * ScreenText.h - texts and colours on their way to a right-to-left screen:
 * ASCII digits to Arabic-Indic or Persian forms, digit and punctuation runs put
 * in display order, RGB888 and RGB565. Pure, so the LCD wrapper and the screens
 * above it share one conversion.
 */
#ifndef SAFFRON_UTIL_SCREENTEXT_H
#define SAFFRON_UTIL_SCREENTEXT_H

#include <cstddef>

// Copies src to dst replacing each ASCII digit d by U+0660 + d (0xD9, 0xA0 + d).
// Stops before a character that would not fit; dst is always terminated.
// Returns the bytes written (without the NUL).
std::size_t formatArabicNumbers(const char *src, char *dst, std::size_t dstSize);
// The same with the byte pair 0xBD, 0xD0 + d (the amount editor's digits).
std::size_t formatPersianNumbers(const char *src, char *dst, std::size_t dstSize);
// Reverses, in place and byte by byte, every maximal run of ASCII digits,
// space and the punctuation # * & @ . / , - ( ) ! $ % ^ " ' | ? > < ; ~ ` { } :.
void peDisplayNumbersCorrect(char *text);
// formatArabicNumbers, then peDisplayNumbersCorrect on the result.
std::size_t prepareString(const char *src, char *dst, std::size_t dstSize);
bool IsDigit(char c);

unsigned RGB888TORGB565(unsigned r, unsigned g, unsigned b);
// 0xRRGGBB from an RGB565 value, without rounding.
unsigned RGB565ToRGB888(unsigned rgb565);

#endif
