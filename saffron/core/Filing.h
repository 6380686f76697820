/*
 * Filing.h - the terminal's settings: the configuration record, the
 * trace-number counters, the merchant-accounts table, and the files that hold
 * them byte for byte.
 *
 * Sections: file names and defaults, the Config record (p_Config.dat), the
 * TurnRow record (p_StanFile.dat), the merchant-accounts table, operations.
 *
 * Every record is a plain binary image of its file: little-endian 32-bit
 * integers, text fields NUL-terminated and NUL-padded. Fields nothing reads
 * still belong to the layout. Whole-record writes go through mid_fileReplace,
 * so a power loss mid-write leaves the previous file intact.
 */
#ifndef SAFFRON_CORE_FILING_H
#define SAFFRON_CORE_FILING_H

#include <cstddef>
#include <cstdint>

/* ---- file names and defaults ------------------------------------------------ */

constexpr const char *CONFIG_FILE = "p_Config.dat";
constexpr const char *TURN_ROW_FILE = "p_StanFile.dat";
constexpr const char *MERCHANT_ACCOUNTS_FILE = "p_MerchantAccountsFile.dat";

constexpr const char *DEFAULT_HOST_IP = "087.107.134.151";
constexpr int DEFAULT_HOST_PORT = 4080;
constexpr int RETIRED_HOST_PORT = 4020; // old switch port; moved to DEFAULT_HOST_PORT at start-up
// The update server's default name. Under the reserved .invalid domain so it
// can never resolve: a terminal only talks to an update server it was given.
constexpr const char *DEFAULT_TMS_HOST = "tms.saffron.invalid";
constexpr int DEFAULT_TMS_PORT = 1010;
constexpr const char *DEFAULT_MERCHANT_PASS = "4817";
constexpr const char *DEFAULT_SUPERVISOR_PASS = "6390";
constexpr const char *FIXED_NII = "0006";
constexpr const char *DEFAULT_APN = "mcinet";
constexpr const char *SOFTWARE_VERSION = "14012406005";
constexpr int DEFAULT_SECOND_TICKET = 3;      // do not print the merchant copy
constexpr int DEFAULT_SLEEP_TIMEOUT = 1;      // idle minutes
constexpr int DEFAULT_TICKET_TIMEOUT = 3;     // seconds between customer and merchant receipt
constexpr int DEFAULT_KEYPAD_SOUND = 1;       // key click on
constexpr int DEFAULT_SCREEN_SAVER = 1;       // screen off
constexpr int DEFAULT_ASK_SHUTDOWN = 2;       // automatic power-off disabled
constexpr int DEFAULT_SHUTDOWN_TIMEOUT = 30;  // idle minutes
constexpr int MIN_SHUTDOWN_TIMEOUT = 15;      // below this a stored value is replaced at start-up
constexpr int MAX_SHUTDOWN_TIMEOUT = 60;      // above it too
constexpr int MAX_SLEEP_TIMEOUT = 10;         // idle minutes
constexpr int MAX_STORED_TICKET_TIMEOUT = 99; // two digits on the screen
constexpr int DEFAULT_LINK_MODE = 1;
constexpr int DEFAULT_RESERVED_1296 = 3520;   // written by the defaults, read by nothing
constexpr int KEY_CLICK_LEVEL = 50;

/* ---- the Config record: p_Config.dat, 1356 bytes ----------------------------- */

struct Config {
  int32_t reserved0;              // zero
  char HostIP[32];                // switch address as typed, dotted text (leading zeros allowed)
  int32_t HostPort;               // switch TCP port
  char TMSHost[32];               // update (TMS) server host name
  int32_t TMSPort;                // update server port
  char reserved76[36];            // zero
  char MerchantPass[16];          // terminal (merchant) password, 4 digits
  char SupervisorPass[16];        // supervisor password, 4 digits
  char NII[8];                    // network international identifier, 4 digits ("0006")
  int32_t merchantParam49;        // tag 49 of the merchant-information reply; not read otherwise
  char reserved156[8];            // zero
  char APN[64];                   // GPRS access point name
  char APNUser[64];               // GPRS user name
  char APNPass[64];               // GPRS password
  char WiFiSsid[32];              // SSID of the chosen WiFi network
  char WiFiPass[32];              // its pass phrase
  int32_t connectionType;         // 0 GPRS, 1 WiFi
  int32_t askForSecondTicket;     // merchant copy: 1 print, 2 after confirmation, 3 do not print
  int32_t sleepTimeout;           // idle minutes before sleeping, 1..10
  int32_t keypadSound;            // 1 key click on, 2 off
  char SerialNo[32];              // device serial number, re-read at every start
  char TerminalNo[16];            // terminal identifier, 8 digits
  char MerchantNo[32];            // merchant (acceptor) identifier, 6..15 digits
  char MerchantName[512];         // merchant name, UTF-8
  char merchantPhone[24];         // merchant telephone (tag 34)
  char merchantExtra[152];        // tag 35 text; not shown or printed
  int32_t passFailCount;          // consecutive wrong terminal passwords; 3 or more locks
  char softwareVersion[32];       // application version text
  int32_t merchantTicketTimeout;  // seconds between customer and merchant receipt, at least 2
  char selectedAccount[32];       // key of the merchant's selected account
  uint8_t reservedFlag;           // 1 after a full reset; cleared when the serial number changes
  uint8_t pad1277[3];
  int32_t linkMode;               // handed to the link layer's connect and exchange
  int32_t firstStartTime;         // seconds since 1970 of the first start; set once
  uint8_t askSleepTime;           // 1 sleeping enabled, 2 disabled
  uint8_t askShutDownTime;        // 1 automatic power-off enabled, 2 disabled
  uint8_t pad1290[2];
  int32_t shutdownTimeout;        // idle minutes before automatic power-off, 15..60
  int32_t reserved1296;           // 3520 after defaults; not read
  int32_t screenSaverMode;        // 1 screen off, 2 all modules off; stored only
  uint8_t passMustChange;         // 1 must change at next use, 2 changed
  char taxCode[32];               // 16-character tax code (tag 98); printed when not empty
  char IMEI[17];                  // modem IMEI, digits
  uint8_t pad1354[2];
};

static_assert(sizeof(Config) == 1356, "p_Config.dat is 1356 bytes");
static_assert(offsetof(Config, reserved0) == 0);
static_assert(offsetof(Config, HostIP) == 4);
static_assert(offsetof(Config, HostPort) == 36);
static_assert(offsetof(Config, TMSHost) == 40);
static_assert(offsetof(Config, TMSPort) == 72);
static_assert(offsetof(Config, reserved76) == 76);
static_assert(offsetof(Config, MerchantPass) == 112);
static_assert(offsetof(Config, SupervisorPass) == 128);
static_assert(offsetof(Config, NII) == 144);
static_assert(offsetof(Config, merchantParam49) == 152);
static_assert(offsetof(Config, reserved156) == 156);
static_assert(offsetof(Config, APN) == 164);
static_assert(offsetof(Config, APNUser) == 228);
static_assert(offsetof(Config, APNPass) == 292);
static_assert(offsetof(Config, WiFiSsid) == 356);
static_assert(offsetof(Config, WiFiPass) == 388);
static_assert(offsetof(Config, connectionType) == 420);
static_assert(offsetof(Config, askForSecondTicket) == 424);
static_assert(offsetof(Config, sleepTimeout) == 428);
static_assert(offsetof(Config, keypadSound) == 432);
static_assert(offsetof(Config, SerialNo) == 436);
static_assert(offsetof(Config, TerminalNo) == 468);
static_assert(offsetof(Config, MerchantNo) == 484);
static_assert(offsetof(Config, MerchantName) == 516);
static_assert(offsetof(Config, merchantPhone) == 1028);
static_assert(offsetof(Config, merchantExtra) == 1052);
static_assert(offsetof(Config, passFailCount) == 1204);
static_assert(offsetof(Config, softwareVersion) == 1208);
static_assert(offsetof(Config, merchantTicketTimeout) == 1240);
static_assert(offsetof(Config, selectedAccount) == 1244);
static_assert(offsetof(Config, reservedFlag) == 1276);
static_assert(offsetof(Config, pad1277) == 1277);
static_assert(offsetof(Config, linkMode) == 1280);
static_assert(offsetof(Config, firstStartTime) == 1284);
static_assert(offsetof(Config, askSleepTime) == 1288);
static_assert(offsetof(Config, askShutDownTime) == 1289);
static_assert(offsetof(Config, pad1290) == 1290);
static_assert(offsetof(Config, shutdownTimeout) == 1292);
static_assert(offsetof(Config, reserved1296) == 1296);
static_assert(offsetof(Config, screenSaverMode) == 1300);
static_assert(offsetof(Config, passMustChange) == 1304);
static_assert(offsetof(Config, taxCode) == 1305);
static_assert(offsetof(Config, IMEI) == 1337);
static_assert(offsetof(Config, pad1354) == 1354);

extern Config config;

/* ---- the TurnRow record: p_StanFile.dat, 28 bytes ----------------------------- */

// Each counter is six ASCII digits and a NUL ("%06ld").
struct TurnRow {
  char batchNo[7];         // turn (batch) number
  char stanNo[7];          // last trace number (STAN) issued
  char lastSucceedStan[7]; // trace number of the last answered request
  char originalStan[7];    // trace number kept as the original of the current transaction
};

static_assert(sizeof(TurnRow) == 28, "p_StanFile.dat is 28 bytes");
static_assert(offsetof(TurnRow, batchNo) == 0);
static_assert(offsetof(TurnRow, stanNo) == 7);
static_assert(offsetof(TurnRow, lastSucceedStan) == 14);
static_assert(offsetof(TurnRow, originalStan) == 21);

extern TurnRow turnRow;

/* ---- the merchant-accounts table: p_MerchantAccountsFile.dat ------------------ */

constexpr int MERCHANT_ACCOUNT_COUNT = 20;

struct MerchantAccount {
  char accountId[32];     // key referred to by config.selectedAccount
  char description[128];  // UTF-8
};

static_assert(sizeof(MerchantAccount) == 160);
static_assert(offsetof(MerchantAccount, accountId) == 0);
static_assert(offsetof(MerchantAccount, description) == 32);

extern MerchantAccount merchantAccounts[MERCHANT_ACCOUNT_COUNT];

/* ---- operations ------------------------------------------------------------------- */

// mode 1 first recreates the file from a zeroed record carrying the device
// serial number. Then reads up to 1356 bytes over config (a short file leaves
// the rest as it was). Returns the byte count read, or -1 when the file cannot
// be opened.
int readConfigFromFile(int mode);
// Writes the whole record. Returns 1356, or -1 (the old file is then untouched).
int writeConfig2File();
// Applies the default settings over config, leaving the other fields, and writes the file.
int setDefaultValues();

// Sets batchNo and stanNo to "000001" in memory; mode 1 removes the file;
// then reads up to 28 bytes over turnRow. Returns the byte count or -1.
int readTurnRowFromFile(int mode);
// Writes the 28 bytes. Returns 28 or -1.
int writeTurnRow2File();
// Advances the trace number before a request (999999 wraps to 1 and moves the
// batch on, which itself wraps the same way); with markOriginal non-zero the
// new number also becomes originalStan. Writes the file. Returns lastSucceedStan.
long setStanNumber(int markOriginal);
// Records the trace number of the last answered request and writes the file.
int setLastSucceedStanNumber(long stan);

int removeConfigFile();
int removeTurnRowFile();
int removeMerchantAccounts();

// Start-up normalisation, in the order start-up calls them.
// Step 1 (main): re-reads the file, takes the device serial number (a new one
// clears reservedFlag), writes the file, then fixes NII in memory.
void normalizeConfigAtStart();
// Step 2 (moduleInit): defaults when no switch is set, old port, empty update
// server, key click, and every out-of-range setting (a damaged file's values
// outside their domain are set as the defaults would, each fix logged); writes the file.
void normalizeConfigModuleInit();
// Step 3 (after the bearer is up): clears an IMEI that does not start with a
// digit and reads a short one from the modem; writes the file.
void normalizeConfigImei();

// The settings' part of the full reset (core/FullReset.h adds the journal):
// counters back to batch 1 / trace 0 (originalStan kept), a fresh
// configuration with defaults carrying the device serial number, the accounts
// file and table gone. Returns 0.
int resetFilingRecords();

// A settings file that is there but could not be read: FILE_UNREADABLE or
// FILE_NOT_REGULAR (core/file.h), with *name its file name; FILE_ABSENT when
// both read soundly. Such a file is not written until it reads again.
int settingsFileProblem(const char **name);

#endif
