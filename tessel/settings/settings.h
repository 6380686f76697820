// The settings record and its file config.qcf.
//
// The record is 3388 bytes, numbers little-endian, texts NUL-terminated in
// fixed fields. On disk every 0x0A byte of the record is stored as 0x0D 0x0A
// (the C runtime's text mode on the platform the tool came from); reading
// turns 0x0D 0x0A back into 0x0A. The translation is done here by hand so a
// file written on either platform reads the same on the other. Sections:
// the record, the defaults, the byte translation, load and save.
#ifndef TESSEL_SETTINGS_SETTINGS_H
#define TESSEL_SETTINGS_SETTINGS_H

#include <cstddef>
#include <cstdint>
#include <string>

struct TesselSettings {
  int32_t portIndex;            // serial port, 0 = COM1 ... 19 = COM20
  int32_t baudIndex;            // 0..7 into kBaudRates
  char bootPath[256];           // boot code image path
  char appPath[256];            // operating system image path
  char morePaths[2560];         // further image paths; no page shows them, kept as read
  char serialNumber[33];        // terminal serial number text; kept as read
  uint8_t reserved3113[5];      // kept as read
  uint8_t transport;            // 0 serial, 1 USB
  uint8_t bootTicked;           // firmware page: "boot" ticked (1) or not (0)
  uint8_t appTicked;            // firmware page: "app" ticked
  uint8_t reserved3121[8];      // kept as read
  uint8_t value3129[8];         // 8-byte value, not zero by default (see kValue3129Default)
  uint8_t reserved3137;         // kept as read
  uint8_t marker3138[2];        // 0xFF 0xFF by default
  uint8_t version[2];           // 0x00 0x01; anything else resets the record
  uint8_t unused[246];
};
static_assert(sizeof(TesselSettings) == 3388);
static_assert(offsetof(TesselSettings, portIndex) == 0);
static_assert(offsetof(TesselSettings, baudIndex) == 4);
static_assert(offsetof(TesselSettings, bootPath) == 8);
static_assert(offsetof(TesselSettings, appPath) == 264);
static_assert(offsetof(TesselSettings, morePaths) == 520);
static_assert(offsetof(TesselSettings, serialNumber) == 3080);
static_assert(offsetof(TesselSettings, reserved3113) == 3113);
static_assert(offsetof(TesselSettings, transport) == 3118);
static_assert(offsetof(TesselSettings, bootTicked) == 3119);
static_assert(offsetof(TesselSettings, appTicked) == 3120);
static_assert(offsetof(TesselSettings, reserved3121) == 3121);
static_assert(offsetof(TesselSettings, value3129) == 3129);
static_assert(offsetof(TesselSettings, reserved3137) == 3137);
static_assert(offsetof(TesselSettings, marker3138) == 3138);
static_assert(offsetof(TesselSettings, version) == 3140);
static_assert(offsetof(TesselSettings, unused) == 3142);

constexpr size_t kSettingsSize = sizeof(TesselSettings);
constexpr const char* kSettingsFileName = "config.qcf";

// Speed list of the "Comm set" page; the list index is the baud index.
constexpr uint32_t kBaudRates[8] = {115200, 57600, 38400, 28800, 19200, 14400, 9600, 230400};
constexpr int kBaudIndex230400 = 7;

// Default of the 8-byte value at 3129: the link speed 115200 as a 64-bit
// little-endian number. No page reads it; it only has to be non-zero.
constexpr uint8_t kValue3129Default[8] = {0x00, 0xC2, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};

// The process-wide record, loaded once by the main dialog.
extern TesselSettings settings;

void settingsDefaults(TesselSettings* rec);

// Record bytes to file bytes (0x0A -> 0x0D 0x0A) and back. Decoding turns
// only 0x0D 0x0A pairs into 0x0A; every other byte, 0x1A included, is kept.
std::string settingsEncode(const TesselSettings& rec);
// Takes the first 3388 decoded bytes. Returns false (record untouched) when
// the file holds fewer.
bool settingsDecode(const uint8_t* file, size_t size, TesselSettings* rec);

enum class SettingsLoad {
  Loaded,        // read, version 0x00 0x01
  Reset,         // read, but the version (or length) was wrong: defaults in memory
  Created,       // no file: created with the defaults
  CreateFailed,  // no file and none could be made: defaults in memory
};
SettingsLoad loadSettings(const char* path, TesselSettings* rec);
// Writes the whole record; false when the file cannot be written.
bool saveSettings(const char* path, const TesselSettings& rec);

// "<dir><sep>config.qcf" for the directory current at start-up.
std::string settingsPathIn(const char* dir);

// The text fields as C strings even when the file left no NUL in them.
std::string settingsText(const char* field, size_t size);
// Copies a string into a fixed field, cut to fit and NUL-terminated.
void settingsSetText(char* field, size_t size, const std::string& value);

#endif
