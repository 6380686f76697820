// headless_test.cpp - the saffron program itself, booted in the headless
// simulator on a data folder: the files it creates, the idle screen it shows,
// and sleep and power-off as the simulator's event log records them.
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "core_test_util.h"

namespace {

class HeadlessTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/saffron-headless-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    data_ = root_ + "/data";
    out_ = root_ + "/out";
    std::filesystem::create_directories(data_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // Boots saffron on the data folder at 2024-03-20 10:15:00 with the script (and
  // further simulator options, shell-quoted); the exit status.
  int boot(const std::string &scriptText, const std::string &simArgs = "") {
    const std::string scriptPath = root_ + "/script.txt";
    writeBytes(scriptPath, scriptText.data(), scriptText.size());
    const std::string command = std::string(SAFFRON_PROGRAM) + " --sim-headless --sim-time 20240320101500" +
                                " --sim-script " + scriptPath + " --sim-out " + out_ + " --sim-data " + data_ + " " +
                                simArgs + " > " + root_ + "/stdout.txt 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void seedConfig(const Config &c) { writeBytes(data_ + "/p_Config.dat", &c, sizeof c); }

  // Virtual times (ms into the run's day) at which the event log has what.
  std::vector<long long> eventTimes(const std::string &what) {
    std::vector<long long> times;
    std::istringstream log(readText(out_ + "/events.txt"));
    std::string line;
    while (std::getline(log, line)) {
      int y, mo, d, h, mi, s, ms;
      char event[128] = {};
      if (std::sscanf(line.c_str(), "%d-%d-%d %d:%d:%d.%d %127[^\n]", &y, &mo, &d, &h, &mi, &s, &ms, event) == 8 &&
          what == event)
        times.push_back(((h * 60LL + mi) * 60 + s) * 1000 + ms);
    }
    return times;
  }

  static std::string readText(const std::string &path) {
    const auto bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }

  std::string root_, data_, out_;
};

constexpr long long BOOT_MS = (10 * 60 + 15) * 60 * 1000LL; // 10:15:00
constexpr long long MINUTE = 60000;

Config idleSettings(int askSleep, int sleepTimeout, int askShutDown, int shutdownTimeout) {
  Config c = {};
  std::memcpy(c.HostIP, "127.0.0.1", 9);
  c.HostPort = 4080;
  c.askSleepTime = static_cast<uint8_t>(askSleep);
  c.sleepTimeout = sleepTimeout;
  c.askShutDownTime = static_cast<uint8_t>(askShutDown);
  c.shutdownTimeout = shutdownTimeout;
  return c;
}

TEST_F(HeadlessTest, BootsOnAnEmptyFolderToTheIdleScreen) {
  ASSERT_EQ(boot("wait 1000\nshot idle\nquit\n"), 0) << readText(root_ + "/stdout.txt");
  EXPECT_EQ(readBytes(data_ + "/p_Config.dat").size(), 1356u);
  EXPECT_TRUE(std::filesystem::exists(data_ + "/p_StanFile.dat"));
  Config c = {};
  const auto bytes = readBytes(data_ + "/p_Config.dat");
  std::memcpy(&c, bytes.data(), std::min(bytes.size(), sizeof c));
  EXPECT_STREQ(c.HostIP, "087.107.134.151");
  EXPECT_STREQ(c.NII, "0006");
  EXPECT_EQ(c.linkMode, 0);
  EXPECT_TRUE(std::filesystem::exists(out_ + "/idle.png"));
  const std::string listing = readText(out_ + "/idle.txt");
  EXPECT_NE(listing.find("\"main.png\""), std::string::npos);
  EXPECT_NE(listing.find(msg(331)), std::string::npos);
  EXPECT_NE(listing.find(msg(25)), std::string::npos); // Wednesday
  EXPECT_NE(listing.find("\u06F5\u06F1:\u06F0\u06F1 \u06F1\u06F0/\u06F1\u06F0/\u06F3\u06F0\u06F4\u06F1"), std::string::npos);
}

TEST_F(HeadlessTest, SleepsAtTheSleepTimeoutAndWakesOnAKey) {
  seedConfig(idleSettings(1, 3, 2, 30));
  ASSERT_EQ(boot("wait 300000\ntype 1\nwait 1000\nquit\n"), 0) << readText(root_ + "/stdout.txt");
  const auto sleeps = eventTimes("sleep");
  const auto wakes = eventTimes("wake");
  ASSERT_EQ(sleeps.size(), 1u);
  ASSERT_EQ(wakes.size(), 1u);
  EXPECT_GE(sleeps[0] - BOOT_MS, 3 * MINUTE);
  EXPECT_LT(sleeps[0] - BOOT_MS, 3 * MINUTE + 5000);
  EXPECT_GE(wakes[0] - BOOT_MS, 5 * MINUTE);
  EXPECT_TRUE(eventTimes("power off").empty());
}

TEST_F(HeadlessTest, PowersOffAfterShutdownTimeoutOnlyWhileSleepIsDisabled) {
  seedConfig(idleSettings(2, 1, 1, 15));
  ASSERT_EQ(boot("wait 1800000\nquit\n"), 0) << readText(root_ + "/stdout.txt");
  const auto offs = eventTimes("power off");
  ASSERT_EQ(offs.size(), 1u);
  EXPECT_GE(offs[0] - BOOT_MS, 15 * MINUTE);
  EXPECT_LT(offs[0] - BOOT_MS, 15 * MINUTE + 5000);
  EXPECT_TRUE(eventTimes("sleep").empty());
}

TEST_F(HeadlessTest, StartUpJoinsTheStoredWifiNetworkThroughItsBusyAnswers) {
  Config c = idleSettings(2, 1, 2, 30);
  c.connectionType = 1;
  std::memcpy(c.WiFiSsid, "Cafe", 4);
  std::memcpy(c.WiFiPass, "secret123", 9);
  seedConfig(c);
  ASSERT_EQ(boot("wait 20000\nquit\n", "--sim-wifi 'add Cafe secret123 -45' --sim-wifi 'busy Cafe 2'"), 0)
      << readText(root_ + "/stdout.txt");
  EXPECT_EQ(eventTimes("wifi: join Cafe: busy").size(), 2u);
  const auto joined = eventTimes("wifi: joined Cafe");
  ASSERT_EQ(joined.size(), 1u);
  EXPECT_LT(joined[0] - BOOT_MS, 20000);
  EXPECT_TRUE(eventTimes("modem: PPP link up (APN mcinet)").empty());
}

TEST_F(HeadlessTest, StartUpDialsGprsAndALongSleepLosesTheLink) {
  Config c = idleSettings(1, 1, 2, 30);
  std::memcpy(c.APN, "mcinet", 6);
  seedConfig(c);
  ASSERT_EQ(boot("wait 500000\ntype 1\nwait 1000\nquit\n"), 0) << readText(root_ + "/stdout.txt");
  const auto up = eventTimes("modem: PPP link up (APN mcinet)");
  ASSERT_EQ(up.size(), 1u);
  EXPECT_LT(up[0] - BOOT_MS, 5000);
  const std::string events = readText(out_ + "/events.txt");
  EXPECT_NE(events.find("modem: PPP link lost in a sleep of 439 s"), std::string::npos) << events;
  Config after = {};
  const auto bytes = readBytes(data_ + "/p_Config.dat");
  std::memcpy(&after, bytes.data(), std::min(bytes.size(), sizeof after));
  EXPECT_EQ(strnlen(after.IMEI, sizeof after.IMEI), 15u);
}

TEST_F(HeadlessTest, WithoutASimTheStartUpCarriesOnToTheIdleScreen) {
  ASSERT_EQ(boot("wait 1000\nshot idle\nquit\n", "--sim-modem nosim"), 0) << readText(root_ + "/stdout.txt");
  EXPECT_NE(readText(out_ + "/idle.txt").find("\"main.png\""), std::string::npos);
  EXPECT_TRUE(eventTimes("modem: PPP link up (APN mcinet)").empty());
}

// --help used to be refused as unknown and -h ignored (a terminal started).
TEST_F(HeadlessTest, HelpPrintsTheUsageAndUnknownOptionsAreRefusedWithIt) {
  for (const char *help : {"--help", "-h"}) {
    EXPECT_EQ(boot("quit\n", help), 0) << help;
    const std::string out = readText(root_ + "/stdout.txt");
    EXPECT_NE(out.find("usage: saffron"), std::string::npos) << out;
    EXPECT_NE(out.find("--sim-help"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(data_ + "/p_Config.dat"));  // no terminal was started
  }
  EXPECT_EQ(boot("quit\n", "--frobnicate"), 2);
  const std::string out = readText(root_ + "/stdout.txt");
  EXPECT_NE(out.find("unknown option --frobnicate"), std::string::npos) << out;
  EXPECT_NE(out.find("usage: saffron"), std::string::npos) << out;
}

// A bad font or a folder as the script used to run on with blank screens or
// no script and end with status 0.
TEST_F(HeadlessTest, FontThatDoesNotLoadAndAFolderAsTheScriptAreRefused) {
  EXPECT_EQ(boot("quit\n", "--sim-font " + root_ + "/missing.ttf"), 2);
  writeBytes(root_ + "/not-a-font.ttf", "plain text", 10);
  EXPECT_EQ(boot("quit\n", "--sim-font " + root_ + "/not-a-font.ttf"), 2);
  EXPECT_NE(readText(root_ + "/stdout.txt").find("not a font that loads"), std::string::npos);
  EXPECT_EQ(boot("quit\n", "--sim-script " + root_), 2);
  EXPECT_NE(readText(root_ + "/stdout.txt").find("is a folder"), std::string::npos);
}

} // namespace
