// Debug.cpp - diagnostic output, gated on hasDebug.
#include "util/Debug.h"

#include <cstdarg>
#include <cstdio>

int hasDebug = 0;

namespace {
constexpr std::size_t LINE_MAX_BYTES = 2048;

void writeHex(const unsigned char *data, std::size_t len) {
  if (!hasDebug || data == nullptr) return;
  for (std::size_t i = 0; i < len; ++i) std::printf("%02X", data[i]);
  std::printf("\r\n");
  std::fflush(stdout);
}
} // namespace

void USB_printf(const char *format, ...) {
  char line[LINE_MAX_BYTES];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
}

void USB_printf2(const char *format, ...) {
  if (!hasDebug) return;
  char line[LINE_MAX_BYTES];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fputs(line, stdout);
  std::fputs("\r\n", stdout);  // a bare CR runs the lines together in a file
  std::fflush(stdout);
}

void USB_printfEx(const unsigned char *data, std::size_t len) { writeHex(data, len); }
void USB_printfEx2(const unsigned char *data, std::size_t len) { writeHex(data, len); }
void USB_printfData(const unsigned char *data, std::size_t len) { writeHex(data, len); }
