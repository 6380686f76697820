// fuzz_iso8583 - bytes from the switch through the codec: unpack with each
// bitmap kind, read every field through every accessor, dump, and pack the
// decoded message again. The sanitizers judge; the asserts check that what
// the accessors return stays within what the message owns.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "iso8583/tul_iso8583.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

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
  std::size_t need = TUL_ISO8583_MSG_DumpSize(&handler, &msg);
  std::vector<char> dump(need);
  TUL_ISO8583_MSG_Dump(&handler, &msg, dump.data(), dump.size());
  check(dump[need - 1] == '\0');
  std::vector<char> small(need / 2 + 1);
  TUL_ISO8583_MSG_Dump(&handler, &msg, small.data(), small.size());
  check(small.back() == '\0');
  // Keep the reads from being optimised away.
  volatile unsigned sink = sum;
  (void)sink;
}

// Packs the decoded message again. When the input was a whole message and
// the pack succeeds, the result must read back to the same values: field 1
// is recomputed, and a 20-digit field 2 is announced as 19 digits by design.
void repack(const TUL_ISO8583_HANDLER &handler, const TUL_ISO8583_MSG &msg, std::size_t inSize, bool whole,
            bool tryTight) {
  // Exact-size heap buffers: a write past the bound is a sanitizer report.
  std::uint32_t room = static_cast<std::uint32_t>(inSize + 64);
  std::vector<unsigned char> out(room);
  std::uint32_t len = 0;
  if (TUL_ISO8583_MSG_Pack(&handler, &msg, out.data(), room, &len) != 0) {
    check(len == 0);
    return;
  }
  check(len <= room);
  if (tryTight && len > 0) {
    std::vector<unsigned char> tight(len - 1);
    std::uint32_t tightLen = 0;
    check(TUL_ISO8583_MSG_Pack(&handler, &msg, tight.data(), len - 1, &tightLen) == 1 && tightLen == 0);
  }

  std::vector<unsigned char> again(out.begin(), out.begin() + len);
  TUL_ISO8583_MSG back;
  TUL_ISO8583_MSG_Init(nullptr, 0, &back);
  int status = TUL_ISO8583_MSG_Unpack(&handler, again.data(), len, &back);
  if (whole) {
    check(status == 0);
    for (unsigned field = 2; field < TUL_ISO8583_FIELD_COUNT; ++field) {
      const TUL_ISO8583_SLOT &a = msg.fields[field];
      const TUL_ISO8583_SLOT &b = back.fields[field];
      check((a.value == nullptr) == (b.value == nullptr));
      if (a.value == nullptr || (field == 2 && a.length == 20)) continue;
      check(a.length == b.length && std::memcmp(a.value, b.value, a.length) == 0);
    }
  }
  TUL_ISO8583_MSG_Free(&back);
}

struct Dictionaries {
  TUL_ISO8583_FIELD_SPEC rows[3][TUL_ISO8583_FIELD_COUNT];
  TUL_ISO8583_HANDLER handlers[3];
  Dictionaries() {
    const std::uint8_t bitmapTypes[3] = {TUL_FT_BITMAP, TUL_FT_BITMAP_5, TUL_FT_BITMAP_HEX};
    for (int i = 0; i < 3; ++i) {
      std::memcpy(rows[i], _iso8583_tuliso_fields, sizeof rows[i]);
      rows[i][1].type = bitmapTypes[i];
      TUL_ISO8583_COMMON_SetHandler(rows[i], TUL_ISO8583_FIELD_COUNT, &handlers[i]);
    }
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const Dictionaries dicts;
  if (size > 65535) return 0; // a frame's length word bounds what the switch can send
  // Exact copy on the heap so a read past the end is caught.
  std::vector<unsigned char> in(data, data + size);
  const unsigned char *bytes = in.empty() ? nullptr : in.data();
  std::uint32_t len = static_cast<std::uint32_t>(size);

  TUL_ISO8583_HANDLER real;
  TUL_ISO8583_DEFS_GetHandler(&real);
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  int status = TUL_ISO8583_MSG_Unpack(&real, bytes, len, &msg);
  check(status == 0 || status == 1);
  readEverything(real, msg);
  repack(real, msg, size, status == 0, true);
  TUL_ISO8583_MSG_Free(&msg);

  // The other bitmap kinds on the same bytes; the repack check reads their values.
  for (const TUL_ISO8583_HANDLER &h : dicts.handlers) {
    if (h.fields[1].type == TUL_FT_BITMAP) continue;
    TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
    int hStatus = TUL_ISO8583_MSG_Unpack(&h, bytes, len, &msg);
    repack(h, msg, size, hStatus == 0, false);
    TUL_ISO8583_MSG_Free(&msg);
  }

  // Arena mode with a small arena: exhaustion must fail cleanly.
  std::vector<unsigned char> arena(size / 2 + 16);
  TUL_ISO8583_MSG_Init(arena.data(), static_cast<std::uint32_t>(arena.size()), &msg);
  if (TUL_ISO8583_MSG_Unpack(&real, bytes, len, &msg) == 0) check(status == 0);
  TUL_ISO8583_MSG_Free(&msg);
  return 0;
}
