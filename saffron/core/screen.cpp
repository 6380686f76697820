// screen.cpp - the LCD layer: row grid, text style, bands and images.
#include "core/screen.h"

#include <cstring>

#include "core/file.h"
#include "libapi.h"
#include "util/ScreenText.h"

namespace {
constexpr std::size_t LINE_BUFFER_SIZE = 256;

int currentAlign = DLL_LCD_ALIGN_CENTER;
int currentSize = 3;
unsigned currentRgb = RGB_BLACK;

void applyStyle() { DLL_LcdSetTTFConfig(currentAlign, currentSize, RGB888TORGB565(currentRgb >> 16, currentRgb >> 8, currentRgb)); }
} // namespace

int lcdRowY(int row) { return row <= 0 ? 0 : (row - 1) * LCD_ROW_HEIGHT + LCD_FIRST_ROW_Y; }

void mid_lcdGetSize(int *width, int *height) {
  if (width != nullptr) *width = DLL_LCD_WIDTH;
  if (height != nullptr) *height = DLL_LCD_HEIGHT;
}

int mid_lcdSetFont(const char *) { return 0; }

int mid_dfb_create_font() { return DLL_LcdSetFont(FONT_FILE); }

int mid_lcdCls() { return DLL_LcdCls(); }

int mid_lcdFlip() { return 0; }

int mid_lcdGoto(int row) { return DLL_LcdGotoxy(20, (row + 1) * 24); }

int mid_lcdClrLine(int a, int b) {
  if (b < a) return 1;
  if (a < 1) a = 1;
  int from = (a == 1 ? 0 : (a - 1) * LCD_ROW_HEIGHT + LCD_FIRST_ROW_Y) + LCD_ROW_HEIGHT;
  int to = a * LCD_ROW_HEIGHT + 79;
  if (from > LCD_LAST_PIXEL_ROW) from = LCD_LAST_PIXEL_ROW;
  if (to > LCD_LAST_PIXEL_ROW) to = LCD_LAST_PIXEL_ROW;
  return DLL_LcdClrLine(from, to);
}

void mid_lcdSetTextStyle(int size, unsigned rgb) {
  currentSize = size;
  currentRgb = rgb;
}

int mid_lcdDisplay(int /*x*/, int row, int flags, char *text) {
  if (text == nullptr) return DLL_ERR_PARAM;
  // Unconverted ASCII digits leave a Latin line left to right: nothing to turn then.
  const bool staysLatin = (flags & DISP_NO_CONVERT) != 0 && !holdsArabicScript(text);
  if ((flags & DISP_NO_REVERSE) == 0 && !staysLatin) peDisplayNumbersCorrect(text);
  char line[LINE_BUFFER_SIZE] = {};
  if ((flags & DISP_NO_CONVERT) == 0) {
    formatArabicNumbers(text, line, sizeof line);
  } else {
    std::memcpy(line, text, strnlen(text, sizeof line - 1));
  }
  // With none of the three alignment bits the previous alignment stays.
  if (flags & DISP_CENTER) {
    currentAlign = DLL_LCD_ALIGN_CENTER;
  } else if (flags & DISP_LEFT) {
    currentAlign = DLL_LCD_ALIGN_LEFT;
  } else if (flags & DISP_RIGHT) {
    currentAlign = DLL_LCD_ALIGN_RIGHT;
  }
  applyStyle();
  return DLL_LcdPrintTTF(1, lcdRowY(row), line);
}

int mid_lcdDrawPicture2(int x, int y, const char *fileName) {
  if (!mid_fileExist(fileName)) return -1;
  return DLL_LcdDrawLogo(x, y, fileName);
}

int mid_lcdDrawPicture(int, int, const char *) { return 0; }

int mid_lcdDrawRect(int, int, int, int) { return 0; }
