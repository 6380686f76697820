// platform_cpu.cpp - the wrappers behind platform_cpu.h: each times the real
// call in thread CPU time and adds it up.
#include "platform_cpu.h"

#include <time.h>

#include "libapi.h"

extern "C" {
int __real_DLL_FTPrnStart(int height);
int __real_DLL_LcdPrintTTF(int x, int y, const char *utf8);
int __real_DLL_LcdCls(void);
int __real_DLL_LcdClrLine(int fromRow, int toRow);
int __real_DLL_LcdDrawLogo(int x, int y, const char *fileName);
}

namespace {
double drawingMs = 0;
long pages = 0;

template <typename Call>
int timed(Call call) {
  const double start = benchcpu::threadCpuMs();
  const int result = call();
  drawingMs += benchcpu::threadCpuMs() - start;
  return result;
}
}  // namespace

namespace benchcpu {
double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
double drawingCpuMs() { return drawingMs; }
long pagesStarted() { return pages; }
}  // namespace benchcpu

extern "C" {
int __wrap_DLL_FTPrnStart(int height) {
  ++pages;
  return timed([&] { return __real_DLL_FTPrnStart(height); });
}
int __wrap_DLL_LcdPrintTTF(int x, int y, const char *utf8) {
  return timed([&] { return __real_DLL_LcdPrintTTF(x, y, utf8); });
}
int __wrap_DLL_LcdCls(void) {
  return timed([&] { return __real_DLL_LcdCls(); });
}
int __wrap_DLL_LcdClrLine(int fromRow, int toRow) {
  return timed([&] { return __real_DLL_LcdClrLine(fromRow, toRow); });
}
int __wrap_DLL_LcdDrawLogo(int x, int y, const char *fileName) {
  return timed([&] { return __real_DLL_LcdDrawLogo(x, y, fileName); });
}
}
