/*
 * Sha256.h - SHA-256 and HMAC-SHA-256, self-contained: the terminal derives
 * its supervisor password with them and links no cryptographic library of
 * its own (keys and PINs stay in the PIN pad).
 */
#ifndef SAFFRON_UTIL_SHA256_H
#define SAFFRON_UTIL_SHA256_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t SHA256_DIGEST_SIZE = 32;

void sha256(const void *data, std::size_t len, std::uint8_t out[SHA256_DIGEST_SIZE]);
void hmacSha256(const void *key, std::size_t keyLen, const void *data, std::size_t len,
                std::uint8_t out[SHA256_DIGEST_SIZE]);

#endif
