// fuzz_switchsim_faults - any text as a fault script: the parser accepts it or
// names a line, and every rule it accepts can be acted on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "switch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > (1 << 16)) return 0;
  std::string text(reinterpret_cast<const char *>(data), size);
  std::vector<switchsim::Fault> faults;
  std::string error;
  if (!switchsim::parseFaults(text, &faults, &error)) {
    if (error.rfind("line ", 0) != 0) std::abort();
    return 0;
  }
  for (const switchsim::Fault &f : faults) {
    bool selector = (f.nth >= 1) != !f.mti.empty();
    bool arg = f.ms >= 0 && (f.action != switchsim::FaultAction::Code || f.code.size() == 2);
    if (!selector || !arg || f.action == switchsim::FaultAction::None) std::abort();
  }
  return 0;
}
