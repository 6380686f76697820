// Boot-loader packets: the XOR framing and the CRC-32 framing.
//
//   XOR:    STX cmd lenHi lenLo payload[L] xor          (L+5 bytes)
//   CRC-32: STX cmd lenHi lenLo payload[L] crc[4] (MSB)  (L+8 bytes)
//
// The check covers command, length and payload. Sections: constants and
// status codes, the process-wide framing selector, pure builders and
// checkers (shared with the boot-loader simulator), send and receive.
#ifndef TESSEL_LINK_PACKET_H
#define TESSEL_LINK_PACKET_H

#include <cstddef>
#include <cstdint>

constexpr uint8_t kStx = 0x02;

constexpr int kFramingXor = 0;
constexpr int kFramingCrc = 2;

constexpr size_t kMaxSendPayload = 4096;  // larger payloads are refused (107)
constexpr size_t kMaxRecvPayload = 5050;  // larger length fields end a receive (103)
constexpr size_t kPacketHeader = 4;       // STX, command, 16-bit length
// Room for the largest packet either side may send or accept.
constexpr size_t kMaxPacket = kPacketHeader + kMaxRecvPayload + 4;

constexpr uint32_t kHeaderByteMs = 100;   // limit for each header and body byte
constexpr uint32_t kStxPollMs = 3;        // single-byte read while hunting for STX

// Status of send and receive.
enum LinkStatus : int {
  LINK_OK = 0,
  LINK_READ_FAIL = 101,        // a header or body byte missing, or a read fault
  LINK_WRITE_FAIL = 102,       // the port failed to write the packet
  LINK_LENGTH_TOO_LONG = 103,  // received length field above 5050
  LINK_NO_STX = 104,           // no STX within the caller's limit
  LINK_PAYLOAD_TOO_LONG = 107, // payload above 4096, nothing sent
  LINK_BAD_FRAMING = 108,      // framing selector neither 0 nor 2
  LINK_CHECK_FAIL = 121,       // XOR or CRC-32 mismatch
};

// 0 XOR, 2 CRC-32; chosen by the wake-up handshake.
extern int framingSelector;

// Size of a packet with an L-byte payload in a framing (0 for an unknown one).
constexpr size_t packetSize(int framing, size_t payloadLen) {
  return framing == kFramingXor ? payloadLen + 5 : framing == kFramingCrc ? payloadLen + 8 : 0;
}

// The payload length in a packet's header (STX, command, length high, length low).
constexpr size_t headerPayloadLength(const uint8_t* packet) {
  return (static_cast<size_t>(packet[2]) << 8) | packet[3];
}

// Assembles a packet into out; returns its length, or 0 when the framing is
// unknown, the payload exceeds 4096 or out is too small.
size_t buildPacket(int framing, uint8_t command, const uint8_t* payload, size_t len, uint8_t* out,
                   size_t outSize);
// Checks a whole packet held in memory (STX first). Returns LINK_OK and the
// payload length, LINK_CHECK_FAIL, or LINK_READ_FAIL when it is short.
int checkPacket(int framing, const uint8_t* packet, size_t size, size_t* payloadLen);

// Port-level send and receive, one per framing and by selector.
int sendPacketXor(uint8_t command, const uint8_t* payload, size_t len);
int sendPacketCrc(uint8_t command, const uint8_t* payload, size_t len);
int sendPacket(int framing, uint8_t command, const uint8_t* payload, size_t len);

// Receives one packet, from its STX on, into buf (bufSize must hold the
// packet). *total receives L+5 or L+8. A length field that would not fit in
// buf is treated as the 5050 limit is (103, the body is not read).
int recvPacketXor(uint8_t* buf, size_t bufSize, uint32_t timeoutMs, size_t* total);
int recvPacketCrc(uint8_t* buf, size_t bufSize, uint32_t timeoutMs, size_t* total);
int recvPacket(int framing, uint8_t* buf, size_t bufSize, uint32_t timeoutMs, size_t* total);

#endif
