// Table-driven CRC-32 (reflected polynomial 0xEDB88320). The table is built
// at compile time so no thread can see it half-filled.
#include "crc32.h"

#include <array>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

constexpr std::array<uint32_t, 256> makeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (kPolynomial ^ (c >> 1)) : (c >> 1);
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();

}  // namespace

uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t count) {
  for (size_t i = 0; i < count; ++i) crc = kTable[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
  return crc;
}

uint32_t crc32Compute(const uint8_t* data, size_t count) {
  return crc32Final(crc32Update(crc32Init(), data, count));
}

void CRC32(const uint8_t* data, size_t count, uint8_t out[4]) {
  const uint32_t crc = crc32Compute(data, count);
  out[0] = static_cast<uint8_t>(crc >> 24);
  out[1] = static_cast<uint8_t>(crc >> 16);
  out[2] = static_cast<uint8_t>(crc >> 8);
  out[3] = static_cast<uint8_t>(crc);
}
