/*
 * ScreenText.h - texts and colours on their way to a right-to-left screen:
 * ASCII digits to Persian forms, left-to-right runs (numbers, Latin words) put
 * in display order, RGB888 and RGB565. Pure, so the LCD wrapper and the screens
 * above it share one conversion.
 *
 * The platform lays a line holding an Arabic-script character out as one
 * right-to-left run, with no bidirectional reordering: that is why the runs
 * that read left to right are reversed before drawing.
 */
#ifndef SAFFRON_UTIL_SCREENTEXT_H
#define SAFFRON_UTIL_SCREENTEXT_H

#include <cstddef>

// Copies src to dst replacing each ASCII digit d by the Persian digit
// U+06F0 + d (0xDB, 0xB0 + d). Only screens and paper carry these digits.
// Stops before a character that would not fit; dst is always terminated.
// Returns the bytes written (without the NUL).
std::size_t formatArabicNumbers(const char *src, char *dst, std::size_t dstSize);
// The same with the byte pair 0xBD, 0xD0 + d (the amount editor's digits).
std::size_t formatPersianNumbers(const char *src, char *dst, std::size_t dstSize);
// Puts the left-to-right runs of a right-to-left line in display order, in
// place: each run of Latin letters and digits (ASCII, Arabic-Indic or
// Persian), with the space and the punctuation # * & @ . / , - ( ) ! $ % ^ "
// ' | ? > < ; ~ ` { } : between them, has its characters reversed. A line
// with no Arabic-script character and no ASCII digit is drawn left to right
// and stays as it is.
void peDisplayNumbersCorrect(char *text);
// True when text holds an Arabic-script character (U+0600-U+06FF,
// U+FB50-U+FDFF, U+FE70-U+FEFF): the platform then draws it right to left.
bool holdsArabicScript(const char *text);
// formatArabicNumbers, then every run of ASCII punctuation and space in the
// result reversed (the converted digits and Latin letters stay as they are).
std::size_t prepareString(const char *src, char *dst, std::size_t dstSize);
bool IsDigit(char c);

unsigned RGB888TORGB565(unsigned r, unsigned g, unsigned b);
// 0xRRGGBB from an RGB565 value, without rounding.
unsigned RGB565ToRGB888(unsigned rgb565);

#endif
