/*
 * printer.cpp - the thermal printer, not modelled yet: every operation answers
 * DLL_ERR_NOT_READY, so the application sees a printer that is not there
 * rather than a print that never happened. printerPaper is where a front end
 * will read the printed strip once the printer is modelled.
 */
#include "device.h"
#include "libapi.h"

namespace sim::detail {
bool printerPaper(PaperStrip*, unsigned long long) { return false; }
}  // namespace sim::detail

extern "C" {
int DLL_PrnSetGray(int) { return DLL_ERR_NOT_READY; }
int DLL_PrnInit(void) { return DLL_ERR_NOT_READY; }
int DLL_FTPrnStrSetConfig(int, int, int, int) { return DLL_ERR_NOT_READY; }
int DLL_FTPrnStr(const char*, const char*) { return DLL_ERR_NOT_READY; }
int DLL_FTPrnStrLeftRight(const char*, const char*, const char*) { return DLL_ERR_NOT_READY; }
int DLL_FTPrnFineTuneLineSpace(int) { return DLL_ERR_NOT_READY; }
int DLL_PrnLogo(const unsigned char*, int, int) { return DLL_ERR_NOT_READY; }
int DLL_FTPrnStart(int) { return DLL_ERR_NOT_READY; }
int DLL_PrnCheckStatus(void) { return DLL_ERR_NOT_READY; }
}
