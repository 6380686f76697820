/*
 * modem.cpp - the GPRS modem's DLL_ operations over the radio record: SIM
 * check, attachment checks, dialling, the PPP link's state, the IMEI, and the
 * link lost in a long sleep.
 *
 * The model decides only what the operations answer; no traffic passes through
 * it (the switch connection is a real socket).
 */
#include <cstdio>
#include <cstring>

#include "device.h"
#include "libapi.h"
#include "radio.h"

namespace sim::detail {

void modemSlept(long long ms) {
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (ms <= kSleepDropsPppMs || !radio().pppUp) return;
  radio().pppUp = false;
  noteEvent("modem: PPP link lost in a sleep of " + std::to_string(ms / 1000) + " s");
}

std::string modemImei(const std::string& serial) {
  // 14 digits from a hash of the serial number, then the Luhn check digit.
  const unsigned long long h = radioHash(serial);
  char body[16];
  snprintf(body, sizeof body, "35%012llu", h % 1000000000000ULL);
  int sum = 0;
  for (int i = 0; i < 14; ++i) {
    int d = body[i] - '0';
    if (i % 2 == 1) {
      d *= 2;
      if (d > 9) d -= 9;
    }
    sum += d;
  }
  return std::string(body) + static_cast<char>('0' + (10 - sum % 10) % 10);
}

}  // namespace sim::detail

using namespace sim::detail;

extern "C" {

int DLL_PppInit(const char* apn, const char* user, const char* password) {
  sim::detail::powerCutPoint();
  (void)user;
  (void)password;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  radio().apn = apn ? std::string(apn, strnlen(apn, 64)) : "";
  return DLL_OK;
}

int DLL_PppCheckSim(void) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return radio().simPresent ? DLL_OK : DLL_PPP_ERR_NO_SIM;
}

int DLL_PppCheckCgatt(void) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Radio& r = radio();
  if (!r.simPresent) return DLL_PPP_ERR_NO_SIM;
  if (r.attached) return DLL_OK;
  ++r.attachChecks;
  if (r.attachAfter == kAttachNever || r.attachChecks < r.attachAfter) return DLL_PPP_ERR_NOT_ATTACHED;
  r.attached = true;
  noteEvent("modem: attached on check " + std::to_string(r.attachChecks));
  return DLL_OK;
}

int DLL_PppDial(const char* apn, const char* number) {
  sim::detail::powerCutPoint();
  (void)apn;
  if (!number) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  Radio& r = radio();
  if (!r.simPresent) return DLL_PPP_ERR_NO_SIM;
  if (!r.attached) return DLL_PPP_ERR_NOT_ATTACHED;
  if (!r.pppUp) noteEvent("modem: PPP link up (APN " + r.apn + ")");
  r.pppUp = true;
  return DLL_OK;
}

int DLL_PppStatus(void) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  return radio().pppUp ? DLL_OK : DLL_PPP_ERR_LINK_DOWN;
}

int DLL_PppDisconnect(void) {
  sim::detail::powerCutPoint();
  std::lock_guard<std::recursive_mutex> lock(mutex());
  if (radio().pppUp) noteEvent("modem: PPP link closed");
  radio().pppUp = false;
  return DLL_OK;
}

int DLL_PppGetIMEI(char* imei) {
  sim::detail::powerCutPoint();
  if (!imei) return DLL_ERR_PARAM;
  std::lock_guard<std::recursive_mutex> lock(mutex());
  snprintf(imei, DLL_IMEI_SIZE, "%s", modemImei(dev().serial).c_str());
  return DLL_OK;
}

}  // extern "C"
