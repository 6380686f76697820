// bootsim's side of the boot-loader line, written from the wire format alone:
//
//   XOR framing:    02 cmd lenHi lenLo payload[L] x          x = XOR of cmd..payload
//   CRC-32 framing: 02 cmd lenHi lenLo payload[L] c3 c2 c1 c0  IEEE CRC-32 of cmd..payload,
//                                                              most significant byte first
//
// A PacketReader takes the line one byte at a time and says what each byte
// completed; writePacket builds a reply. Nothing here is shared with tessel,
// so a framing fault on either side shows up as a failed exchange.
#ifndef TOOLS_BOOTSIM_WIRE_H
#define TOOLS_BOOTSIM_WIRE_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace bootwire {

enum class Framing { Xor, Crc32 };

constexpr uint8_t kStx = 0x02;
constexpr size_t kHeaderBytes = 4;       // STX, command, 16-bit length
// The largest payload the loader takes; the PC side never sends more. A
// longer length field is line noise, not a packet.
constexpr size_t kMaxPayload = 4096;

constexpr size_t trailerBytes(Framing f) { return f == Framing::Xor ? 1 : 4; }
constexpr size_t packetBytes(Framing f, size_t payload) { return kHeaderBytes + payload + trailerBytes(f); }
constexpr size_t kMaxPacketBytes = kHeaderBytes + kMaxPayload + 4;

class PacketReader {
 public:
  enum class Result {
    Outside,   // the byte came between packets (a wake-up byte or noise)
    Partial,   // the byte belongs to a packet still arriving
    Packet,    // a packet arrived intact: command() and payload() hold it
    BadCheck,  // a packet arrived with a wrong check and was dropped
    TooLong,   // a length field above kMaxPayload: the header is dropped
  };

  Framing framing = Framing::Xor;

  Result push(uint8_t byte);
  void reset() { have_ = 0; }

  uint8_t command() const { return buf_[1]; }
  const uint8_t* payload() const { return buf_.data() + kHeaderBytes; }
  size_t payloadSize() const { return length_; }

 private:
  std::array<uint8_t, kMaxPacketBytes> buf_{};
  size_t have_ = 0;    // bytes of the current packet so far, STX included
  size_t length_ = 0;  // payload length, once the header is in
};

// Builds a packet into out; returns its size, or 0 when the payload is above
// kMaxPayload or out is too small.
size_t writePacket(Framing f, uint8_t command, const uint8_t* payload, size_t len, uint8_t* out, size_t outSize);

}  // namespace bootwire

#endif
