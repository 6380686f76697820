/*
 * crypto.h - the switch's side of the terminal's cryptography, on OpenSSL:
 * double-length TDES keys, the retail MAC, format-0 PIN blocks, and working
 * keys enciphered under the terminal master key.
 */
#ifndef SWITCHSIM_CRYPTO_H
#define SWITCHSIM_CRYPTO_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace switchsim {

constexpr std::size_t KEY_LEN = 16; // double-length TDES key

// TDES-EDE ECB over len bytes (a multiple of 8). false on a library failure.
bool tdesEcb(const std::uint8_t key[KEY_LEN], const std::uint8_t *in, std::uint8_t *out, std::size_t len, bool encrypt);

// Retail MAC (ISO 9797-1 algorithm 3): CBC with the left key half over every
// block, then decipher with the right half and encipher with the left. len is
// a multiple of 8. false on a library failure.
bool retailMac(const std::uint8_t key[KEY_LEN], const std::uint8_t *data, std::size_t len, std::uint8_t mac[8]);

// The MAC text the terminal puts in field 64 (or 128): the first 4 bytes of the
// MAC as 8 upper-case hex digits, over msg[0..len) with the MAC field's last
// 8 bytes zeroed and macExclude bytes left out, zero-padded to a multiple of 8.
std::string macText(const std::uint8_t key[KEY_LEN], const std::uint8_t *msg, std::size_t len, std::size_t macExclude);

// Deciphers a format-0 PIN block for pan; the PIN digits, or "" when the block
// is not a well-formed format-0 block for that card number.
std::string pinFromBlock(const std::uint8_t key[KEY_LEN], const std::uint8_t block[8], const std::string &pan);
// Makes the block (tests and tools).
bool pinBlockFor(const std::uint8_t key[KEY_LEN], const std::string &pin, const std::string &pan,
                 std::uint8_t block[8]);

// Random bytes from OpenSSL.
bool randomBytes(std::uint8_t *out, std::size_t len);

// Hex helpers; fromHex returns false on a bad or odd-length text.
std::string toHex(const std::uint8_t *data, std::size_t len);
bool fromHex(const std::string &hex, std::uint8_t *out, std::size_t outLen);

} // namespace switchsim

#endif
