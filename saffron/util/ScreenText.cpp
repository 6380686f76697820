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

// One UTF-8 character: its code point and its length in bytes (a stray or
// cut byte counts as a one-byte character of its own).
struct Utf8Char {
  unsigned cp;
  std::size_t len;
};

Utf8Char decodeAt(const char *text) {
  const auto b0 = static_cast<unsigned char>(text[0]);
  std::size_t len = 1;
  unsigned cp = b0;
  if (b0 >= 0xC0 && b0 < 0xE0) {
    len = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 < 0xF0) {
    len = 3;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 < 0xF8) {
    len = 4;
    cp = b0 & 0x07;
  }
  for (std::size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0) != 0x80) return {b0, 1};
    cp = (cp << 6) | (b & 0x3F);
  }
  return {cp, len};
}

bool isArabicScript(unsigned cp) {
  return (cp >= 0x0600 && cp <= 0x06FF) || (cp >= 0xFB50 && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFF);
}

// Characters that read left to right inside a right-to-left line: Latin
// letters and the digits of either script.
bool isLeftToRight(unsigned cp) {
  if ((cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z')) return true;
  if (cp >= 0x00C0 && cp <= 0x024F && cp != 0x00D7 && cp != 0x00F7) return true;
  return (cp >= 0x0660 && cp <= 0x0669) || (cp >= 0x06F0 && cp <= 0x06F9);
}

// Punctuation and space that stay inside a left-to-right run when it goes on
// after them. ':' is among them, or a time such as 12:30 would read 30:12.
bool joinsRun(unsigned cp) {
  return cp != 0 && cp < 0x80 && std::strchr("#*&@./,-() !$%^\"'|?><;~`{}:", static_cast<int>(cp)) != nullptr;
}

// The platform lays a line out right to left when it holds an Arabic-script
// character; ASCII digits become such characters on the way to the glass.
bool drawnRightToLeft(const char *text) {
  for (const char *p = text; *p != '\0'; ++p)
    if (*p >= '0' && *p <= '9') return true;
  return holdsArabicScript(text);
}

// Reverses the characters of text[from, to) in place, each character's bytes
// kept in order: the bytes are turned, then each character's bytes back again.
void reverseCharacters(char *text, std::size_t from, std::size_t to) {
  std::reverse(text + from, text + to);
  for (std::size_t i = from; i < to;) {
    std::size_t end = i;
    while (end < to && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    if (end < to) ++end; // the lead byte, now after its continuation bytes
    std::reverse(text + i, text + end);
    i = end;
  }
}
} // namespace

std::size_t formatArabicNumbers(const char *src, char *dst, std::size_t dstSize) {
  // Persian (extended Arabic-Indic) digits: the shapes Persian readers expect for 4, 5 and 6.
  return convertDigits(src, dst, dstSize, 0xDB, 0xB0);
}

std::size_t formatPersianNumbers(const char *src, char *dst, std::size_t dstSize) {
  return convertDigits(src, dst, dstSize, 0xBD, 0xD0);
}

bool holdsArabicScript(const char *text) {
  if (text == nullptr) return false;
  for (std::size_t i = 0; text[i] != '\0';) {
    const Utf8Char c = decodeAt(text + i);
    if (isArabicScript(c.cp)) return true;
    i += c.len;
  }
  return false;
}

void peDisplayNumbersCorrect(char *text) {
  if (text == nullptr || !drawnRightToLeft(text)) return;
  std::size_t i = 0;
  while (text[i] != '\0') {
    Utf8Char c = decodeAt(text + i);
    if (!isLeftToRight(c.cp)) {
      i += c.len;
      continue;
    }
    // The run goes from here to its last left-to-right character; joining
    // punctuation at its end stays with the right-to-left text around it.
    std::size_t runEnd = i + c.len;
    std::size_t j = runEnd;
    while (text[j] != '\0') {
      c = decodeAt(text + j);
      if (isLeftToRight(c.cp)) {
        runEnd = j + c.len;
      } else if (!joinsRun(c.cp)) {
        break;
      }
      j += c.len;
    }
    reverseCharacters(text, i, runEnd);
    i = runEnd;
  }
}

std::size_t prepareString(const char *src, char *dst, std::size_t dstSize) {
  const std::size_t n = formatArabicNumbers(src, dst, dstSize);
  // Receipts put their numbers in order themselves before this; only the
  // runs of ASCII punctuation left after the conversion are turned.
  if (dst == nullptr) return n;
  for (std::size_t i = 0; dst[i] != '\0';) {
    if (!joinsRun(static_cast<unsigned char>(dst[i]))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (dst[end] != '\0' && joinsRun(static_cast<unsigned char>(dst[end]))) ++end;
    std::reverse(dst + i, dst + end);
    i = end;
  }
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
