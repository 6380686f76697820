/*
 * fuzz_sim.cpp - feeds the simulator's readers of outside bytes: the first byte
 * picks the reader (even: BMP picture, odd: headless script), the rest is the input.
 */
#include <cstddef>
#include <cstdint>
#include <string>

#include "device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const unsigned char* body = data + 1;
  size_t n = size - 1;
  if (data[0] % 2 == 0) {
    sim::detail::Image img;
    std::string error;
    if (sim::detail::bmpDecode(body, n, &img, &error)) {
      // A decoded picture must hold exactly its pixels.
      if (img.rgba.size() != static_cast<size_t>(img.width) * img.height * 4) __builtin_trap();
    }
  } else {
    std::string error;
    std::string text(reinterpret_cast<const char*>(body), n);
    bool ok = sim::detail::scriptLoad(text, &error);
    if (!ok && error.find("script line ") == std::string::npos) __builtin_trap();  // errors name the line
    sim::detail::scriptClear();
  }
  return 0;
}
