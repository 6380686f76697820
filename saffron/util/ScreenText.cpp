// ScreenText.cpp - digit forms, run reversal and colour conversion for the screen.
#include "util/ScreenText.h"

#include <algorithm>
#include <cstring>

namespace {
// Two-byte UTF-8 digit forms: lead byte, and the trail byte of digit 0.
std::size_t convertDigits(const char *src, char *dst, std::size_t dstSize, unsigned char lead, unsigned char zero) {
  if (dst == nullptr || dstSize == 0) return 0;
  std::size_t out = 0;
  for (const char *p = src; p != nullptr && *p != '\0'; ++p) {
    if (IsDigit(*p)) {
      if (out + 2 >= dstSize) break;
      dst[out++] = static_cast<char>(lead);
      dst[out++] = static_cast<char>(zero + (*p - '0'));
    } else {
      if (out + 1 >= dstSize) break;
      dst[out++] = *p;
    }
  }
  dst[out] = '\0';
  return out;
}

bool isRunByte(unsigned char c) {
  if (c >= '0' && c <= '9') return true;
  // ':' belongs to the runs too, or a time such as 12:30 would read 30:12.
  return c != '\0' && std::strchr("#*&@./,-() !$%^\"'|?><;~`{}:", c) != nullptr;
}
} // namespace

std::size_t formatArabicNumbers(const char *src, char *dst, std::size_t dstSize) {
  return convertDigits(src, dst, dstSize, 0xD9, 0xA0);
}

std::size_t formatPersianNumbers(const char *src, char *dst, std::size_t dstSize) {
  return convertDigits(src, dst, dstSize, 0xBD, 0xD0);
}

void peDisplayNumbersCorrect(char *text) {
  if (text == nullptr) return;
  std::size_t i = 0;
  while (text[i] != '\0') {
    if (!isRunByte(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (text[end] != '\0' && isRunByte(static_cast<unsigned char>(text[end]))) ++end;
    std::reverse(text + i, text + end);
    i = end;
  }
}

std::size_t prepareString(const char *src, char *dst, std::size_t dstSize) {
  const std::size_t n = formatArabicNumbers(src, dst, dstSize);
  peDisplayNumbersCorrect(dst);
  return n;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

unsigned RGB888TORGB565(unsigned r, unsigned g, unsigned b) {
  r &= 0xFF;
  g &= 0xFF;
  b &= 0xFF;
  return ((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3);
}

unsigned RGB565ToRGB888(unsigned rgb565) {
  const unsigned r = ((rgb565 >> 11) & 0x1F) << 3;
  const unsigned g = ((rgb565 >> 5) & 0x3F) << 2;
  const unsigned b = (rgb565 & 0x1F) << 3;
  return (r << 16) | (g << 8) | b;
}
