/*
 * The simulator's GPRS modem and WiFi radio: SIM and attachment, the PPP link
 * and what drops it, the IMEI, scanning and joining networks, and the script
 * commands that change them.
 */
#include <cstring>

#include "libapi.h"
#include "platform_clock.h"
#include "sim_test_util.h"

namespace {

using Radio = SimTest;

void radio(const std::string& line) {
  std::string error;
  ASSERT_TRUE(sim::radioCommand(line, &error)) << line << ": " << error;
}

int dialAttempt() {
  if (DLL_PppCheckSim() != 0) return -1;
  return DLL_PppDial("CMNET", "*99***1#");
}

/* ---- modem -------------------------------------------------------------------------- */

TEST_F(Radio, WithoutASimNothingAttachesOrDials) {
  radio("modem nosim");
  EXPECT_NE(DLL_PppCheckSim(), 0);
  EXPECT_NE(DLL_PppCheckCgatt(), 0);
  EXPECT_NE(DLL_PppDial("CMNET", "*99***1#"), 0);
  EXPECT_NE(DLL_PppStatus(), 0);
  radio("modem sim");
  EXPECT_EQ(DLL_PppCheckSim(), 0);
  EXPECT_EQ(DLL_PppCheckCgatt(), 0);  // a fresh device attaches on its first check
  EXPECT_EQ(dialAttempt(), 0);
  EXPECT_EQ(DLL_PppStatus(), 0);
}

TEST_F(Radio, AttachmentComesOnTheConfiguredCheckAndStays) {
  radio("modem attach-after 20");
  for (int i = 1; i < 20; ++i) {
    EXPECT_NE(DLL_PppCheckCgatt(), 0) << "check " << i;
    EXPECT_NE(DLL_PppDial("CMNET", "*99***1#"), 0) << "dialled before attachment";
  }
  EXPECT_EQ(DLL_PppCheckCgatt(), 0);
  EXPECT_EQ(sim::bearerState().attachChecks, 20);
  EXPECT_EQ(DLL_PppCheckCgatt(), 0);
  EXPECT_EQ(DLL_PppDial("CMNET", "*99***1#"), 0);

  // Pulling the SIM loses the attachment and the link; the count starts again.
  radio("modem nosim");
  radio("modem sim");
  EXPECT_NE(DLL_PppStatus(), 0);
  EXPECT_FALSE(sim::bearerState().attached);
  EXPECT_NE(DLL_PppCheckCgatt(), 0);

  radio("modem attach-after never");
  for (int i = 0; i < 200; ++i) ASSERT_NE(DLL_PppCheckCgatt(), 0);
}

TEST_F(Radio, PppLinkDropsOnDisconnectOnTheNetworkAndInALongSleep) {
  ASSERT_EQ(DLL_PppCheckCgatt(), 0);
  ASSERT_EQ(DLL_PppDial("CMNET", "*99***1#"), 0);
  EXPECT_EQ(DLL_PppDisconnect(), 0);
  EXPECT_NE(DLL_PppStatus(), 0);

  ASSERT_EQ(DLL_PppDial("CMNET", "*99***1#"), 0);
  radio("modem drop");
  EXPECT_NE(DLL_PppStatus(), 0);
  EXPECT_TRUE(sim::bearerState().attached);  // only the link went, not the registration

  // Up to five minutes asleep keep the link; longer loses it.
  ASSERT_EQ(DLL_PppDial("CMNET", "*99***1#"), 0);
  ASSERT_TRUE(sim::loadScript("wait 290000\nkey 1\n", nullptr));
  DLL_SysEnterSleep();
  EXPECT_EQ(DLL_PppStatus(), 0);
  DLL_KbFlush();
  ASSERT_TRUE(sim::loadScript("wait 301000\nkey 1\n", nullptr));
  DLL_SysEnterSleep();
  EXPECT_NE(DLL_PppStatus(), 0);
}

TEST_F(Radio, ImeiIsFifteenLuhnDigitsFromTheSerialNumber) {
  char imei[DLL_IMEI_SIZE];
  std::memset(imei, 'x', sizeof imei);
  ASSERT_EQ(DLL_PppGetIMEI(imei), 0);
  ASSERT_EQ(std::strlen(imei), 15u);
  int sum = 0;
  for (int i = 0; i < 15; ++i) {
    ASSERT_TRUE(imei[i] >= '0' && imei[i] <= '9') << imei;
    int d = imei[i] - '0';
    if (i % 2 == 1) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
    sum += d;
  }
  EXPECT_EQ(sum % 10, 0) << imei;
  std::string first = imei;
  radio("modem nosim");  // the IMEI is the modem's, not the SIM's
  ASSERT_EQ(DLL_PppGetIMEI(imei), 0);
  EXPECT_EQ(first, imei);
  sim::setSerial("SIM00099999");
  ASSERT_EQ(DLL_PppGetIMEI(imei), 0);
  EXPECT_NE(first, imei);
}

/* ---- WiFi ---------------------------------------------------------------------------- */

DLL_WifiAp apNamed(const std::string& ssid) {
  DLL_WifiAp ap;
  std::memset(&ap, 0, sizeof ap);
  std::snprintf(ap.ssid, sizeof ap.ssid, "%s", ssid.c_str());
  return ap;
}

TEST_F(Radio, ScanListsTheNetworksInRangeOnlyWhileTheRadioIsOn) {
  radio("wifi add Cafe secret123 -45");
  radio("wifi add Library - 70% 5180");
  DLL_WifiAp list[DLL_WIFI_MAX_APS];
  EXPECT_LT(DLL_WifiScan(list), 0);
  ASSERT_EQ(DLL_WifiOpen(), 0);
  ASSERT_EQ(DLL_WifiScan(list), 2);
  EXPECT_STREQ(list[0].ssid, "Cafe");
  EXPECT_STREQ(list[0].signal, "-45");
  EXPECT_STREQ(list[0].frequency, "2412");
  EXPECT_STREQ(list[0].flags, "[WPA2-PSK-CCMP][ESS]");
  EXPECT_EQ(std::strlen(list[0].bssid), 17u);
  EXPECT_STREQ(list[1].ssid, "Library");
  EXPECT_STREQ(list[1].frequency, "5180");
  EXPECT_STREQ(list[1].flags, "[ESS]");
  EXPECT_STRNE(list[0].bssid, list[1].bssid);

  // More networks than the list holds: the scan stops at its size.
  for (int i = 0; i < DLL_WIFI_MAX_APS + 5; ++i) radio("wifi add net" + std::to_string(i) + " - -60");
  EXPECT_EQ(DLL_WifiScan(list), DLL_WIFI_MAX_APS);
  radio("wifi clear");
  EXPECT_EQ(DLL_WifiScan(list), 0);
}

TEST_F(Radio, JoiningNeedsTheRightPassPhraseAndANetworkInRange) {
  radio("wifi add Cafe secret123 -45");
  radio("wifi add Library - -70");
  ASSERT_EQ(DLL_WifiOpen(), 0);
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Cafe"), "secret12"), DLL_WIFI_ERR_AUTH);
  EXPECT_NE(DLL_WifiGetNetworkStatus(nullptr), 0);
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Nowhere"), "x"), DLL_WIFI_ERR_NO_NETWORK);
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Library"), "anything"), 0);  // open network
  ASSERT_EQ(DLL_WifiConnectNetwork(apNamed("Cafe"), "secret123"), 0);
  unsigned char status[DLL_WIFI_STATUS_SIZE];
  ASSERT_EQ(DLL_WifiGetNetworkStatus(status), 0);
  EXPECT_NE(std::string(reinterpret_cast<char*>(status)).find("ssid=Cafe"), std::string::npos);
  EXPECT_EQ(sim::bearerState().joined, "Cafe");

  // The network goes away: the terminal is no longer joined and cannot rejoin.
  radio("wifi remove Cafe");
  EXPECT_NE(DLL_WifiGetNetworkStatus(status), 0);
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Cafe"), "secret123"), DLL_WIFI_ERR_NO_NETWORK);

  // Closing the radio leaves whatever was joined.
  ASSERT_EQ(DLL_WifiConnectNetwork(apNamed("Library"), ""), 0);
  DLL_WifiClose();
  EXPECT_EQ(sim::bearerState().joined, "");
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Library"), ""), DLL_ERR_NOT_READY);
}

TEST_F(Radio, ABusyNetworkAnswersRetryForItsFirstAttempts) {
  radio("wifi add Cafe secret123 -45");
  radio("wifi busy Cafe 2");
  ASSERT_EQ(DLL_WifiOpen(), 0);
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Cafe"), "secret123"), DLL_WIFI_RETRY);
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Cafe"), "wrong"), DLL_WIFI_RETRY);  // busy before checking
  EXPECT_EQ(DLL_WifiConnectNetwork(apNamed("Cafe"), "secret123"), 0);
}

TEST_F(Radio, PassPhrasesStayOutOfTheEvents) {
  radio("wifi add Cafe secret123 -45");
  ASSERT_EQ(DLL_WifiOpen(), 0);
  DLL_WifiConnectNetwork(apNamed("Cafe"), "guess-one");
  DLL_WifiConnectNetwork(apNamed("Cafe"), "secret123");
  // Switching off writes events.txt into the out folder.
  sim::setOutputDir(dir_.string());
  sim::setPowerDownHandler([] {});
  DLL_SysPowerDown();
  std::string events = readFile(dir_ / "events.txt");
  EXPECT_NE(events.find("wifi: joined Cafe"), std::string::npos) << events;
  EXPECT_EQ(events.find("secret123"), std::string::npos) << events;
  EXPECT_EQ(events.find("guess-one"), std::string::npos) << events;
}

/* ---- commands ------------------------------------------------------------------------- */

TEST_F(Radio, MalformedModemAndWifiLinesAreRefused) {
  std::string error;
  for (const char* bad : {"modem", "modem fly", "modem attach-after", "modem attach-after 0", "modem attach-after x",
                          "modem nosim now", "wifi", "wifi add Cafe", "wifi add Cafe pass -12345",
                          "wifi add Cafe pass -45 freq", "wifi busy Cafe", "wifi busy Cafe -1",
                          "wifi remove", "wifi add " "123456789012345678901234567890123 p -45"}) {
    EXPECT_FALSE(sim::radioCommand(bad, &error)) << bad;
    EXPECT_FALSE(sim::loadScript(std::string("wait 1\n") + bad + "\n", &error)) << bad;
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  }
}

TEST_F(Radio, ScriptCommandsChangeTheRadioAsTheyRun) {
  ASSERT_TRUE(sim::loadScript("wifi add Cafe secret123 -45\nmodem nosim\nwait 1000\nwifi remove Cafe\n"
                              "modem sim\nkey 1\n",
                              nullptr));
  PLAT_SleepMs(500);
  EXPECT_FALSE(sim::bearerState().simPresent);
  EXPECT_EQ(sim::bearerState().networks, std::vector<std::string>{"Cafe -45"});
  PLAT_SleepMs(600);
  EXPECT_TRUE(sim::bearerState().simPresent);
  EXPECT_TRUE(sim::bearerState().networks.empty());
}

}  // namespace
