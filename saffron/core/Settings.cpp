/*
 * Settings.cpp - checks of the settings a person may change, changing them by
 * name for the provisioning command, and the supervisor password.
 */
#include "core/Settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/Filing.h"
#include "core/clock.h"
#include "util/Sha256.h"

#ifndef SUPERVISOR_SECRET
#error "SUPERVISOR_SECRET comes from the build (CMake setting SUPERVISOR_SECRET)"
#endif

namespace {

bool allDigits(const char *text, std::size_t minLen, std::size_t maxLen) {
  const std::size_t len = std::strlen(text);
  if (len < minLen || len > maxLen) return false;
  for (std::size_t i = 0; i < len; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// A whole decimal number within [lo, hi] of at most maxDigits digits.
bool numberIn(const char *text, std::size_t maxDigits, long lo, long hi, long *value) {
  if (!allDigits(text, 1, maxDigits)) return false;
  const long v = std::strtol(text, nullptr, 10);
  if (v < lo || v > hi) return false;
  *value = v;
  return true;
}

template <std::size_t N> bool copyText(char (&field)[N], const char *text) {
  if (std::strlen(text) >= N) return false;
  std::memset(field, 0, N);
  std::memcpy(field, text, std::strlen(text));
  return true;
}

void reason(char *error, std::size_t size, const char *name, const char *what) {
  if (error != nullptr && size > 0) std::snprintf(error, size, "%s wants %s", name, what);
}

} // namespace

bool validIpAddress(const char *text) {
  if (text == nullptr) return false;
  int parts = 0;
  const char *p = text;
  for (;;) {
    int digits = 0, value = 0;
    while (*p >= '0' && *p <= '9') {
      value = value * 10 + (*p - '0');
      if (++digits > 3) return false;
      ++p;
    }
    if (digits == 0 || value > 254) return false; // the address editor's limit
    ++parts;
    if (*p == '\0') return parts == 4;
    if (*p != '.' || parts == 4) return false;
    ++p;
  }
}

bool validPort(const char *text) {
  long port = 0;
  return text != nullptr && allDigits(text, 3, 5) && numberIn(text, 5, 1, 65535, &port);
}

const SettingInfo SETTINGS[] = {
    {"HostIP", "a dotted IPv4 address (four parts 0..254)"},
    {"HostPort", "3 to 5 digits, 1..65535"},
    {"TMSHost", "a dotted IPv4 address (four parts 0..254)"},
    {"TMSPort", "3 to 5 digits, 1..65535"},
    {"connectionType", "0 (GPRS) or 1 (WiFi)"},
    {"askForSecondTicket", "1 (print), 2 (print after confirmation) or 3 (do not print)"},
    {"merchantTicketTimeout", "seconds, 2..99"},
    {"keypadSound", "1 (on) or 2 (off)"},
    {"askShutDownTime", "1 (automatic power-off) or 2 (none)"},
    {"shutdownTimeout", "minutes, 15..60"},
};
const std::size_t SETTINGS_COUNT = sizeof SETTINGS / sizeof SETTINGS[0];

int setSettingByName(const char *name, const char *value, char *error, std::size_t errorSize) {
  if (name == nullptr || value == nullptr) return -1;
  const SettingInfo *info = nullptr;
  for (const SettingInfo &s : SETTINGS)
    if (std::strcmp(s.name, name) == 0) info = &s;
  if (info == nullptr) {
    if (error != nullptr && errorSize > 0) std::snprintf(error, errorSize, "no setting is called %s", name);
    return -1;
  }
  long v = 0;
  bool ok = false;
  const std::string_view n(name);
  if (n == "HostIP") ok = validIpAddress(value) && copyText(config.HostIP, value);
  else if (n == "TMSHost") ok = validIpAddress(value) && copyText(config.TMSHost, value);
  else if (n == "HostPort" || n == "TMSPort") {
    ok = validPort(value);
    if (ok) (n == "HostPort" ? config.HostPort : config.TMSPort) = static_cast<int32_t>(std::strtol(value, nullptr, 10));
  } else if (n == "connectionType" && (ok = numberIn(value, 1, 0, 1, &v))) config.connectionType = static_cast<int32_t>(v);
  else if (n == "askForSecondTicket" && (ok = numberIn(value, 1, 1, 3, &v))) config.askForSecondTicket = static_cast<int32_t>(v);
  else if (n == "merchantTicketTimeout" && (ok = numberIn(value, 2, MIN_TICKET_TIMEOUT, MAX_TICKET_TIMEOUT, &v)))
    config.merchantTicketTimeout = static_cast<int32_t>(v);
  else if (n == "keypadSound" && (ok = numberIn(value, 1, 1, 2, &v))) config.keypadSound = static_cast<int32_t>(v);
  else if (n == "askShutDownTime" && (ok = numberIn(value, 1, 1, 2, &v))) config.askShutDownTime = static_cast<uint8_t>(v);
  else if (n == "shutdownTimeout" && (ok = numberIn(value, 2, MIN_POWER_OFF_MINUTES, MAX_POWER_OFF_MINUTES, &v)))
    config.shutdownTimeout = static_cast<int32_t>(v);
  if (!ok) reason(error, errorSize, name, info->accepts);
  return ok ? 0 : -1;
}

bool settingText(const char *name, char *out, std::size_t outSize) {
  if (name == nullptr || out == nullptr || outSize == 0) return false;
  const std::string_view n(name);
  if (n == "HostIP") std::snprintf(out, outSize, "%.*s", static_cast<int>(sizeof config.HostIP), config.HostIP);
  else if (n == "TMSHost") std::snprintf(out, outSize, "%.*s", static_cast<int>(sizeof config.TMSHost), config.TMSHost);
  else if (n == "HostPort") std::snprintf(out, outSize, "%d", config.HostPort);
  else if (n == "TMSPort") std::snprintf(out, outSize, "%d", config.TMSPort);
  else if (n == "connectionType") std::snprintf(out, outSize, "%d", config.connectionType);
  else if (n == "askForSecondTicket") std::snprintf(out, outSize, "%d", config.askForSecondTicket);
  else if (n == "merchantTicketTimeout") std::snprintf(out, outSize, "%d", config.merchantTicketTimeout);
  else if (n == "keypadSound") std::snprintf(out, outSize, "%d", config.keypadSound);
  else if (n == "askShutDownTime") std::snprintf(out, outSize, "%d", config.askShutDownTime);
  else if (n == "shutdownTimeout") std::snprintf(out, outSize, "%d", config.shutdownTimeout);
  else return false;
  return true;
}

void supervisorCode(const char *serial, const char *date, char *out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return;
  char message[96] = {};
  std::snprintf(message, sizeof message, "%s|%s", serial != nullptr ? serial : "", date != nullptr ? date : "");
  static const char secret[] = SUPERVISOR_SECRET;
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  hmacSha256(secret, sizeof secret - 1, message, std::strlen(message), digest);
  const std::uint32_t head = static_cast<std::uint32_t>(digest[0]) << 24 | static_cast<std::uint32_t>(digest[1]) << 16 |
                             static_cast<std::uint32_t>(digest[2]) << 8 | digest[3];
  std::snprintf(out, outSize, "%04u", static_cast<unsigned>(head % 10000));
  std::memset(digest, 0, sizeof digest);
}

void todaysSupervisorCode(char *out, std::size_t outSize) {
  int dt[DATE_TIME_FIELDS] = {};
  getDateTime(dt);
  char date[16] = {};
  std::snprintf(date, sizeof date, "%04d%02d%02d", dt[DT_YEAR] + 2000, dt[DT_MONTH], dt[DT_DAY]);
  char serial[sizeof config.SerialNo + 1] = {};
  std::memcpy(serial, config.SerialNo, strnlen(config.SerialNo, sizeof config.SerialNo));
  supervisorCode(serial, date, out, outSize);
}
