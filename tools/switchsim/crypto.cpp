/*
 * crypto.cpp - TDES, retail MAC and PIN blocks for the switch simulator.
 *
 * OpenSSL 3's default provider has no single DES; single DES with key K is
 * TDES with K1 = K2 = K3 = K, which is how the MAC's single-DES steps run.
 */
#include "crypto.h"

#include <cstring>
#include <memory>

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace switchsim {

namespace {

struct CtxFree {
  void operator()(EVP_CIPHER_CTX *c) const { EVP_CIPHER_CTX_free(c); }
};

bool runCipher(const EVP_CIPHER *cipher, const std::uint8_t *key, const std::uint8_t *in, std::uint8_t *out,
               std::size_t len, bool encrypt) {
  if (len % 8 != 0) return false;
  std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return false;
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key, nullptr, encrypt ? 1 : 0) != 1) return false;
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  int outLen = 0, finalLen = 0;
  if (EVP_CipherUpdate(ctx.get(), out, &outLen, in, static_cast<int>(len)) != 1) return false;
  if (EVP_CipherFinal_ex(ctx.get(), out + outLen, &finalLen) != 1) return false;
  return static_cast<std::size_t>(outLen + finalLen) == len;
}

bool singleDes(const std::uint8_t key8[8], const std::uint8_t in[8], std::uint8_t out[8], bool encrypt) {
  std::uint8_t k[KEY_LEN];
  std::memcpy(k, key8, 8);
  std::memcpy(k + 8, key8, 8);
  return tdesEcb(k, in, out, 8, encrypt);
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
  // Fetched once: looking the cipher up again for every block was most of a
  // request's cost. Kept for the life of the process.
  static EVP_CIPHER *const cipher = EVP_CIPHER_fetch(nullptr, "DES-EDE-ECB", nullptr);
  return runCipher(cipher != nullptr ? cipher : EVP_des_ede_ecb(), key, in, out, len, encrypt);
}

bool retailMac(const std::uint8_t key[KEY_LEN], const std::uint8_t *data, std::size_t len, std::uint8_t mac[8]) {
  if (len % 8 != 0) return false;
  std::uint8_t chain[8] = {0};
  for (std::size_t off = 0; off < len; off += 8) {
    std::uint8_t block[8];
    for (int i = 0; i < 8; ++i)
      block[i] = chain[i] ^ data[off + i];
    if (!singleDes(key, block, chain, true)) return false;
  }
  std::uint8_t tmp[8];
  if (!singleDes(key + 8, chain, tmp, false)) return false;
  return singleDes(key, tmp, mac, true);
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
