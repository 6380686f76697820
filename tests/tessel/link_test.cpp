// Framing, CRC-32 and the receive state machine, over a memory transport.
#include <gtest/gtest.h>
#include <zlib.h>

#include <deque>
#include <vector>

#include "comports.h"
#include "crc32.h"
#include "packet.h"
#include "serial.h"

namespace {

// A transport whose input is a queue the test fills and whose output is
// recorded. Reads never wait: an empty queue simply yields nothing.
class MemoryTransport final : public SerialTransport {
 public:
  SerialOpenResult open(const char*, uint32_t, uint32_t*) override {
    open_ = true;
    return SerialOpenResult::Ok;
  }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool write(const uint8_t* data, size_t count) override {
    if (failWrites) return false;
    written.insert(written.end(), data, data + count);
    ++writes;
    return true;
  }
  long read(uint8_t* buf, size_t count, uint32_t) override {
    size_t n = 0;
    while (n < count && !input.empty()) {
      buf[n++] = input.front();
      input.pop_front();
    }
    return static_cast<long>(n);
  }
  void clearError() override {}

  std::deque<uint8_t> input;
  std::vector<uint8_t> written;
  int writes = 0;
  bool failWrites = false;

 private:
  bool open_ = false;
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    serialSetTransport(&mem);
    ASSERT_TRUE(serialOpenDevice("mem", kLinkBaud));
  }
  void TearDown() override {
    serialClose();
    serialSetTransport(nullptr);
  }
  void feed(const std::vector<uint8_t>& bytes) { mem.input.insert(mem.input.end(), bytes.begin(), bytes.end()); }

  MemoryTransport mem;
};

std::vector<uint8_t> packetOf(int framing, uint8_t cmd, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out(kMaxPacket);
  out.resize(buildPacket(framing, cmd, payload.data(), payload.size(), out.data(), out.size()));
  return out;
}

}  // namespace

TEST(Crc32, MatchesZlibOnAssortedBuffers) {
  std::vector<uint8_t> data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 3));
  for (size_t len : {size_t{0}, size_t{1}, size_t{3}, size_t{512}, size_t{4999}, size_t{5000}}) {
    const uint32_t z = static_cast<uint32_t>(crc32(0L, data.data(), static_cast<uInt>(len)));
    EXPECT_EQ(crc32Compute(data.data(), len), z) << "length " << len;
  }
  // Fed in pieces it gives the same value as in one go.
  uint32_t c = crc32Init();
  c = crc32Update(c, data.data(), 100);
  c = crc32Update(c, data.data() + 100, 900);
  EXPECT_EQ(crc32Final(c), crc32Compute(data.data(), 1000));
}

TEST(Crc32, CheckBytesGoMostSignificantFirst) {
  const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  uint8_t out[4];
  CRC32(text, sizeof text, out);  // the standard check value is 0xCBF43926
  EXPECT_EQ(out[0], 0xCB);
  EXPECT_EQ(out[1], 0xF4);
  EXPECT_EQ(out[2], 0x39);
  EXPECT_EQ(out[3], 0x26);
}

TEST(Framing, XorPacketWithEmptyPayloadIsFiveBytesCheckedByTheCommand) {
  EXPECT_EQ(packetOf(kFramingXor, 0xD2, {}), (std::vector<uint8_t>{0x02, 0xD2, 0x00, 0x00, 0xD2}));
}

TEST(Framing, PacketsAreLaidOutByteForByte) {
  EXPECT_EQ(packetOf(kFramingXor, 0xC0, {0x01, 0x80}),
            (std::vector<uint8_t>{0x02, 0xC0, 0x00, 0x02, 0x01, 0x80, 0xC0 ^ 0x02 ^ 0x01 ^ 0x80}));
  const std::vector<uint8_t> crcPacket = packetOf(kFramingCrc, 0xB1, {});
  ASSERT_EQ(crcPacket.size(), 8u);
  const uint8_t covered[] = {0xB1, 0x00, 0x00};
  const uint32_t z = static_cast<uint32_t>(crc32(0L, covered, 3));
  EXPECT_EQ(crcPacket, (std::vector<uint8_t>{0x02, 0xB1, 0x00, 0x00, static_cast<uint8_t>(z >> 24),
                                             static_cast<uint8_t>(z >> 16), static_cast<uint8_t>(z >> 8),
                                             static_cast<uint8_t>(z)}));
}

TEST_F(LinkTest, PayloadOf4096IsSentAnd4097IsRefusedWithNothingWritten) {
  std::vector<uint8_t> payload(4097, 0x55);
  for (int framing : {kFramingXor, kFramingCrc}) {
    mem.written.clear();
    EXPECT_EQ(sendPacket(framing, 0xB0, payload.data(), 4096), LINK_OK);
    EXPECT_EQ(mem.written.size(), packetSize(framing, 4096));
    mem.written.clear();
    EXPECT_EQ(sendPacket(framing, 0xB0, payload.data(), 4097), LINK_PAYLOAD_TOO_LONG);
    EXPECT_TRUE(mem.written.empty());
  }
}

TEST_F(LinkTest, SendWritesTheFirstByteAloneThenTheRest) {
  const uint8_t payload[3] = {1, 2, 3};
  ASSERT_EQ(sendPacketCrc(0xC0, payload, 3), LINK_OK);
  EXPECT_EQ(mem.writes, 2);
  mem.failWrites = true;
  EXPECT_EQ(sendPacketXor(0xC0, payload, 3), LINK_WRITE_FAIL);
}

TEST_F(LinkTest, UnknownFramingSelectorGives108) {
  uint8_t buf[64];
  size_t total = 0;
  EXPECT_EQ(sendPacket(1, 0xC0, nullptr, 0), LINK_BAD_FRAMING);
  EXPECT_EQ(recvPacket(3, buf, sizeof buf, 10, &total), LINK_BAD_FRAMING);
}

TEST_F(LinkTest, ReceiveSkipsNoiseBeforeStxInBothFramings) {
  for (int framing : {kFramingXor, kFramingCrc}) {
    const std::vector<uint8_t> p = packetOf(framing, 0xC0, {0x00, 0x07});
    feed({0x00, 0xFF, 'R', 0x55});
    feed(p);
    uint8_t buf[kMaxPacket];
    size_t total = 0;
    ASSERT_EQ(recvPacket(framing, buf, sizeof buf, 200, &total), LINK_OK);
    EXPECT_EQ(total, p.size());
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + total), p);
  }
}

TEST_F(LinkTest, LengthOf5051Gives103WithoutReadingTheBody) {
  feed({0x02, 0xC0, 0x13, 0xBB});  // 0x13BB = 5051
  feed(std::vector<uint8_t>(40, 0xAA));
  uint8_t buf[kMaxPacket];
  size_t total = 0;
  EXPECT_EQ(recvPacketXor(buf, sizeof buf, 100, &total), LINK_LENGTH_TOO_LONG);
  EXPECT_EQ(mem.input.size(), 40u);
  // 5050 itself is accepted: it fits the largest receive buffer.
  mem.input.clear();
  std::vector<uint8_t> big(5050, 0x11);
  std::vector<uint8_t> p(kMaxPacket);
  p[0] = 0x02, p[1] = 0xC0, p[2] = 0x13, p[3] = 0xBA;
  std::copy(big.begin(), big.end(), p.begin() + 4);
  uint8_t x = 0xC0 ^ 0x13 ^ 0xBA;
  for (uint8_t b : big) x ^= b;
  p[4 + 5050] = x;
  p.resize(5055);
  feed(p);
  EXPECT_EQ(recvPacketXor(buf, sizeof buf, 100, &total), LINK_OK);
  EXPECT_EQ(total, 5055u);
}

TEST_F(LinkTest, LengthBeyondTheCallersBufferIsRefusedLikeTheLimit) {
  feed(packetOf(kFramingCrc, 0xC0, std::vector<uint8_t>(100, 1)));
  uint8_t small[32];
  size_t total = 0;
  EXPECT_EQ(recvPacketCrc(small, sizeof small, 50, &total), LINK_LENGTH_TOO_LONG);
}

TEST_F(LinkTest, CorruptedByteGives121InBothFramings) {
  for (int framing : {kFramingXor, kFramingCrc}) {
    std::vector<uint8_t> p = packetOf(framing, 0xB0, {0, 0, 0, 2, 0, 0x10, 0x20});
    p[6] ^= 0x01;
    feed(p);
    uint8_t buf[kMaxPacket];
    size_t total = 0;
    EXPECT_EQ(recvPacket(framing, buf, sizeof buf, 100, &total), LINK_CHECK_FAIL) << "framing " << framing;
  }
}

TEST_F(LinkTest, NoStxGives104AndAMissingBodyByteGives101) {
  uint8_t buf[kMaxPacket];
  size_t total = 0;
  feed({0x41, 0x42});
  EXPECT_EQ(recvPacketXor(buf, sizeof buf, 20, &total), LINK_NO_STX);
  feed({0x02, 0xC0});
  EXPECT_EQ(recvPacketXor(buf, sizeof buf, 20, &total), LINK_READ_FAIL);
  feed({0x02, 0xC0, 0x00, 0x03, 0x01});
  EXPECT_EQ(recvPacketCrc(buf, sizeof buf, 20, &total), LINK_READ_FAIL);
}

TEST(ComPorts, MapTextEnvironmentAndDefault) {
  char out[64];
  const char* map = "# ports\n\nCOM3=/dev/ttyUSB0\ncom12 = /tmp/pty 12\nCOM1\n";
  ASSERT_TRUE(comPortFromMapText(map, 3, out, sizeof out));
  EXPECT_STREQ(out, "/dev/ttyUSB0");
  ASSERT_TRUE(comPortFromMapText(map, 12, out, sizeof out));
  EXPECT_STREQ(out, "/tmp/pty 12");
  EXPECT_FALSE(comPortFromMapText(map, 1, out, sizeof out));
  EXPECT_FALSE(comPortFromMapText(map, 31, out, sizeof out));

  setenv("TESSEL_PORTMAP", "/nonexistent/map", 1);
  ASSERT_TRUE(comPortDevice(1, out, sizeof out));
  EXPECT_STREQ(out, "/dev/ttyS0");
  ASSERT_TRUE(comPortDevice(20, out, sizeof out));
  EXPECT_STREQ(out, "/dev/ttyS19");
  setenv("TESSEL_COM20", "/dev/pts/7", 1);
  ASSERT_TRUE(comPortDevice(20, out, sizeof out));
  EXPECT_STREQ(out, "/dev/pts/7");
  unsetenv("TESSEL_COM20");
  unsetenv("TESSEL_PORTMAP");
  EXPECT_FALSE(comPortDevice(0, out, sizeof out));
  EXPECT_FALSE(comPortDevice(256, out, sizeof out));
  char tiny[4];
  EXPECT_FALSE(comPortDevice(1, tiny, sizeof tiny));
}
