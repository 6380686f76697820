// iso_str.cpp - null-tolerant string helpers for the codec.
#include "iso8583/iso_str.h"

#include <cstring>

std::size_t ISO_STR_StrLen(const char *text) { return text == nullptr ? 0 : std::strlen(text); }

void ISO_STR_StrCpy(char *destination, const char *source, std::size_t n) {
  if (destination == nullptr) return;
  if (source == nullptr) {
    destination[0] = '\0';
    return;
  }
  std::size_t len = strnlen(source, n);  // never scans more than n characters
  std::memcpy(destination, source, len);
  destination[len] = '\0';
}
