/*
 * Business.cpp - start-up, the update-service prompt, the idle screen and its
 * loop, the settings summary and power-off.
 *
 * Sections: start-up, debug unlock, update-service prompt, idle
 * screen drawing, idle loop, actions.
 *
 * Unfinished transactions are settled at start-up and every third idle
 * minute, before anything else uses the link.
 */
#include "core/Business.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comm/Bearer.h"
#include "comm/Connection.h"
#include "comm/communication.h"
#include "core/Filing.h"
#include "core/MenuTree.h"
#include "core/clock.h"
#include "core/debug.h"
#include "core/file.h"
#include "core/key.h"
#include "core/screen.h"
#include "core/system.h"
#include "core/time.h"
#include "journal/Journal.h"
#include "txn/CustomerFlows.h"
#include "txn/Engine.h"
#include "libapi.h"
#include "ui/Display.h"
#include "ui/Helper.h"
#include "ui/Messages.h"
#include "util/Strings.h"

namespace {
constexpr std::size_t MSG_SIZE = 128;
constexpr int DEBUG_UNLOCK_KEY = KEY_DOWN;
constexpr int DEBUG_UNLOCK_PRESSES = 4;
constexpr int DEBUG_UNLOCK_WAIT_MS = 500; // for each press
constexpr int DEBUG_PASS_PROMPT = 40;     // "enter the password"
constexpr int TMS_POLL_MS = 1000;
constexpr int SETTINGS_WAIT_MS = 20000;
constexpr int POWER_OFF_WAIT_MS = 15000;
constexpr int LINK_ERROR_WAIT_MS = 2000;
constexpr int MERCHANT_BREAK_WINDOW = 66; // bytes searched for the break
constexpr int SPLASH_TEXT_SIZE = 1;
constexpr int TERMINAL_LINE_X = 8;
constexpr int TERMINAL_LINE_Y = 30;
constexpr int DATE_LINE_Y = 1;
constexpr int DATE_LINE_LAST_ROW = 20;
constexpr int DATE_LINE_X = 4;
constexpr std::size_t SPLASH_LINE_SIZE = 1024;
constexpr unsigned PENDING_MARKER_565 = 61440; // red
constexpr int PENDING_MARKER_Y = 24;            // just under the date line, which clears rows 1 to 20
constexpr int SETTLE_PAUSE_MS = 4500;           // start-up: before connecting to settle

// The time last drawn on the date line: year, month, day, hour, minute.
int lastDrawnTime[5] = {-1, -1, -1, -1, -1};

const char *message(int id, char *buffer) { return getUiMessage(id, buffer, MSG_SIZE); }

// The link never draws; the stages of an exchange it reports are shown here.
void showLinkProgress(int stage, const char *title, const char *text) {
  if (stage == LINK_SENDING) {
    showMessage(title, text, 0);
  } else {
    updateMessage(text, 0);
  }
}
} // namespace

/* ---- start-up ------------------------------------------------------------------------ */

namespace {
// The program's own options (the platform takes its --sim-... ones). Only one:
// --link-wait-ms N shortens the wait for the switch's answer (default 30 s),
// so that tests and the power-cut sweep do not spend half a minute on every
// answer they drop on purpose. A bad option ends the program (status 2) with
// the usage; --help and -h print it and end the program (status 0). Both are
// judged before the platform starts, so neither opens a terminal.
void printUsage(FILE *out) {
  std::fprintf(out, "usage: saffron [--link-wait-ms MS] [--sim-... options]\n"
                    "  --link-wait-ms MS   wait at most MS (100..%d) for the switch's answer\n"
                    "  --help, -h          this text\n"
                    "  --sim-help          the terminal simulator's options and script commands\n",
               TCP_WAIT_MS_DEFAULT);
}

void applicationOptions(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr || std::strncmp(argv[i], "--sim-", 6) == 0) continue;
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      printUsage(stdout);
      std::exit(0);
    }
    if (std::strcmp(argv[i], "--link-wait-ms") == 0 && i + 1 < argc) {
      char *end = nullptr;
      const long ms = std::strtol(argv[i + 1], &end, 10);
      if (end != argv[i + 1] && *end == '\0' && ms >= 100 && ms <= TCP_WAIT_MS_DEFAULT) {
        mid_tcpSetWaitMs(static_cast<int>(ms));
        ++i;
        continue;
      }
      std::fprintf(stderr, "saffron: --link-wait-ms wants 100..%d milliseconds, not \"%s\"\n", TCP_WAIT_MS_DEFAULT,
                   argv[i + 1]);
      std::exit(2);
    }
    // Plain words are the values of the platform's options.
    if (std::strncmp(argv[i], "--", 2) != 0) continue;
    std::fprintf(stderr, "saffron: unknown option %s\n", argv[i]);
    printUsage(stderr);
    std::exit(2);
  }
}
} // namespace

int saffronMain(int argc, char **argv) {
  applicationOptions(argc, argv);
  DLL_ApiInit(argc, argv);
  // Writing to a closed connection must give an error, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  mid_setLinkProgress(showLinkProgress);
  mid_dfb_create_font();
  initLinkState();
  mid_sys_backlight_init();
  mid_kbFlush();
  mid_lcdCls();
  loadMessages();
  normalizeConfigAtStart();
  debugUnlock();
  readTurnRowFromFile(0);
  moduleInit();
  if (MerchantMenuTMSAction() == TMS_EXIT_FOR_UPDATE) {
    finalAction();
    return 0;
  }
  loadMenu();
  for (;;) {
    mid_lcdCls();
    const int result = splashMenuAction(splashMenu());
    if (result == LINK_SEND_FAILED) {
      char title[MSG_SIZE] = {};
      char text[MSG_SIZE] = {};
      mid_lcdCls();
      showMessage(message(126, title), message(127, text), LINK_ERROR_WAIT_MS);
    }
  }
}

namespace {
void showWifiPreparing() {
  char title[MSG_SIZE] = {};
  char text[MSG_SIZE] = {};
  showMessage(message(205, title), message(343, text), 0);
}
} // namespace

namespace {
constexpr int MSG_ERROR = 29;            // "error"
constexpr int MSG_SETTINGS_LOAD_ERROR = 97; // "error loading settings"
constexpr int FILE_PROBLEM_WAIT_MS = 5000;

// A stored file that is there but unreadable is left alone (its writes are
// refused); the person at the terminal is told so before anything is changed.
void reportFileProblems() {
  const char *name = nullptr;
  bool settings = true;
  int state = settingsFileProblem(&name);
  if (state == FILE_ABSENT) {
    settings = false;
    state = journalFileProblem(&name);
  }
  if (state == FILE_ABSENT || name == nullptr) return;
  USB_printf2("start-up: %s is %s; left as it is", name, mid_fileStateText(state));
  std::fprintf(stderr, "saffron: %s is %s; it is left as it is and not written\n", name, mid_fileStateText(state));
  char title[MSG_SIZE] = {};
  char text[MSG_SIZE] = {};
  if (settings)
    showMessage(message(MSG_ERROR, title), message(MSG_SETTINGS_LOAD_ERROR, text), FILE_PROBLEM_WAIT_MS);
  else
    showMessage(message(MSG_ERROR, title), name, FILE_PROBLEM_WAIT_MS);
}
} // namespace

void moduleInit() {
  char title[MSG_SIZE] = {};
  char text[MSG_SIZE] = {};
  showMessage(message(15, title), message(16, text), 0);
  normalizeConfigModuleInit();
  reportFileProblems();
  wifiExists = wifiCheck();
  // A declined transaction whose receipt was lost is printed before anything else.
  checkUprintedTransaction();
  // A bearer that does not come up leaves the start-up going; the link retries it later.
  if (config.connectionType == CONNECTION_WIFI)
    wifiStartUp(showWifiPreparing);
  else
    wirelessSetup(config.APN, config.APNUser, config.APNPass, config.connectionType);
  normalizeConfigImei();
  showMessage(message(config.connectionType == 1 ? 205 : 15, title), message(252, text), 0);
  int unfinished = 0;
  checkLastTransactionStatusLight(&unfinished);
  if (unfinished > 0) {
    waitForNoResult(0, SETTLE_PAUSE_MS);
    tryConnect();
    int settled = 0;
    checkLastTransactionStatus(&settled, 1);
    tryDisconnect();
  }
  checkTransactionCount(TRX_FILE);
  trimTransactionFile(TRX_FILE);
  mid_lcdCls();
}

/* ---- debug unlock --------------------------------------------------------------------------- */

void debugUnlockCode(const char *serial, char *out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return;
  // FNV-1a over the serial number, folded to four decimal digits.
  uint32_t hash = 2166136261u;
  for (std::size_t i = 0; serial != nullptr && i < sizeof config.SerialNo && serial[i] != '\0'; ++i) {
    hash ^= static_cast<unsigned char>(serial[i]);
    hash *= 16777619u;
  }
  hash ^= hash >> 16;
  std::snprintf(out, outSize, "%04u", static_cast<unsigned>(hash % 10000));
}

int debugUnlock() {
  int presses = 0;
  while (presses < DEBUG_UNLOCK_PRESSES && mid_kbGetKeyMs(DEBUG_UNLOCK_WAIT_MS) == DEBUG_UNLOCK_KEY) ++presses;
  if (presses == DEBUG_UNLOCK_PRESSES) {
    char expected[8] = {};
    char entered[8] = {};
    debugUnlockCode(config.SerialNo, expected, sizeof expected);
    drawHeader(DEBUG_PASS_PROMPT);
    if (getPass(0, 0, 4, 4, INPUT_TIMEOUT, entered, sizeof entered) == INPUT_ACCEPTED &&
        std::strcmp(entered, expected) == 0) {
      hasDebug = 1;
      USB_printf2("debug output on, serial %s", config.SerialNo);
    }
    mid_lcdCls();
  }
  writeConfig2File();
  return hasDebug;
}

/* ---- update-service prompt ------------------------------------------------------------------- */

namespace {
// Waits, a look each second and without limit, for one of the keys in accepted.
int waitForOneOf(const char *accepted) {
  for (;;) {
    const int key = mid_kbGetKey();
    if (key != KEY_NONE && key < 256 && std::strchr(accepted, key) != nullptr) return key;
    mid_sleepMs(TMS_POLL_MS);
  }
}
} // namespace

int MerchantMenuTMSAction() {
  char title[MSG_SIZE] = {};
  char text[MSG_SIZE] = {};
  showMessage(message(339, title), message(20, text), 0);
  const int task = DLL_TMS_GetTask();
  if (task != 1 && task != 2 && task != 3) return TMS_CONTINUE;
  mid_lcdCls();
  lcdprintc(0, 0, "prompt:");
  const char keysUpdate[] = {KEY_ENTER, '1', KEY_CANCEL, 0};
  const char keysStop[] = {'1', '2', KEY_CANCEL, 0};
  if (task == 1) {
    lcdprintc(0, 1, "Received update message");
    lcdprintc(0, 2, "Press the Enter key to ");
    lcdprintc(0, 3, "execute the update");
    lcdprintc(0, 4, "Press the cancel key to");
    lcdprintc(0, 5, "not perform updates");
    return waitForOneOf(keysUpdate) == KEY_ENTER ? TMS_EXIT_FOR_UPDATE : TMS_CONTINUE;
  }
  lcdprintc(0, 1, "Received a message");
  if (task == 3) {
    lcdprintc(0, 2, "POS stop using");
    if (waitForOneOf(keysStop) == '2') {
      mid_lcdCls();
      lcdprintc(0, 6, "POS stop using");
    }
    return TMS_CONTINUE;
  }
  lcdprintc(0, 2, "POS Release Stop Use!");
  waitForOneOf(keysStop);
  return TMS_CONTINUE;
}

/* ---- idle screen drawing --------------------------------------------------------------------- */

namespace {
// The idle screen draws straight on its picture: no background box.
void drawSplashText(int x, int y, int align, const char *text, unsigned rgb565 = RGB888TORGB565(0, 0, 0)) {
  DLL_LcdSetTTFBGColor(0, RGB_WHITE);
  DLL_LcdSetTTFConfig(align, SPLASH_TEXT_SIZE, rgb565);
  DLL_LcdPrintTTF(x, y, text);
}

void drawMerchantLine() {
  char label[MSG_SIZE] = {};
  char line[SPLASH_LINE_SIZE] = {};
  if (config.MerchantName[0] != '\0') {
    char name[sizeof config.MerchantName + 1] = {};
    std::memcpy(name, config.MerchantName, sizeof config.MerchantName);
    // Digits in the name must come out in reading order in a right-to-left line.
    peDisplayNumbersCorrect(name);
    std::snprintf(line, sizeof line, "%s: %s", message(296, label), name);
  } else {
    std::snprintf(line, sizeof line, "%s", message(331, label));
  }
  // The line goes to the glass as UTF-8, which is what the text call takes; the
  // two-byte reversed form NormalizeStr makes would end after its first byte.
  char first[SPLASH_LINE_SIZE] = {};
  char second[SPLASH_LINE_SIZE] = {};
  splitMerchantLine(line, first, sizeof first, second, sizeof second);
  char shown[2 * SPLASH_LINE_SIZE] = {};
  formatArabicNumbers(first, shown, sizeof shown);
  if (second[0] == '\0') {
    drawSplashText(0, MERCHANT_LINE_Y, DLL_LCD_ALIGN_CENTER, shown);
    return;
  }
  drawSplashText(0, MERCHANT_LINE1_Y, DLL_LCD_ALIGN_CENTER, shown);
  formatArabicNumbers(second, shown, sizeof shown);
  drawSplashText(0, MERCHANT_LINE2_Y, DLL_LCD_ALIGN_CENTER, shown);
}

void drawTerminalLine() {
  const std::size_t len = strnlen(config.TerminalNo, sizeof config.TerminalNo);
  if (len == 0 || std::strncmp(config.TerminalNo, "00000000", sizeof config.TerminalNo) == 0) return;
  char label[MSG_SIZE] = {};
  char line[MSG_SIZE + sizeof config.TerminalNo + 4] = {};
  message(10, label);
  const int prefix = std::snprintf(line, sizeof line, "%s  ", label);
  std::memcpy(line + prefix, config.TerminalNo, len);
  strReverse(line + prefix);
  char shown[2 * sizeof line] = {};
  formatArabicNumbers(line, shown, sizeof shown);
  drawSplashText(TERMINAL_LINE_X, TERMINAL_LINE_Y, DLL_LCD_ALIGN_LEFT, shown);
}

void drawDateLine() {
  int dt[DATE_TIME_FIELDS] = {};
  getDateTime(dt);
  const int miladi[3] = {dt[DT_YEAR], dt[DT_MONTH], dt[DT_DAY]};
  int shamsi[3] = {0, 0, 0};
  miladyToShamsi(miladi, shamsi);
  char weekday[WEEKDAY_NAME_SIZE] = {};
  getDayOfWeek(dt[DT_YEAR] + 2000, dt[DT_MONTH], dt[DT_DAY], weekday, sizeof weekday);
  char stamp[64] = {};
  std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d", shamsi[0], shamsi[1], shamsi[2], dt[DT_HOUR],
                dt[DT_MINUTE]);
  // Digits and separators only: the whole stamp is one run to put in display order.
  strReverse(stamp);
  char shown[2 * sizeof stamp] = {};
  formatArabicNumbers(stamp, shown, sizeof shown);
  DLL_LcdClrLine(1, DATE_LINE_LAST_ROW);
  drawSplashText(0, DATE_LINE_Y, DLL_LCD_ALIGN_RIGHT, weekday);
  drawSplashText(DATE_LINE_X, DATE_LINE_Y, DLL_LCD_ALIGN_LEFT, shown);
  const int now[5] = {dt[DT_YEAR], dt[DT_MONTH], dt[DT_DAY], dt[DT_HOUR], dt[DT_MINUTE]};
  std::memcpy(lastDrawnTime, now, sizeof lastDrawnTime);
}

// A financial request left in the pending file: settlement still to send
// (message 35) or, once answered or reversed, a correction (message 54).
void drawPendingMarker() {
  if (!isTempExist()) return;
  TransactionRecord pending = {};
  if (readTempFile(&pending) != static_cast<int>(sizeof pending)) return;
  if (std::strncmp(pending.MTI, "0200", sizeof pending.MTI) != 0) return;
  const bool answered = pending.Status == 1 || pending.Status == 11 || pending.Status == 12;
  char text[MSG_SIZE] = {};
  drawSplashText(0, PENDING_MARKER_Y, DLL_LCD_ALIGN_CENTER, message(answered ? 54 : 35, text), PENDING_MARKER_565);
}

// Read straight from the platform: the idle loop asks every turn, and the
// clock helper logs each reading.
bool minuteChanged() {
  int raw[7] = {};
  if (DLL_SysGetDateTime(raw) != DLL_OK) return false;
  const int now[5] = {raw[DLL_DT_YEAR] - 2000, raw[DLL_DT_MONTH], raw[DLL_DT_DAY], raw[DLL_DT_HOUR],
                      raw[DLL_DT_MINUTE]};
  return std::memcmp(now, lastDrawnTime, sizeof now) != 0;
}
} // namespace

void splitMerchantLine(const char *line, char *first, std::size_t firstSize, char *second, std::size_t secondSize) {
  if (first == nullptr || second == nullptr || firstSize == 0 || secondSize == 0) return;
  first[0] = '\0';
  second[0] = '\0';
  if (line == nullptr) return;
  const std::size_t len = std::strlen(line);
  auto copy = [](char *dst, std::size_t dstSize, const char *src, std::size_t n) {
    if (n > dstSize - 1) n = dstSize - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
  };
  if (len <= static_cast<std::size_t>(MERCHANT_LINE_MAX)) {
    copy(first, firstSize, line, len);
    return;
  }
  std::size_t cut = 0;
  std::size_t resume = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(MERCHANT_BREAK_WINDOW); ++i) {
    if (line[i] == ' ') {
      cut = i;
      resume = i + 1;
    }
  }
  if (resume == 0) {
    // No space to break at: break before the last character that starts within the first 65 bytes.
    cut = MERCHANT_LINE_MAX;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    resume = cut;
  }
  copy(first, firstSize, line, cut);
  copy(second, secondSize, line + resume, len - resume);
}

void drawSplash(int part, int force) {
  if (part == 0) {
    mid_lcdDrawPicture2(0, 0, IDLE_BACKGROUND);
    drawMerchantLine();
    drawTerminalLine();
    drawPendingMarker();
  } else if (part == 1) {
    if (force != 0) drawDateLine();
  } else {
    mid_lcdCls();
  }
}

/* ---- idle loop ---------------------------------------------------------------------------------- */

namespace {
void redrawIdleScreen() {
  drawSplash(0, 0);
  drawSplash(1, 1);
}

constexpr int NOT_A_SPLASH_KEY = -1;

int splashCodeOfKey(int key) {
  switch (key) {
  case KEY_MENU: return SPLASH_MAIN_MENU;
  case '9': return SPLASH_NINE;
  case KEY_UP: return SPLASH_UP;
  case KEY_DOWN: return SPLASH_DOWN;
  case KEY_CLEAR: return SPLASH_SETTINGS;
  case KEY_F7: return SPLASH_REFRESH;
  default: return NOT_A_SPLASH_KEY;
  }
}

// Every third idle minute: an unfinished transaction is settled (nothing printed).
void settleInBackground() {
  int unfinished = 0;
  checkLastTransactionStatusLight(&unfinished);
  if (unfinished == 0) return;
  char title[MSG_SIZE] = {};
  char text[MSG_SIZE] = {};
  showMessage(message(150, title), message(16, text), 0);
  char address[sizeof config.HostIP + 1] = {};
  std::memcpy(address, config.HostIP, strnlen(config.HostIP, sizeof config.HostIP));
  if (remoteConnect(address, sizeof address, config.HostPort, config.linkMode) < 0) {
    if (config.connectionType == CONNECTION_GPRS)
      wirelessSetup(config.APN, config.APNUser, config.APNPass, config.connectionType);
  } else {
    int settled = 0;
    checkLastTransactionStatus(&settled, 0);
    remoteDisconnect();
  }
  redrawIdleScreen();
}

// One idle minute has passed: dimming, sleep and automatic power-off.
void idleMinute() {
  LcdBackLight &light = lcdBackLightStruct;
  ++light.interval;
  redrawIdleScreen();
  if (light.interval == 1) {
    light.keep = -1;
    mid_sys_backlight_set_time();
    light.brightness = 1;
  } else if (light.interval == 2) {
    light.brightness = static_cast<int16_t>(light.brightness * 2);
    light.keep = 0;
    mid_sys_backlight_set_time();
  }
  if (config.askSleepTime == 1 && light.interval == config.sleepTimeout) {
    const int64_t asleepAt = sys_clock();
    mid_sysEnterSleep();
    light.interval = 0;
    if (sys_clock() - asleepAt > LONG_SLEEP_MS) DLL_PppDisconnect();
  }
  if (light.interval % 3 == 0) settleInBackground();
  if (light.interval == config.shutdownTimeout && config.askShutDownTime == 1) {
    finalAction();
    mid_sysPowerDown();
  }
  mid_sysTimerSet(IDLE_SLOT, MENU_TIMEOUT);
  drawSplash(1, 1);
}
} // namespace

int splashMenu() {
  redrawIdleScreen();
  mid_kbFlush();
  DLL_McrClose();
  DLL_McrOpen();
  DLL_McrReset();
  std::memset(currentTransaction.Track2, 0, sizeof currentTransaction.Track2);
  mid_sysTimerSet(IDLE_SLOT, MENU_TIMEOUT);
  for (;;) {
    const int card = checkCardSwap();
    if (card == CARD_READ) {
      // A card counts as activity: the screen is lit again and the idle count restarts.
      lcdBackLightStruct.keep = -1;
      lcdBackLightStruct.interval = 0;
      mid_sys_backlight_set_time();
      DLL_McrClose();
      return SPLASH_CARD;
    }
    if (card == CARD_REFUSED) {
      mid_lcdCls();
      redrawIdleScreen();
    }
    if (minuteChanged()) drawSplash(1, 1);
    if (kbHit()) {
      const int code = splashCodeOfKey(mid_kbGetKey());
      // Every idle-screen key but the refresh closes the card reader on its way out.
      if (code == SPLASH_REFRESH) return code;
      if (code != NOT_A_SPLASH_KEY) {
        DLL_McrClose();
        return code;
      }
    }
    if (mid_sysTimerCheck(IDLE_SLOT) != 0) {
      mid_sleepMs(IDLE_POLL_MS);
      continue;
    }
    idleMinute();
  }
}

/* ---- actions ---------------------------------------------------------------------------------------- */

int splashMenuAction(int code) {
  switch (code) {
  case SPLASH_SETTINGS:
    return SplashMenuClear();
  case SPLASH_MAIN_MENU:
    return MainMenu();
  case SPLASH_CARD:
    return CustomerMenu();
  default:
    return 0;
  }
}

int SplashMenuClear() {
  displaySetting();
  return 0;
}

namespace {
bool allDigits(const char *text, std::size_t size) {
  for (std::size_t i = 0; i < size && text[i] != '\0'; ++i)
    if (!IsDigit(text[i])) return false;
  return true;
}

void settingRow(int halfRow, const char *label, const char *value, std::size_t valueSize) {
  char shown[MSG_SIZE] = {};
  std::memcpy(shown, value, valueSize < sizeof shown - 1 ? valueSize : sizeof shown - 1);
  // Latin letters (a serial number, say) read left to right only when nothing is converted.
  const int flags = allDigits(shown, sizeof shown) ? 1 : (1 | DISP_NO_CONVERT | DISP_NO_REVERSE);
  lcdPrintLR(1, halfRow, 2, flags, label, std::strlen(label), shown);
}
} // namespace

void displaySetting() {
  char title[MSG_SIZE] = {};
  char label[MSG_SIZE] = {};
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, message(367, title));
  settingRow(2, message(10, label), config.TerminalNo, sizeof config.TerminalNo);
  settingRow(4, message(195, label), config.MerchantNo, sizeof config.MerchantNo);
  settingRow(6, message(181, label), config.SerialNo, sizeof config.SerialNo);
  settingRow(8, message(204, label), config.softwareVersion, sizeof config.softwareVersion);
  if (config.IMEI[0] != '\0') settingRow(10, " IMEI ", config.IMEI, sizeof config.IMEI);
  mid_kbGetKeyMs(SETTINGS_WAIT_MS);
  mid_lcdCls();
}

int TurnOffMenu() {
  char title[MSG_SIZE] = {};
  char text[MSG_SIZE] = {};
  showMessage(message(215, title), message(227, text), 0);
  if (waitForResult(0, POWER_OFF_WAIT_MS) == WAIT_ENTER) {
    drawHeader(215);
    finalAction();
    mid_sysPowerDown();
  }
  return 0;
}

int exitFromApp() { return 0; }
