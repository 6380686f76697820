/*
 * Menu.h - the menu engine: a numbered list of items shown five rows at a
 * time under a title bar, or a full-screen picture with up to four choices.
 *
 * Sections: the item record, building items, showing a menu, the charge
 * amounts menu.
 *
 * Calling convention of every menu screen: repeat choice = showMenu(...),
 * and while choice is 0 or more run the screen's action for it (ignoring
 * numbers it does not know); return the negative choice.
 */
#ifndef SAFFRON_UI_MENU_H
#define SAFFRON_UI_MENU_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

/* ---- the item record ---------------------------------------------------------- */

struct MenuItem {
  int32_t tag;     // 0 for items built from messages; the caller's value otherwise
  int32_t itemNo;  // 1-based; informational, rows are numbered by position
  char title[100]; // item text, UTF-8, copied when the item is built (for the picture menu: an image file name)
  int32_t active;  // 1 offered, 0 inactive (charge amounts an operator does not sell)
  int32_t param;   // 0 for items built from messages; the caller's value otherwise
};
static_assert(std::is_standard_layout_v<MenuItem>);
static_assert(sizeof(MenuItem) == 116);
static_assert(offsetof(MenuItem, title) == 8);
static_assert(offsetof(MenuItem, active) == 108);

/* ---- results and tunables ------------------------------------------------------- */

constexpr int MENU_CANCEL = -2;        // Cancel, or no key in time
constexpr int MENU_CLEAR = -1;         // Clear in the picture menu
constexpr int MENU_ROWS = 5;           // item rows on one page
constexpr int MENU_KEY_WAIT_MS = 60000;
constexpr int PICTURE_MENU_FIRST_WAIT = 150; // 15 s before any key (units of 100 ms)
constexpr int PICTURE_MENU_KEY_WAIT = 600;   // 60 s once a key was pressed
constexpr int PICTURE_MENU_SLOT = 1;
constexpr int SIM_CHARGE_VALUES = 6;

/* ---- building items --------------------------------------------------------------- */

// Item itemNo with the text of message messageId; tag and param zero.
void initMenuItem(int itemNo, int messageId, int active, MenuItem *item);
// The same with a given text (cut at a character boundary to fit the title).
void initMenuItemEx(int itemNo, const char *text, int active, int param, int tag, MenuItem *item);

/* ---- showing a menu ------------------------------------------------------------------ */

// Shows the first count items and returns the choice: 1..9 for an item (a
// digit key is returned as typed, unchecked against count), MENU_CANCEL, or
// MENU_CLEAR (picture menu only). A titleId of 0 gives the picture menu,
// whose image is named by the first item's title; any other gives the list.
int showMenu(int count, const MenuItem *items, int titleId);
// The list: Up and Down move the selection (wrapping at both ends), Enter
// chooses it, 60 seconds without a key give MENU_CANCEL.
int showMenuRows(int count, const MenuItem *items, int titleId);
// The full-screen picture: 15 seconds to the first key, 60 after each key.
int showMenuBox4(int count, const MenuItem *items);

/* ---- the charge amounts menu ---------------------------------------------------------- */

// Six amounts (10,000 to 500,000 Rials) an operator may or may not sell.
extern MenuItem SimChargeValuesMenuItemArray[SIM_CHARGE_VALUES];
// Builds item n (1..6) from its amount, grouped by commas, a space and the
// currency word; active when flag is above 0. Other n are ignored.
void setSimItemActive(int n, int flag);

#endif
