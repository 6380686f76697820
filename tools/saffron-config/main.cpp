/*
 * saffron-config - provisions a terminal's working folder: shows its settings,
 * changes them with the checks the terminal's own screens apply, and gives the
 * service engineer the supervisor password of a day.
 *
 *   saffron-config DIR show
 *   saffron-config DIR set FIELD=VALUE ...
 *   saffron-config DIR supervisor-code [YYYYMMDD [SERIAL]]
 *
 * A folder without settings gets the terminal's defaults, as its first start
 * would write them. Every value of a set is checked before anything is
 * written: one bad value and the file stays as it was (exit status 2).
 */
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/Filing.h"
#include "core/Settings.h"
#include "core/file.h"

namespace {

constexpr int EXIT_USAGE = 2;
constexpr int EXIT_FILE = 1;

int usage() {
  std::fprintf(stderr,
               "usage: saffron-config DIR show\n"
               "       saffron-config DIR set FIELD=VALUE ...\n"
               "       saffron-config DIR supervisor-code [YYYYMMDD [SERIAL]]\n"
               "settings that set takes:\n");
  for (std::size_t i = 0; i < SETTINGS_COUNT; ++i)
    std::fprintf(stderr, "  %-22s %s\n", SETTINGS[i].name, SETTINGS[i].accepts);
  return EXIT_USAGE;
}

// Reads the folder's settings, or the defaults when it has none yet. false when
// the file exists but cannot be read whole.
bool loadSettings(bool *fresh) {
  std::memset(&config, 0, sizeof config);
  *fresh = mid_fileExist(CONFIG_FILE) != 1;
  if (*fresh) {
    // The terminal's own defaults; setDefaultValues also writes them, but a
    // folder gets a settings file only from a set that passed every check.
    setDefaultValues();
    removeConfigFile();
    return true;
  }
  return readConfigFromFile(0) == static_cast<int>(sizeof config);
}

void printText(const char *label, const char *field, std::size_t size) {
  std::printf("%-22s %.*s\n", label, static_cast<int>(strnlen(field, size)), field);
}

int show() {
  for (std::size_t i = 0; i < SETTINGS_COUNT; ++i) {
    char value[64] = {};
    settingText(SETTINGS[i].name, value, sizeof value);
    std::printf("%-22s %s\n", SETTINGS[i].name, value);
  }
  printText("SerialNo", config.SerialNo, sizeof config.SerialNo);
  printText("TerminalNo", config.TerminalNo, sizeof config.TerminalNo);
  printText("MerchantNo", config.MerchantNo, sizeof config.MerchantNo);
  printText("MerchantName", config.MerchantName, sizeof config.MerchantName);
  printText("softwareVersion", config.softwareVersion, sizeof config.softwareVersion);
  return 0;
}

bool validDate(const char *text) {
  if (std::strlen(text) != 8) return false;
  for (int i = 0; i < 8; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  int y = 0, m = 0, d = 0;
  std::sscanf(text, "%4d%2d%2d", &y, &m, &d);
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return y >= 2000 && m >= 1 && m <= 12 && d >= 1 && d <= (m == 2 && !leap ? 28 : days[m - 1]);
}

// The code of a day for the folder's serial number, or for the serial the
// terminal shows on its password screen when one is given.
int supervisor(const char *date, const char *givenSerial) {
  char today[16] = {};
  if (date == nullptr) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(today, sizeof today, "%Y%m%d", &local);
    date = today;
  }
  if (!validDate(date)) {
    std::fprintf(stderr, "saffron-config: supervisor-code wants a date YYYYMMDD, not \"%s\"\n", date);
    return EXIT_USAGE;
  }
  char serial[sizeof config.SerialNo + 1] = {};
  if (givenSerial != nullptr) {
    if (givenSerial[0] == '\0' || std::strlen(givenSerial) >= sizeof config.SerialNo) {
      std::fprintf(stderr, "saffron-config: a serial number has 1 to %zu characters\n", sizeof config.SerialNo - 1);
      return EXIT_USAGE;
    }
    std::memcpy(serial, givenSerial, std::strlen(givenSerial));
  } else if (config.SerialNo[0] == '\0') {
    std::fprintf(stderr, "saffron-config: this terminal has no serial number yet (start it once, or give it)\n");
    return EXIT_FILE;
  } else {
    std::memcpy(serial, config.SerialNo, strnlen(config.SerialNo, sizeof config.SerialNo));
  }
  char code[8] = {};
  supervisorCode(serial, date, code, sizeof code);
  std::printf("%s\n", code);
  return 0;
}

int set(int count, char **pairs) {
  if (count == 0) return usage();
  for (int i = 0; i < count; ++i) {
    const char *eq = std::strchr(pairs[i], '=');
    if (eq == nullptr || eq == pairs[i]) {
      std::fprintf(stderr, "saffron-config: \"%s\" is not FIELD=VALUE; nothing was changed\n", pairs[i]);
      return EXIT_USAGE;
    }
    const std::string name(pairs[i], static_cast<std::size_t>(eq - pairs[i]));
    char error[160] = {};
    if (setSettingByName(name.c_str(), eq + 1, error, sizeof error) != 0) {
      std::fprintf(stderr, "saffron-config: %s (got \"%s\"); nothing was changed\n", error, eq + 1);
      return EXIT_USAGE;
    }
  }
  if (writeConfig2File() != static_cast<int>(sizeof config)) {
    std::fprintf(stderr, "saffron-config: cannot write %s: %s\n", CONFIG_FILE, std::strerror(errno));
    return EXIT_FILE;
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) return usage();
  const std::string command = argv[2];
  if (command != "show" && command != "set" && command != "supervisor-code") return usage();
  if (chdir(argv[1]) != 0) {
    std::fprintf(stderr, "saffron-config: cannot enter the terminal folder %s: %s\n", argv[1], std::strerror(errno));
    return EXIT_FILE;
  }
  bool fresh = false;
  if (!loadSettings(&fresh)) {
    std::fprintf(stderr, "saffron-config: %s/%s is not a settings file of %zu bytes\n", argv[1], CONFIG_FILE,
                 sizeof config);
    return EXIT_FILE;
  }
  if (command == "show") return argc == 3 ? show() : usage();
  if (command == "supervisor-code")
    return argc <= 5 ? supervisor(argc >= 4 ? argv[3] : nullptr, argc == 5 ? argv[4] : nullptr) : usage();
  return set(argc - 3, argv + 3);
}
