/*
 * fuzz_settings.cpp - what saffron-config reads: a terminal folder's
 * p_Config.dat of any length and content, and FIELD=VALUE words from its
 * command line. The first two bytes give the settings file's length (at most
 * what is left); the rest are the words, one per line.
 *
 * A refused value must leave the record as it was; every named setting's text
 * stays within its buffer whatever the file held.
 */
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/Filing.h"
#include "core/Settings.h"
#include "sim.h"
#include "support/scratch.h"

namespace {
void showAll() {
  char text[64];
  for (std::size_t i = 0; i < SETTINGS_COUNT; ++i) {
    std::memset(text, 0x55, sizeof text);
    if (!settingText(SETTINGS[i].name, text, sizeof text)) __builtin_trap(); // every listed name answers
    if (std::memchr(text, '\0', sizeof text) == nullptr) __builtin_trap();
  }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  fuzzsupport::keepCallerPaths(argc, argv);
  sim::resetForTest(fuzzsupport::scratchDir("fuzz_settings").c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  sim::resetForTest(); // a fresh device; the folder stays
  const size_t rest = size - 2;
  size_t fileBytes = (static_cast<size_t>(data[0]) << 8) | data[1];
  if (fileBytes > rest) fileBytes = rest;
  fuzzsupport::writeFile(CONFIG_FILE, data + 2, fileBytes);
  config = Config{};
  readConfigFromFile(0);
  showAll();

  const std::string words(reinterpret_cast<const char *>(data + 2 + fileBytes), rest - fileBytes);
  size_t start = 0;
  while (start <= words.size()) {
    size_t end = words.find('\n', start);
    if (end == std::string::npos) end = words.size();
    const std::string word = words.substr(start, end - start);
    start = end + 1;
    const size_t eq = word.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = word.substr(0, eq);
    const std::string value = word.substr(eq + 1);
    const Config before = config;
    char error[128];
    if (setSettingByName(name.c_str(), value.c_str(), error, sizeof error) != 0 &&
        std::memcmp(&before, &config, sizeof config) != 0)
      __builtin_trap(); // a refused value changed the settings
  }
  showAll();
  writeConfig2File();
  return 0;
}
