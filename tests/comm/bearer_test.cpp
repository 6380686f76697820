// bearer_test.cpp - the bearers over the simulator's modem and WiFi radio: GPRS
// bring-up, connecting with recovery, the WiFi join at start-up, and the
// background connect thread (these also run under ThreadSanitizer in CI).
#include "bearer_test_util.h"
#include "core/Business.h"
#include "libapi.h"
#include "platform_clock.h"

namespace {

/* ---- GPRS bring-up ------------------------------------------------------------------------ */

using Gprs = BearerTest;

TEST_F(Gprs, NoSimGivesMinusOneAtOnceWithoutDialling) {
  radio("modem nosim");
  const long long before = PLAT_ClockMs();
  EXPECT_EQ(wirelessSetup("mcinet", "", "", CONNECTION_GPRS), WIRELESS_NO_SIM);
  EXPECT_EQ(PLAT_ClockMs(), before);
  EXPECT_EQ(sim::bearerState().attachChecks, 0);
  EXPECT_FALSE(sim::bearerState().pppUp);
}

TEST_F(Gprs, AttachmentOnTheTwentiethCheckStillDials) {
  radio("modem attach-after 20");
  EXPECT_EQ(wirelessSetup("mcinet", "", "", CONNECTION_GPRS), 0);
  EXPECT_EQ(sim::bearerState().attachChecks, 20);
  EXPECT_TRUE(sim::bearerState().pppUp);
}

TEST_F(Gprs, NoAttachmentInTwentyChecksGivesMinusTwoAfterTwentySeconds) {
  radio("modem attach-after 21");
  const long long before = PLAT_ClockMs();
  EXPECT_EQ(wirelessSetup("mcinet", "", "", CONNECTION_GPRS), WIRELESS_NOT_ATTACHED);
  EXPECT_EQ(sim::bearerState().attachChecks, 20);
  EXPECT_FALSE(sim::bearerState().pppUp);
  EXPECT_EQ(PLAT_ClockMs() - before, 20 * ATTACH_CHECK_GAP_MS);
}

/* ---- connecting with recovery ---------------------------------------------------------------- */

using Connect = BearerTest;

TEST_F(Connect, AnUpLinkConnectsAtOnceAndKeepsTheAddressAsTyped) {
  pppUp();
  std::snprintf(config.HostIP, sizeof config.HostIP, "127.000.000.001");
  EXPECT_GE(tryConnect(), 1);
  EXPECT_EQ(connectionStatus, LINK_UP);
  EXPECT_GE(sockfd, 0);
  EXPECT_EQ(connects, 1);
  EXPECT_STREQ(config.HostIP, "127.000.000.001");
  EXPECT_EQ(tryDisconnect(), 0);
  EXPECT_EQ(connectionStatus, LINK_DOWN);
  EXPECT_EQ(sockfd, -1);
}

TEST_F(Connect, ADroppedPppLinkIsRedialledAndTheSecondConnectSucceeds) {
  pppUp();
  radio("modem drop");
  const long long before = PLAT_ClockMs();
  EXPECT_GE(tryConnect(), 1);
  EXPECT_EQ(connects, 2);
  EXPECT_TRUE(sim::bearerState().pppUp);
  EXPECT_EQ(connectionStatus, LINK_UP);
  EXPECT_GE(PLAT_ClockMs() - before, REDIAL_PAUSE_MS);
}

TEST_F(Connect, ALinkLostInALongSleepIsRestoredByTheNextConnect) {
  pppUp();
  ASSERT_TRUE(sim::loadScript("wait 400000\nkey 1\n", nullptr));
  DLL_SysEnterSleep();
  ASSERT_NE(DLL_PppStatus(), 0);
  EXPECT_GE(tryConnect(), 1);
  EXPECT_TRUE(sim::bearerState().pppUp);
}

TEST_F(Connect, WithoutASimThreeConnectsFailAndTheLinkIsDown) {
  radio("modem nosim");
  EXPECT_LT(tryConnect(), 0);
  EXPECT_EQ(connects, CONNECT_ATTEMPTS);
  EXPECT_EQ(connectionStatus, LINK_DOWN);
  EXPECT_EQ(sockfd, -1);
}

TEST_F(Connect, OnWifiAFailedConnectIsRetriedWithoutTouchingTheModem) {
  config.connectionType = CONNECTION_WIFI;
  EXPECT_LT(tryConnect(), 0);
  EXPECT_EQ(connects, CONNECT_ATTEMPTS);
  EXPECT_EQ(sim::bearerState().attachChecks, 0);
  EXPECT_FALSE(sim::bearerState().pppUp);

  radio("wifi add Cafe secret123 -45");
  std::snprintf(config.WiFiSsid, sizeof config.WiFiSsid, "Cafe");
  std::snprintf(config.WiFiPass, sizeof config.WiFiPass, "secret123");
  ASSERT_EQ(wifiStartUp(nullptr), 0);
  EXPECT_GE(tryConnect(), 1);
  EXPECT_EQ(connectionStatus, LINK_UP);
}

/* ---- WiFi at start-up ------------------------------------------------------------------------ */

using WifiStart = BearerTest;

TEST_F(WifiStart, ABusyNetworkAnsweringTwiceIsJoinedOnTheThirdAttempt) {
  radio("wifi add Cafe secret123 -45");
  radio("wifi busy Cafe 2");
  std::snprintf(config.WiFiSsid, sizeof config.WiFiSsid, "Cafe");
  std::snprintf(config.WiFiPass, sizeof config.WiFiPass, "secret123");
  const long long before = PLAT_ClockMs();
  EXPECT_EQ(wifiStartUp(nullptr), 0);
  EXPECT_EQ(sim::bearerState().joined, "Cafe");
  EXPECT_EQ(PLAT_ClockMs() - before, WIFI_JOIN_PAUSE_MS + 2 * WIFI_BUSY_GAP_MS);
}

TEST_F(WifiStart, ThreeBusyAnswersGiveUp) {
  radio("wifi add Cafe secret123 -45");
  radio("wifi busy Cafe 3");
  std::snprintf(config.WiFiSsid, sizeof config.WiFiSsid, "Cafe");
  std::snprintf(config.WiFiPass, sizeof config.WiFiPass, "secret123");
  EXPECT_EQ(wifiStartUp(nullptr), DLL_WIFI_RETRY);
  EXPECT_EQ(sim::bearerState().joined, "");
}

TEST_F(WifiStart, AMissingOrUnnamedNetworkIsNotJoined) {
  std::snprintf(config.WiFiSsid, sizeof config.WiFiSsid, "Cafe");
  EXPECT_EQ(wifiStartUp(nullptr), WIFI_NOT_FOUND); // nothing in range: the radio goes off again
  EXPECT_FALSE(sim::bearerState().wifiOpen);
  radio("wifi add Library - -70");
  EXPECT_EQ(wifiStartUp(nullptr), WIFI_NOT_FOUND);
  // An open network with an empty name is not what an empty setting means.
  config.WiFiSsid[0] = '\0';
  EXPECT_EQ(wifiStartUp(nullptr), WIFI_NOT_FOUND);
  EXPECT_EQ(sim::bearerState().joined, "");
}

TEST_F(WifiStart, AStoredPassPhraseFillingItsFieldIsSentWhole) {
  const std::string pass(sizeof config.WiFiPass, 'p'); // 32 characters, no room for a NUL
  radio("wifi add Cafe " + pass + " -45");
  std::snprintf(config.WiFiSsid, sizeof config.WiFiSsid, "Cafe");
  std::memcpy(config.WiFiPass, pass.data(), sizeof config.WiFiPass);
  EXPECT_EQ(wifiStartUp(nullptr), 0);
}

TEST_F(WifiStart, ModuleInitBringsUpTheConfiguredBearerAndReadsTheImei) {
  writeConfig2File();
  moduleInit();
  EXPECT_TRUE(sim::bearerState().pppUp);
  EXPECT_EQ(std::strlen(config.IMEI), 15u);

  sim::resetForTest(dir_.c_str());
  radio("wifi add Cafe secret123 -45");
  config.connectionType = CONNECTION_WIFI;
  std::snprintf(config.WiFiSsid, sizeof config.WiFiSsid, "Cafe");
  std::snprintf(config.WiFiPass, sizeof config.WiFiPass, "secret123");
  writeConfig2File();
  moduleInit();
  EXPECT_EQ(sim::bearerState().joined, "Cafe");
  EXPECT_FALSE(sim::bearerState().pppUp);
}

/* ---- the background thread ------------------------------------------------------------------- */

using LinkThread = BearerTest;

TEST_F(LinkThread, ConnectThreadWhileConnectedDoesNothing) {
  pppUp();
  ASSERT_GE(tryConnect(), 1);
  EXPECT_EQ(connectThread(), 0);
  EXPECT_EQ(pThread, NO_THREAD);
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(connectionStatus, LINK_UP);
}

TEST_F(LinkThread, ConnectsInTheBackgroundAndDisconnectsAgain) {
  pppUp();
  ASSERT_EQ(connectThread(), 0);
  EXPECT_NE(connectionStatus, LINK_DOWN); // never down while the connection is starting
  ASSERT_TRUE(waitForNoThread());
  EXPECT_EQ(connectionStatus, LINK_UP);
  EXPECT_GE(sockfd, 0);
  EXPECT_EQ(connects, 1);

  ASSERT_EQ(disconnectThread(), 0);
  ASSERT_TRUE(waitForNoThread());
  EXPECT_EQ(connectionStatus, LINK_DOWN);
  EXPECT_EQ(sockfd, -1);
  EXPECT_EQ(disconnectThread(), 0); // nothing to disconnect
  EXPECT_EQ(pThread, NO_THREAD);
}

TEST_F(LinkThread, OnlyOneThreadRunsAtATime) {
  pppUp();
  holdConnects = true;
  ASSERT_EQ(connectThread(), 0);
  while (connects == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_NE(pThread, NO_THREAD);
  EXPECT_EQ(disconnectThread(), -1); // connecting, and the thread still runs
  EXPECT_EQ(connectThread(), 0);     // already connecting
  holdConnects = false;
  ASSERT_TRUE(waitForNoThread());
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(connectionStatus, LINK_UP);
}

TEST_F(LinkThread, AThreadThatCannotBeCreatedLeavesTheLinkDown) {
  pppUp();
  linkThreadCreate = [](pthread_t *, void *(*)(void *), void *) { return EAGAIN; };
  EXPECT_EQ(connectThread(), EAGAIN);
  EXPECT_EQ(connectionStatus, LINK_DOWN); // a waiter must not wait for a thread that never ran
  EXPECT_EQ(pThread, NO_THREAD);
  linkThreadCreate = defaultCreate;
  EXPECT_EQ(connectThread(), 0);
  ASSERT_TRUE(waitForNoThread());
  EXPECT_EQ(connectionStatus, LINK_UP);
}

TEST_F(LinkThread, AThreadFinishingBeforeItsCreatorGoesOnLeavesNoThreadMarked) {
  pppUp();
  // The creator is held until the new thread has run to its end.
  linkThreadCreate = [](pthread_t *thread, void *(*routine)(void *), void *arg) {
    const int rc = pthread_create(thread, nullptr, routine, arg);
    while (rc == 0 && pThread != NO_THREAD) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return rc;
  };
  ASSERT_EQ(connectThread(), 0);
  EXPECT_EQ(pThread, NO_THREAD);
  EXPECT_EQ(connectionStatus, LINK_UP);
  ASSERT_EQ(disconnectThread(), 0);
  EXPECT_EQ(pThread, NO_THREAD);
  EXPECT_EQ(connectionStatus, LINK_DOWN);
}

// A background thread held at its start until released: the disconnect a
// customer flow leaves behind, not yet run when the next connect comes.
std::atomic<bool> holdThreadStart{false};
void *(*heldRoutine)(void *) = nullptr;
void *heldArg = nullptr;

void *heldStart(void *) {
  while (holdThreadStart) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return heldRoutine(heldArg);
}

int heldCreate(pthread_t *thread, void *(*routine)(void *), void *arg) {
  heldRoutine = routine;
  heldArg = arg;
  return pthread_create(thread, nullptr, heldStart, nullptr);
}

// Releases the held thread a little later, from another thread, as the
// scheduler would when the UI thread is already asking for the next connect.
std::thread releaseLater() {
  return std::thread([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    holdThreadStart = false;
  });
}

TEST_F(LinkThread, AConnectAfterABackgroundDisconnectKeepsItsConnection) {
  pppUp();
  for (const bool threaded : {true, false}) {
    SCOPED_TRACE(threaded ? "background connect" : "connect in the caller");
    ASSERT_GE(tryConnect(), 1);
    holdThreadStart = true;
    linkThreadCreate = heldCreate;
    ASSERT_EQ(disconnectThread(), 0);
    linkThreadCreate = defaultCreate;
    std::thread release = releaseLater();
    if (threaded) EXPECT_EQ(connectThread(), 0);
    else EXPECT_GE(tryConnect(), 1);
    release.join();
    ASSERT_TRUE(waitForNoThread());
    EXPECT_EQ(connectionStatus, LINK_UP);
    EXPECT_GE(sockfd, 0); // the old disconnect did not close the new connection
    tcpClose();
    connectionStatus = LINK_DOWN;
  }
}

} // namespace
