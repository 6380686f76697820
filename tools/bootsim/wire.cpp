// Packet reader and writer of bootsim (see wire.h). The CRC is zlib's, which
// is the same IEEE CRC-32; the XOR check is computed here.
#include "wire.h"

#include <cstring>

#include <zlib.h>

namespace bootwire {

namespace {

uint32_t crcOf(const uint8_t* data, size_t n) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), data, static_cast<uInt>(n)));
}

uint8_t xorOf(const uint8_t* data, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= data[i];
  return x;
}

}  // namespace

PacketReader::Result PacketReader::push(uint8_t byte) {
  if (have_ == 0) {
    if (byte != kStx) return Result::Outside;
    buf_[have_++] = byte;
    return Result::Partial;
  }
  buf_[have_++] = byte;
  if (have_ < kHeaderBytes) return Result::Partial;
  if (have_ == kHeaderBytes) {
    length_ = (static_cast<size_t>(buf_[2]) << 8) | buf_[3];
    if (length_ > kMaxPayload) {
      have_ = 0;
      return Result::TooLong;
    }
    return Result::Partial;
  }
  if (have_ < packetBytes(framing, length_)) return Result::Partial;

  have_ = 0;
  const size_t covered = 3 + length_;  // command, length, payload
  bool intact;
  if (framing == Framing::Xor) {
    intact = xorOf(buf_.data() + 1, covered) == buf_[1 + covered];
  } else {
    const uint32_t crc = crcOf(buf_.data() + 1, covered);
    const uint8_t* c = buf_.data() + 1 + covered;
    intact = ((uint32_t{c[0]} << 24) | (uint32_t{c[1]} << 16) | (uint32_t{c[2]} << 8) | c[3]) == crc;
  }
  return intact ? Result::Packet : Result::BadCheck;
}

size_t writePacket(Framing f, uint8_t command, const uint8_t* payload, size_t len, uint8_t* out, size_t outSize) {
  const size_t size = packetBytes(f, len);
  if (len > kMaxPayload || size > outSize) return 0;
  out[0] = kStx;
  out[1] = command;
  out[2] = static_cast<uint8_t>(len >> 8);
  out[3] = static_cast<uint8_t>(len & 0xFF);
  if (len) std::memcpy(out + kHeaderBytes, payload, len);
  const size_t covered = 3 + len;
  if (f == Framing::Xor) {
    out[1 + covered] = xorOf(out + 1, covered);
  } else {
    const uint32_t crc = crcOf(out + 1, covered);
    for (int i = 0; i < 4; ++i) out[1 + covered + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  }
  return size;
}

}  // namespace bootwire
