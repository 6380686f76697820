/*
 * Bearer.h - the bearer under the switch link: the GPRS modem's PPP link or a
 * WiFi network, chosen by config.connectionType; connecting to the switch with
 * bearer recovery; and the one background thread that connects or disconnects
 * while the customer is still typing.
 *
 * Nothing here draws: the start-up WiFi join reports its progress through a
 * callback, and the merchant's bearer screens (core/ConnectionMenu) draw
 * around these operations.
 *
 * Threads: the UI thread and at most one background thread running tryConnect
 * or tryDisconnect. They meet in connectionStatus and pThread (atomics) and in
 * sockfd, which the UI thread touches only after the thread has finished
 * (pThread back to -1) or while connectionStatus says 2.
 */
#ifndef SAFFRON_COMM_BEARER_H
#define SAFFRON_COMM_BEARER_H

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "libapi.h"

/* ---- link state (process-wide) --------------------------------------------------- */

constexpr int LINK_DOWN = 0;        // connectionStatus: not connected
constexpr int LINK_CONNECTING = 1;  // a connection attempt runs
constexpr int LINK_UP = 2;          // connected to the switch

constexpr long NO_THREAD = -1;      // pThread when no background thread runs

extern std::atomic<int> connectionStatus;
// The running background thread's handle (its pthread_t), NO_THREAD when none.
extern std::atomic<long> pThread;
extern uint8_t isUsingTread;        // the customer flow started the thread (UI thread only)
extern int isPosConnected;          // -1 from start-up; nothing reads it
extern int wifiExists;              // wifiCheck's answer at start-up

constexpr int CONNECTION_GPRS = 0;  // config.connectionType
constexpr int CONNECTION_WIFI = 1;

// Start-up: the link is down and no thread runs.
void initLinkState();

/* ---- GPRS ---------------------------------------------------------------------------- */

constexpr int WIRELESS_NO_SIM = -1;
constexpr int WIRELESS_NOT_ATTACHED = -2;
constexpr int ATTACH_CHECKS = 20;          // attachment checks before giving up
constexpr int ATTACH_CHECK_GAP_MS = 1000;
constexpr const char *DIAL_APN = "CMNET";  // what the modem dials with, whatever the configured APN
constexpr const char *DIAL_NUMBER = "*99***1#";

// GPRS bring-up: PPP init with the APN and its credentials, SIM check,
// attachment, dial. WIRELESS_NO_SIM, WIRELESS_NOT_ATTACHED, else the dial's
// result (0 = link up). connectionType is not used.
int wirelessSetup(const char *apn, const char *user, const char *password, int connectionType);
int mid_wirelessSetup(const char *apn, const char *user, const char *password, int connectionType);
// Nothing to shut down on this platform; 0.
int wirelessShutdown();
int finalAction();
// GPRS with the configured APN: WiFi closed first; dropLink also drops a PPP
// link that may be up. The result of wirelessSetup.
int gprsBringUp(bool dropLink);

/* ---- WiFi ---------------------------------------------------------------------------- */

constexpr int WIFI_JOIN_PAUSE_MS = 3000;   // start-up: before the first join attempt
constexpr int WIFI_BUSY_GAP_MS = 2000;     // between attempts answered "busy"
constexpr int WIFI_JOIN_ATTEMPTS = 3;
constexpr int WIFI_NOT_FOUND = -1;         // wifiStartUp: no network, or not the stored one

// The last scan: up to DLL_WIFI_MAX_APS records, every text field terminated.
extern DLL_WifiAp wifiList[DLL_WIFI_MAX_APS];
extern int wifiCount;

// WiFi hardware present (1 on this terminal).
int wifiCheck();
int wifiSetup();
// Closes the radio; 0.
int mid_wifiShutdown();
// Scans into wifiList; the count (0 when the scan failed or found nothing).
int wifiScanNetworks();
// Index in wifiList of the network named ssid, or -1 (an empty name names none).
int wifiFindNetwork(const char *ssid);
// Joins wifiList[index] with the pass phrase, trying again after a "busy"
// answer, attempts in all. The last result (0 = joined).
int wifiJoin(int index, const char *password, int attempts);
// Start-up join of the stored network (config.WiFiSsid / WiFiPass): radio on,
// beforeScan() (the caller's screen), scan, then after a pause the join with
// its retries. A radio that does not open, or a scan that finds nothing, leaves
// the radio closed. The open's failure, WIFI_NOT_FOUND, or the join's result.
int wifiStartUp(void (*beforeScan)());

/* ---- the switch connection --------------------------------------------------------------- */

constexpr int REDIAL_PAUSE_MS = 3000;      // after dropping the PPP link, before the redial
constexpr int PPP_STATUS_POLLS = 50;       // waiting for the redialled link
constexpr int PPP_STATUS_GAP_MS = 400;
constexpr int CONNECT_ATTEMPTS = 3;
constexpr unsigned CLOSING_LINK_WAIT_MS = 5000; // most a connect waits for a background disconnect to end

// Connects to the switch (HostIP, HostPort). When the connect fails on GPRS the
// PPP link is dropped and dialled again; any bearer gets three connects in all.
// connectionStatus ends LINK_UP or LINK_DOWN. The connect's result (1 or more =
// connected). A background disconnect still running is let finish first (up to
// CLOSING_LINK_WAIT_MS), so it cannot close the new connection. Draws nothing.
int tryConnect();
// Closes the switch connection; connectionStatus LINK_DOWN. 0.
int tryDisconnect();
// Background connect: after letting a background disconnect finish, as
// tryConnect does: 0 at once when connecting or connected; -1 while a thread
// runs; else connectionStatus is LINK_CONNECTING on return and a detached thread
// runs tryConnect: the thread creation's result (on failure the link is down again).
int connectThread();
// Background disconnect: 0 when not connected; -1 while a thread runs; else a
// detached thread runs tryDisconnect: the creation's result.
int disconnectThread();
// Body of the background thread: arg is one of the jobs above. Detaches itself,
// runs it, and marks that no thread runs.
void *threadRoutine(void *arg);

// Thread creation, swappable by tests (a creation that fails, a thread that
// finishes before its creator goes on). Defaults to pthread_create.
extern int (*linkThreadCreate)(pthread_t *thread, void *(*routine)(void *), void *arg);

#endif
