/*
 * radio.cpp - the modem and WiFi record and the commands that change it, as
 * the script, the start-up options and the window give them.
 *
 * Sections: the record, modem commands, WiFi commands, sim:: interface.
 */
#include "radio.h"

#include <cstdio>
#include <sstream>

#include "device.h"

namespace sim::detail {

/* ---- the record ------------------------------------------------------------------------------ */

Radio& radio() {
  static Radio* r = new Radio();
  return *r;
}

unsigned long long radioHash(const std::string& text) {
  unsigned long long h = 1469598103934665603ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  return h;
}

void radioReset() {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  radio() = Radio{};
}

namespace {

constexpr int kMaxAttachAfter = 100000;
constexpr int kMaxBusy = 1000;
constexpr size_t kMaxSsid = 32;       // what a network may advertise
constexpr size_t kMaxPass = 63;       // the longest WPA pass phrase
constexpr size_t kMaxSignal = 4;      // the scan record's signal field holds 5 bytes
constexpr size_t kMaxFrequency = 9;   // and its frequency field 10

bool number(const std::string& s, int max, int* out) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  int v = std::stoi(s);
  if (v > max) return false;
  *out = v;
  return true;
}

bool printable(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x21 || c == 0x7F) return false;
  return true;
}

// The same SSID always shows the same (locally administered) BSSID.
std::string bssidFor(const std::string& ssid) {
  const unsigned long long h = radioHash(ssid);
  char buf[20];
  snprintf(buf, sizeof buf, "02:%02x:%02x:%02x:%02x:%02x", static_cast<unsigned>(h & 0xFF),
           static_cast<unsigned>((h >> 8) & 0xFF), static_cast<unsigned>((h >> 16) & 0xFF),
           static_cast<unsigned>((h >> 24) & 0xFF), static_cast<unsigned>((h >> 32) & 0xFF));
  return buf;
}

WifiNetwork* findNetwork(const std::string& ssid) {
  for (WifiNetwork& n : radio().networks)
    if (n.ssid == ssid) return &n;
  return nullptr;
}

/* ---- modem commands ------------------------------------------------------------------------------ */

bool modemCommand(const std::vector<std::string>& a, bool apply, std::string* why) {
  Radio& r = radio();
  const std::string verb = a.empty() ? "" : a[0];
  if ((verb == "sim" || verb == "nosim" || verb == "drop") && a.size() == 1) {
    if (!apply) return true;
    if (verb == "drop") {
      if (r.pppUp) noteEvent("modem: the network dropped the PPP link");
      r.pppUp = false;
      return true;
    }
    // A SIM change restarts the modem's registration.
    r.simPresent = verb == "sim";
    r.attached = false;
    r.attachChecks = 0;
    r.pppUp = false;
    noteEvent(r.simPresent ? "modem: SIM inserted" : "modem: SIM pulled");
    return true;
  }
  if (verb == "attach-after" && a.size() == 2) {
    int n = 0;
    if (a[1] != "never" && (!number(a[1], kMaxAttachAfter, &n) || n < 1)) {
      *why = "modem attach-after wants a check number 1.." + std::to_string(kMaxAttachAfter) + " or never";
      return false;
    }
    if (!apply) return true;
    r.attachAfter = a[1] == "never" ? kAttachNever : n;
    r.attached = false;
    r.attachChecks = 0;
    r.pppUp = false;
    noteEvent("modem: attaches " + (r.attachAfter == kAttachNever ? std::string("never")
                                                                   : "on check " + std::to_string(n)));
    return true;
  }
  *why = "modem wants sim, nosim, drop or attach-after N|never";
  return false;
}

/* ---- WiFi commands ---------------------------------------------------------------------------------- */

bool wifiCommand(const std::vector<std::string>& a, bool apply, std::string* why) {
  Radio& r = radio();
  const std::string verb = a.empty() ? "" : a[0];
  auto ssidOk = [&](const std::string& s) {
    if (!s.empty() && s.size() <= kMaxSsid && printable(s)) return true;
    *why = "an SSID is 1 to 32 printable characters without spaces";
    return false;
  };
  if (verb == "add" && (a.size() == 4 || a.size() == 5)) {
    // wifi add SSID PASS SIGNAL [FREQUENCY]; PASS "-" = an open network.
    const std::string pass = a[2] == "-" ? "" : a[2];
    if (!ssidOk(a[1])) return false;
    if (pass.size() > kMaxPass || !printable(pass)) {
      *why = "a pass phrase is at most 63 printable characters without spaces (- for an open network)";
      return false;
    }
    if (a[3].empty() || a[3].size() > kMaxSignal || !printable(a[3])) {
      *why = "the signal is a text of 1 to 4 characters, e.g. -45";
      return false;
    }
    int mhz = 0;
    if (a.size() == 5 && (!number(a[4], 99999, &mhz) || mhz < 1 || a[4].size() > kMaxFrequency)) {
      *why = "the frequency is a number of MHz, e.g. 2412";
      return false;
    }
    if (!apply) return true;
    WifiNetwork n;
    n.ssid = a[1];
    n.pass = pass;
    n.signal = a[3];
    n.frequency = a.size() == 5 ? a[4] : "2412";
    n.bssid = bssidFor(n.ssid);
    n.flags = pass.empty() ? "[ESS]" : "[WPA2-PSK-CCMP][ESS]";
    if (WifiNetwork* old = findNetwork(n.ssid))
      *old = n;
    else
      r.networks.push_back(n);
    noteEvent("wifi: network " + n.ssid + " in range, signal " + n.signal);
    return true;
  }
  if (verb == "remove" && a.size() == 2) {
    if (!ssidOk(a[1])) return false;
    if (!apply) return true;
    for (size_t i = 0; i < r.networks.size(); ++i)
      if (r.networks[i].ssid == a[1]) {
        r.networks.erase(r.networks.begin() + static_cast<long>(i));
        break;
      }
    if (r.joined == a[1]) r.joined.clear();
    noteEvent("wifi: network " + a[1] + " gone");
    return true;
  }
  if (verb == "busy" && a.size() == 3) {
    int n = 0;
    if (!ssidOk(a[1])) return false;
    if (!number(a[2], kMaxBusy, &n)) {
      *why = "wifi busy wants an SSID and a count 0..1000";
      return false;
    }
    if (!apply) return true;
    WifiNetwork* net = findNetwork(a[1]);
    if (net) net->busyLeft = n;
    noteEvent("wifi: network " + a[1] + " busy for " + std::to_string(n) + " attempts" +
              (net ? "" : " (not in range: ignored)"));
    return true;
  }
  if (verb == "clear" && a.size() == 1) {
    if (!apply) return true;
    r.networks.clear();
    r.joined.clear();
    noteEvent("wifi: no network in range");
    return true;
  }
  *why = "wifi wants add SSID PASS SIGNAL [MHZ], remove SSID, busy SSID N or clear";
  return false;
}

}  // namespace

bool radioCommand(const std::string& device, const std::vector<std::string>& args, bool apply, std::string* why) {
  std::string ignored;
  if (!why) why = &ignored;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (device == "modem") return modemCommand(args, apply, why);
  if (device == "wifi") return wifiCommand(args, apply, why);
  *why = "unknown device \"" + device + "\"";
  return false;
}

}  // namespace sim::detail

/* ---- sim:: interface ------------------------------------------------------------------------------------ */

namespace sim {

bool radioCommand(const std::string& line, std::string* error) {
  std::istringstream in(line);
  std::string device, word;
  std::vector<std::string> args;
  in >> device;
  while (in >> word) args.push_back(word);
  std::string why;
  if (detail::radioCommand(device, args, true, &why)) return true;
  if (error) *error = why;
  return false;
}

BearerState bearerState() {
  std::lock_guard<std::recursive_mutex> lock(detail::mutex());
  const detail::Radio& r = detail::radio();
  BearerState s;
  s.simPresent = r.simPresent;
  s.attached = r.attached;
  s.attachChecks = r.attachChecks;
  s.pppUp = r.pppUp;
  s.wifiOpen = r.wifiOpen;
  s.joined = r.joined;
  for (const detail::WifiNetwork& n : r.networks) s.networks.push_back(n.ssid + " " + n.signal);
  return s;
}

}  // namespace sim
