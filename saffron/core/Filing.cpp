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

int readWhole(const char *path, void *record, std::size_t size) {
  const int fd = mid_fileOpen(path, O_RDWR | O_CREAT);
  if (fd < 0) return -1;
  const int n = mid_fileRead(fd, record, size);
  mid_fileClose(fd);
  return n;
}
} // namespace

/* ---- configuration file ----------------------------------------------------------- */

int readConfigFromFile(int mode) {
  if (mode == 1) {
    removeConfigFile();
    std::memset(&config, 0, sizeof config);
    mid_sysReadSN(config.SerialNo, sizeof config.SerialNo);
    writeConfig2File();
  }
  // Read through a copy: a failed read must not leave config half overwritten.
  Config copy = config;
  const int n = readWhole(CONFIG_FILE, &copy, sizeof copy);
  if (n > 0) {
    terminateTextFields(copy);
    config = copy;
  }
  return n;
}

int writeConfig2File() { return mid_fileReplace(CONFIG_FILE, &config, sizeof config); }

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
  setCounter(turnRow.batchNo, 1);
  setCounter(turnRow.stanNo, 1);
  if (mode == 1) removeTurnRowFile();
  TurnRow copy = turnRow;
  const int n = readWhole(TURN_ROW_FILE, &copy, sizeof copy);
  if (n > 0) turnRow = copy;
  return n;
}

int writeTurnRow2File() { return mid_fileReplace(TURN_ROW_FILE, &turnRow, sizeof turnRow); }

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
