/*
 * crypto.cpp - TDES, retail MAC and PIN blocks for the switch simulator.
 *
 * On OpenSSL's DES key schedules rather than its EVP ciphers: the retail MAC
 * is single DES over every block, which EVP (no single DES in the default
 * provider) can only do as TDES with three equal keys, at three times the
 * work, and setting up a cipher context per message cost more than the MAC.
 * Each key's schedules are made once and kept.
 */
// The DES schedule interface is kept by OpenSSL 3 but marked deprecated.
#define OPENSSL_API_COMPAT 10101

#include "crypto.h"

#include <array>
#include <cstring>
#include <unordered_map>

#include <openssl/crypto.h>
#include <openssl/des.h>
#include <openssl/rand.h>

namespace switchsim {

namespace {

// The two halves of a double-length key, expanded.
struct Schedules {
  DES_key_schedule left, right;
};

using KeyBytes = std::array<std::uint8_t, KEY_LEN>;

struct KeyHash {
  std::size_t operator()(const KeyBytes &k) const {
    std::uint64_t a, b;
    std::memcpy(&a, k.data(), 8);
    std::memcpy(&b, k.data() + 8, 8);
    return static_cast<std::size_t>(a * 0x9E3779B97F4A7C15ULL ^ b);
  }
};

// Per thread, so the switch's threads and tests never share one. Bounded:
// terminals log on again and get new keys.
constexpr std::size_t MAX_CACHED_KEYS = 4096;

const Schedules &schedulesFor(const std::uint8_t key[KEY_LEN]) {
  thread_local std::unordered_map<KeyBytes, Schedules, KeyHash> cache;
  KeyBytes k;
  std::memcpy(k.data(), key, KEY_LEN);
  auto it = cache.find(k);
  if (it != cache.end()) return it->second;
  if (cache.size() >= MAX_CACHED_KEYS) {
    for (auto &[bytes, s] : cache) OPENSSL_cleanse(&s, sizeof s);
    cache.clear();
  }
  Schedules s;
  DES_cblock half;
  std::memcpy(half, key, 8);
  DES_set_key_unchecked(&half, &s.left);
  std::memcpy(half, key + 8, 8);
  DES_set_key_unchecked(&half, &s.right);
  OPENSSL_cleanse(half, sizeof half);
  return cache.emplace(k, s).first->second;
}

void desBlock(const DES_key_schedule &ks, const std::uint8_t in[8], std::uint8_t out[8], bool encrypt) {
  DES_cblock i, o;
  std::memcpy(i, in, 8);
  DES_ecb_encrypt(&i, &o, const_cast<DES_key_schedule *>(&ks), encrypt ? DES_ENCRYPT : DES_DECRYPT);
  std::memcpy(out, o, 8);
}

// PAN field of a format-0 block: 0000 and the 12 rightmost digits before the check digit.
bool panField(const std::string &pan, std::uint8_t out[8]) {
  if (pan.size() < 13) return false;
  // Built by appending: GCC 12 at -O3 reports "literal" + string as an overlapping copy (-Wrestrict).
  std::string digits = "0000";
  digits.append(pan, pan.size() - 13, 12);
  return fromHex(digits, out, 8);
}

} // namespace

bool tdesEcb(const std::uint8_t key[KEY_LEN], const std::uint8_t *in, std::uint8_t *out, std::size_t len,
             bool encrypt) {
  if (len % 8 != 0) return false;
  const Schedules &s = schedulesFor(key);
  auto &ks = const_cast<Schedules &>(s);
  for (std::size_t off = 0; off < len; off += 8) {
    DES_cblock i, o;
    std::memcpy(i, in + off, 8);
    DES_ecb3_encrypt(&i, &o, &ks.left, &ks.right, &ks.left, encrypt ? DES_ENCRYPT : DES_DECRYPT);
    std::memcpy(out + off, o, 8);
  }
  return true;
}

bool retailMac(const std::uint8_t key[KEY_LEN], const std::uint8_t *data, std::size_t len, std::uint8_t mac[8]) {
  if (len % 8 != 0) return false;
  const Schedules &s = schedulesFor(key);
  std::uint8_t chain[8] = {0};
  for (std::size_t off = 0; off < len; off += 8) {
    std::uint8_t block[8];
    for (int i = 0; i < 8; ++i)
      block[i] = chain[i] ^ data[off + i];
    desBlock(s.left, block, chain, true);
  }
  std::uint8_t tmp[8];
  desBlock(s.right, chain, tmp, false);
  desBlock(s.left, tmp, mac, true);
  return true;
}

std::string macText(const std::uint8_t key[KEY_LEN], const std::uint8_t *msg, std::size_t len, std::size_t macExclude) {
  if (len < 8 || len < macExclude) return "";
  std::size_t covered = len - macExclude;
  std::size_t padded = (covered + 7) / 8 * 8;
  std::string work(reinterpret_cast<const char *>(msg), len);
  std::memset(&work[len - 8], 0, 8); // the terminal MACed its zero placeholder
  if (work.size() < padded) work.resize(padded, '\0');
  for (std::size_t i = covered; i < padded; ++i)
    work[i] = '\0'; // the terminal's zero padding
  std::uint8_t mac[8];
  if (!retailMac(key, reinterpret_cast<const std::uint8_t *>(work.data()), padded, mac)) return "";
  return toHex(mac, 4);
}

std::string pinFromBlock(const std::uint8_t key[KEY_LEN], const std::uint8_t block[8], const std::string &pan) {
  std::uint8_t clear[8], panBlock[8];
  if (!tdesEcb(key, block, clear, 8, false) || !panField(pan, panBlock)) return "";
  for (int i = 0; i < 8; ++i)
    clear[i] ^= panBlock[i];
  std::string nibbles = toHex(clear, 8);
  if (nibbles[0] != '0') return "";
  int n = nibbles[1] >= 'A' ? nibbles[1] - 'A' + 10 : nibbles[1] - '0';
  if (n < 4 || n > 12) return "";
  std::string pin = nibbles.substr(2, static_cast<std::size_t>(n));
  for (char c : pin)
    if (c < '0' || c > '9') return "";
  for (std::size_t i = 2 + static_cast<std::size_t>(n); i < 16; ++i)
    if (nibbles[i] != 'F') return "";
  return pin;
}

bool pinBlockFor(const std::uint8_t key[KEY_LEN], const std::string &pin, const std::string &pan,
                 std::uint8_t block[8]) {
  if (pin.size() < 4 || pin.size() > 12) return false;
  std::string field = "0";
  field.push_back("0123456789ABC"[pin.size()]);
  field.append(pin);
  field.resize(16, 'F');
  std::uint8_t pinField[8], panBlock[8];
  if (!fromHex(field, pinField, 8) || !panField(pan, panBlock)) return false;
  for (int i = 0; i < 8; ++i)
    pinField[i] ^= panBlock[i];
  return tdesEcb(key, pinField, block, 8, true);
}

bool randomBytes(std::uint8_t *out, std::size_t len) { return RAND_bytes(out, static_cast<int>(len)) == 1; }

std::string toHex(const std::uint8_t *data, std::size_t len) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(len * 2);
  for (std::size_t i = 0; i < len; ++i) {
    s.push_back(digits[data[i] >> 4]);
    s.push_back(digits[data[i] & 0x0F]);
  }
  return s;
}

bool fromHex(const std::string &hex, std::uint8_t *out, std::size_t outLen) {
  if (hex.size() != outLen * 2) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < outLen; ++i) {
    int hi = nibble(hex[2 * i]), lo = nibble(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return true;
}

} // namespace switchsim
