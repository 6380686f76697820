/*
 * wifi.cpp - the WiFi radio, not modelled yet: no networks, never joined; every
 * operation answers DLL_ERR_NOT_READY (DLL_WifiScan too, rather than a count).
 */
#include "libapi.h"

extern "C" {
int DLL_WifiOpen(void) { return DLL_ERR_NOT_READY; }
int DLL_WifiClose(void) { return DLL_ERR_NOT_READY; }
int DLL_WifiScan(DLL_WifiAp*) { return DLL_ERR_NOT_READY; }
int DLL_WifiConnectNetwork(DLL_WifiAp, const char*) { return DLL_ERR_NOT_READY; }
int DLL_WifiGetNetworkStatus(unsigned char*) { return DLL_ERR_NOT_READY; }
}
