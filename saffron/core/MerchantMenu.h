/*
 * MerchantMenu.h - the merchant's menu (reports, settings, update) and the
 * manager's (addresses, logon, password reset, full reset), with the terminal
 * and supervisor passwords that guard them.
 *
 * Sections: passwords, settings screens, logon, menus. Every screen returns 0
 * on success and a negative value when cancelled.
 */
#ifndef SAFFRON_CORE_MERCHANTMENU_H
#define SAFFRON_CORE_MERCHANTMENU_H

/* ---- passwords ------------------------------------------------------------------- */

constexpr int PASSWORD_LOCKED = -1;
constexpr int PASSWORD_CANCELLED = -2;
constexpr int PASSWORD_WRONG = -3;

// 0 when the terminal password was typed right (or a forced change just
// succeeded); PASSWORD_LOCKED after three wrong ones, PASSWORD_CANCELLED,
// PASSWORD_WRONG. titleId 0 means the terminal-password title.
int checkTerminalPassword(int titleId);
// Current, new and repeated password; the factory password is refused. 0 when stored.
int MerchantMenuActionTerminalChangePassword(int flag);
// The factory password back, the lock cleared, a change forced at next use.
int ManagerResetMerchantPass();
// The supervisor password of this terminal and day: 0 when typed right.
int CheckSupervisorPassword();

/* ---- settings screens -------------------------------------------------------------- */

int MerchantSettingPrintSecondTicket();
int MerchantSettingKeypadSound();
int MerchantSettingshutdownTimeout();
int ConfigurationMenuSwitchConfig();
int ConfigurationMenuTMSConfig();

/* ---- logon ----------------------------------------------------------------------------- */

// n 1 key exchange, 2 merchant information: connect, settle what is owed,
// exchange, show the outcome. 0, ENGINE_NO_CONNECTION or the exchange's status.
int ManagerDoLogonAction(int n);
int ManagerDoLogon();

/* ---- menus ------------------------------------------------------------------------------ */

int MerchantMenuReport();
int MerchantMenuSetting();
int ManagerConfigMenu();

#endif
