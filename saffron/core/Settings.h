/*
 * Settings.h - the settings a person may change (switch and update-server
 * addresses, bearer, receipts, keypad, power-off), checked once for the
 * screens and the provisioning command alike, and the supervisor password.
 *
 * Sections: checks, changing a setting by name, the supervisor password.
 */
#ifndef SAFFRON_CORE_SETTINGS_H
#define SAFFRON_CORE_SETTINGS_H

#include <cstddef>

/* ---- checks ---------------------------------------------------------------------- */

// Dotted IPv4 text as the address editor produces it: four parts of 1 to 3
// digits, each at most 254 as the editor takes them (leading zeros allowed).
bool validIpAddress(const char *text);
// A port as the screens take it: 3 to 5 digits, 1..65535.
bool validPort(const char *text);
constexpr int MIN_TICKET_TIMEOUT = 2;   // seconds between the two receipts
constexpr int MAX_TICKET_TIMEOUT = 99;  // two digits
constexpr int MIN_POWER_OFF_MINUTES = 15;
constexpr int MAX_POWER_OFF_MINUTES = 60;

/* ---- changing a setting by name ----------------------------------------------------- */

// One line of the settings that can be named: its name and what it takes.
struct SettingInfo {
  const char *name;
  const char *accepts;
};
extern const SettingInfo SETTINGS[];
extern const std::size_t SETTINGS_COUNT;

// Checks value for the named setting and, when it passes, stores it in config
// (in memory; the caller writes the file). 0, or -1 with a reason in error
// (config unchanged) for an unknown name or a value the screens would refuse.
int setSettingByName(const char *name, const char *value, char *error, std::size_t errorSize);
// The current value of a named setting as text; false for an unknown name.
bool settingText(const char *name, char *out, std::size_t outSize);

/* ---- the supervisor password ------------------------------------------------------------ */

// The supervisor password of a terminal on a day: HMAC-SHA-256 keyed with the
// build's secret over the serial number, a '|' and the Gregorian date
// (YYYYMMDD); the first four bytes of the digest, big-endian, modulo 10000,
// as four digits. out holds at least 5 bytes. Never logged.
void supervisorCode(const char *serial, const char *date, char *out, std::size_t outSize);
// The same for the terminal's own serial number and today's date on its clock.
void todaysSupervisorCode(char *out, std::size_t outSize);

#endif
