// fuzz_iso8583 - bytes from the switch through the codec: unpack, read every
// field through every accessor, dump, and pack the decoded message again; the
// same bytes also go through the 5-byte and hexadecimal bitmaps and an arena.
// The sanitizers judge memory safety; the checks hold the codec to its
// contract (accessors agree, a whole message repacks to the same values).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "iso8583/tul_iso8583.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Large enough for the listing of any message of up to 65535 bytes.
char dumpText[200 * 1024];

// Every accessor on every position (and some past 128); the first and last
// byte of each value and its terminator are read, so a value shorter than its
// length word is a sanitizer report.
void readEverything(const TUL_ISO8583_HANDLER &handler, const TUL_ISO8583_MSG &msg) {
  unsigned sum = 0;
  for (unsigned field = 0; field < 132; ++field) {
    int have = TUL_ISO8583_MSG_HaveField(field, &msg);
    char *text = nullptr;
    int strStatus = TUL_ISO8583_MSG_GetField_Str(field, &msg, &text);
    unsigned char *data = nullptr;
    std::uint32_t len = 0;
    int binStatus = TUL_ISO8583_MSG_GetField_Bin(field, &msg, &data, &len);
    check((have == 1) == (strStatus == 0) && strStatus == binStatus);
    if (have != 1) {
      check(text == nullptr && data == nullptr);
      continue;
    }
    check(reinterpret_cast<unsigned char *>(text) == data && data[len] == '\0');
    if (len != 0) sum += data[0] + data[len - 1];
  }
  TUL_ISO8583_MSG_Dump(&handler, &msg, dumpText, sizeof dumpText);
  check(std::memchr(dumpText, '\0', sizeof dumpText) != nullptr);
  volatile unsigned sink = sum; // keeps the reads
  (void)sink;
}

// A whole message packs (when its values allow) into a buffer of exactly the
// packed size and reads back to the same values: field 1 is recomputed, and a
// 20-digit field 2 is announced as 19 digits by design.
void repackWhole(const TUL_ISO8583_HANDLER &handler, const TUL_ISO8583_MSG &msg, std::size_t inSize) {
  std::uint32_t room = static_cast<std::uint32_t>(inSize + 16);
  std::vector<unsigned char> out(room);
  std::uint32_t len = 0;
  if (TUL_ISO8583_MSG_Pack(&handler, &msg, out.data(), room, &len) != 0) {
    check(len == 0);
    return;
  }
  check(len <= room);
  out.resize(len);
  out.shrink_to_fit();
  TUL_ISO8583_MSG back;
  TUL_ISO8583_MSG_Init(nullptr, 0, &back);
  check(TUL_ISO8583_MSG_Unpack(&handler, out.data(), len, &back) == 0);
  for (unsigned field = 2; field < TUL_ISO8583_FIELD_COUNT; ++field) {
    const TUL_ISO8583_SLOT &a = msg.fields[field];
    const TUL_ISO8583_SLOT &b = back.fields[field];
    check((a.value == nullptr) == (b.value == nullptr));
    if (a.value == nullptr || (field == 2 && a.length == 20)) continue;
    check(a.length == b.length && std::memcmp(a.value, b.value, a.length) == 0);
  }
  TUL_ISO8583_MSG_Free(&back);
}

struct Dictionaries {
  TUL_ISO8583_FIELD_SPEC rows[2][TUL_ISO8583_FIELD_COUNT];
  TUL_ISO8583_HANDLER real{};
  TUL_ISO8583_HANDLER others[2]{};
  Dictionaries() {
    TUL_ISO8583_DEFS_GetHandler(&real);
    const std::uint8_t bitmapTypes[2] = {TUL_FT_BITMAP_5, TUL_FT_BITMAP_HEX};
    for (int i = 0; i < 2; ++i) {
      std::memcpy(rows[i], _iso8583_tuliso_fields, sizeof rows[i]);
      rows[i][1].type = bitmapTypes[i];
      TUL_ISO8583_COMMON_SetHandler(rows[i], TUL_ISO8583_FIELD_COUNT, &others[i]);
    }
  }
};

} // namespace

// libFuzzer hands over an exact-size heap copy, so a read past the end is caught.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const Dictionaries dicts;
  if (size > 65535) return 0; // a frame's length word bounds what the switch can send
  std::uint32_t len = static_cast<std::uint32_t>(size);

  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  int status = TUL_ISO8583_MSG_Unpack(&dicts.real, data, len, &msg);
  check(status == 0 || status == 1);
  readEverything(dicts.real, msg);
  if (status == 0) repackWhole(dicts.real, msg, size);
  TUL_ISO8583_MSG_Free(&msg);

  for (const TUL_ISO8583_HANDLER &h : dicts.others) {
    TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
    if (TUL_ISO8583_MSG_Unpack(&h, data, len, &msg) == 0) repackWhole(h, msg, size);
    TUL_ISO8583_MSG_Free(&msg);
  }

  // A small arena: exhaustion fails cleanly, and success implies success above.
  std::vector<unsigned char> arena(size / 2 + 16);
  TUL_ISO8583_MSG_Init(arena.data(), static_cast<std::uint32_t>(arena.size()), &msg);
  if (TUL_ISO8583_MSG_Unpack(&dicts.real, data, len, &msg) == 0) check(status == 0);
  TUL_ISO8583_MSG_Free(&msg);
  return 0;
}
