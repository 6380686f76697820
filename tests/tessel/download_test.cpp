// The download conversation against bootsim on a pseudo-terminal, in both
// framings, unpaced so the suite stays quick.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bootsim.h"
#include "download.h"
#include "packet.h"
#include "serial.h"

namespace {

class RecordingSink final : public DownloadSink {
 public:
  void status(const char* text) override {
    std::lock_guard<std::mutex> lock(m);
    statuses.emplace_back(text);
  }
  void box(const char* text) override {
    std::lock_guard<std::mutex> lock(m);
    boxes.emplace_back(text);
  }
  void progress(int percent) override {
    std::lock_guard<std::mutex> lock(m);
    percents.push_back(percent);
  }
  void detail(const char* text) override {
    std::lock_guard<std::mutex> lock(m);
    details.emplace_back(text);
  }
  bool saw(const std::string& s) {
    std::lock_guard<std::mutex> lock(m);
    return std::find(statuses.begin(), statuses.end(), s) != statuses.end();
  }
  std::mutex m;
  std::vector<std::string> statuses, boxes, details;
  std::vector<int> percents;
};

std::vector<uint8_t> pattern(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

struct Framing {
  char t, q;
  int selector;
};

class DownloadTest : public ::testing::TestWithParam<Framing> {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessel-dl-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    downloadSetSink(&sink);
    downloadTimings = DownloadTimings{};
  }
  void TearDown() override {
    if (sim) sim->stop();
    downloadSetSink(nullptr);
    downloadTimings = DownloadTimings{};
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  BootSim& startSim(BootSimOptions o) {
    o.tReply = GetParam().t;
    o.qReply = GetParam().q;
    sim = std::make_unique<BootSim>(o);
    EXPECT_TRUE(sim->open());
    sim->start();
    return *sim;
  }

  std::string writeFile(const char* name, const std::vector<uint8_t>& data) {
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    return path;
  }

  DownloadJob job(const std::string& boot, const std::string& app) {
    DownloadJob j;
    std::snprintf(j.device, sizeof j.device, "%s", sim->devicePath().c_str());
    j.boot = !boot.empty();
    j.app = !app.empty();
    std::snprintf(j.bootPath, sizeof j.bootPath, "%s", boot.c_str());
    std::snprintf(j.appPath, sizeof j.appPath, "%s", app.c_str());
    return j;
  }

  // Stops the simulator so its report is final.
  BootSimReport finish() {
    sim->stop();
    return sim->report();
  }

  std::string dir;
  RecordingSink sink;
  std::unique_ptr<BootSim> sim;
};

TEST_P(DownloadTest, BootOnlyArrivesByteForByteAndFinishes) {
  startSim({});
  const auto boot = pattern(4096, 1);
  EXPECT_EQ(firmwareWorker(job(writeFile("boot.bin", boot), "")), DL_SUCCESS);
  EXPECT_EQ(framingSelector, GetParam().selector);
  const BootSimReport r = finish();
  EXPECT_EQ(r.bootImage, boot);
  EXPECT_EQ(r.appImages, 0u);
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(sink.statuses.front(), "Connecting...");
  EXPECT_EQ(sink.statuses.back(), "Download finish.");
  EXPECT_FALSE(serialIsOpen());
  EXPECT_FALSE(firmwareBusy);
}

TEST_P(DownloadTest, AppOnlyOf1025BytesGoesAsThreeBlocksWithItsProgress) {
  startSim({});
  const auto app = pattern(1025, 2);
  EXPECT_EQ(firmwareWorker(job("", writeFile("app.bin", app))), DL_SUCCESS);
  const BootSimReport r = finish();
  EXPECT_EQ(r.appImage, app);
  EXPECT_EQ(r.bootImages, 0u);
  EXPECT_EQ(r.commands, (std::vector<uint8_t>{0xB0, 0xB0, 0xB0, 0xB1, 0xD2}));
  EXPECT_EQ(sink.statuses,
            (std::vector<std::string>{"Connecting...", "Handshack finish.", "Download QOS", "Download APP...0%",
                                      "Download APP...49%", "Download APP...99%", "Download success.",
                                      "Download finish."}));
  EXPECT_EQ(sink.percents, (std::vector<int>{0, 49, 99, 100}));
}

TEST_P(DownloadTest, BothImagesGoBootFirstThenAppThenFinish) {
  startSim({});
  const auto boot = pattern(5000, 3);
  const auto app = pattern(3000, 4);
  EXPECT_EQ(firmwareWorker(job(writeFile("b.bin", boot), writeFile("a.bin", app))), DL_SUCCESS);
  const BootSimReport r = finish();
  EXPECT_EQ(r.bootImage, boot);
  EXPECT_EQ(r.appImage, app);
  std::vector<uint8_t> expected(10, 0xC0);
  expected.push_back(0xC1);
  expected.insert(expected.end(), 6, 0xB0);
  expected.push_back(0xB1);
  expected.push_back(0xD2);
  EXPECT_EQ(r.commands, expected);
}

TEST_P(DownloadTest, BootSizeLimitsAcceptTheEdgesAndRefuseOneBeyond) {
  startSim({});
  for (size_t size : {size_t{4096}, size_t{0x10000}}) {
    sink.boxes.clear();
    const auto boot = pattern(size, 5);
    EXPECT_EQ(firmwareWorker(job(writeFile("b.bin", boot), "")), DL_SUCCESS) << size;
    EXPECT_TRUE(sink.boxes.empty());
  }
  EXPECT_EQ(finish().bootImage, pattern(0x10000, 5));
  sim->start();

  EXPECT_EQ(firmwareWorker(job(writeFile("b.bin", pattern(0x10001, 6)), "")), DL_BOOT_TOO_LARGE);
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0], "boot file size error(>64K bytes), please ensure the boot file is the right!");
  EXPECT_EQ(firmwareWorker(job(writeFile("b.bin", pattern(4095, 7)), "")), DL_BOOT_TOO_SMALL);
  ASSERT_EQ(sink.boxes.size(), 2u);
  EXPECT_EQ(sink.boxes[1], "boot file size error(<4096 bytes)\xEF\xBC\x8C" "please ensure the boot file is the right!");
  const BootSimReport r = finish();
  EXPECT_EQ(std::count(r.commands.begin(), r.commands.end(), 0xD2), 2);  // only the two good runs
}

TEST_P(DownloadTest, NineRefusalsEndWithReceiveTimeoutAndNoFinish) {
  BootSimOptions o;
  o.refuseBlock = 2;
  o.refuseTimes = 9;
  startSim(o);
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", pattern(2000, 8)))), DL_BLOCK_REFUSED);
  const BootSimReport r = finish();
  EXPECT_EQ(std::count(r.commands.begin(), r.commands.end(), 0xB0), 1 + 9);
  EXPECT_FALSE(r.finished);
  EXPECT_EQ(sink.statuses.back(), "Receive timeout!");
  EXPECT_EQ(sink.details, (std::vector<std::string>{"the boot loader refused block 2 on all 9 sends"}));
  EXPECT_FALSE(serialIsOpen());
}

// Same text on the page, but a loader that went away is not one that said no.
TEST_P(DownloadTest, LoaderThatStopsAnsweringIsToldFromARefusal) {
  BootSimOptions o;
  o.vanishBlock = 3;
  startSim(o);
  downloadTimings.blockReplyMs = 50;
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", pattern(2000, 8)))), DL_NO_BLOCK_REPLY);
  const BootSimReport r = finish();
  EXPECT_EQ(std::count(r.commands.begin(), r.commands.end(), 0xB0), 2 + 9);
  EXPECT_EQ(sink.statuses.back(), "Receive timeout!");
  EXPECT_EQ(sink.details,
            (std::vector<std::string>{"no reply to block 3 after 9 sends: the boot loader stopped answering"}));
}

TEST_P(DownloadTest, EightRefusalsAreRidden) {
  BootSimOptions o;
  o.refuseBlock = 1;
  o.refuseTimes = 8;
  startSim(o);
  const auto app = pattern(700, 9);
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", app))), DL_SUCCESS);
  EXPECT_EQ(finish().appImage, app);
}

TEST_P(DownloadTest, CorruptedReplyMakesTheBlockGoAgainAndTheImageStaysWhole) {
  BootSimOptions o;
  o.corruptBlock = 2;
  startSim(o);
  const auto app = pattern(1600, 10);
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", app))), DL_SUCCESS);
  const BootSimReport r = finish();
  EXPECT_EQ(r.appImage, app);
  EXPECT_EQ(std::count(r.commands.begin(), r.commands.end(), 0xB0), 5);
}

TEST_P(DownloadTest, FlashFaultEndsTheRun) {
  BootSimOptions o;
  o.flashFaultBlock = 1;
  startSim(o);
  EXPECT_EQ(firmwareWorker(job(writeFile("b.bin", pattern(4096, 11)), "")), DL_FLASH_FAULT);
  EXPECT_EQ(sink.statuses.back(), "Write flash fault.");
  EXPECT_FALSE(finish().finished);
}

TEST_P(DownloadTest, MissingCompletionReplyEndsWithNoText) {
  BootSimOptions o;
  o.noCompletionReply = true;
  startSim(o);
  downloadTimings.completionReplyMs = 300;
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", pattern(10, 12)))), DL_NO_COMPLETION_REPLY);
  EXPECT_EQ(sink.statuses.back(), "Download APP...0%");
  EXPECT_FALSE(finish().finished);
}

// Every image is judged before the loader is woken: a bad path must not
// leave the terminal waiting in its boot loader.
TEST_P(DownloadTest, BadImagesAreRefusedBeforeTheWakeUp) {
  startSim({});
  const std::string good = writeFile("good.bin", pattern(4096, 1));
  struct Case {
    std::string boot, app;
    DownloadOutcome outcome;
    const char* box;
  };
  const Case cases[] = {
      {"", dir + "/nope.bin", DL_FILE_FAILED, "Can't open the file."},
      {"", dir, DL_FILE_FAILED, "Can't open the file."},  // a folder
      {"", writeFile("empty.bin", {}), DL_FILE_EMPTY, "The download file is empty."},
      {good, dir + "/nope.bin", DL_FILE_FAILED, "Can't open the file."},  // the boot code was fine
      {writeFile("small.bin", pattern(100, 2)), good, DL_BOOT_TOO_SMALL, nullptr},
  };
  for (const Case& c : cases) {
    sink.boxes.clear();
    sink.statuses.clear();
    EXPECT_EQ(firmwareWorker(job(c.boot, c.app)), c.outcome) << c.app;
    ASSERT_EQ(sink.boxes.size(), 1u) << c.app;
    if (c.box) {
      EXPECT_EQ(sink.boxes[0], c.box);
    }
    EXPECT_TRUE(sink.statuses.empty()) << sink.statuses.front();  // not even "Connecting..."
  }
  const BootSimReport r = finish();
  EXPECT_EQ(r.wakeT, 0u);
  EXPECT_TRUE(r.commands.empty());
  EXPECT_EQ(sink.details.front(), dir + "/nope.bin: No such file or directory");
}

TEST_P(DownloadTest, StopDuringWakeUpEndsWithUserStop) {
  BootSimOptions o;
  o.silent = true;
  startSim(o);
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    firmwareStopRequest = true;
  });
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", pattern(10, 13)))), DL_STOPPED);
  stopper.join();
  EXPECT_EQ(sink.statuses.back(), "User stop download.");
  EXPECT_GT(finish().wakeT, 0u);
}

TEST_P(DownloadTest, WakeUpTimeOutEndsTheWakeUpAndSaysSo) {
  BootSimOptions o;
  o.silent = true;
  startSim(o);
  downloadTimings.wakeTimeoutMs = 300;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", pattern(10, 14)))), DL_HANDSHAKE_FAILED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(sink.statuses.back(), "Handshack failed.");
  EXPECT_EQ(sink.details, (std::vector<std::string>{"the boot loader did not answer the wake-up within 0.3 s"}));
}

TEST_P(DownloadTest, LoaderThatAnswersTButNeverQIsGivenUpOn) {
  BootSimOptions o;
  o.silentToQ = true;
  startSim(o);
  downloadTimings.wakeTimeoutMs = 300;
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", pattern(10, 14)))), DL_HANDSHAKE_FAILED);
  EXPECT_EQ(sink.statuses.back(), "Handshack failed.");
  EXPECT_GT(finish().wakeQ, 0u);
}

TEST_P(DownloadTest, SilentLoaderGivesHandshackFailed) {
  BootSimOptions o;
  o.silent = true;
  startSim(o);
  downloadTimings.handshakeTries = 5;
  EXPECT_EQ(firmwareWorker(job("", writeFile("a.bin", pattern(10, 14)))), DL_HANDSHAKE_FAILED);
  EXPECT_EQ(sink.statuses, (std::vector<std::string>{"Connecting...", "Handshack failed."}));
  EXPECT_EQ(finish().wakeT, 5u);
}

INSTANTIATE_TEST_SUITE_P(BothFramings, DownloadTest,
                         ::testing::Values(Framing{'R', 'R', kFramingXor}, Framing{'S', 'P', kFramingCrc}),
                         [](const auto& p) { return p.param.selector == kFramingXor ? "Xor" : "Crc32"; });

TEST(DownloadHandshake, AnswerToQDecidesTheFraming) {
  BootSimOptions o;
  o.tReply = 'S';
  o.qReply = 'R';
  BootSim sim(o);
  ASSERT_TRUE(sim.open());
  sim.start();
  RecordingSink sink;
  downloadSetSink(&sink);
  DownloadJob j;
  std::snprintf(j.device, sizeof j.device, "%s", sim.devicePath().c_str());
  framingSelector = kFramingCrc;
  EXPECT_EQ(bootConnect(j), 0);
  EXPECT_EQ(framingSelector, kFramingXor);
  serialClose();
  downloadSetSink(nullptr);
  sim.stop();
}

// A readable image in a scratch file, for tests that are about the port.
struct ScratchImage {
  ScratchImage() {
    char tmpl[] = "/tmp/tessel-img-XXXXXX";
    const int fd = mkstemp(tmpl);
    path = tmpl;
    if (fd >= 0) {
      EXPECT_EQ(::write(fd, "image", 5), 5);
      ::close(fd);
    }
  }
  ~ScratchImage() { std::remove(path.c_str()); }
  std::string path;
};

TEST(DownloadPort, UnopenablePortGivesItsTextAndBusyPortFailsAtOnce) {
  RecordingSink sink;
  downloadSetSink(&sink);
  ScratchImage image;
  DownloadJob j;
  std::snprintf(j.device, sizeof j.device, "/nonexistent/tty");
  j.app = true;
  std::snprintf(j.appPath, sizeof j.appPath, "%s", image.path.c_str());
  EXPECT_EQ(firmwareWorker(j), DL_PORT_FAILED);
  EXPECT_EQ(sink.statuses, (std::vector<std::string>{"Open serial port failed."}));
  // The reason comes from the system, after the tool's own text.
  EXPECT_EQ(sink.details, (std::vector<std::string>{"cannot open /nonexistent/tty: No such file or directory"}));
  downloadSetSink(nullptr);

  BootSim sim(BootSimOptions{});
  ASSERT_TRUE(sim.open());
  ASSERT_TRUE(serialOpenDevice(sim.devicePath().c_str(), kLinkBaud));
  // While the link holds the port, another opener cannot take it.
  const int fd = ::open(sim.devicePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
  serialClose();
}

TEST(DownloadStart, StartRefusesNothingTickedAndASecondStartWhileBusy) {
  RecordingSink sink;
  downloadSetSink(&sink);
  DownloadJob none;
  EXPECT_FALSE(startFirmwareWorker(none));
  EXPECT_EQ(sink.boxes, (std::vector<std::string>{"No select any download file!"}));

  BootSimOptions o;
  o.silent = true;
  BootSim sim(o);
  ASSERT_TRUE(sim.open());
  sim.start();
  ScratchImage image;
  DownloadJob j;
  std::snprintf(j.device, sizeof j.device, "%s", sim.devicePath().c_str());
  j.app = true;
  std::snprintf(j.appPath, sizeof j.appPath, "%s", image.path.c_str());
  ASSERT_TRUE(startFirmwareWorker(j));
  EXPECT_FALSE(startFirmwareWorker(j));  // busy: does nothing
  while (!sink.saw("Connecting...")) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  firmwareStopRequest = true;
  joinFirmwareWorker();
  EXPECT_FALSE(firmwareBusy);
  EXPECT_EQ(lastDownloadOutcome, DL_STOPPED);
  downloadSetSink(nullptr);
  sim.stop();
}

}  // namespace
