/*
 * radio.h - the simulator's GPRS modem and WiFi radio (internal; tests and
 * front ends use sim.h).
 *
 * Both are models of the hardware's state only: the TCP connection to the
 * switch stays a real socket, whatever the bearer says.
 *
 * Modem: a SIM present or not; attachment to the packet network, reached on
 * the Nth attachment check counted from power-on, from a SIM change or from an
 * attach-after command (or never); the PPP link, up after a dial on an attached
 * modem, dropped by DLL_PppDisconnect, by the network ("modem drop"), by pulling
 * the SIM and by a sleep longer than five minutes.
 *
 * WiFi: the networks in range, each with its SSID, BSSID, frequency, signal
 * text, flags and pass phrase (none for an open network), and a count of join
 * attempts still to be answered "busy, try again" (9500). The radio is open or
 * closed; an open radio has joined at most one network.
 *
 * Everything here is guarded by the device mutex: the application's background
 * connect thread drives the modem while the UI thread or the window changes it.
 */
#ifndef SIM_RADIO_H
#define SIM_RADIO_H

#include <string>
#include <vector>

namespace sim::detail {

constexpr int kAttachNever = 0;              // attachAfter: no check ever attaches
constexpr long long kSleepDropsPppMs = 300000;  // a longer sleep powers the modem's link down

struct WifiNetwork {
  std::string ssid;       // 1..32 bytes, no spaces (the script splits on them)
  std::string pass;       // empty: an open network, any pass phrase joins
  std::string signal;     // as the scan shows it, e.g. "-45", at most 4 characters
  std::string bssid;      // "02:xx:xx:xx:xx:xx", derived from the SSID
  std::string frequency;  // MHz as text, e.g. "2412"
  std::string flags;      // "[WPA2-PSK-CCMP][ESS]" or "[ESS]"
  int busyLeft = 0;       // join attempts still answered DLL_WIFI_RETRY
};

struct Radio {
  // modem
  bool simPresent = true;
  int attachAfter = 1;    // the check that attaches (1 = the first); kAttachNever
  int attachChecks = 0;   // checks since power-on, SIM change or attach-after
  bool attached = false;
  bool pppUp = false;
  std::string apn;        // as given to DLL_PppInit
  // WiFi
  bool wifiOpen = false;
  std::vector<WifiNetwork> networks;
  std::string joined;     // SSID of the joined network, empty when none
};

// The one radio record; hold mutex() while touching it.
Radio& radio();
void radioReset();

// Checks (apply false) or carries out (apply true) one modem or WiFi command,
// "modem ARGS..." or "wifi ARGS..." as a script line gives it. false with *why
// when it is malformed (nothing is changed then).
bool radioCommand(const std::string& device, const std::vector<std::string>& args, bool apply, std::string* why);

// The terminal slept this long (DLL_SysEnterSleep): a long sleep drops the PPP link.
void modemSlept(long long ms);

// FNV-1a over text: the stable hash the BSSIDs and the IMEI are derived from.
unsigned long long radioHash(const std::string& text);

// The modem's IMEI: 15 digits derived from the serial number, the last a Luhn check digit.
std::string modemImei(const std::string& serial);

}  // namespace sim::detail

#endif  // SIM_RADIO_H
