// system.cpp - serial number, backlight hooks, sleep and power.
#include "core/system.h"

#include <cstring>

#include "libapi.h"

LcdBackLight lcdBackLightStruct = {};

int mid_sysReadSN(char *out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return DLL_ERR_PARAM;
  char sn[DLL_SN_SIZE * 2] = {};
  const int result = DLL_SysReadSN(sn);
  sn[sizeof sn - 1] = '\0';
  out[0] = '\0';
  if (result != DLL_OK) return result;
  const std::size_t n = strnlen(sn, outSize - 1);
  std::memcpy(out, sn, n);
  out[n] = '\0';
  return DLL_OK;
}

void mid_sys_backlight_set_time() {}

void mid_sys_backlight_init() {}

int mid_sysEnterSleep() { return DLL_SysEnterSleep(); }

int mid_sysPowerDown() { return DLL_SysPowerDown(); }
