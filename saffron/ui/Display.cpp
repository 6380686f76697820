/*
 * Display.cpp - screen output: colours, title bars and message lines,
 * and the message screens with their waits.
 *
 * Sections: colours, lines and titles, message screens.
 */
#include "ui/Display.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/key.h"
#include "core/screen.h"
#include "libapi.h"
#include "ui/Messages.h"
#include "util/Strings.h"

namespace {
int titleSize(int size) { return size == 18 ? 2 : 3; }
int lineSize(int size) { return (size >= 1 && size <= 3) ? size : titleSize(size); }

// Copies at most len bytes (and at most LCD_LINE_MAX) of text into a zeroed
// line buffer; returns the bytes copied.
std::size_t copyLine(char (&line)[LCD_LINE_MAX + 1], const char *text, std::size_t len) {
  if (text == nullptr) return 0;
  const std::size_t n = strnlen(text, len < LCD_LINE_MAX ? len : LCD_LINE_MAX);
  std::memcpy(line, text, n);
  return n;
}
} // namespace

/* ---- colours -------------------------------------------------------------------- */

int LangGetShowWidth_Api() { return 4; }

bool charSize() { return false; }

/* ---- lines and titles -------------------------------------------------------------- */

int lcdPrint(int x, int row, int flags, const char *, int size, const char *text, std::size_t len) {
  char line[LCD_LINE_MAX + 1] = {};
  copyLine(line, text, len);
  DLL_LcdSetTTFBGColor(1, LINE_BG);
  mid_lcdSetTextStyle(lineSize(size), LINE_FG);
  const int result = mid_lcdDisplay(x, row, flags, line);
  DLL_LcdSetTTFBGColor(1, LINE_BG);
  return result;
}

namespace {
int titleBar(int x, int row, int flags, int size, const char *text, unsigned bg, unsigned fg) {
  char line[LCD_LINE_MAX + 1] = {};
  copyLine(line, text, LCD_LINE_MAX);
  DLL_LcdSetTTFBGColor(1, bg);
  mid_lcdSetTextStyle(titleSize(size), fg);
  // Titles are centred at the top; digits converted, runs left as they are.
  const int result = mid_lcdDisplay(x, row, (flags & ~(DISP_LEFT | DISP_RIGHT)) | DISP_CENTER | DISP_NO_REVERSE, line);
  DLL_LcdSetTTFBGColor(1, LINE_BG);
  return result;
}
} // namespace

int lcdPrintC(int x, int row, int flags, const char *, int size, const char *text) {
  return titleBar(x, row, flags, size, text, TITLE_BG, TITLE_FG);
}

int lcdPrintE(int x, int row, int flags, const char *, int size, const char *text) {
  return titleBar(x, row, flags, size, text, ERROR_TITLE_BG, ERROR_TITLE_FG);
}

int lcdPrintSucess(int x, int row, int flags, const char *, int size, const char *text) {
  return titleBar(x, row, flags, size, text, SUCCESS_TITLE_BG, SUCCESS_TITLE_FG);
}

int lcdPrintFail(int x, int row, int flags, const char *, int size, const char *text) {
  return titleBar(x, row, flags, size, text, FAIL_TITLE_BG, FAIL_TITLE_FG);
}

int lcdPrintLR(int x, int halfRow, int size, int flags, const char *label, std::size_t labelLen, const char *value) {
  const int row = (halfRow + 1) / 2;
  const int keep = flags & ~(DISP_CENTER | DISP_LEFT | DISP_RIGHT);
  lcdPrint(x, row, keep | DISP_RIGHT, FONT_FILE, size, label, labelLen);
  return lcdPrint(x, row, keep | DISP_LEFT, FONT_FILE, size, value, LCD_LINE_MAX);
}

int lcdprintc(int, int row, const char *format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  DLL_LcdSetTTFBGColor(1, LINE_BG);
  DLL_LcdSetTTFConfig(DLL_LCD_ALIGN_LEFT, 1, 255);
  return DLL_LcdPrintTTF(0, row * 16, line);
}

void drawBackground() { mid_lcdCls(); }

void drawHeader(int titleId) {
  char title[128] = {};
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, getUiMessage(titleId, title, sizeof title));
}

/* ---- message screens ------------------------------------------------------------------ */

namespace {
int waitKey(int ms) { return ms > 0 ? mid_kbGetKeyMs(ms) : KEY_NONE; }

void titleScreen(const char *title) {
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, title);
}

// Rows past the grid's last visible row would be drawn below the glass.
constexpr int LAST_VISIBLE_ROW = 5;
} // namespace

int showMessage(const char *title, const char *text, int ms) { return showMessageXY1(1, 4, title, text, ms); }

int showMessageXY(int x, int row, const char *title, const char *text, int ms) {
  return showMessageXYLRM(x, row, LINE_CENTER, title, text, ms);
}

int showMessageXY1(int x, int row, const char *title, const char *text, int ms) {
  titleScreen(title);
  lcdPrint(x, row, LINE_CENTER, FONT_FILE, 3, text, LCD_LINE_MAX);
  return waitKey(ms);
}

int updateMessage(const char *text, int ms) {
  mid_lcdClrLine(3, 4);
  lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 3, text, LCD_LINE_MAX);
  return waitKey(ms);
}

namespace {
int updateLine(int x, int row, int size, int flags, const char *text, int ms) {
  mid_lcdClrLine(row, row + 1);
  lcdPrint(x, row, flags, FONT_FILE, size, text, LCD_LINE_MAX);
  if (ms < 1) return KEY_ENTER;
  return mid_kbGetKeyMs(ms);
}
} // namespace

int updateMessageXY(int x, int row, const char *text, int ms) { return updateLine(x, row, 3, LINE_CENTER, text, ms); }

int updateMessageXYInv(int x, int row, int size, const char *text, int ms) {
  return updateLine(x, row, size, LINE_CENTER_INV, text, ms);
}

int updateMessageXYF(int x, int row, int size, const char *text, int ms) {
  return updateLine(x, row, size, LINE_CENTER, text, ms);
}

int showMessageXYLRM(int x, int row, int flags, const char *title, const char *text, int ms) {
  titleScreen(title);
  mid_lcdClrLine(row - 1, row);
  lcdPrint(x, row, flags, FONT_FILE, 3, text, LCD_LINE_MAX);
  return waitKey(ms);
}

int updateMessageXYLRM(int x, int row, int flags, const char *text, int ms) {
  return updateLine(x, row, 3, flags, text, ms);
}

int showTripleMessage(const char *title, const char *l1, const char *l2, const char *l3, int ms) {
  titleScreen(title);
  // The three lines take the last three visible rows.
  lcdPrint(1, LAST_VISIBLE_ROW - 2, LINE_CENTER, FONT_FILE, 3, l1, LCD_LINE_MAX);
  lcdPrint(1, LAST_VISIBLE_ROW - 1, LINE_CENTER, FONT_FILE, 3, l2, LCD_LINE_MAX);
  lcdPrint(1, LAST_VISIBLE_ROW, LINE_CENTER, FONT_FILE, 3, l3, LCD_LINE_MAX);
  return waitKey(ms);
}

int lcdPrintfData(int x, int row, const char *text, int align, int ms) {
  int flags = LINE_CENTER;
  if (align == 256) flags = LINE_LEFT;
  if (align == 512) flags = LINE_RIGHT;
  lcdPrint(x, row, flags, FONT_FILE, 3, text, LCD_LINE_MAX);
  return waitKey(ms);
}

int showInputData(int row, const char *text, std::size_t len) {
  mid_lcdClrLine(row - 1, row + 1);
  return lcdPrint(1, row, LINE_CENTER, FONT_FILE, 3, text, len);
}

int showInputData1(int row, const char *text, std::size_t len) {
  char line[LCD_LINE_MAX + 1] = {};
  const std::size_t n = copyLine(line, text, len);
  // The whole value is put in display order, so no run may be turned again.
  strReverse(line);
  mid_lcdClrLine(3, 4);
  return lcdPrint(1, row, 193, FONT_FILE, 3, line, n);
}

void showUpdateMessage() {
  char title[128] = {};
  char text[128] = {};
  // The question goes on the standard message row, inside the visible grid.
  showMessage(getUiMessage(207, title, sizeof title), getUiMessage(307, text, sizeof text), 0);
  mid_kbGetKeyMs(20000);
  mid_lcdCls();
}
