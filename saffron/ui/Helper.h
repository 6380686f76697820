/*
 * Helper.h - masked password entry (the digits typed, shown as '*').
 */
#ifndef SAFFRON_UI_HELPER_H
#define SAFFRON_UI_HELPER_H

#include <cstddef>

constexpr const char *EDIT_FOOTER_IMAGE = "downEdit.bmp";

// Results of the editors.
constexpr int INPUT_ACCEPTED = 0;
constexpr int INPUT_CANCELLED = -1;
constexpr int INPUT_TIMED_OUT = -2;

// Masked digit entry on row: minLen..maxLen digits, Clear erases, Enter
// accepts once minLen digits are typed. timeout in units of 100 ms, restarted
// by every key. buffer receives the digits exactly as typed (leading zeros
// kept) and a NUL; it holds bufferSize bytes, and at most bufferSize - 1 digits
// are taken. Returns INPUT_ACCEPTED, INPUT_CANCELLED or INPUT_TIMED_OUT.
int getInputDataPass(int x, int row, int minLen, int maxLen, char *buffer, std::size_t bufferSize, int timeout);
int mid_kbGetString(int minLen, int maxLen, char *buffer, std::size_t bufferSize, int timeout);
// Password entry on row 4; x and y are not used.
int getPass(int x, int y, int minLen, int maxLen, int timeout, char *buffer, std::size_t bufferSize);

#endif
