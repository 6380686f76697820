/*
 * MerchantMenu.cpp - the merchant's and the manager's menus behind the main
 * menu: the terminal password with its lock and forced change, the supervisor
 * password, the receipt, keypad and power-off settings, the switch and
 * update-server addresses, and the manager's logon.
 *
 * Sections: screens, the terminal password, the supervisor password, merchant
 * settings, addresses, logon, the menus.
 *
 * Every settings screen re-reads the configuration file before it changes
 * anything, so a screen never writes back stale values, and ends by showing
 * its result for up to 3 seconds.
 */
#include "core/MerchantMenu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comm/Bearer.h"
#include "core/Business.h"
#include "core/ConnectionMenu.h"
#include "core/Filing.h"
#include "core/FullReset.h"
#include "core/clock.h"
#include "core/MenuTree.h"
#include "core/Settings.h"
#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "journal/Journal.h"
#include "journal/Reports.h"
#include "print/Statements.h"
#include "txn/Engine.h"
#include "txn/Transactions.h"
#include "ui/Display.h"
#include "ui/Helper.h"
#include "ui/Menu.h"
#include "ui/Messages.h"
#include "util/DateTime.h"

namespace {

constexpr std::size_t MSG = UI_MESSAGE_BUFFER_SIZE;
constexpr int RESULT_WAIT_MS = 3000;
constexpr int PASSWORD_WAIT_MS = 4000;
constexpr int LOGON_WAIT_MS = 5000;
constexpr int LOCK_COUNT = 3;
constexpr int PASSWORD_DIGITS = 4;
constexpr const char *CURRENT_MARK = "  >=  ";
constexpr int MENU_ENABLE = 1;
constexpr int MENU_DISABLE = 2;

// Message numbers these screens name.
constexpr int MSG_OK = 0, MSG_FAILED = 1, MSG_DETAIL = 6, MSG_DATE = 13, MSG_CONNECTING = 15;
constexpr int MSG_NETWORK = 17, MSG_ENTER_PASSWORD = 40, MSG_STORED = 46, MSG_PORT = 51;
constexpr int MSG_CURRENT_PASS = 98, MSG_NEW_PASS = 99, MSG_REPEAT_PASS = 100, MSG_MISMATCH = 101;
constexpr int MSG_WRONG = 102, MSG_CANCELLED = 103, MSG_CHANGE_TITLE = 109, MSG_TERMINAL_PASS = 155;
constexpr int MSG_SUPERVISOR = 177, MSG_SERIAL = 181, MSG_SAVED = 199, MSG_ENABLED = 214;
constexpr int MSG_DISABLED = 226, MSG_LOCKED = 280, MSG_DEFAULT_REFUSED = 421;
constexpr int MSG_ON = 173, MSG_ON_CONFIRM = 375, MSG_OFF = 174;
constexpr int MSG_KEY_EXCHANGE = 165, MSG_MERCHANT_INFO = 320, MSG_RESET_PASS = 326;

const char *msg(int id, char *buffer) { return getUiMessage(id, buffer, MSG); }

// Title and a message on row 4, held for ms (a key ends it early).
int titled(int titleId, int textId, int ms) {
  char title[MSG] = {};
  char text[MSG] = {};
  mid_lcdCls();
  showMessage(msg(titleId, title), msg(textId, text), 0);
  return ms > 0 ? waitForResult(0, ms) : 0;
}

// Title, one line on row 3 and one on row 4 (either may be empty).
void twoLines(int titleId, const char *first, const char *second) {
  char title[MSG] = {};
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, msg(titleId, title));
  if (first != nullptr && first[0] != '\0') lcdPrint(1, 3, LINE_CENTER, FONT_FILE, 0, first, std::strlen(first));
  if (second != nullptr && second[0] != '\0') lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 0, second, std::strlen(second));
}

// A 4-digit password under a title with a prompt: INPUT_ACCEPTED or the editor's result.
int askPassword(int titleId, int promptId, char *out, std::size_t size) {
  char prompt[MSG] = {};
  twoLines(titleId, msg(promptId, prompt), nullptr);
  std::memset(out, 0, size);
  return getPass(0, 0, PASSWORD_DIGITS, PASSWORD_DIGITS, PASSWORD_TIMEOUT, out, size);
}

// A two-choice (or three-choice) menu with the current choice marked.
int markedMenu(int titleId, const int *items, int count, int current) {
  MenuItem menu[3] = {};
  for (int i = 0; i < count && i < 3; ++i) {
    char text[MSG] = {};
    char shown[MSG + 8] = {};
    msg(items[i], text);
    std::snprintf(shown, sizeof shown, "%s%s", text, i + 1 == current ? CURRENT_MARK : "");
    initMenuItemEx(i + 1, shown, 1, 0, 0, &menu[i]);
  }
  return showMenu(count, menu, titleId);
}

// A number of 1 or 2 digits prefilled with current, asked again until it lies in [lo, hi].
int askNumber(int titleId, int promptId, int secondPromptId, int lo, int hi, int current, int *out) {
  for (;;) {
    char prompt[MSG] = {};
    char second[MSG] = {};
    twoLines(titleId, msg(promptId, prompt), secondPromptId >= 0 ? msg(secondPromptId, second) : "");
    char value[16] = {};
    if (current > 0) std::snprintf(value, sizeof value, "%d", current);
    if (getInputData(INPUT_MODE_NUMBER, 0, 5, 0, 2, value, sizeof value, INPUT_TIMEOUT) != INPUT_ACCEPTED)
      return INPUT_CANCELLED;
    const int v = std::atoi(value);
    if (value[0] != '\0' && v >= lo && v <= hi) {
      *out = v;
      return INPUT_ACCEPTED;
    }
    current = v;
  }
}

int wrote(int titleId, bool enabled) { return titled(titleId, enabled ? MSG_ENABLED : MSG_DISABLED, RESULT_WAIT_MS); }

} // namespace

/* ---- the terminal password ---------------------------------------------------------------------- */

int MerchantMenuActionTerminalChangePassword(int) {
  readConfigFromFile(0);
  char current[8] = {};
  if (askPassword(MSG_CHANGE_TITLE, MSG_CURRENT_PASS, current, sizeof current) != INPUT_ACCEPTED)
    return titled(MSG_CHANGE_TITLE, MSG_CANCELLED, PASSWORD_WAIT_MS), PASSWORD_CANCELLED;
  if (std::strncmp(current, config.MerchantPass, sizeof config.MerchantPass) != 0)
    return titled(MSG_CHANGE_TITLE, MSG_WRONG, PASSWORD_WAIT_MS), PASSWORD_WRONG;
  char fresh[8] = {};
  char again[8] = {};
  if (askPassword(MSG_CHANGE_TITLE, MSG_NEW_PASS, fresh, sizeof fresh) != INPUT_ACCEPTED ||
      askPassword(MSG_CHANGE_TITLE, MSG_REPEAT_PASS, again, sizeof again) != INPUT_ACCEPTED)
    return titled(MSG_CHANGE_TITLE, MSG_CANCELLED, PASSWORD_WAIT_MS), PASSWORD_CANCELLED;
  if (std::strcmp(fresh, again) != 0) return titled(MSG_CHANGE_TITLE, MSG_MISMATCH, PASSWORD_WAIT_MS), PASSWORD_WRONG;
  // The factory password is known to everyone: it can never be chosen.
  if (std::strcmp(fresh, DEFAULT_MERCHANT_PASS) == 0)
    return titled(MSG_CHANGE_TITLE, MSG_DEFAULT_REFUSED, PASSWORD_WAIT_MS), PASSWORD_WRONG;
  readConfigFromFile(0);
  std::memset(config.MerchantPass, 0, sizeof config.MerchantPass);
  std::memcpy(config.MerchantPass, fresh, PASSWORD_DIGITS);
  writeConfig2File();
  readConfigFromFile(0);
  titled(MSG_CHANGE_TITLE, MSG_STORED, PASSWORD_WAIT_MS);
  return 0;
}

int checkTerminalPassword(int titleId) {
  if (titleId == 0) titleId = MSG_TERMINAL_PASS;
  readConfigFromFile(0);
  if (config.passMustChange == 1) {
    const int changed = MerchantMenuActionTerminalChangePassword(0);
    if (changed != 0) return changed;
    readConfigFromFile(0);
    config.passMustChange = 2;
    writeConfig2File();
    return 0;
  }
  if (config.passFailCount >= LOCK_COUNT) return titled(titleId, MSG_LOCKED, PASSWORD_WAIT_MS), PASSWORD_LOCKED;
  char entered[8] = {};
  if (askPassword(titleId, MSG_ENTER_PASSWORD, entered, sizeof entered) != INPUT_ACCEPTED)
    return titled(titleId, MSG_CANCELLED, PASSWORD_WAIT_MS), PASSWORD_CANCELLED;
  readConfigFromFile(0);
  if (std::strncmp(entered, config.MerchantPass, sizeof config.MerchantPass) != 0) {
    ++config.passFailCount;
    writeConfig2File();
    return titled(titleId, MSG_WRONG, PASSWORD_WAIT_MS), PASSWORD_WRONG;
  }
  if (config.passFailCount != 0) {
    config.passFailCount = 0;
    writeConfig2File();
  }
  return 0;
}

int ManagerResetMerchantPass() {
  readConfigFromFile(0);
  std::memset(config.MerchantPass, 0, sizeof config.MerchantPass);
  std::memcpy(config.MerchantPass, DEFAULT_MERCHANT_PASS, PASSWORD_DIGITS);
  config.passFailCount = 0;
  config.passMustChange = 1;
  writeConfig2File();
  char saved[MSG] = {};
  char reset[MSG] = {};
  twoLines(MSG_RESET_PASS, msg(MSG_SAVED, saved), msg(MSG_RESET_PASS, reset));
  waitForResult(0, PASSWORD_WAIT_MS);
  return 0;
}

/* ---- the supervisor password ---------------------------------------------------------------------------- */

int CheckSupervisorPassword() {
  readConfigFromFile(0);
  char title[MSG] = {};
  char label[MSG] = {};
  char prompt[MSG] = {};
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, msg(MSG_SUPERVISOR, title));
  char serial[sizeof config.SerialNo + 1] = {};
  std::memcpy(serial, config.SerialNo, strnlen(config.SerialNo, sizeof config.SerialNo));
  lcdPrintLR(1, 2, 0, 1 | DISP_NO_CONVERT | DISP_NO_REVERSE, msg(MSG_SERIAL, label), std::strlen(label), serial);
  int dt[DATE_TIME_FIELDS] = {};
  getDateTime(dt);
  const int miladi[3] = {dt[DT_YEAR], dt[DT_MONTH], dt[DT_DAY]};
  int shamsi[3] = {};
  miladyToShamsi(miladi, shamsi);
  char date[16] = {};
  std::snprintf(date, sizeof date, "%04d/%02d/%02d", shamsi[0], shamsi[1], shamsi[2]);
  lcdPrintLR(1, 4, 0, 1, msg(MSG_DATE, label), std::strlen(label), date);
  lcdPrint(1, 3, LINE_CENTER, FONT_FILE, 0, msg(MSG_ENTER_PASSWORD, prompt), std::strlen(prompt));
  char entered[8] = {};
  if (getPass(0, 0, PASSWORD_DIGITS, PASSWORD_DIGITS, PASSWORD_TIMEOUT, entered, sizeof entered) != INPUT_ACCEPTED)
    return titled(MSG_SUPERVISOR, MSG_CANCELLED, PASSWORD_WAIT_MS), PASSWORD_CANCELLED;
  char expected[8] = {};
  todaysSupervisorCode(expected, sizeof expected);
  const bool ok = std::strcmp(entered, expected) == 0;
  std::memset(expected, 0, sizeof expected);
  std::memset(entered, 0, sizeof entered);
  if (!ok) return titled(MSG_SUPERVISOR, MSG_WRONG, PASSWORD_WAIT_MS), PASSWORD_WRONG;
  return 0;
}

/* ---- merchant settings ------------------------------------------------------------------------------------ */

int MerchantSettingPrintSecondTicket() {
  constexpr int TITLE = 168;
  readConfigFromFile(0);
  const int items[3] = {MSG_ON, MSG_ON_CONFIRM, MSG_OFF};
  const int choice = markedMenu(TITLE, items, 3, config.askForSecondTicket);
  if (choice < 1 || choice > 3) return titled(TITLE, MSG_CANCELLED, RESULT_WAIT_MS), MENU_CANCEL;
  int seconds = config.merchantTicketTimeout;
  if (choice != 3 && askNumber(335, 282, -1, MIN_TICKET_TIMEOUT, MAX_TICKET_TIMEOUT, seconds, &seconds) != INPUT_ACCEPTED)
    return titled(TITLE, MSG_CANCELLED, RESULT_WAIT_MS), MENU_CANCEL;
  readConfigFromFile(0);
  config.askForSecondTicket = choice;
  if (choice != 3) config.merchantTicketTimeout = seconds;
  writeConfig2File();
  return wrote(TITLE, choice != 3), 0;
}

int MerchantSettingKeypadSound() {
  constexpr int TITLE = 213;
  readConfigFromFile(0);
  const int items[2] = {MSG_ON, MSG_OFF};
  const int choice = markedMenu(TITLE, items, 2, config.keypadSound);
  if (choice != MENU_ENABLE && choice != MENU_DISABLE) return titled(TITLE, MSG_CANCELLED, RESULT_WAIT_MS), MENU_CANCEL;
  if (choice == MENU_ENABLE) mid_kbSetSound(0, KEY_CLICK_LEVEL);
  else mid_kbSetSound(1, 0);
  readConfigFromFile(0);
  config.keypadSound = choice;
  writeConfig2File();
  return wrote(TITLE, choice == MENU_ENABLE), 0;
}

int MerchantSettingshutdownTimeout() {
  constexpr int TITLE = 203;
  readConfigFromFile(0);
  const int items[2] = {MSG_ON, MSG_OFF};
  const int choice = markedMenu(TITLE, items, 2, config.askShutDownTime);
  if (choice != MENU_ENABLE && choice != MENU_DISABLE) return titled(TITLE, MSG_CANCELLED, RESULT_WAIT_MS), MENU_CANCEL;
  int minutes = config.shutdownTimeout;
  if (choice == MENU_ENABLE) {
    if (askNumber(TITLE, 373, 374, MIN_POWER_OFF_MINUTES, MAX_POWER_OFF_MINUTES, minutes, &minutes) != INPUT_ACCEPTED)
      return titled(TITLE, MSG_CANCELLED, RESULT_WAIT_MS), MENU_CANCEL;
    titled(TITLE, MSG_SAVED, RESULT_WAIT_MS);
  }
  readConfigFromFile(0);
  config.askShutDownTime = static_cast<uint8_t>(choice);
  if (choice == MENU_ENABLE) config.shutdownTimeout = minutes;
  writeConfig2File();
  return wrote(TITLE, choice == MENU_ENABLE), 0;
}

/* ---- addresses --------------------------------------------------------------------------------------------- */

namespace {
// An address and its port, edited and stored together; Cancel at either step changes nothing.
int editAddress(int titleId, int portPromptId, char *address, std::size_t addressSize, int32_t *port) {
  char title[MSG] = {};
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, msg(titleId, title));
  char typed[IP_TEXT_LEN + 1] = {};
  char current[IP_TEXT_LEN + 1] = {};
  std::snprintf(current, sizeof current, "%.*s", static_cast<int>(strnlen(address, addressSize)), address);
  if (editIpAddress(4, current, typed, sizeof typed) != INPUT_ACCEPTED || !validIpAddress(typed))
    return titled(titleId, MSG_CANCELLED, RESULT_WAIT_MS), INPUT_CANCELLED;
  char portText[16] = {};
  std::snprintf(portText, sizeof portText, "%d", *port);
  for (;;) {
    char prompt[MSG] = {};
    twoLines(titleId, msg(portPromptId, prompt), nullptr);
    if (getInputData(INPUT_MODE_NUMBER, 0, 5, 0, 5, portText, sizeof portText, INPUT_TIMEOUT) != INPUT_ACCEPTED)
      return titled(titleId, MSG_CANCELLED, RESULT_WAIT_MS), INPUT_CANCELLED;
    if (validPort(portText)) break;
  }
  readConfigFromFile(0);
  std::memset(address, 0, addressSize);
  std::memcpy(address, typed, std::strlen(typed));
  *port = static_cast<int32_t>(std::atoi(portText));
  writeConfig2File();
  titled(titleId, MSG_STORED, RESULT_WAIT_MS);
  return 0;
}
} // namespace

int ConfigurationMenuSwitchConfig() { return editAddress(77, MSG_PORT, config.HostIP, sizeof config.HostIP, &config.HostPort); }

int ConfigurationMenuTMSConfig() {
  // The update server's screen names its own prompts: address 324, port 325.
  return editAddress(268, 325, config.TMSHost, sizeof config.TMSHost, &config.TMSPort);
}

/* ---- logon ------------------------------------------------------------------------------------------------------ */

int ManagerDoLogonAction(int n) {
  const int titleId = n == LOGON_KEY_EXCHANGE ? MSG_KEY_EXCHANGE : MSG_MERCHANT_INFO;
  titled(titleId, MSG_CONNECTING, 0);
  clearTransaction(&currentTransaction);
  int result = tryConnect() >= 0 ? 0 : ENGINE_NO_CONNECTION;
  if (result == 0) {
    int owed = 0;
    checkLastTransactionStatus(&owed, 0);
    // Settling may have used (and closed) the connection.
    if (owed > 0) result = tryConnect() >= 0 ? 0 : ENGINE_NO_CONNECTION;
    clearTransaction(&currentTransaction);
    if (result == 0) {
      titled(titleId, MSG_CONNECTING, 0);
      result = doLogonKeyExhange(n);
    }
  }
  connectionStatus = LINK_DOWN;
  char line[MSG] = {};
  if (result == 0) {
    twoLines(titleId, nullptr, msg(MSG_OK, line));
    beepOK();
    if (n == LOGON_MERCHANT_INFO) printSetting();
    else waitForResult(0, LOGON_WAIT_MS);
    return 0;
  }
  char failed[MSG] = {};
  char detail[MSG + 16] = {};
  if (result == ENGINE_NO_CONNECTION) {
    msg(MSG_NETWORK, detail);
  } else if (currentTransaction.ResponseCode[0] != '\0') {
    msg(MSG_DETAIL, line);
    if (std::strncmp(currentTransaction.ResponseCode, "00", 2) != 0)
      std::snprintf(detail, sizeof detail, "%s : %.2s", line, currentTransaction.ResponseCode);
    else
      std::snprintf(detail, sizeof detail, "%s", line);
  }
  twoLines(titleId, msg(MSG_FAILED, failed), detail);
  beepFail();
  waitForResult(0, LOGON_WAIT_MS);
  return result;
}

int ManagerDoLogon() {
  int choice;
  while ((choice = showMenu(2, ManagerMenuLogonItemArray, 208)) >= 0)
    if (choice == LOGON_KEY_EXCHANGE || choice == LOGON_MERCHANT_INFO) ManagerDoLogonAction(choice);
  return choice;
}

/* ---- the menus ------------------------------------------------------------------------------------------------------- */

int MerchantMenuReport() {
  if (checkTerminalPassword(0) != 0) return 0;
  return MerchantMenuReports();
}

int MerchantMenuSetting() {
  int choice;
  while ((choice = showMenu(5, MerchantMenuSettingsItemArray, 106)) >= 0) {
    switch (choice) {
    case 1: MerchantSettingPrintSecondTicket(); break;
    case 2: MerchantMenuActionTerminalChangePassword(0); break;
    case 3: MerchantSettingKeypadSound(); break;
    case 4: MerchantSettingshutdownTimeout(); break;
    case 5: SelectConnectionType(); break;
    default: break;
    }
  }
  return choice;
}

int TerminalMenu() {
  int choice;
  while ((choice = showMenu(3, MerchantMenuItemArray, 105)) >= 0) {
    switch (choice) {
    case 1: MerchantMenuReport(); break;
    case 2: MerchantMenuSetting(); break;
    case 3: MerchantMenuTMSAction(); break;
    default: break;
    }
  }
  return choice;
}

int ManagerConfigMenu() {
  int choice;
  while ((choice = showMenu(3, ManagerMenuItemArraySetting, 77)) >= 0) {
    switch (choice) {
    case 1: ConfigurationMenuSwitchConfig(); break;
    case 2: ConfigurationMenuTMSConfig(); break;
    case 3: printSetting(); break;
    default: break;
    }
  }
  return choice;
}

int ManagerMenu() {
  if (CheckSupervisorPassword() != 0) return 0;
  int choice;
  while ((choice = showMenu(6, ManagerMenuItemArray, 196)) >= 0) {
    switch (choice) {
    case 1: ManagerConfigMenu(); break;
    case 2: ManagerDoLogon(); break;
    case 3: ManagerResetMerchantPass(); break;
    case 4: ConfigurationMenuBankingDefault(); break;
    case 5: printSetting(); break;
    case 6: exitFromApp(); break;
    default: break;
    }
  }
  return choice;
}
