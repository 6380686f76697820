/*
 * fuzz_devices.cpp - the simulator's device files: the radio file of
 * --sim-radio ("modem ..." and "wifi ..." lines, '#' comments) and the PIN
 * pad's key store. The first byte picks the file; the rest is its content.
 *
 * A radio line that passes the check must also apply, and the radio it leaves
 * must be consistent: a joined network is one in range. Each SSID is in range once. A store of any bytes
 * loads (or is ignored) and the keys it gave still work.
 */
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "device.h"
#include "libapi.h"
#include "pinpad.h"
#include "radio.h"
#include "sim.h"
#include "support/scratch.h"

namespace {

std::vector<std::string> words(const std::string &text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

void radioFile(const std::string &text) {
  sim::detail::radioReset();
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::vector<std::string> w = words(line);
    if (w.empty()) continue;
    const std::string device = w[0];
    w.erase(w.begin());
    std::string why;
    if (!sim::detail::radioCommand(device, w, false, &why)) {
      if (why.empty()) __builtin_trap(); // a refusal says why
      continue;
    }
    if (!sim::detail::radioCommand(device, w, true, &why)) __builtin_trap(); // checked, so it applies
  }
  std::lock_guard<std::recursive_mutex> lock(sim::detail::mutex());
  const sim::detail::Radio &r = sim::detail::radio();
  if (!r.joined.empty()) {
    bool inRange = false;
    for (const auto &n : r.networks) inRange = inRange || n.ssid == r.joined;
    if (!inRange) __builtin_trap();
  }
  for (std::size_t i = 0; i < r.networks.size(); ++i)
    for (std::size_t j = i + 1; j < r.networks.size(); ++j)
      if (r.networks[i].ssid == r.networks[j].ssid) __builtin_trap();
  // Whatever the file allocated goes with the run: memory held over to the next
  // input looks like a leak (see dropEvents).
  sim::detail::radioReset();
  fuzzsupport::dropEvents();
}

void pinPadStore(const uint8_t *data, std::size_t size) {
  const std::string path = fuzzsupport::scratchDir("fuzz_devices") + "/pinpad.dat";
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  sim::resetPinPadForTest();
  sim::detail::setPinPadStore(path);
  // Whatever the store gave, the key operations stay within their buffers.
  unsigned char block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  unsigned char out[16] = {};
  unsigned char mac[8] = {};
  for (int index = 0; index < 4; ++index) {
    DLL_PciGetEncData(index, sizeof block, block, out);
    DLL_PciGetMac(index, sizeof block, block, mac, 0);
  }
  sim::detail::setPinPadStore("");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  if (data[0] % 2 == 0)
    radioFile(std::string(reinterpret_cast<const char *>(data + 1), size - 1));
  else
    pinPadStore(data + 1, size - 1);
  return 0;
}
