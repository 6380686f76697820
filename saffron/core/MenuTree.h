/*
 * MenuTree.h - the terminal's menu arrays, filled once at start-up from the
 * message catalogue, and the main menu behind the idle screen's menu key.
 *
 * Sections: the arrays, filling them, the main menu, what it opens.
 */
#ifndef SAFFRON_CORE_MENUTREE_H
#define SAFFRON_CORE_MENUTREE_H

#include "ui/Menu.h"

/* ---- the arrays -------------------------------------------------------------------- */

extern MenuItem MainMenuItemArray[4];
extern MenuItem MerchantMenuItemArray[3];
extern MenuItem ManagerMenuItemArray[6];
extern MenuItem ManagerMenuItemArraySetting[3];
extern MenuItem MerchantMenuReportsItemArray[4];
extern MenuItem MerchantReportRePrintMenuItemArray[3];
extern MenuItem MerchantMenuSettingsItemArray[5];
extern MenuItem ManagerMenuLogonItemArray[2];
extern MenuItem SimChargeTypeMenuItemArray[2];
extern MenuItem SimOperatorMenuItemArray[3];
extern MenuItem MerchantReportTrxTypeMenuItemArray1[4];
extern MenuItem MerchantReportTrxTypeMenuItemArray[3];
extern MenuItem CustomerMenuItemArray[4];
extern MenuItem ChargeValueMciItemArray[4];
extern MenuItem ChargeValueRightelItemArray[6];
extern MenuItem ChargeValueIRItemArray[6];
extern MenuItem ChargeValueRightelItemArrayPin[5];
extern MenuItem ChargeValueIRItemArrayPin[3];
// SimChargeValuesMenuItemArray (the six charge amounts) is the engine's, in ui/Menu.h.

constexpr const char *CUSTOMER_MENU_IMAGE = "m_customer.png";

/* ---- filling them ----------------------------------------------------------------------- */

// Fills every array above (and the charge amounts, all offered), then the customer menu.
void loadMenu();
// The customer menu: the picture CUSTOMER_MENU_IMAGE when it is installed,
// else four list rows (purchase, balance, charge, bill).
void initCustomerMenu();
// True when the customer menu is the picture (show it with title 0).
bool customerMenuIsPicture();

/* ---- the main menu ------------------------------------------------------------------------- */

constexpr int MAIN_MENU_TITLE = 313;
// Customer, merchant, manager, power off; returns the menu's negative result.
int MainMenu();
int MainMenuAction(int choice);

/* ---- what the main menu opens (CustomerMenu.cpp, MerchantMenu.cpp) ------------------------------ */

int CustomerMenu();
int TerminalMenu();
int ManagerMenu();

#endif
