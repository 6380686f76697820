/*
 * Menu.cpp - the menu engine: building items, the list menu with its
 * wrapping selection, the picture menu, and the charge amounts menu.
 */
#include "ui/Menu.h"

#include <cstdio>
#include <cstring>

#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "libapi.h"
#include "ui/Display.h"
#include "ui/Messages.h"

MenuItem SimChargeValuesMenuItemArray[SIM_CHARGE_VALUES] = {};

/* ---- building items ------------------------------------------------------------ */

void initMenuItemEx(int itemNo, const char *text, int active, int param, int tag, MenuItem *item) {
  if (item == nullptr) return;
  std::memset(item->title, 0, sizeof item->title);
  item->itemNo = itemNo;
  copyUtf8Bounded(item->title, sizeof item->title, text != nullptr ? text : "");
  item->active = active;
  item->tag = tag;
  item->param = param;
}

void initMenuItem(int itemNo, int messageId, int active, MenuItem *item) {
  char text[UI_MESSAGE_BUFFER_SIZE] = {};
  initMenuItemEx(itemNo, getUiMessage(messageId, text, sizeof text), active, 0, 0, item);
}

/* ---- the list menu ------------------------------------------------------------------ */

namespace {
constexpr int MENU_TEXT_SIZE = 3;

void drawMenuRow(int row, int position, const MenuItem &item, bool selected) {
  // The number and the text are put in display order apart, so the number
  // stays at the right edge even when the text begins with digits.
  char number[16] = {};
  std::snprintf(number, sizeof number, " %d-", position);
  peDisplayNumbersCorrect(number);
  char title[sizeof item.title] = {};
  std::memcpy(title, item.title, strnlen(item.title, sizeof item.title - 1));
  peDisplayNumbersCorrect(title);
  char line[sizeof number + sizeof title + 2] = {};
  std::snprintf(line, sizeof line, "%s%s ", number, title);
  DLL_LcdSetTTFBGColor(1, selected ? SELECTED_ROW_BG : LINE_BG);
  mid_lcdSetTextStyle(MENU_TEXT_SIZE, LINE_FG);
  mid_lcdDisplay(1, row, LINE_RIGHT | DISP_NO_REVERSE, line);
  DLL_LcdSetTTFBGColor(1, LINE_BG);
}

void drawMenuPage(int count, const MenuItem *items, bool titled, int first, int current) {
  if (!titled) {
    mid_lcdCls();
  } else {
    // Under the title bar only: a scrolled row must not leave a longer text behind.
    DLL_LcdClrLine(LCD_FIRST_ROW_Y, LCD_LAST_PIXEL_ROW);
  }
  for (int row = 1; row <= MENU_ROWS && first + row - 1 < count; ++row) {
    const int index = first + row - 1;
    drawMenuRow(row, index + 1, items[index], index == current);
  }
}
} // namespace

int showMenuRows(int count, const MenuItem *items, int titleId) {
  if (count <= 0 || items == nullptr) return MENU_CANCEL;
  char title[UI_MESSAGE_BUFFER_SIZE] = {};
  getUiMessage(titleId, title, sizeof title);
  drawHeader(titleId);
  mid_kbFlush();
  const bool titled = title[0] != '\0';
  const int lastFirst = count > MENU_ROWS ? count - MENU_ROWS : 0;
  int current = 0;
  int first = 0;
  drawMenuPage(count, items, titled, first, current);
  for (;;) {
    const int key = mid_kbGetKeyMs(MENU_KEY_WAIT_MS);
    if (key == KEY_ENTER) return current + 1;
    if (key >= '1' && key <= '9') return key - '0';
    if (key == KEY_CANCEL || key == KEY_NONE) return MENU_CANCEL;
    if (key == KEY_UP) {
      if (current == first) {
        if (current == 0) {
          current = count - 1;
          first = lastFirst;
        } else {
          --first;
          --current;
        }
      } else {
        --current;
      }
    } else if (key == KEY_DOWN) {
      const int lastShown = (first + MENU_ROWS < count ? first + MENU_ROWS : count) - 1;
      if (current == lastShown) {
        if (current == count - 1) {
          current = 0;
          first = 0;
        } else {
          ++first;
          ++current;
        }
      } else {
        ++current;
      }
    } else {
      continue;
    }
    drawMenuPage(count, items, titled, first, current);
  }
}

/* ---- the picture menu ------------------------------------------------------------------ */

int showMenuBox4(int count, const MenuItem *items) {
  if (count <= 0 || items == nullptr) return MENU_CANCEL;
  mid_kbFlush();
  mid_lcdCls();
  mid_lcdDrawPicture2(0, 0, items[0].title);
  mid_sysTimerSet(PICTURE_MENU_SLOT, PICTURE_MENU_FIRST_WAIT);
  for (;;) {
    const int key = mid_kbGetKey();
    if (key == KEY_NONE) {
      if (mid_sysTimerCheck(PICTURE_MENU_SLOT) == 0) return MENU_CANCEL;
      mid_sleepMs(KEY_POLL_MS);
      continue;
    }
    mid_sysTimerSet(PICTURE_MENU_SLOT, PICTURE_MENU_KEY_WAIT);
    if (key == KEY_ENTER || key == '1') return 1;
    if (key >= '2' && key <= '4' && key - '0' <= count) return key - '0';
    if (key == KEY_CLEAR) return MENU_CLEAR;
    if (key == KEY_CANCEL) return MENU_CANCEL;
  }
}

int showMenu(int count, const MenuItem *items, int titleId) {
  if (titleId == 0) return showMenuBox4(count, items);
  return showMenuRows(count, items, titleId);
}

/* ---- the charge amounts menu -------------------------------------------------------------- */

void setSimItemActive(int n, int flag) {
  static constexpr const char *amounts[SIM_CHARGE_VALUES] = {"10,000", "20,000", "50,000", "100,000", "200,000",
                                                              "500,000"};
  constexpr int CURRENCY_MESSAGE = 5;
  if (n < 1 || n > SIM_CHARGE_VALUES) return;
  char currency[UI_MESSAGE_BUFFER_SIZE] = {};
  char text[sizeof SimChargeValuesMenuItemArray[0].title] = {};
  std::snprintf(text, sizeof text, "%s %s", amounts[n - 1], getUiMessage(CURRENCY_MESSAGE, currency, sizeof currency));
  initMenuItemEx(n, text, flag > 0 ? 1 : 0, 0, 0, &SimChargeValuesMenuItemArray[n - 1]);
}
