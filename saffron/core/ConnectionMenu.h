/*
 * ConnectionMenu.h - the merchant's bearer screens: choosing GPRS or WiFi,
 * bringing GPRS up, and choosing and joining a WiFi network (rejoining the
 * stored one, or a pick from the scanned list with its pass phrase), falling
 * back to GPRS whenever WiFi does not come up.
 *
 * config.connectionType changes only when the new bearer came up.
 */
#ifndef SAFFRON_CORE_CONNECTIONMENU_H
#define SAFFRON_CORE_CONNECTIONMENU_H

constexpr int WIFI_LIST_LINES = 7;           // networks on one page of the list
constexpr int WIFI_LIST_WAIT_MS = 30000;     // the list waits this long for a key
constexpr int WIFI_LIST_SSID_CHARS = 23;     // characters of an SSID shown in the list
constexpr int WIFI_PASS_MAX = 35;            // what the pass phrase screen takes at most
constexpr const char *CURRENT_BEARER_MARK = "  >=  ";

// Two items under message 327: SIM card (GPRS) and WiFi, the current one
// marked. Runs the choice, writes the settings and reads them back. Cancel
// shows "operation cancelled". Returns 0.
int SelectConnectionType();
int MerchantMenuActionChangeConnectionType();
// GPRS with the configured APN. 0 when the link came up (connectionType 0 then), else wirelessSetup's failure.
int ChangeConnectionTypeGPRS();
// The WiFi screens. 0 when WiFi or the GPRS fall-back came up; the radio's
// failure to open; -1 when neither bearer came up.
int ChangeConnectionTypeWiFi();
// 1 runs the WiFi screens; anything else does nothing (0).
int ChangeConnectionType(int n);

#endif
