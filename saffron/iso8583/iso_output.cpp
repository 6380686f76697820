// iso_output.cpp - the readable message listing for the debug port.
#include "iso8583/iso_output.h"

#include <cstdio>
#include <cstring>

namespace {

const char DUMP_HEAD[] = "\r\n--------------- ISO8583 MSG DUMP ---------------\r\n";
const char DUMP_TAIL[] = "------------------------------------------------\r\n\r\n";
const char HEX_UPPER[] = "0123456789ABCDEF";

// Appends within text[0..size), always terminated; counts what a large
// enough buffer would have taken, so the same walk sizes the listing.
struct Listing {
  char *text;
  std::size_t size;
  std::size_t used = 0; // characters the full listing has so far

  void put(const char *s, std::size_t n) {
    if (size != 0 && used < size - 1) {
      std::size_t fits = size - 1 - used;
      std::memcpy(text + used, s, n < fits ? n : fits);
    }
    used += n;
  }
  void put(const char *s) { put(s, std::strlen(s)); }
  void finish() {
    if (size == 0) return;
    text[used < size ? used : size - 1] = '\0';
  }
};

void putHex(Listing &out, const unsigned char *value, std::uint32_t length) {
  char chunk[128];
  std::size_t n = 0;
  for (std::uint32_t i = 0; i < length; ++i) {
    chunk[n++] = HEX_UPPER[value[i] >> 4];
    chunk[n++] = HEX_UPPER[value[i] & 0x0F];
    if (n == sizeof chunk) {
      out.put(chunk, n);
      n = 0;
    }
  }
  out.put(chunk, n);
}

void writeListing(const TUL_ISO8583_HANDLER *handler, const TUL_ISO8583_MSG *msg, Listing &out) {
  out.put(DUMP_HEAD);
  if (handler != nullptr && msg != nullptr) {
    unsigned int count = handler->count < TUL_ISO8583_FIELD_COUNT ? handler->count : TUL_ISO8583_FIELD_COUNT;
    for (unsigned int pos = 0; pos < count; ++pos) {
      const TUL_ISO8583_SLOT &slot = msg->fields[pos];
      if (slot.value == nullptr) continue;
      char head[32];
      int n = std::snprintf(head, sizeof head, "[%03u] [%02u] ", pos, static_cast<unsigned>(slot.length));
      out.put(head, static_cast<std::size_t>(n));
      putHex(out, slot.value, slot.length);
      out.put("\r\n", 2);
    }
  }
  out.put(DUMP_TAIL);
}

} // namespace

char *TUL_ISO8583_MSG_Dump(const TUL_ISO8583_HANDLER *handler, const TUL_ISO8583_MSG *msg, char *text,
                           std::size_t textSize) {
  if (text == nullptr) return text;
  Listing out{text, textSize};
  writeListing(handler, msg, out);
  out.finish();
  return text;
}

std::size_t TUL_ISO8583_MSG_DumpSize(const TUL_ISO8583_HANDLER *handler, const TUL_ISO8583_MSG *msg) {
  Listing out{nullptr, 0};
  writeListing(handler, msg, out);
  return out.used + 1;
}
