/*
 * settings_test.cpp - the checks shared by the settings screens and
 * saffron-config, the supervisor password, and the command itself: a bad value
 * leaves the file byte for byte as it was.
 */
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/Filing.h"
#include "core/Settings.h"
#include "util/Sha256.h"

namespace fs = std::filesystem;

namespace {

std::string hex(const std::uint8_t *d, std::size_t n) {
  std::string s;
  char b[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", d[i]);
    s += b;
  }
  return s;
}

TEST(Sha256, matchesTheStandardVectors) {
  std::uint8_t out[SHA256_DIGEST_SIZE];
  sha256("abc", 3, out);
  EXPECT_EQ(hex(out, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const char *two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"; // crosses a block
  sha256(two, std::strlen(two), out);
  EXPECT_EQ(hex(out, 32), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  hmacSha256("Jefe", 4, "what do ya want for nothing?", 28, out);
  EXPECT_EQ(hex(out, 32), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  std::uint8_t longKey[131];
  std::memset(longKey, 0xaa, sizeof longKey); // a key longer than a block is hashed first
  const char *text = "Test Using Larger Than Block-Size Key - Hash Key First";
  hmacSha256(longKey, sizeof longKey, text, std::strlen(text), out);
  EXPECT_EQ(hex(out, 32), "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(SupervisorCode, isFourDigitsThatChangeWithSerialAndDay) {
  char a[8], b[8], c[8], again[8];
  supervisorCode("SIM00012345", "20261207", a, sizeof a);
  supervisorCode("SIM00012345", "20261208", b, sizeof b);
  supervisorCode("SIM00012346", "20261207", c, sizeof c);
  supervisorCode("SIM00012345", "20261207", again, sizeof again);
  EXPECT_EQ(std::strlen(a), 4u);
  EXPECT_STREQ(a, again);
  // Three different codes (a clash of two is a 1-in-10000 chance for a given pair).
  EXPECT_STRNE(a, b);
  EXPECT_STRNE(a, c);
}

TEST(SettingChecks, refuseWhatTheScreensRefuse) {
  EXPECT_TRUE(validIpAddress("127.0.0.1"));
  EXPECT_TRUE(validIpAddress("087.107.134.151"));
  for (const char *bad : {"", "1.2.3", "1.2.3.4.5", "255.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d", "1234.1.1.1"})
    EXPECT_FALSE(validIpAddress(bad)) << bad;
  EXPECT_TRUE(validPort("4080"));
  EXPECT_TRUE(validPort("65535"));
  for (const char *bad : {"80", "65536", "123456", "40a0", ""}) EXPECT_FALSE(validPort(bad)) << bad;

  Config before = config;
  char error[160] = {};
  EXPECT_EQ(setSettingByName("askForSecondTicket", "4", error, sizeof error), -1);
  EXPECT_NE(std::string(error).find("askForSecondTicket wants"), std::string::npos);
  EXPECT_EQ(setSettingByName("shutdownTimeout", "61", error, sizeof error), -1);
  EXPECT_EQ(setSettingByName("shutdownTimeout", "10", error, sizeof error), -1);
  EXPECT_EQ(setSettingByName("merchantTicketTimeout", "1", error, sizeof error), -1);
  EXPECT_EQ(setSettingByName("HostIp", "127.0.0.1", error, sizeof error), -1);
  EXPECT_EQ(std::memcmp(&before, &config, sizeof config), 0) << "a refused value changes nothing";
  EXPECT_EQ(setSettingByName("shutdownTimeout", "15", error, sizeof error), 0);
  EXPECT_EQ(config.shutdownTimeout, 15);
  EXPECT_EQ(setSettingByName("shutdownTimeout", "60", error, sizeof error), 0);
  EXPECT_EQ(setSettingByName("merchantTicketTimeout", "2", error, sizeof error), 0);
  EXPECT_EQ(config.merchantTicketTimeout, 2);
}

// saffron-config on a folder of its own.
class SaffronConfig : public ::testing::Test {
protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("saffron_config_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the command; its exit status, standard output and error in out.
  int run(const std::string &args, std::string *out = nullptr) {
    const std::string command = std::string(SAFFRON_CONFIG_PROGRAM) + " " + dir.string() + " " + args + " 2>&1";
    FILE *p = popen(command.c_str(), "r");
    std::string text;
    char buf[512];
    while (p != nullptr && std::fgets(buf, sizeof buf, p) != nullptr) text += buf;
    const int status = p != nullptr ? pclose(p) : -1;
    if (out != nullptr) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string settingsFile() {
    std::ifstream in(dir / CONFIG_FILE, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(SaffronConfig, provisionsAFreshFolderOnlyWhenEveryValuePasses) {
  std::string out;
  EXPECT_EQ(run("set HostIP=127.0.0.1 HostPort=99999", &out), 2);
  EXPECT_NE(out.find("HostPort wants"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir / CONFIG_FILE)) << "a refused set writes nothing";

  ASSERT_EQ(run("set HostIP=127.0.0.1 HostPort=45001 askForSecondTicket=2 TMSHost=127.0.0.1 TMSPort=1010", &out), 0)
      << out;
  ASSERT_EQ(fs::file_size(dir / CONFIG_FILE), sizeof(Config));
  ASSERT_EQ(run("show", &out), 0);
  EXPECT_NE(out.find("HostIP                 127.0.0.1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("HostPort               45001\n"), std::string::npos) << out;
  EXPECT_NE(out.find("askForSecondTicket     2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("shutdownTimeout        30\n"), std::string::npos) << "defaults fill the rest: " << out;

  const std::string before = settingsFile();
  for (const char *bad : {"connectionType=2", "HostIP=127.0.0.256", "nosuch=1", "HostPort", "askForSecondTicket=0"}) {
    EXPECT_EQ(run(std::string("set HostPort=4000 ") + bad, &out), 2) << bad;
    EXPECT_EQ(settingsFile(), before) << bad;
  }
}

TEST_F(SaffronConfig, givesTheSupervisorCodeOfTheTerminalsSerialAndDay) {
  std::string out;
  ASSERT_EQ(run("set HostPort=4080"), 0);
  EXPECT_EQ(run("supervisor-code 20261207", &out), 1) << "no serial number before the first start: " << out;
  std::string image = settingsFile();
  std::memcpy(image.data() + offsetof(Config, SerialNo), "SIM00012345", 12);
  std::ofstream(dir / CONFIG_FILE, std::ios::binary) << image;
  ASSERT_EQ(run("supervisor-code 20261207", &out), 0) << out;
  char expected[8];
  supervisorCode("SIM00012345", "20261207", expected, sizeof expected);
  EXPECT_EQ(out, std::string(expected) + "\n");
  ASSERT_EQ(run("supervisor-code 20261207 SIM00099999", &out), 0) << "the serial shown on the screen";
  supervisorCode("SIM00099999", "20261207", expected, sizeof expected);
  EXPECT_EQ(out, std::string(expected) + "\n");
  EXPECT_EQ(run("supervisor-code 20261332", &out), 2);
  EXPECT_EQ(run("supervisor-code 2026120", &out), 2);
}

} // namespace
