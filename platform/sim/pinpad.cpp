// pinpad.cpp - the simulated PIN entry device: key slots, PIN block, MAC and
// deciphering, with real cryptography (OpenSSL libcrypto).
//
// Scheme: the terminal master key (16 bytes) is loaded in clear; working keys
// arrive enciphered under it (2-key TDES-EDE, ECB) and are kept deciphered only
// here, never handed out. PIN block: ISO 9564 format 0, enciphered with the PIN
// key. MAC: ISO 9797-1 algorithm 3 (retail MAC) with the MAC key. Deciphering:
// TDES-EDE ECB with the data key. OpenSSL 3's default provider has no single
// DES, so single DES with key K runs as TDES with K1 = K2 = K.
//
// Sections: key store, cryptographic primitives, DLL_Pci operations, test reset.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "device.h"
#include "libapi.h"
#include "pinpad.h"
#include "sim.h"

namespace {

constexpr int KEY_LEN = 16;
constexpr int BLOCK = 8;
constexpr int KEY_SLOTS = 1;         // the application uses index 0 only
constexpr int MIN_PIN_DIGITS = 4;    // ISO 9564 format 0 carries 4..12 digits
constexpr int MAX_PIN_DIGITS = 12;
constexpr int MAC_MODE_RETAIL = 2;

struct Key {
  bool loaded = false;
  unsigned char bytes[KEY_LEN] = {};
};

struct PinPad {
  std::mutex lock;
  std::string store;  // file that keeps the keys across power cycles; empty: memory only
  Key master[KEY_SLOTS];
  Key pin[KEY_SLOTS];
  Key mac[KEY_SLOTS];
  Key data[KEY_SLOTS];
  int promptX = 0;
  int promptY = 0;
};

PinPad &pad() {
  static PinPad p;
  return p;
}

void wipe(Key *k) {
  OPENSSL_cleanse(k->bytes, sizeof k->bytes);
  k->loaded = false;
}

void wipeWorkingKeys(PinPad &p, int index) {
  wipe(&p.pin[index]);
  wipe(&p.mac[index]);
  wipe(&p.data[index]);
}

Key *workingKey(PinPad &p, int type, int index) {
  if (index < 0 || index >= KEY_SLOTS) return nullptr;
  switch (type) {
    case DLL_PCI_KEY_PIN: return &p.pin[index];
    case DLL_PCI_KEY_MAC: return &p.mac[index];
    case DLL_PCI_KEY_DATA: return &p.data[index];
    default: return nullptr;
  }
}

// ---- the PIN pad's own storage -------------------------------------------------------
//
// A real PIN pad keeps its keys in battery-backed memory. Ours keeps them in a
// file of its own: a magic line, then for each key slot a loaded byte and the
// 16 key bytes (master, PIN, MAC, data). Written whole to a new file and
// renamed, so a power loss leaves the old keys or the new ones.

constexpr char STORE_MAGIC[] = "SIMPED1\n";
constexpr std::size_t STORE_MAGIC_LEN = sizeof STORE_MAGIC - 1;

Key *storedKeys(PinPad &p, int i) {
  Key *all[] = {&p.master[0], &p.pin[0], &p.mac[0], &p.data[0]};
  return all[i];
}
constexpr int STORED_KEYS = 4;
constexpr std::size_t STORE_SIZE = STORE_MAGIC_LEN + STORED_KEYS * (1 + KEY_LEN);

// Called with the lock held.
void saveStore(PinPad &p) {
  if (p.store.empty()) return;
  unsigned char image[STORE_SIZE];
  std::memcpy(image, STORE_MAGIC, STORE_MAGIC_LEN);
  std::size_t at = STORE_MAGIC_LEN;
  for (int i = 0; i < STORED_KEYS; ++i) {
    const Key *k = storedKeys(p, i);
    image[at++] = k->loaded ? 1 : 0;
    std::memcpy(image + at, k->bytes, KEY_LEN);
    at += KEY_LEN;
  }
  const std::string fresh = p.store + ".new";
  std::FILE *f = std::fopen(fresh.c_str(), "wb");
  if (f != nullptr) {
    const bool ok = std::fwrite(image, 1, sizeof image, f) == sizeof image;
    std::fflush(f);
    std::fclose(f);
    if (ok) std::rename(fresh.c_str(), p.store.c_str());
  }
  OPENSSL_cleanse(image, sizeof image);
}

void loadStore(PinPad &p) {
  std::ifstream in(p.store, std::ios::binary);
  if (!in) return;  // a PIN pad fresh from the factory
  unsigned char image[STORE_SIZE] = {};
  in.read(reinterpret_cast<char *>(image), sizeof image);
  if (in.gcount() == static_cast<std::streamsize>(sizeof image) &&
      std::memcmp(image, STORE_MAGIC, STORE_MAGIC_LEN) == 0) {
    std::size_t at = STORE_MAGIC_LEN;
    for (int i = 0; i < STORED_KEYS; ++i) {
      Key *k = storedKeys(p, i);
      k->loaded = image[at++] == 1;
      std::memcpy(k->bytes, image + at, KEY_LEN);
      at += KEY_LEN;
    }
  }
  OPENSSL_cleanse(image, sizeof image);
}

// ---- cryptographic primitives ---------------------------------------------------

// 2-key TDES-EDE ECB over len bytes (a multiple of 8). true on success.
bool tdesEcb(const unsigned char key[KEY_LEN], const unsigned char *in, unsigned char *out, int len, bool encrypt) {
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  if (ctx == nullptr) return false;
  int outLen = 0;
  int finalLen = 0;
  const bool ok = EVP_CipherInit_ex(ctx, EVP_des_ede_ecb(), nullptr, key, nullptr, encrypt ? 1 : 0) == 1 &&
                  EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 && EVP_CipherUpdate(ctx, out, &outLen, in, len) == 1 &&
                  EVP_CipherFinal_ex(ctx, out + outLen, &finalLen) == 1 && outLen + finalLen == len;
  EVP_CIPHER_CTX_free(ctx);
  return ok;
}

// Single DES on one block with an 8-byte key, as TDES with K1 = K2 = K.
bool desBlock(const unsigned char key8[BLOCK], const unsigned char in[BLOCK], unsigned char out[BLOCK],
              bool encrypt) {
  unsigned char doubled[KEY_LEN];
  std::memcpy(doubled, key8, BLOCK);
  std::memcpy(doubled + BLOCK, key8, BLOCK);
  const bool ok = tdesEcb(doubled, in, out, BLOCK, encrypt);
  OPENSSL_cleanse(doubled, sizeof doubled);
  return ok;
}

// Retail MAC: single-DES CBC with the left key half over every block, then the
// last result deciphered with the right half and enciphered with the left.
bool retailMac(const unsigned char key[KEY_LEN], const unsigned char *data, int len, unsigned char mac[BLOCK]) {
  unsigned char chain[BLOCK] = {};
  for (int off = 0; off < len; off += BLOCK) {
    for (int i = 0; i < BLOCK; ++i) chain[i] ^= data[off + i];
    if (!desBlock(key, chain, chain, true)) return false;
  }
  return desBlock(key + BLOCK, chain, chain, false) && desBlock(key, chain, mac, true);
}

// ISO 9564 format 0 clear PIN block: the PIN field XOR the PAN field made of
// the 12 rightmost PAN digits before the check digit.
void clearPinBlock(const std::string &pinDigits, const char *pan, unsigned char out[BLOCK]) {
  unsigned char pinField[BLOCK];
  std::memset(pinField, 0xFF, sizeof pinField);
  pinField[0] = static_cast<unsigned char>(pinDigits.size());
  for (std::size_t i = 0; i < pinDigits.size(); ++i) {
    const std::size_t nibble = i + 2;
    const unsigned char d = static_cast<unsigned char>(pinDigits[i] - '0');
    unsigned char &byte = pinField[nibble / 2];
    byte = (nibble % 2 == 0) ? static_cast<unsigned char>((byte & 0x0F) | (d << 4))
                             : static_cast<unsigned char>((byte & 0xF0) | d);
  }

  std::string digits;
  for (const char *p = pan; *p != '\0'; ++p)
    if (*p >= '0' && *p <= '9') digits.push_back(*p);
  if (!digits.empty()) digits.pop_back();  // the check digit takes no part
  if (digits.size() > 12) digits.erase(0, digits.size() - 12);
  digits.insert(0, 16 - digits.size(), '0');  // 0000 + 12 digits, zero-filled when the PAN is short
  for (int i = 0; i < BLOCK; ++i) {
    const unsigned char panByte =
        static_cast<unsigned char>(((digits[2 * i] - '0') << 4) | (digits[2 * i + 1] - '0'));
    out[i] = pinField[i] ^ panByte;
  }
  OPENSSL_cleanse(pinField, sizeof pinField);
}

bool validPin(const std::string &digits, int minLen, int maxLen) {
  const int n = static_cast<int>(digits.size());
  if (n < MIN_PIN_DIGITS || n > MAX_PIN_DIGITS || n < minLen || n > maxLen) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

// ---- DLL_Pci operations ------------------------------------------------------------

using sim::detail::powerCutPoint;

extern "C" int DLL_PciWriteMKey(int index, const unsigned char *key, int len, const unsigned char *check,
                                int checkLen, int mode) {
  powerCutPoint();
  (void)check;
  (void)checkLen;
  (void)mode;
  if (key == nullptr || index < 0 || index >= KEY_SLOTS || len != KEY_LEN) return DLL_ERR_PARAM;
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  Key &m = p.master[index];
  // Working keys enciphered under another master key are no longer usable.
  if (!m.loaded || std::memcmp(m.bytes, key, KEY_LEN) != 0) wipeWorkingKeys(p, index);
  std::memcpy(m.bytes, key, KEY_LEN);
  m.loaded = true;
  saveStore(p);
  return DLL_OK;
}

extern "C" int DLL_PciWriteSKey(int type, int index, int len, const unsigned char *key, int protect, int mode) {
  powerCutPoint();
  (void)mode;
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  Key *slot = workingKey(p, type, index);
  if (slot == nullptr || key == nullptr || len != KEY_LEN || protect != DLL_PCI_PROTECT_MASTER) return DLL_ERR_PARAM;
  if (!p.master[index].loaded) return DLL_ERR_NOT_READY;
  unsigned char clear[KEY_LEN];
  if (!tdesEcb(p.master[index].bytes, key, clear, KEY_LEN, false)) {
    OPENSSL_cleanse(clear, sizeof clear);
    return DLL_ERR_NOT_READY;
  }
  std::memcpy(slot->bytes, clear, KEY_LEN);
  slot->loaded = true;
  OPENSSL_cleanse(clear, sizeof clear);
  saveStore(p);
  return DLL_OK;
}

extern "C" int DLL_PciSetPinXY(int x, int y) {
  powerCutPoint();
  if (x < 0 || x >= DLL_LCD_WIDTH || y < 0 || y >= DLL_LCD_HEIGHT) return DLL_ERR_PARAM;
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  p.promptX = x;
  p.promptY = y;
  return DLL_OK;
}

extern "C" int DLL_PciGetPin(int keyIndex, int minLen, int maxLen, int panDigits, const char *pan, int promptFlags,
                             unsigned char *pinBlock, int timeoutSec) {
  powerCutPoint();
  (void)panDigits;
  (void)promptFlags;
  if (pan == nullptr || pinBlock == nullptr || keyIndex < 0 || keyIndex >= KEY_SLOTS) return DLL_ERR_PARAM;
  unsigned char key[KEY_LEN];
  {
    PinPad &p = pad();
    std::lock_guard<std::mutex> guard(p.lock);
    if (!p.pin[keyIndex].loaded) return DLL_ERR_NOT_READY;
    std::memcpy(key, p.pin[keyIndex].bytes, KEY_LEN);
  }
  // The cardholder's answer comes from the front end; the lock is not held
  // while waiting for it.
  std::string digits;
  const long long waitMs = timeoutSec > 0 ? static_cast<long long>(timeoutSec) * 1000 : 0;
  const bool answered = sim::takePinAnswerWithin(&digits, waitMs);
  int result = -1;
  if (answered && validPin(digits, minLen, maxLen)) {
    unsigned char clear[BLOCK];
    clearPinBlock(digits, pan, clear);
    result = tdesEcb(key, clear, pinBlock, BLOCK, true) ? DLL_OK : DLL_ERR_NOT_READY;
    OPENSSL_cleanse(clear, sizeof clear);
  }
  OPENSSL_cleanse(key, sizeof key);
  if (!digits.empty()) OPENSSL_cleanse(digits.data(), digits.size());
  return result;
}

extern "C" int DLL_PciGetMac(int keyIndex, int len, const unsigned char *data, unsigned char *mac, int mode) {
  powerCutPoint();
  if (data == nullptr || mac == nullptr || len <= 0 || len % BLOCK != 0 || mode != MAC_MODE_RETAIL ||
      keyIndex < 0 || keyIndex >= KEY_SLOTS)
    return DLL_ERR_PARAM;
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  if (!p.mac[keyIndex].loaded) return DLL_ERR_NOT_READY;
  return retailMac(p.mac[keyIndex].bytes, data, len, mac) ? DLL_OK : DLL_ERR_NOT_READY;
}

extern "C" int DLL_PciGetEncData(int keyIndex, int len, const unsigned char *in, unsigned char *out) {
  powerCutPoint();
  if (in == nullptr || out == nullptr || len <= 0 || len % BLOCK != 0 || keyIndex < 0 || keyIndex >= KEY_SLOTS)
    return DLL_ERR_PARAM;
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  if (!p.data[keyIndex].loaded) return DLL_ERR_NOT_READY;
  return tdesEcb(p.data[keyIndex].bytes, in, out, len, false) ? DLL_OK : DLL_ERR_NOT_READY;
}

// ---- test reset ------------------------------------------------------------------------

namespace sim {

void resetPinPadForTest() {
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  p.store.clear();
  for (int i = 0; i < KEY_SLOTS; ++i) {
    wipe(&p.master[i]);
    wipeWorkingKeys(p, i);
  }
  p.promptX = 0;
  p.promptY = 0;
}

void pinPromptPosition(int *x, int *y) {
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  if (x != nullptr) *x = p.promptX;
  if (y != nullptr) *y = p.promptY;
}

}  // namespace sim

namespace sim::detail {

void setPinPadStore(const std::string &path) {
  PinPad &p = pad();
  std::lock_guard<std::mutex> guard(p.lock);
  p.store = path;
  if (!path.empty()) loadStore(p);
}

}  // namespace sim::detail
