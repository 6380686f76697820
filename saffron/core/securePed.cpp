// securePed.cpp - working keys into the PIN pad, slot 0, enciphered under the
// master key.
#include "core/securePed.h"

#include "libapi.h"

namespace {
constexpr int KEY_INDEX = 0;
constexpr int KEY_MODE = 0;

int writeWorkingKey(int type, int len, const unsigned char *key) {
  return DLL_PciWriteSKey(type, KEY_INDEX, len, key, DLL_PCI_PROTECT_MASTER, KEY_MODE);
}
}  // namespace

int mid_ped_write_pin_key(int len, const unsigned char *key) { return writeWorkingKey(DLL_PCI_KEY_PIN, len, key); }
int mid_ped_write_mac_key(int len, const unsigned char *key) { return writeWorkingKey(DLL_PCI_KEY_MAC, len, key); }
int mid_ped_write_Acc_key(int len, const unsigned char *key) { return writeWorkingKey(DLL_PCI_KEY_DATA, len, key); }
