// CRC-32 of the boot-loader link: the IEEE 802.3 polynomial in its reflected
// form, computed a byte at a time through a 256-entry table.
#ifndef TESSEL_LINK_CRC32_H
#define TESSEL_LINK_CRC32_H

#include <cstddef>
#include <cstdint>

// Continues a CRC over more bytes. Start with crc32Init(), finish with
// crc32Final(); crc32Compute() does all three for one buffer.
uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t count);
constexpr uint32_t crc32Init() { return 0xFFFFFFFFu; }
constexpr uint32_t crc32Final(uint32_t crc) { return crc ^ 0xFFFFFFFFu; }
uint32_t crc32Compute(const uint8_t* data, size_t count);

// The check bytes as the link sends them: most significant byte first.
void CRC32(const uint8_t* data, size_t count, uint8_t out[4]);

#endif
