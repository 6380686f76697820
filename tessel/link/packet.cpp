// Packet assembly, checks and the receive state machine of both framings.
#include "packet.h"

#include <cstring>

#include "crc32.h"
#include "serial.h"

int framingSelector = kFramingXor;

namespace {

// One transmit buffer per framing: the packet is assembled there and goes
// out in a single port write.
uint8_t g_txXor[kPacketHeader + kMaxSendPayload + 1];
uint8_t g_txCrc[kPacketHeader + kMaxSendPayload + 4];

uint8_t xorOf(const uint8_t* data, size_t count) {
  uint8_t x = 0;
  for (size_t i = 0; i < count; ++i) x ^= data[i];
  return x;
}

int sendWith(int framing, uint8_t* tx, size_t txSize, uint8_t command, const uint8_t* payload, size_t len) {
  if (len > kMaxSendPayload) return LINK_PAYLOAD_TOO_LONG;
  const size_t n = buildPacket(framing, command, payload, len, tx, txSize);
  if (n == 0) return LINK_PAYLOAD_TOO_LONG;
  return serialWrite(tx, n) ? LINK_OK : LINK_WRITE_FAIL;
}

int recvWith(int framing, uint8_t* buf, size_t bufSize, uint32_t timeoutMs, size_t* total) {
  const size_t trailer = framing == kFramingXor ? 1 : 4;
  if (total) *total = 0;
  if (bufSize < kPacketHeader + trailer) return LINK_LENGTH_TOO_LONG;

  // Hunt for STX; every other byte is dropped on its own.
  const uint64_t start = linkNowMs();
  bool haveStx = false;
  do {
    uint8_t b = 0;
    const int r = serialReadEx(&b, 1, kStxPollMs);
    // A port that faults keeps faulting: end now rather than box every poll.
    if (r < 0) return LINK_READ_FAIL;
    if (r == 0 && b == kStx) {
      haveStx = true;
      break;
    }
    // Other bytes are dropped one by one. No pause between polls: an empty
    // 3 ms read has already waited in the kernel for the next byte.
  } while (linkNowMs() - start <= timeoutMs);
  if (!haveStx) return LINK_NO_STX;
  buf[0] = kStx;

  if (!serialRead(buf + 1, 3, kHeaderByteMs)) return LINK_READ_FAIL;
  const size_t len = headerPayloadLength(buf);
  if (len > kMaxRecvPayload || kPacketHeader + len + trailer > bufSize) return LINK_LENGTH_TOO_LONG;

  for (size_t i = 0; i < len + trailer; ++i) {
    if (!serialRead(buf + kPacketHeader + i, 1, kHeaderByteMs)) return LINK_READ_FAIL;
  }
  size_t payloadLen = 0;
  const int check = checkPacket(framing, buf, kPacketHeader + len + trailer, &payloadLen);
  if (check != LINK_OK) return check;
  if (total) *total = kPacketHeader + len + trailer;
  return LINK_OK;
}

}  // namespace

size_t buildPacket(int framing, uint8_t command, const uint8_t* payload, size_t len, uint8_t* out,
                   size_t outSize) {
  const size_t size = packetSize(framing, len);
  if (size == 0 || len > kMaxSendPayload || size > outSize) return 0;
  out[0] = kStx;
  out[1] = command;
  out[2] = static_cast<uint8_t>(len >> 8);
  out[3] = static_cast<uint8_t>(len);
  if (len > 0) std::memcpy(out + kPacketHeader, payload, len);
  if (framing == kFramingXor) {
    out[kPacketHeader + len] = xorOf(out + 1, 3 + len);
  } else {
    CRC32(out + 1, 3 + len, out + kPacketHeader + len);
  }
  return size;
}

int checkPacket(int framing, const uint8_t* packet, size_t size, size_t* payloadLen) {
  if (framing != kFramingXor && framing != kFramingCrc) return LINK_BAD_FRAMING;
  if (size < packetSize(framing, 0) || packet[0] != kStx) return LINK_READ_FAIL;
  const size_t len = headerPayloadLength(packet);
  if (size < packetSize(framing, len)) return LINK_READ_FAIL;
  if (framing == kFramingXor) {
    if (xorOf(packet + 1, 3 + len + 1) != 0) return LINK_CHECK_FAIL;
  } else {
    uint8_t crc[4];
    CRC32(packet + 1, 3 + len, crc);
    if (std::memcmp(crc, packet + kPacketHeader + len, 4) != 0) return LINK_CHECK_FAIL;
  }
  if (payloadLen) *payloadLen = len;
  return LINK_OK;
}

int sendPacketXor(uint8_t command, const uint8_t* payload, size_t len) {
  return sendWith(kFramingXor, g_txXor, sizeof g_txXor, command, payload, len);
}

int sendPacketCrc(uint8_t command, const uint8_t* payload, size_t len) {
  return sendWith(kFramingCrc, g_txCrc, sizeof g_txCrc, command, payload, len);
}

int sendPacket(int framing, uint8_t command, const uint8_t* payload, size_t len) {
  if (framing == kFramingXor) return sendPacketXor(command, payload, len);
  if (framing == kFramingCrc) return sendPacketCrc(command, payload, len);
  return LINK_BAD_FRAMING;
}

int recvPacketXor(uint8_t* buf, size_t bufSize, uint32_t timeoutMs, size_t* total) {
  return recvWith(kFramingXor, buf, bufSize, timeoutMs, total);
}

int recvPacketCrc(uint8_t* buf, size_t bufSize, uint32_t timeoutMs, size_t* total) {
  return recvWith(kFramingCrc, buf, bufSize, timeoutMs, total);
}

int recvPacket(int framing, uint8_t* buf, size_t bufSize, uint32_t timeoutMs, size_t* total) {
  if (framing == kFramingXor) return recvPacketXor(buf, bufSize, timeoutMs, total);
  if (framing == kFramingCrc) return recvPacketCrc(buf, bufSize, timeoutMs, total);
  return LINK_BAD_FRAMING;
}
