/*
 * charge_pins.cpp - the secrets scan's way to the charge PINs the demonstration
 * delivered: the enciphered blocks of the switch's voucher answers (tag 41 of
 * field 48, copied by the loopback relay) deciphered as the terminal does it,
 * with the data key of the simulated PIN pad's own storage.
 *
 *   charge_pins PINPAD_STORE FRAMES_FILE
 *
 * Prints one charge PIN a line; a match that does not decipher to digits is
 * not one and is skipped (the caller checks the count against the vouchers
 * the switch approved). Exits 1 when the PIN pad has no data key, 2 on bad
 * arguments.
 */
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "device.h"
#include "libapi.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: charge_pins PINPAD_STORE FRAMES_FILE\n");
    return 2;
  }
  std::ifstream store(argv[1]), in(argv[2], std::ios::binary);
  if (!store || !in) {
    std::fprintf(stderr, "charge_pins: cannot read %s\n", !store ? argv[1] : argv[2]);
    return 2;
  }
  sim::detail::setPinPadStore(argv[1]);
  const std::string frames((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A tag is its length plus one and its number, both one BCD byte: 33 41, then 32 hex digits.
  const std::regex tag41("\x33\x41([0-9A-Fa-f]{32})");
  int skipped = 0;
  for (std::sregex_iterator m(frames.begin(), frames.end(), tag41), end; m != end; ++m) {
    const std::string hex = (*m)[1].str();
    unsigned char enciphered[16], plain[16];
    for (int i = 0; i < 16; ++i) enciphered[i] = static_cast<unsigned char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    if (DLL_PciGetEncData(0, 16, enciphered, plain) != DLL_OK) {
      std::fprintf(stderr, "charge_pins: the PIN pad has no data key\n");
      return 1;
    }
    std::string pin(reinterpret_cast<const char*>(plain), 16);
    if (pin.find_first_not_of("0123456789") != std::string::npos) {
      ++skipped;
      continue;
    }
    std::printf("%s\n", pin.c_str());
  }
  if (skipped) std::fprintf(stderr, "charge_pins: %d match(es) did not decipher to digits\n", skipped);
  return 0;
}
