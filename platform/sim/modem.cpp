/*
 * modem.cpp - the GPRS modem, not modelled yet: no SIM, no link, no IMEI; every
 * operation answers DLL_ERR_NOT_READY.
 */
#include "libapi.h"

extern "C" {
int DLL_PppInit(const char*, const char*, const char*) { return DLL_ERR_NOT_READY; }
int DLL_PppCheckSim(void) { return DLL_ERR_NOT_READY; }
int DLL_PppCheckCgatt(void) { return DLL_ERR_NOT_READY; }
int DLL_PppDial(const char*, const char*) { return DLL_ERR_NOT_READY; }
int DLL_PppStatus(void) { return DLL_ERR_NOT_READY; }
int DLL_PppDisconnect(void) { return DLL_ERR_NOT_READY; }
int DLL_PppGetIMEI(char* imei) {
  if (imei) imei[0] = '\0';  // callers may show it: leave it empty, not stale
  return DLL_ERR_NOT_READY;
}
}
