// fuzz_switchsim_cards - any text as a card table: the reader accepts it or
// names a line, and what it accepts holds to the table's rules.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "switch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > (1 << 16)) return 0;
  std::string text(reinterpret_cast<const char *>(data), size);
  std::vector<switchsim::Card> cards;
  std::string error;
  if (!switchsim::parseCards(text, "cards", &cards, &error)) {
    if (error.rfind("cards:", 0) != 0) std::abort(); // every refusal names its line
    return 0;
  }
  std::set<std::string> seen;
  for (const switchsim::Card &c : cards) {
    bool ok = c.pan.size() >= 12 && c.pan.size() <= 19 && seen.insert(c.pan).second &&
              c.track2.compare(0, c.pan.size(), c.pan) == 0 && c.pin.size() >= 4 && c.pin.size() <= 12 &&
              c.balance >= 0 && c.blocked >= 0 && c.blocked <= c.balance && c.balance <= 999999999999LL;
    if (!ok) std::abort();
  }
  return 0;
}
