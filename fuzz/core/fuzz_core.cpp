// fuzz_core.cpp - p_StanFile.dat (the first 28 bytes) and p_Config.dat (the
// rest, any length) as found on the terminal: read, normalised at start-up,
// the trace counter advanced, and the idle screen and its date line drawn.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/Business.h"
#include "core/Filing.h"
#include "device.h"
#include "sim.h"
#include "support/scratch.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  fuzzsupport::keepCallerPaths(argc, argv);
  const std::string &dir = fuzzsupport::scratchDir("fuzz_core");
  // The idle picture is the same for every input: a small one keeps its whole
  // path (load, decode, blend) at a sliver of the full screen's cost.
  std::vector<unsigned char> rgb(40 * 30 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 7);
  if (!sim::detail::pngWriteRgb(dir + "/" + IDLE_BACKGROUND, rgb.data(), 40, 30)) std::abort();
  sim::resetForTest(dir.c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  sim::resetForTest(); // a fresh device; the folder and its pictures stay
  const size_t stanBytes = size < sizeof(TurnRow) ? size : sizeof(TurnRow);
  fuzzsupport::writeFile(TURN_ROW_FILE, data, stanBytes);
  fuzzsupport::writeFile(CONFIG_FILE, data + stanBytes, size - stanBytes);
  config = Config{};
  turnRow = TurnRow{};
  normalizeConfigAtStart();
  normalizeConfigModuleInit();
  normalizeConfigImei();
  setStanNumber(1);
  setLastSucceedStanNumber(12);
  drawSplash(0, 0);
  drawSplash(1, 1);
  fuzzsupport::dropEvents();
  return 0;
}
