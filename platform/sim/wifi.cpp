/*
 * wifi.cpp - the WiFi radio's DLL_ operations over the radio record: open and
 * close, the scan, joining a network (busy answers, wrong pass phrases,
 * networks gone) and the joined network's status.
 */
#include <cstdio>
#include <cstring>

#include "device.h"
#include "libapi.h"
#include "radio.h"

namespace {

using namespace sim::detail;

// Copies text into a fixed field, cut to fit and NUL-padded.
template <size_t N>
void setField(char (&field)[N], const std::string& text) {
  memset(field, 0, N);
  memcpy(field, text.data(), text.size() < N - 1 ? text.size() : N - 1);
}

template <size_t N>
std::string fieldText(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

}  // namespace

extern "C" {

int DLL_WifiOpen(void) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (!radio().wifiOpen) noteEvent("wifi: radio on");
  radio().wifiOpen = true;
  return DLL_OK;
}

int DLL_WifiClose(void) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Radio& r = radio();
  if (r.wifiOpen) noteEvent("wifi: radio off");
  r.wifiOpen = false;
  r.joined.clear();
  return DLL_OK;
}

int DLL_WifiScan(DLL_WifiAp* list) {
  sim::detail::powerCutPoint();
  if (!list) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Radio& r = radio();
  if (!r.wifiOpen) return DLL_ERR_NOT_READY;
  int count = 0;
  for (const WifiNetwork& n : r.networks) {
    if (count == DLL_WIFI_MAX_APS) break;
    DLL_WifiAp& ap = list[count++];
    setField(ap.bssid, n.bssid);
    setField(ap.frequency, n.frequency);
    setField(ap.signal, n.signal);
    setField(ap.flags, n.flags);
    setField(ap.ssid, n.ssid);
  }
  return count;
}

int DLL_WifiConnectNetwork(DLL_WifiAp ap, const char* password) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Radio& r = radio();
  if (!r.wifiOpen) return DLL_ERR_NOT_READY;
  const std::string ssid = fieldText(ap.ssid);
  WifiNetwork* net = nullptr;
  for (WifiNetwork& n : r.networks)
    if (n.ssid == ssid) net = &n;
  if (!net) {
    noteEvent("wifi: join " + ssid + ": no such network in range");
    return DLL_WIFI_ERR_NO_NETWORK;
  }
  if (net->busyLeft > 0) {
    --net->busyLeft;
    noteEvent("wifi: join " + ssid + ": busy");
    return DLL_WIFI_RETRY;
  }
  // The pass phrase itself never goes into the events.
  const std::string given = password ? std::string(password, strnlen(password, 128)) : "";
  if (!net->pass.empty() && given != net->pass) {
    noteEvent("wifi: join " + ssid + ": wrong pass phrase");
    return DLL_WIFI_ERR_AUTH;
  }
  r.joined = ssid;
  noteEvent("wifi: joined " + ssid);
  return DLL_OK;
}

int DLL_WifiGetNetworkStatus(unsigned char* status) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Radio& r = radio();
  if (!r.wifiOpen || r.joined.empty()) return DLL_WIFI_ERR_NOT_JOINED;
  if (status) {
    memset(status, 0, DLL_WIFI_STATUS_SIZE);
    for (const WifiNetwork& n : r.networks)
      if (n.ssid == r.joined)
        snprintf(reinterpret_cast<char*>(status), DLL_WIFI_STATUS_SIZE, "ssid=%s bssid=%s freq=%s signal=%s",
                 n.ssid.c_str(), n.bssid.c_str(), n.frequency.c_str(), n.signal.c_str());
  }
  return DLL_OK;
}

}  // extern "C"
