/*
 * Bearer.cpp - GPRS bring-up, the WiFi scan and join, connecting to the switch
 * with bearer recovery, and the background connect/disconnect thread.
 *
 * Sections: link state, GPRS, WiFi, the switch connection, the background thread.
 *
 * Every wait is a plain sleep on the terminal's clock (mid_sleepMs): on the
 * background thread it neither flushes the keypad nor takes a timer slot of
 * the user interface.
 */
#include "comm/Bearer.h"

#include <cstdio>
#include <cstring>

#include "comm/Connection.h"
#include "core/Filing.h"
#include "core/debug.h"
#include "core/time.h"

/* ---- link state ------------------------------------------------------------------------- */

std::atomic<int> connectionStatus{LINK_DOWN};
std::atomic<long> pThread{NO_THREAD};
uint8_t isUsingTread = 0;
int isPosConnected = -1;
int wifiExists = 0;

void initLinkState() {
  isPosConnected = -1;
  pThread = NO_THREAD;
}

/* ---- GPRS ------------------------------------------------------------------------------------ */

int mid_wirelessSetup(const char *apn, const char *user, const char *password, int connectionType) {
  (void)connectionType;
  DLL_PppInit(apn != nullptr ? apn : "", user != nullptr ? user : "", password != nullptr ? password : "");
  if (DLL_PppCheckSim() != 0) {
    USB_printf2("wirelessSetup: no SIM");
    return WIRELESS_NO_SIM;
  }
  bool attached = false;
  for (int check = 1; check <= ATTACH_CHECKS && !attached; ++check) {
    attached = DLL_PppCheckCgatt() == 0;
    if (!attached) mid_sleepMs(ATTACH_CHECK_GAP_MS);
  }
  if (!attached) {
    USB_printf2("wirelessSetup: not attached after %d checks", ATTACH_CHECKS);
    return WIRELESS_NOT_ATTACHED;
  }
  const int dial = DLL_PppDial(DIAL_APN, DIAL_NUMBER);
  USB_printf2("wirelessSetup: dial %d", dial);
  return dial;
}

int wirelessSetup(const char *apn, const char *user, const char *password, int connectionType) {
  return mid_wirelessSetup(apn, user, password, connectionType);
}

int wirelessShutdown() { return 0; }

int finalAction() { return wirelessShutdown(); }

int gprsBringUp(bool dropLink) {
  mid_wifiShutdown();
  if (dropLink) DLL_PppDisconnect();
  return wirelessSetup(config.APN, config.APNUser, config.APNPass, CONNECTION_GPRS);
}

/* ---- WiFi ----------------------------------------------------------------------------------------- */

DLL_WifiAp wifiList[DLL_WIFI_MAX_APS];
int wifiCount = 0;

int wifiCheck() { return 1; }

int wifiSetup() { return 1; }

int mid_wifiShutdown() {
  DLL_WifiClose();
  return 0;
}

int wifiScanNetworks() {
  std::memset(wifiList, 0, sizeof wifiList);
  const int found = DLL_WifiScan(wifiList);
  wifiCount = found < 0 ? 0 : found > DLL_WIFI_MAX_APS ? DLL_WIFI_MAX_APS : found;
  // The platform's texts may fill their fields: terminate each one.
  for (int i = 0; i < wifiCount; ++i) {
    DLL_WifiAp &ap = wifiList[i];
    ap.bssid[sizeof ap.bssid - 1] = '\0';
    ap.frequency[sizeof ap.frequency - 1] = '\0';
    ap.signal[sizeof ap.signal - 1] = '\0';
    ap.flags[sizeof ap.flags - 1] = '\0';
    ap.ssid[sizeof ap.ssid - 1] = '\0';
  }
  return wifiCount;
}

int wifiFindNetwork(const char *ssid) {
  if (ssid == nullptr || ssid[0] == '\0') return -1;
  for (int i = 0; i < wifiCount; ++i)
    if (std::strcmp(wifiList[i].ssid, ssid) == 0) return i;
  return -1;
}

int wifiJoin(int index, const char *password, int attempts) {
  if (index < 0 || index >= wifiCount) return DLL_WIFI_ERR_NO_NETWORK;
  int result = DLL_WIFI_RETRY;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    result = DLL_WifiConnectNetwork(wifiList[index], password != nullptr ? password : "");
    USB_printf2("wifi join %s: %d", wifiList[index].ssid, result);
    if (result != DLL_WIFI_RETRY || attempt == attempts) break;
    mid_sleepMs(WIFI_BUSY_GAP_MS);
  }
  return result;
}

int wifiStartUp(void (*beforeScan)()) {
  const int opened = DLL_WifiOpen();
  if (opened != 0) {
    DLL_WifiClose();
    return opened;
  }
  if (beforeScan != nullptr) beforeScan();
  if (wifiScanNetworks() == 0) {
    DLL_WifiClose();
    return WIFI_NOT_FOUND;
  }
  // The stored pass phrase fills its field when it is 32 characters long.
  char ssid[sizeof config.WiFiSsid + 1] = {};
  char pass[sizeof config.WiFiPass + 1] = {};
  std::memcpy(ssid, config.WiFiSsid, sizeof config.WiFiSsid);
  std::memcpy(pass, config.WiFiPass, sizeof config.WiFiPass);
  const int index = wifiFindNetwork(ssid);
  if (index < 0) return WIFI_NOT_FOUND;
  mid_sleepMs(WIFI_JOIN_PAUSE_MS);
  return wifiJoin(index, pass, WIFI_JOIN_ATTEMPTS);
}

/* ---- the switch connection ----------------------------------------------------------------------- */

namespace {
void awaitClosingLink();
// The connect works on a copy: the link rewrites the address it is given, and
// config belongs to the UI thread while this may run in the background.
int connectToSwitch() {
  char address[sizeof config.HostIP + 1] = {};
  std::memcpy(address, config.HostIP, sizeof config.HostIP);
  return remoteConnect(address, sizeof address, config.HostPort, config.linkMode);
}
} // namespace

int tryConnect() {
  awaitClosingLink();
  connectionStatus = LINK_CONNECTING;
  int result = connectToSwitch();
  if (result < 0 && config.connectionType == CONNECTION_GPRS) {
    DLL_PppDisconnect();
    mid_sleepMs(REDIAL_PAUSE_MS);
    wirelessSetup(config.APN, config.APNUser, config.APNPass, CONNECTION_GPRS);
    for (int poll = 0; poll < PPP_STATUS_POLLS && DLL_PppStatus() != 0; ++poll) mid_sleepMs(PPP_STATUS_GAP_MS);
  }
  for (int attempt = 2; attempt <= CONNECT_ATTEMPTS && result < 0; ++attempt) result = connectToSwitch();
  connectionStatus = result >= 1 ? LINK_UP : LINK_DOWN;
  USB_printf2("tryConnect: %d", result);
  return result;
}

int tryDisconnect() {
  if (remoteDisconnect() == 0) connectionStatus = LINK_DOWN;
  return 0;
}

/* ---- the background thread -------------------------------------------------------------------------- */

namespace {
struct LinkJob {
  int (*run)();
};
const LinkJob connectJob{tryConnect};
const LinkJob disconnectJob{tryDisconnect};
std::atomic<const LinkJob *> runningJob{nullptr}; // the background thread's job while it runs

constexpr long THREAD_STARTING = 0; // pThread while the creation is under way; no thread's handle is 0

int defaultThreadCreate(pthread_t *thread, void *(*routine)(void *), void *arg) {
  return pthread_create(thread, nullptr, routine, arg);
}

// The thread may finish before pthread_create returns: its handle is stored
// only if the thread has not already said it is done.
int startLinkThread(const LinkJob &job) {
  runningJob = &job;
  pThread = THREAD_STARTING;
  pthread_t thread{};
  const int rc = linkThreadCreate(&thread, threadRoutine, const_cast<LinkJob *>(&job));
  if (rc != 0) {
    runningJob = nullptr;
    pThread = NO_THREAD;
    return rc;
  }
  long expected = THREAD_STARTING;
  pThread.compare_exchange_strong(expected, static_cast<long>(thread));
  return rc;
}
// A background disconnect closes whatever socket is open when it gets to it:
// a connection opened before it has finished would be the one it closes.
void awaitClosingLink() {
  for (unsigned waited = 0; waited < CLOSING_LINK_WAIT_MS && runningJob == &disconnectJob && pThread != NO_THREAD;
       ++waited)
    mid_sleepMs(1);
}
} // namespace

int (*linkThreadCreate)(pthread_t *, void *(*)(void *), void *) = defaultThreadCreate;

void *threadRoutine(void *arg) {
  pthread_detach(pthread_self());
  static_cast<const LinkJob *>(arg)->run();
  runningJob = nullptr;
  pThread = NO_THREAD;
  return nullptr;
}

int connectThread() {
  awaitClosingLink();
  const int status = connectionStatus;
  if (status == LINK_CONNECTING || status == LINK_UP) return 0;
  if (pThread != NO_THREAD) return -1;
  // Set before returning, so a waiter never sees LINK_DOWN for a connection still starting.
  connectionStatus = LINK_CONNECTING;
  const int rc = startLinkThread(connectJob);
  if (rc != 0) connectionStatus = LINK_DOWN; // nothing will ever finish this attempt
  return rc;
}

int disconnectThread() {
  if (connectionStatus == LINK_DOWN) return 0;
  if (pThread != NO_THREAD) return -1;
  return startLinkThread(disconnectJob);
}
