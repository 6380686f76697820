/*
 * Filing.cpp - the configuration record, the trace-number counters and the
 * merchant-accounts table, their files, the start-up normalisation and the
 * settings' part of the full reset.
 *
 * Sections: helpers, configuration file, counters, removers, start-up
 * normalisation, full reset.
 */
#include "core/Filing.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#include "core/debug.h"
#include "core/file.h"
#include "core/key.h"
#include "core/system.h"
#include "core/time.h"
#include "libapi.h"

Config config = {};
TurnRow turnRow = {};
MerchantAccount merchantAccounts[MERCHANT_ACCOUNT_COUNT] = {};

/* ---- helpers ------------------------------------------------------------------ */

namespace {
constexpr long COUNTER_LIMIT = 999999; // a counter reaching this starts again at 1

// Clears the field and copies as much of text as leaves room for a NUL.
template <std::size_t N> void setText(char (&field)[N], const char *text) {
  std::memset(field, 0, N);
  if (text != nullptr) std::memcpy(field, text, strnlen(text, N - 1));
}

constexpr std::size_t COUNTER_DIGITS = 6;

// Reads a six-digit counter field, which need not be terminated.
long counterValue(const char (&field)[7]) {
  long value = 0;
  for (std::size_t i = 0; i < COUNTER_DIGITS && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
  return value;
}

void setCounter(char (&field)[7], long value) {
  char text[16];
  std::snprintf(text, sizeof text, "%06ld", value % 1000000);
  std::memcpy(field, text, COUNTER_DIGITS);
  field[COUNTER_DIGITS] = '\0';
}

long nextCounter(long value) {
  const long next = value + 1;
  return next >= COUNTER_LIMIT ? 1 : next;
}

template <std::size_t N> void terminate(char (&field)[N]) { field[N - 1] = '\0'; }

// Every text field of a sound file ends in NUL; a damaged file must not send a
// reader of config past its field.
void terminateTextFields(Config &c) {
  terminate(c.HostIP);
  terminate(c.TMSHost);
  terminate(c.MerchantPass);
  terminate(c.SupervisorPass);
  terminate(c.NII);
  terminate(c.APN);
  terminate(c.APNUser);
  terminate(c.APNPass);
  terminate(c.WiFiSsid);
  terminate(c.WiFiPass);
  terminate(c.SerialNo);
  terminate(c.TerminalNo);
  terminate(c.MerchantNo);
  terminate(c.MerchantName);
  terminate(c.merchantPhone);
  terminate(c.merchantExtra);
  terminate(c.softwareVersion);
  terminate(c.selectedAccount);
  terminate(c.taxCode);
  terminate(c.IMEI);
}

// A settings file found but not read is never written over: what memory holds
// then is defaults or blanks, and the stored terminal and merchant numbers
// would be lost. The state of the last read of each file, FILE_READABLE when sound.
int configFileState = FILE_READABLE;
int turnRowFileState = FILE_READABLE;

// Reads a record file read-only. A missing file is created empty and reads as
// empty (0); one that is there but cannot be read gives -1 and marks the file
// as not to be written.
int readWhole(const char *path, void *record, std::size_t size, int *state) {
  int found = mid_fileCreateMissing(path);
  if (found == FILE_ABSENT) {
    *state = FILE_READABLE;
    return 0;
  }
  int n = -1;
  const int fd = found == FILE_READABLE ? mid_fileOpen(path, O_RDONLY) : -1;
  if (fd >= 0) {
    n = mid_fileRead(fd, record, size);
    mid_fileClose(fd);
  }
  if (n < 0 && found == FILE_READABLE) found = FILE_UNREADABLE;
  if (n < 0 && *state != found)
    USB_printf2("%s is %s: kept as it is, settings stay in memory only", path, mid_fileStateText(found));
  *state = n < 0 ? found : FILE_READABLE;
  return n;
}

// Writes a whole record unless its file was found unreadable (or is so now).
int writeWhole(const char *path, const void *record, std::size_t size, int state) {
  const int now = mid_fileState(path);
  if (state != FILE_READABLE || now == FILE_UNREADABLE || now == FILE_NOT_REGULAR) {
    USB_printf2("%s is %s: not written", path, mid_fileStateText(state != FILE_READABLE ? state : now));
    return -1;
  }
  return mid_fileReplace(path, record, size);
}
} // namespace

int settingsFileProblem(const char **name) {
  const char *file = nullptr;
  int state = FILE_ABSENT;
  if (configFileState != FILE_READABLE) {
    file = CONFIG_FILE;
    state = configFileState;
  } else if (turnRowFileState != FILE_READABLE) {
    file = TURN_ROW_FILE;
    state = turnRowFileState;
  }
  if (name != nullptr) *name = file;
  return state;
}

/* ---- configuration file ----------------------------------------------------------- */

int readConfigFromFile(int mode) {
  if (mode == 1) {
    // The full reset asks for a fresh file: one it could remove may be written again.
    if (removeConfigFile() == 0) configFileState = FILE_READABLE;
    std::memset(&config, 0, sizeof config);
    mid_sysReadSN(config.SerialNo, sizeof config.SerialNo);
    writeConfig2File();
  }
  // Read through a copy: a failed read must not leave config half overwritten.
  Config copy = config;
  const int n = readWhole(CONFIG_FILE, &copy, sizeof copy, &configFileState);
  if (n > 0) {
    terminateTextFields(copy);
    config = copy;
  }
  return n;
}

int writeConfig2File() { return writeWhole(CONFIG_FILE, &config, sizeof config, configFileState); }

int setDefaultValues() {
  setText(config.HostIP, DEFAULT_HOST_IP);
  config.HostPort = DEFAULT_HOST_PORT;
  setText(config.TMSHost, DEFAULT_TMS_HOST);
  config.TMSPort = DEFAULT_TMS_PORT;
  setText(config.NII, FIXED_NII);
  setText(config.MerchantPass, DEFAULT_MERCHANT_PASS);
  setText(config.SupervisorPass, DEFAULT_SUPERVISOR_PASS);
  config.passMustChange = 1;
  setText(config.softwareVersion, SOFTWARE_VERSION);
  config.connectionType = 0;
  setText(config.APN, DEFAULT_APN);
  setText(config.APNUser, "");
  setText(config.APNPass, "");
  config.askForSecondTicket = DEFAULT_SECOND_TICKET;
  config.sleepTimeout = DEFAULT_SLEEP_TIMEOUT;
  config.merchantTicketTimeout = DEFAULT_TICKET_TIMEOUT;
  config.keypadSound = DEFAULT_KEYPAD_SOUND;
  config.screenSaverMode = DEFAULT_SCREEN_SAVER;
  config.askShutDownTime = DEFAULT_ASK_SHUTDOWN;
  config.shutdownTimeout = DEFAULT_SHUTDOWN_TIMEOUT;
  config.linkMode = DEFAULT_LINK_MODE;
  config.reserved1296 = DEFAULT_RESERVED_1296;
  return writeConfig2File();
}

/* ---- counters ----------------------------------------------------------------------- */

int readTurnRowFromFile(int mode) {
  const TurnRow held = turnRow;
  setCounter(turnRow.batchNo, 1);
  setCounter(turnRow.stanNo, 1);
  if (mode == 1 && removeTurnRowFile() == 0) turnRowFileState = FILE_READABLE;
  TurnRow copy = turnRow;
  const int n = readWhole(TURN_ROW_FILE, &copy, sizeof copy, &turnRowFileState);
  if (n > 0) turnRow = copy;
  // A file that is there but unreadable is not a fresh start: counters held
  // in memory keep counting rather than repeat trace numbers.
  if (n < 0) turnRow = held;
  return n;
}

int writeTurnRow2File() { return writeWhole(TURN_ROW_FILE, &turnRow, sizeof turnRow, turnRowFileState); }

long setStanNumber(int markOriginal) {
  readTurnRowFromFile(0);
  long batch = counterValue(turnRow.batchNo);
  long stan = nextCounter(counterValue(turnRow.stanNo));
  if (stan == 1) batch = nextCounter(batch);
  setCounter(turnRow.batchNo, batch);
  setCounter(turnRow.stanNo, stan);
  if (markOriginal != 0) setCounter(turnRow.originalStan, stan);
  writeTurnRow2File();
  return counterValue(turnRow.lastSucceedStan);
}

int setLastSucceedStanNumber(long stan) {
  setCounter(turnRow.lastSucceedStan, stan < 0 ? 0 : stan);
  return writeTurnRow2File();
}

/* ---- removers ------------------------------------------------------------------------- */

int removeConfigFile() { return mid_fileRemove(CONFIG_FILE); }

int removeTurnRowFile() { return mid_fileRemove(TURN_ROW_FILE); }

int removeMerchantAccounts() { return mid_fileRemove(MERCHANT_ACCOUNTS_FILE); }

/* ---- start-up normalisation ------------------------------------------------------------- */

namespace {
bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

template <std::size_t N> bool hasControl(const char (&field)[N]) {
  for (std::size_t i = 0; i < N && field[i] != '\0'; ++i)
    if (isControl(static_cast<unsigned char>(field[i]))) return true;
  return false;
}

// Digits only, minLen..maxLen of them; empty passes when allowEmpty.
template <std::size_t N> bool digitsIn(const char (&field)[N], std::size_t minLen, std::size_t maxLen, bool allowEmpty) {
  const std::size_t len = strnlen(field, N);
  if (len == 0) return allowEmpty;
  if (len < minLen || len > maxLen) return false;
  for (std::size_t i = 0; i < len; ++i)
    if (field[i] < '0' || field[i] > '9') return false;
  return true;
}

// Dotted text of digits, as the address editor leaves it.
template <std::size_t N> bool dottedDigits(const char (&field)[N]) {
  for (std::size_t i = 0; i < N && field[i] != '\0'; ++i)
    if ((field[i] < '0' || field[i] > '9') && field[i] != '.') return false;
  return true;
}

void fixedInt(const char *name, int32_t *value, int32_t lo, int32_t hi, int32_t replacement) {
  if (*value >= lo && *value <= hi) return;
  USB_printf2("settings: %s %d out of %d..%d, set to %d", name, static_cast<int>(*value), static_cast<int>(lo),
              static_cast<int>(hi), static_cast<int>(replacement));
  *value = replacement;
}

void fixedByte(const char *name, uint8_t *value, uint8_t lo, uint8_t hi, uint8_t replacement) {
  if (*value >= lo && *value <= hi) return;
  USB_printf2("settings: %s %d out of %d..%d, set to %d", name, *value, lo, hi, replacement);
  *value = replacement;
}

template <std::size_t N> void fixedText(const char *name, char (&field)[N], bool sound, const char *replacement) {
  if (sound) return;
  // The stored text may be anything: it is not logged, only named.
  USB_printf2("settings: %s damaged, set to \"%s\"", name, replacement);
  setText(field, replacement);
}

// Control characters in a shown text become spaces: the rest of a name is kept.
template <std::size_t N> void blankControls(const char *name, char (&field)[N]) {
  if (!hasControl(field)) return;
  USB_printf2("settings: %s had control characters, replaced by spaces", name);
  for (std::size_t i = 0; i < N && field[i] != '\0'; ++i)
    if (isControl(static_cast<unsigned char>(field[i]))) field[i] = ' ';
}

// Settings a damaged file may carry outside what any screen or message could
// have stored, set as the defaults would set them.
void normalizeDomains() {
  fixedText("HostIP", config.HostIP, dottedDigits(config.HostIP), DEFAULT_HOST_IP);
  fixedInt("HostPort", &config.HostPort, 1, 65535, DEFAULT_HOST_PORT);
  fixedText("TMSHost", config.TMSHost, !hasControl(config.TMSHost) && config.TMSHost[0] != '\0', DEFAULT_TMS_HOST);
  fixedInt("TMSPort", &config.TMSPort, 1, 65535, DEFAULT_TMS_PORT);
  fixedText("MerchantPass", config.MerchantPass, digitsIn(config.MerchantPass, 4, 4, true), DEFAULT_MERCHANT_PASS);
  fixedText("SupervisorPass", config.SupervisorPass, digitsIn(config.SupervisorPass, 4, 4, true),
            DEFAULT_SUPERVISOR_PASS);
  fixedText("APN", config.APN, !hasControl(config.APN), DEFAULT_APN);
  fixedText("APNUser", config.APNUser, !hasControl(config.APNUser), "");
  fixedText("APNPass", config.APNPass, !hasControl(config.APNPass), "");
  fixedText("WiFiSsid", config.WiFiSsid, !hasControl(config.WiFiSsid), "");
  fixedText("WiFiPass", config.WiFiPass, !hasControl(config.WiFiPass), "");
  fixedInt("connectionType", &config.connectionType, 0, 1, 0);
  fixedInt("askForSecondTicket", &config.askForSecondTicket, 1, 3, DEFAULT_SECOND_TICKET);
  fixedInt("sleepTimeout", &config.sleepTimeout, 1, MAX_SLEEP_TIMEOUT, DEFAULT_SLEEP_TIMEOUT);
  fixedInt("keypadSound", &config.keypadSound, 1, 2, DEFAULT_KEYPAD_SOUND);
  // The identifiers come from the switch; a damaged one is cleared so that the
  // next logon fetches it again rather than sending garbage.
  fixedText("TerminalNo", config.TerminalNo, digitsIn(config.TerminalNo, 8, 8, true), "");
  fixedText("MerchantNo", config.MerchantNo, digitsIn(config.MerchantNo, 6, 15, true), "");
  blankControls("MerchantName", config.MerchantName);
  blankControls("merchantPhone", config.merchantPhone);
  fixedInt("passFailCount", &config.passFailCount, 0, INT32_MAX, 0);
  fixedInt("merchantTicketTimeout", &config.merchantTicketTimeout, 1, MAX_STORED_TICKET_TIMEOUT,
           DEFAULT_TICKET_TIMEOUT);
  fixedByte("askSleepTime", &config.askSleepTime, 1, 2, 1);
  fixedByte("askShutDownTime", &config.askShutDownTime, 1, 2, DEFAULT_ASK_SHUTDOWN);
  fixedInt("shutdownTimeout", &config.shutdownTimeout, MIN_SHUTDOWN_TIMEOUT, MAX_SHUTDOWN_TIMEOUT,
           DEFAULT_SHUTDOWN_TIMEOUT);
  fixedInt("screenSaverMode", &config.screenSaverMode, 1, 2, DEFAULT_SCREEN_SAVER);
  fixedByte("passMustChange", &config.passMustChange, 1, 2, 1);
  fixedText("taxCode", config.taxCode, !hasControl(config.taxCode), "");
}
} // namespace

void normalizeConfigAtStart() {
  readConfigFromFile(0);
  char serial[sizeof config.SerialNo] = {};
  mid_sysReadSN(serial, sizeof serial);
  if (std::strncmp(serial, config.SerialNo, sizeof config.SerialNo) != 0) config.reservedFlag = 0;
  setText(config.SerialNo, serial);
  std::memset(config.NII, 0, sizeof config.NII);
  writeConfig2File();
  // Kept in memory only here; the next write (after the debug unlock) stores it.
  setText(config.NII, FIXED_NII);
}

void normalizeConfigModuleInit() {
  readConfigFromFile(0);
  if (config.HostIP[0] == '\0') setDefaultValues();
  if (config.HostPort == RETIRED_HOST_PORT) config.HostPort = DEFAULT_HOST_PORT;
  if (config.TMSHost[0] == '\0') {
    setText(config.TMSHost, DEFAULT_TMS_HOST);
    config.TMSPort = DEFAULT_TMS_PORT;
  }
  if (config.keypadSound == 1) {
    mid_kbSetSound(0, KEY_CLICK_LEVEL);
  } else {
    mid_kbSetSound(1, 0);
  }
  config.linkMode = 0;
  if (config.askSleepTime == 0) config.askSleepTime = 1;
  if (config.askShutDownTime == 0) config.askShutDownTime = 1;
  if (config.screenSaverMode == 0) config.screenSaverMode = DEFAULT_SCREEN_SAVER;
  if (config.shutdownTimeout < MIN_SHUTDOWN_TIMEOUT) config.shutdownTimeout = DEFAULT_SHUTDOWN_TIMEOUT;
  if (config.askForSecondTicket == 0) config.askForSecondTicket = DEFAULT_SECOND_TICKET;
  if (config.sleepTimeout < 1) config.sleepTimeout = DEFAULT_SLEEP_TIMEOUT;
  if (config.merchantTicketTimeout < 1) config.merchantTicketTimeout = DEFAULT_TICKET_TIMEOUT;
  if (config.firstStartTime == 0) config.firstStartTime = static_cast<int32_t>(sys_clock() / 1000);
  if (config.passMustChange == 0) config.passMustChange = 1;
  normalizeDomains();
  setText(config.softwareVersion, SOFTWARE_VERSION);
  writeConfig2File();
}

void normalizeConfigImei() {
  if (!std::isdigit(static_cast<unsigned char>(config.IMEI[0]))) std::memset(config.IMEI, 0, sizeof config.IMEI);
  if (strnlen(config.IMEI, sizeof config.IMEI) < 10) {
    char imei[DLL_IMEI_SIZE * 2] = {};
    if (DLL_PppGetIMEI(imei) == DLL_OK) {
      imei[sizeof imei - 1] = '\0';
      setText(config.IMEI, imei);
    }
  }
  writeConfig2File();
}

/* ---- full reset ----------------------------------------------------------------------------- */

int resetFilingRecords() {
  setCounter(turnRow.batchNo, 1);
  setCounter(turnRow.stanNo, 0);
  setCounter(turnRow.lastSucceedStan, 0);
  writeTurnRow2File();
  readConfigFromFile(1); // starts from a zeroed record
  removeMerchantAccounts();
  std::memset(merchantAccounts, 0, sizeof merchantAccounts);
  mid_sysReadSN(config.SerialNo, sizeof config.SerialNo);
  config.reservedFlag = 1;
  setDefaultValues();
  return 0;
}
