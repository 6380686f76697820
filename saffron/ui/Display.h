/*
 * Display.h - every screen's drawing: title bars, message lines on the row
 * grid, label/value pairs, short waits for a key, and the conversion of texts
 * for a right-to-left screen.
 *
 * Sections: text conversion, colours, lines and titles, message screens.
 *
 * Texts are UTF-8. On the way to the glass ASCII digits become Persian
 * digits and left-to-right runs (numbers, Latin words) are reversed, because
 * the platform lays a Persian line out as one right-to-left run. Only mid_lcdDisplay reverses in the
 * caller's buffer; everything here works on bounded copies.
 */
#ifndef SAFFRON_UI_DISPLAY_H
#define SAFFRON_UI_DISPLAY_H

#include <cstddef>

// The text and colour conversion (formatArabicNumbers, peDisplayNumbersCorrect,
// prepareString, RGB888TORGB565) is shared with the LCD wrapper.
#include "util/ScreenText.h"

/* ---- colours -------------------------------------------------------------------- */

int LangGetShowWidth_Api();
bool charSize();

constexpr unsigned TITLE_BG = 0x00C9FF, TITLE_FG = 0x611000;
constexpr unsigned ERROR_TITLE_BG = 0xBA0600, ERROR_TITLE_FG = 0xFFFFFF;
constexpr unsigned SUCCESS_TITLE_BG = 0x19F90C, SUCCESS_TITLE_FG = 0x000000;
constexpr unsigned FAIL_TITLE_BG = 0xF01223, FAIL_TITLE_FG = 0x000000;
constexpr unsigned LINE_BG = 0xFFFFFF, LINE_FG = 0x000000;
constexpr unsigned SELECTED_ROW_BG = 0x28FF4C;

// Usual flag values of a message line.
constexpr int LINE_CENTER = 65;
constexpr int LINE_CENTER_INV = 81;
constexpr int LINE_LEFT = 257;
constexpr int LINE_RIGHT = 513;
constexpr int LINE_CENTER_KEEP = 4161;

constexpr std::size_t LCD_LINE_MAX = 255; // longest line drawn, in bytes

/* ---- lines and titles -------------------------------------------------------------- */

// Draws at most len bytes (up to LCD_LINE_MAX) of text on a grid row, black on white.
int lcdPrint(int x, int row, int flags, const char *font, int size, const char *text, std::size_t len);
// Title bars (row 0, centred): normal, error, success, failure colours.
int lcdPrintC(int x, int row, int flags, const char *font, int size, const char *text);
int lcdPrintE(int x, int row, int flags, const char *font, int size, const char *text);
int lcdPrintSucess(int x, int row, int flags, const char *font, int size, const char *text);
int lcdPrintFail(int x, int row, int flags, const char *font, int size, const char *text);
// On row ceil(halfRow / 2): label right-aligned, value left-aligned.
int lcdPrintLR(int x, int halfRow, int size, int flags, const char *label, std::size_t labelLen, const char *value);
// English lines at 16-pixel rows, small blue text, no digit conversion.
int lcdprintc(int x, int row, const char *format, ...) __attribute__((format(printf, 3, 4)));
void drawBackground();
void drawHeader(int titleId);

/* ---- message screens ------------------------------------------------------------------
 * Each returns the key that ended the wait, 0 on timeout or for a wait of 0. */

int showMessage(const char *title, const char *text, int ms);
int showMessageXY(int x, int row, const char *title, const char *text, int ms);
int showMessageXY1(int x, int row, const char *title, const char *text, int ms);
int updateMessage(const char *text, int ms);
// Returns 13 at once, without reading the keypad, when ms is below 1.
int updateMessageXY(int x, int row, const char *text, int ms);
int updateMessageXYInv(int x, int row, int size, const char *text, int ms);
int updateMessageXYF(int x, int row, int size, const char *text, int ms);
int showMessageXYLRM(int x, int row, int flags, const char *title, const char *text, int ms);
int updateMessageXYLRM(int x, int row, int flags, const char *text, int ms);
int showTripleMessage(const char *title, const char *l1, const char *l2, const char *l3, int ms);
// align 64, 256 or 512: centred, left or right.
int lcdPrintfData(int x, int row, const char *text, int align, int ms);
// The input editors' value line, centred on row.
int showInputData(int row, const char *text, std::size_t len);
// The same on row 4 for texts already in display order (drawn without run reversal).
int showInputData1(int row, const char *text, std::size_t len);
void showUpdateMessage();

#endif
