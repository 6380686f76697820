// fuzz_core.cpp - p_StanFile.dat (the first 28 bytes) and p_Config.dat (the
// rest, any length) as found on the terminal: read, normalised at start-up,
// the trace counter advanced, and the idle screen and its date line drawn.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/Business.h"
#include "core/Filing.h"
#include "sim.h"

namespace {
void writeFile(const char *name, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(name, "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string dir = [] {
    char pattern[] = "/tmp/fuzz-core-XXXXXX";
    return std::string(mkdtemp(pattern) != nullptr ? pattern : "/tmp");
  }();
  sim::resetForTest(dir.c_str());
  const size_t stanBytes = size < sizeof(TurnRow) ? size : sizeof(TurnRow);
  writeFile(TURN_ROW_FILE, data, stanBytes);
  writeFile(CONFIG_FILE, data + stanBytes, size - stanBytes);
  config = Config{};
  turnRow = TurnRow{};
  normalizeConfigAtStart();
  normalizeConfigModuleInit();
  normalizeConfigImei();
  setStanNumber(1);
  setLastSucceedStanNumber(12);
  drawSplash(0, 0);
  drawSplash(1, 1);
  return 0;
}
