/*
 * MenuTree.cpp - the menu arrays, filled from the message catalogue at
 * start-up, and the main menu.
 */
#include "core/MenuTree.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/Business.h"
#include "core/file.h"
#include "ui/Menu.h"

MenuItem MainMenuItemArray[4];
MenuItem MerchantMenuItemArray[3];
MenuItem ManagerMenuItemArray[6];
MenuItem ManagerMenuItemArraySetting[3];
MenuItem MerchantMenuReportsItemArray[4];
MenuItem MerchantReportRePrintMenuItemArray[3];
MenuItem MerchantMenuSettingsItemArray[5];
MenuItem ManagerMenuLogonItemArray[2];
MenuItem SimChargeTypeMenuItemArray[2];
MenuItem SimOperatorMenuItemArray[3];
MenuItem MerchantReportTrxTypeMenuItemArray1[4];
MenuItem MerchantReportTrxTypeMenuItemArray[3];
MenuItem CustomerMenuItemArray[4];
MenuItem ChargeValueMciItemArray[4];
MenuItem ChargeValueRightelItemArray[6];
MenuItem ChargeValueIRItemArray[6];
MenuItem ChargeValueRightelItemArrayPin[5];
MenuItem ChargeValueIRItemArrayPin[3];

/* ---- filling them ---------------------------------------------------------------------- */

namespace {
template <std::size_t N> void fill(MenuItem (&items)[N], const int (&messages)[N]) {
  for (std::size_t i = 0; i < N; ++i) initMenuItem(static_cast<int>(i + 1), messages[i], 1, &items[i]);
}

// Charge amounts from consecutive messages first..first+N-1. Their texts keep
// the amount turned ("000,01" for 10,000); the item takes it in reading
// order, as the menu puts numbers in display order itself.
template <std::size_t N> void fillAmountsFrom(MenuItem (&items)[N], int first) {
  for (std::size_t i = 0; i < N; ++i) {
    MenuItem &item = items[i];
    initMenuItem(static_cast<int>(i + 1), first + static_cast<int>(i), 1, &item);
    const std::size_t amount = std::strspn(item.title, "0123456789,");
    std::reverse(item.title, item.title + amount);
  }
}
} // namespace

void loadMenu() {
  fill(MainMenuItemArray, {104, 195, 196, 215});
  fill(MerchantMenuItemArray, {73, 106, 303});
  fill(ManagerMenuItemArray, {354, 208, 326, 228, 422, 423});
  fill(ManagerMenuItemArraySetting, {77, 268, 159});
  fill(MerchantMenuReportsItemArray, {71, 94, 72, 211});
  fill(MerchantReportRePrintMenuItemArray, {178, 179, 418});
  fill(MerchantMenuSettingsItemArray, {168, 109, 213, 203, 327});
  fill(ManagerMenuLogonItemArray, {165, 320});
  fill(SimChargeTypeMenuItemArray, {123, 65});
  fill(SimOperatorMenuItemArray, {66, 67, 68});
  fill(MerchantReportTrxTypeMenuItemArray1, {3, 56, 145, 65});
  fill(MerchantReportTrxTypeMenuItemArray, {3, 56, 145});
  fillAmountsFrom(ChargeValueMciItemArray, 360);
  fillAmountsFrom(ChargeValueRightelItemArray, 358);
  fillAmountsFrom(ChargeValueIRItemArray, 358);
  fillAmountsFrom(ChargeValueRightelItemArrayPin, 359);
  fillAmountsFrom(ChargeValueIRItemArrayPin, 360);
  for (int n = 1; n <= SIM_CHARGE_VALUES; ++n) setSimItemActive(n, 1);
  for (std::size_t i = 0; i < std::size(CustomerMenuItemArray); ++i)
    initMenuItemEx(static_cast<int>(i + 1), CUSTOMER_MENU_IMAGE, 1, 0, 0, &CustomerMenuItemArray[i]);
  initCustomerMenu();
}

void initCustomerMenu() {
  if (customerMenuIsPicture()) return;
  fill(CustomerMenuItemArray, {3, 2, 145, 144});
}

bool customerMenuIsPicture() { return mid_fileExist(CUSTOMER_MENU_IMAGE) != 0; }

/* ---- the main menu ------------------------------------------------------------------------------ */

int MainMenu() {
  int choice = 0;
  while ((choice = showMenu(static_cast<int>(std::size(MainMenuItemArray)), MainMenuItemArray, MAIN_MENU_TITLE)) >= 0)
    MainMenuAction(choice);
  return choice;
}

int MainMenuAction(int choice) {
  switch (choice) {
  case 1: return CustomerMenu();
  case 2: return TerminalMenu();
  case 3: return ManagerMenu();
  case 4: return TurnOffMenu();
  default: return 0;
  }
}
