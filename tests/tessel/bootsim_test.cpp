// bootsim on its own: its packet reader and writer against literal bytes and
// against tessel's independent framing code, and where its images go.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bootsim.h"
#include "download.h"
#include "packet.h"
#include "wire.h"

namespace {

using bootwire::Framing;
using bootwire::PacketReader;
using Bytes = std::vector<uint8_t>;

Bytes written(Framing f, uint8_t command, const Bytes& payload) {
  Bytes out(bootwire::kMaxPacketBytes);
  out.resize(bootwire::writePacket(f, command, payload.data(), payload.size(), out.data(), out.size()));
  return out;
}

// Feeds bytes and returns what each one completed.
std::vector<PacketReader::Result> feed(PacketReader& r, const Bytes& bytes) {
  std::vector<PacketReader::Result> out;
  for (uint8_t b : bytes) out.push_back(r.push(b));
  return out;
}

TEST(BootWire, RepliesAreLaidOutByteForByte) {
  EXPECT_EQ(written(Framing::Xor, 0xD2, {}), (Bytes{0x02, 0xD2, 0x00, 0x00, 0xD2}));
  EXPECT_EQ(written(Framing::Xor, 0xB0, {0x00, 0x00}), (Bytes{0x02, 0xB0, 0x00, 0x02, 0x00, 0x00, 0xB2}));
  EXPECT_EQ(written(Framing::Crc32, 0xB0, {0x00, 0x00}),
            (Bytes{0x02, 0xB0, 0x00, 0x02, 0x00, 0x00, 0xD5, 0x61, 0x2B, 0x67}));
  EXPECT_EQ(written(Framing::Crc32, 0xD2, {}), (Bytes{0x02, 0xD2, 0x00, 0x00, 0x71, 0x4C, 0x38, 0x4C}));
  Bytes big(bootwire::kMaxPayload + 1);
  uint8_t out[bootwire::kMaxPacketBytes + 8];
  EXPECT_EQ(bootwire::writePacket(Framing::Xor, 0xB0, big.data(), big.size(), out, sizeof out), 0u);
}

// The two sides are written apart; each must read what the other writes.
TEST(BootWire, ReadsWhatTesselWritesAndTesselReadsWhatItWrites) {
  for (const auto& [f, selector] : {std::pair{Framing::Xor, kFramingXor}, std::pair{Framing::Crc32, kFramingCrc}}) {
    Bytes payload(517);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 13 + 2);
    Bytes packet(kMaxPacket);
    packet.resize(buildPacket(selector, 0xB0, payload.data(), payload.size(), packet.data(), packet.size()));
    PacketReader r;
    r.framing = f;
    const auto results = feed(r, packet);
    EXPECT_EQ(results.back(), PacketReader::Result::Packet);
    EXPECT_EQ(r.command(), 0xB0);
    EXPECT_EQ(Bytes(r.payload(), r.payload() + r.payloadSize()), payload);

    const Bytes reply = written(f, 0xB0, {0x00, 0x00});
    size_t len = 0;
    EXPECT_EQ(checkPacket(selector, reply.data(), reply.size(), &len), LINK_OK);
    EXPECT_EQ(len, 2u);
  }
}

TEST(BootWire, NoiseWakeBytesDamageAndOverlongHeadersAreToldApart) {
  using R = PacketReader::Result;
  for (Framing f : {Framing::Xor, Framing::Crc32}) {
    PacketReader r;
    r.framing = f;
    EXPECT_EQ(feed(r, {'T', 0x55, 'Q'}), (std::vector<R>{R::Outside, R::Outside, R::Outside}));

    // A length of 4097 is dropped at the header; the next packet still reads.
    EXPECT_EQ(feed(r, {0x02, 0xB0, 0x10, 0x01}).back(), R::TooLong);
    const Bytes ok = written(f, 0xB1, {});
    EXPECT_EQ(feed(r, ok).back(), R::Packet);

    Bytes damaged = written(f, 0xB0, {0x00, 0x00, 0x00, 0x01, 0x00, 0x7E});
    damaged[9] ^= 0x01;
    EXPECT_EQ(feed(r, damaged).back(), R::BadCheck);

    // Two packets back to back, the second with an empty payload.
    Bytes two = written(f, 0xC0, {0x01});
    const Bytes second = written(f, 0xD2, {});
    two.insert(two.end(), second.begin(), second.end());
    const auto results = feed(r, two);
    EXPECT_EQ(std::count(results.begin(), results.end(), R::Packet), 2);
    EXPECT_EQ(r.command(), 0xD2);
    EXPECT_EQ(r.payloadSize(), 0u);
  }
}

class BootSimFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bootsim-out-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string dir;
};

TEST_F(BootSimFolder, MissingFolderIsCreatedAndAFileInItsPlaceIsRefused) {
  std::string why;
  EXPECT_TRUE(BootSim::prepareOutDir(dir + "/a/b", &why)) << why;
  EXPECT_TRUE(std::filesystem::is_directory(dir + "/a/b"));

  std::ofstream(dir + "/plain") << "x";
  EXPECT_FALSE(BootSim::prepareOutDir(dir + "/plain", &why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(BootSim::prepareOutDir(dir + "/plain/sub", &why));
  EXPECT_FALSE(BootSim::prepareOutDir("", &why));
}

// A block that cannot reach the disk is failed like a flash write, so tessel
// reports the failure instead of "Download finish.".
TEST_F(BootSimFolder, BlockThatCannotBeWrittenIsAFlashFault) {
  std::filesystem::create_directory(dir + "/app.bin.part");  // fopen of it fails, even for root
  BootSimOptions o;
  o.outDir = dir;
  BootSim sim(o);
  ASSERT_TRUE(sim.open());
  sim.start();
  const std::string image = dir + "/image";
  std::ofstream(image, std::ios::binary) << std::string(700, 'z');
  DownloadJob job;
  std::snprintf(job.device, sizeof job.device, "%s", sim.devicePath().c_str());
  job.app = true;
  std::snprintf(job.appPath, sizeof job.appPath, "%s", image.c_str());
  downloadSetSink(nullptr);
  EXPECT_EQ(firmwareWorker(job), DL_FLASH_FAULT);
  sim.stop();
  const BootSimReport r = sim.report();
  EXPECT_EQ(r.writeFaults, 1u);
  EXPECT_EQ(r.appImages, 0u);
  EXPECT_FALSE(r.finished);
  EXPECT_FALSE(std::filesystem::exists(dir + "/app.bin"));
}

TEST_F(BootSimFolder, ImageIsWrittenWholeUnderItsNameOnlyWhenComplete) {
  BootSimOptions o;
  o.outDir = dir;
  BootSim sim(o);
  ASSERT_TRUE(sim.open());
  sim.start();
  const std::string image = dir + "/image";
  std::string bytes;
  for (int i = 0; i < 1500; ++i) bytes.push_back(static_cast<char>(i * 7));
  std::ofstream(image, std::ios::binary) << bytes;
  DownloadJob job;
  std::snprintf(job.device, sizeof job.device, "%s", sim.devicePath().c_str());
  job.app = true;
  std::snprintf(job.appPath, sizeof job.appPath, "%s", image.c_str());
  downloadSetSink(nullptr);
  EXPECT_EQ(firmwareWorker(job), DL_SUCCESS);
  sim.stop();
  std::ifstream in(dir + "/app.bin", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
  EXPECT_FALSE(std::filesystem::exists(dir + "/app.bin.part"));
}

}  // namespace
