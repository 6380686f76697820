/*
 * ConnectionMenu.cpp - the merchant's bearer screens over the bearer
 * mechanics of comm/Bearer: the bearer menu, GPRS, the WiFi network list and
 * pass phrase, and the fall-back to GPRS.
 *
 * Sections: helpers, GPRS, WiFi (fall-back, rejoin, the list, the pass phrase),
 * the bearer menu.
 */
#include "core/ConnectionMenu.h"

#include <cstdio>
#include <cstring>

#include "comm/Bearer.h"
#include "core/Filing.h"
#include "core/key.h"
#include "core/screen.h"
#include "libapi.h"
#include "ui/Display.h"
#include "ui/Helper.h"
#include "ui/Menu.h"
#include "ui/Messages.h"

/* ---- helpers ------------------------------------------------------------------------------ */

namespace {
constexpr int MSG_CANCELLED = 103;
constexpr int MSG_SEARCHING = 124;
constexpr int MSG_WIFI_PASS = 139;
constexpr int MSG_WIFI_SEARCH = 142;
constexpr int MSG_WIFI = 205;
constexpr int MSG_GPRS = 206;
constexpr int MSG_ACTIVATED = 214;
constexpr int MSG_WIFI_CONNECTING = 256;
constexpr int MSG_GPRS_CONNECTING = 257;
constexpr int MSG_BEARER_TITLE = 327;
constexpr int MSG_WIFI_FAILED = 328;
constexpr int MSG_WIFI_ERROR = 329;
constexpr int MSG_GPRS_OK = 332;
constexpr int MSG_CHANGE_FAILED = 333;
constexpr int MSG_REJOIN_ASK = 336;
constexpr int MSG_REJOIN_PREVIOUS = 337;
constexpr int MSG_WIFI_NAME = 338;
constexpr int MSG_WIFI_OK = 340;
constexpr int MSG_PREPARING = 343;
constexpr int MSG_SIM_CARD = 355;
constexpr int MSG_WIFI_ITEM = 356;
constexpr int MSG_REJOIN_FAILED = 416;

constexpr int RESULT_WAIT_MS = 6000;
constexpr int FALLBACK_NOTICE_MS = 4000;
constexpr int JOIN_FAILED_WAIT_MS = 5000;
constexpr int REJOIN_MISSING_WAIT_MS = 3000;
constexpr int REJOIN_QUESTION_MS = 10000;
constexpr int CANCELLED_WAIT_MS = 3000;

constexpr int LIST_X = 4;
constexpr int LIST_FIRST_Y = 15;
constexpr int LIST_LINE_PITCH = 30;
constexpr int LIST_TEXT_SIZE = 1;
constexpr int PASS_ROW = 5;

struct Text {
  char title[UI_MESSAGE_BUFFER_SIZE] = {};
  char line[UI_MESSAGE_BUFFER_SIZE] = {};
};

// Message title over message text, waiting up to ms for a key.
int say(int titleId, int textId, int ms) {
  Text t;
  return showMessage(getUiMessage(titleId, t.title, sizeof t.title), getUiMessage(textId, t.line, sizeof t.line), ms);
}

// A settings text field as a terminated string (a full field has no NUL).
template <std::size_t N> void fieldText(const char (&field)[N], char (&out)[N + 1]) {
  std::memcpy(out, field, N);
  out[N] = '\0';
}

// A Latin text drawn as it is: no digit conversion, no run reversal.
void drawLatin(int row, int flags, const char *text) {
  lcdPrint(1, row, flags | DISP_NO_CONVERT | DISP_NO_REVERSE, FONT_FILE, 3, text, std::strlen(text));
}

// Bytes of the first chars UTF-8 characters of text.
std::size_t utf8Prefix(const char *text, int chars) {
  std::size_t at = 0;
  for (int n = 0; text[at] != '\0' && n < chars; ++n) {
    ++at;
    while ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}
} // namespace

/* ---- GPRS ------------------------------------------------------------------------------------ */

int ChangeConnectionTypeGPRS() {
  say(MSG_GPRS, MSG_GPRS_CONNECTING, 0);
  const int result = gprsBringUp(true);
  if (result == 0) {
    config.connectionType = CONNECTION_GPRS;
    writeConfig2File();
    say(MSG_GPRS, MSG_GPRS_OK, RESULT_WAIT_MS);
  } else {
    say(MSG_GPRS, MSG_CHANGE_FAILED, RESULT_WAIT_MS);
  }
  return result;
}

/* ---- WiFi ------------------------------------------------------------------------------------- */

namespace {
// WiFi did not come up: notice titleId over "connecting to GPRS" for noticeMs
// (titleId 0: no notice), then GPRS. 0 when it came up, else -1.
int fallBackToGprs(int titleId, int noticeMs) {
  if (titleId != 0) say(titleId, MSG_GPRS_CONNECTING, noticeMs);
  if (gprsBringUp(false) != 0) {
    say(MSG_GPRS, MSG_CHANGE_FAILED, RESULT_WAIT_MS);
    return -1;
  }
  config.connectionType = CONNECTION_GPRS;
  writeConfig2File();
  say(MSG_GPRS, MSG_GPRS_OK, RESULT_WAIT_MS);
  return 0;
}

// The stored network joined again with its stored pass phrase; a network no
// longer there, or a join that fails, falls back to GPRS.
int rejoinStoredNetwork(const char *ssid, const char *pass) {
  const int index = wifiFindNetwork(ssid);
  if (index < 0) {
    say(MSG_REJOIN_FAILED, MSG_REJOIN_PREVIOUS, REJOIN_MISSING_WAIT_MS);
    return fallBackToGprs(0, 0);
  }
  say(MSG_WIFI, MSG_WIFI_CONNECTING, 0);
  if (wifiJoin(index, pass, 1) == 0) {
    config.connectionType = CONNECTION_WIFI;
    writeConfig2File();
    say(MSG_WIFI, MSG_WIFI_OK, RESULT_WAIT_MS);
    return 0;
  }
  say(MSG_WIFI, MSG_WIFI_FAILED, RESULT_WAIT_MS);
  mid_wifiShutdown();
  return fallBackToGprs(MSG_WIFI_ERROR, FALLBACK_NOTICE_MS);
}

// Asks whether to rejoin the stored network: true on Enter.
bool askRejoin(const char *ssid) {
  Text t;
  char ask[UI_MESSAGE_BUFFER_SIZE] = {};
  char previous[UI_MESSAGE_BUFFER_SIZE] = {};
  char name[UI_MESSAGE_BUFFER_SIZE] = {};
  showTripleMessage(getUiMessage(MSG_WIFI, t.title, sizeof t.title), getUiMessage(MSG_REJOIN_ASK, ask, sizeof ask),
                    getUiMessage(MSG_REJOIN_PREVIOUS, previous, sizeof previous),
                    getUiMessage(MSG_WIFI_NAME, name, sizeof name), 0);
  drawLatin(2, LINE_CENTER, ssid);
  return waitForResult(0, REJOIN_QUESTION_MS) == WAIT_ENTER;
}

void drawListPage(int page) {
  mid_lcdCls();
  DLL_LcdSetTTFBGColor(0, RGB_WHITE);
  for (int line = 1; line <= WIFI_LIST_LINES; ++line) {
    const int index = page * WIFI_LIST_LINES + line - 1;
    if (index >= wifiCount) break;
    const DLL_WifiAp &ap = wifiList[index];
    char text[8 + sizeof ap.ssid] = {};
    std::snprintf(text, sizeof text, "%d.%.*s", line, static_cast<int>(utf8Prefix(ap.ssid, WIFI_LIST_SSID_CHARS)),
                  ap.ssid);
    const int y = (line - 1) * LIST_LINE_PITCH + LIST_FIRST_Y;
    DLL_LcdSetTTFConfig(DLL_LCD_ALIGN_LEFT, LIST_TEXT_SIZE, RGB888TORGB565(0, 0, 0));
    DLL_LcdPrintTTF(LIST_X, y, text);
    DLL_LcdSetTTFConfig(DLL_LCD_ALIGN_RIGHT, LIST_TEXT_SIZE, RGB888TORGB565(0, 0, 0));
    DLL_LcdPrintTTF(0, y, ap.signal);
  }
}

// The scanned networks, seven a page: Up and Down turn the page, '1' to '7'
// choose a network shown. Its index in wifiList, or -1 on Cancel or 30 s
// without a key.
int chooseNetwork() {
  const int pages = (wifiCount + WIFI_LIST_LINES - 1) / WIFI_LIST_LINES;
  int page = 0;
  drawListPage(page);
  mid_kbFlush();
  for (;;) {
    const int key = mid_kbGetKeyMs(WIFI_LIST_WAIT_MS);
    if (key == KEY_NONE || key == KEY_CANCEL) return -1;
    if (key == KEY_UP && page > 0) {
      drawListPage(--page);
    } else if (key == KEY_DOWN && page < pages - 1) {
      drawListPage(++page);
    } else if (key >= '1' && key < '1' + WIFI_LIST_LINES) {
      const int index = page * WIFI_LIST_LINES + (key - '1');
      if (index < wifiCount) return index; // a line the page does not show chooses nothing
    }
  }
}

// The pass phrase for the chosen network, typed in the caller's buffer.
// false on Cancel or timeout.
bool askPassPhrase(const char *ssid, char *pass, std::size_t passSize) {
  Text t;
  mid_lcdCls();
  drawHeader(MSG_WIFI);
  drawLatin(2, LINE_RIGHT, ssid);
  lcdPrint(1, 3, LINE_CENTER, FONT_FILE, 3, getUiMessage(MSG_WIFI_PASS, t.line, sizeof t.line), LCD_LINE_MAX);
  pass[0] = '\0';
  return kbGetText(pass, passSize, WIFI_PASS_MAX, PASS_ROW, 0) > 0;
}
} // namespace

int ChangeConnectionTypeWiFi() {
  say(MSG_WIFI, MSG_PREPARING, 0);
  if (DLL_WifiGetNetworkStatus(nullptr) == 0) mid_wifiShutdown();
  const int opened = DLL_WifiOpen();
  if (opened != 0) return opened;
  if (wifiScanNetworks() == 0) return fallBackToGprs(MSG_WIFI_FAILED, FALLBACK_NOTICE_MS);

  char storedSsid[sizeof config.WiFiSsid + 1];
  char storedPass[sizeof config.WiFiPass + 1];
  fieldText(config.WiFiSsid, storedSsid);
  fieldText(config.WiFiPass, storedPass);
  if (storedSsid[0] != '\0') {
    say(MSG_WIFI, MSG_SEARCHING, 0);
    if (askRejoin(storedSsid)) return rejoinStoredNetwork(storedSsid, storedPass);
  }

  say(MSG_WIFI, MSG_WIFI_SEARCH, 0);
  const int index = chooseNetwork();
  if (index < 0) return fallBackToGprs(MSG_WIFI_ERROR, FALLBACK_NOTICE_MS);
  // The pass phrase must fit the settings field whole, or the stored one would
  // not join the next time.
  char pass[sizeof config.WiFiPass] = {};
  const char *ssid = wifiList[index].ssid;
  if (!askPassPhrase(ssid, pass, sizeof pass)) return fallBackToGprs(MSG_WIFI_ERROR, FALLBACK_NOTICE_MS);
  say(MSG_WIFI, MSG_WIFI_CONNECTING, 0);
  if (wifiJoin(index, pass, 1) != 0) return fallBackToGprs(MSG_WIFI_ERROR, JOIN_FAILED_WAIT_MS);
  config.connectionType = CONNECTION_WIFI;
  std::memset(config.WiFiSsid, 0, sizeof config.WiFiSsid);
  std::memset(config.WiFiPass, 0, sizeof config.WiFiPass);
  // A 32-byte SSID (the longest there is) fills the field without a NUL; readers allow for that.
  std::memcpy(config.WiFiSsid, ssid, strnlen(ssid, sizeof config.WiFiSsid));
  std::memcpy(config.WiFiPass, pass, std::strlen(pass));
  writeConfig2File();
  say(MSG_WIFI, MSG_WIFI_OK, RESULT_WAIT_MS);
  return 0;
}

int ChangeConnectionType(int n) { return n == 1 ? ChangeConnectionTypeWiFi() : 0; }

/* ---- the bearer menu ------------------------------------------------------------------------------ */

int SelectConnectionType() {
  MenuItem items[2];
  const int ids[2] = {MSG_SIM_CARD, MSG_WIFI_ITEM};
  const int current = config.connectionType == CONNECTION_WIFI ? 1 : 0;
  for (int i = 0; i < 2; ++i) {
    char text[UI_MESSAGE_BUFFER_SIZE] = {};
    getUiMessage(ids[i], text, sizeof text);
    if (i == current) std::strncat(text, CURRENT_BEARER_MARK, sizeof text - std::strlen(text) - 1);
    initMenuItemEx(i + 1, text, 1, 0, 0, &items[i]);
  }
  int choice;
  do {
    choice = showMenu(2, items, MSG_BEARER_TITLE);
  } while (choice != 1 && choice != 2 && choice != MENU_CANCEL && choice != MENU_CLEAR);
  if (choice == 1) {
    // Activated only when GPRS came up: a failure already said so.
    if (ChangeConnectionTypeGPRS() == 0) say(MSG_BEARER_TITLE, MSG_ACTIVATED, RESULT_WAIT_MS);
  } else if (choice == 2) {
    ChangeConnectionTypeWiFi();
  }
  if (choice == 1 || choice == 2) {
    writeConfig2File();
  } else {
    say(MSG_BEARER_TITLE, MSG_CANCELLED, CANCELLED_WAIT_MS);
  }
  readConfigFromFile(0);
  return 0;
}

int MerchantMenuActionChangeConnectionType() { return SelectConnectionType(); }
