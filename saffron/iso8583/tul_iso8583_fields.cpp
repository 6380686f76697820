/*
 * tul_iso8583_fields.cpp - the field encoders and decoders.
 *
 * Sections: length prefixes; packed digits; characters and raw bytes; the
 * three bitmaps; fieldTypeArr.
 *
 * Every encoder checks the room left before writing and every decoder checks
 * the bytes left before reading: a length read from the wire is only a claim.
 */
#include "iso8583/tul_iso8583_fields.h"

#include <bit>
#include <cstring>

#include "iso8583/tul_iso8583.h"
#include "util/Debug.h"

namespace {

std::size_t roomLeft(const unsigned char *cursor, const unsigned char *end) {
  return cursor < end ? static_cast<std::size_t>(end - cursor) : 0;
}

unsigned char toBcd(unsigned int twoDigits) {
  return static_cast<unsigned char>(((twoDigits / 10) << 4) | (twoDigits % 10));
}

// High nibble as tens, low nibble as units; nibbles above 9 are taken at face
// value, and the caller's maxLen cut bounds the result.
std::uint32_t fromBcd(unsigned char b) { return (b >> 4) * 10u + (b & 0x0Fu); }

// Prefix bytes a form writes, or 0 for fixed, -1 for an invalid form.
int prefixSize(std::uint8_t form) {
  switch (form) {
    case TUL_LF_FIXED: return 0;
    case TUL_LF_BCD1: case TUL_LF_BIN1: case TUL_LF_TRACK2: case TUL_LF_BCD1_PLAIN: return 1;
    case TUL_LF_BCD_H3: case TUL_LF_BCD2: case TUL_LF_BIN2: case TUL_LF_ASC2: return 2;
    case TUL_LF_ASC3: return 3;
    case TUL_LF_ASC4: return 4;
    default: return -1;
  }
}

void putAsciiDigits(unsigned char *at, std::uint32_t value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    at[i] = static_cast<unsigned char>('0' + value % 10);
    value /= 10;
  }
}

/*
 * The prefix writer. `digitsQuirk` keeps the switch's habit of announcing a
 * 20-nibble account number (19 digits and an F pad) as 19 under form 2: the
 * byte count is the same either way for packed digits. For characters and
 * bytes it would announce one byte fewer than is sent, so they write 0x20.
 */
int varLenPut(std::uint8_t form, std::uint32_t length, std::uint32_t *limit, unsigned char **cursor,
              const unsigned char *end, bool digitsQuirk) {
  int size = prefixSize(form);
  if (size < 0) return TUL_ISO8583_FAIL;
  if (size == 0) return TUL_ISO8583_OK;
  if (roomLeft(*cursor, end) < static_cast<std::size_t>(size)) return TUL_ISO8583_FAIL;
  unsigned char *at = *cursor;
  std::uint32_t reduced = 0;
  switch (form) {
    case TUL_LF_BCD1:
      reduced = length % 100;
      at[0] = (digitsQuirk && reduced == 20) ? 0x19 : toBcd(reduced);
      break;
    case TUL_LF_BCD1_PLAIN:
      reduced = length % 100;
      at[0] = toBcd(reduced);
      break;
    case TUL_LF_BCD_H3:
      reduced = length % 1000;
      at[0] = static_cast<unsigned char>(reduced / 100);
      at[1] = toBcd(reduced % 100);
      break;
    case TUL_LF_BCD2:
      reduced = length % 10000;
      at[0] = toBcd(reduced / 100);
      at[1] = toBcd(reduced % 100);
      break;
    case TUL_LF_BIN1:
      reduced = length & 0xFFu;
      at[0] = static_cast<unsigned char>(reduced);
      break;
    case TUL_LF_BIN2:
      reduced = length & 0xFFFFu;
      at[0] = static_cast<unsigned char>(reduced >> 8);
      at[1] = static_cast<unsigned char>(reduced & 0xFFu);
      break;
    case TUL_LF_TRACK2:
      // The digit count 2L-1 must fit two BCD digits: 1..50 bytes. Anything
      // else would announce a length the receiver cannot match to the bytes.
      reduced = length % 100;
      if (reduced < 1 || reduced > 50 || reduced != length) return TUL_ISO8583_FAIL;
      USB_printf2("iActLen %u", static_cast<unsigned>(reduced));
      at[0] = toBcd(2 * reduced - 1);
      break;
    case TUL_LF_ASC2:
      reduced = length % 100;
      putAsciiDigits(at, reduced, 2);
      break;
    case TUL_LF_ASC3:
      reduced = length % 1000;
      putAsciiDigits(at, reduced, 3);
      break;
    case TUL_LF_ASC4:
      reduced = length % 10000;
      putAsciiDigits(at, reduced, 4);
      break;
    default:
      return TUL_ISO8583_FAIL;
  }
  *limit = reduced;
  *cursor += size;
  return TUL_ISO8583_OK;
}

const TUL_ISO8583_SLOT *presentSlot(unsigned int field, const TUL_ISO8583_MSG *msg) {
  if (msg == nullptr || field >= TUL_ISO8583_FIELD_COUNT) return nullptr;
  const TUL_ISO8583_SLOT *slot = &msg->fields[field];
  return slot->value != nullptr ? slot : nullptr;
}

// Takes a decoded value of `length` bytes from the input into the slot.
int storeBytes(unsigned int field, TUL_ISO8583_MSG *msg, const unsigned char *from,
               std::uint32_t length) {
  unsigned char *to = nullptr;
  int status = _TUL_ISO8583_MSG_AllocField(field, length, msg, &to);
  if (status != TUL_ISO8583_OK) return status;
  if (length != 0) std::memcpy(to, from, length);
  return TUL_ISO8583_OK;
}

constexpr char HEX_UPPER[] = "0123456789ABCDEF";

// Tables indexed by a byte, so the digit loops run without a branch per
// character: a character's hexadecimal value (0xFF for anything else), and a
// byte's two upper-case digits.
struct HexTables {
  std::uint8_t value[256];
  char digits[256][2];
  constexpr HexTables() : value{}, digits{} {
    for (int c = 0; c < 256; ++c) {
      value[c] = c >= '0' && c <= '9' ? static_cast<std::uint8_t>(c - '0')
                 : c >= 'a' && c <= 'f' ? static_cast<std::uint8_t>(c - 'a' + 10)
                 : c >= 'A' && c <= 'F' ? static_cast<std::uint8_t>(c - 'A' + 10)
                                        : 0xFF;
      digits[c][0] = HEX_UPPER[c >> 4];
      digits[c][1] = HEX_UPPER[c & 0x0F];
    }
  }
};
constexpr HexTables HEX;

// One hexadecimal digit's value, -1 for anything else.
int hexNibble(unsigned char c) { return HEX.value[c] > 0x0F ? -1 : HEX.value[c]; }

} // namespace

/* ---- length prefixes -------------------------------------------------- */

int _TUL_VarLen_Put(std::uint8_t form, std::uint32_t length, std::uint32_t *limit,
                    unsigned char **cursor, const unsigned char *end) {
  return varLenPut(form, length, limit, cursor, end, true);
}

int _TUL_VarLen_Get(const unsigned char **cursor, const unsigned char *end, std::uint8_t form,
                    std::uint32_t maxLen, std::uint32_t *length) {
  int size = prefixSize(form);
  if (size < 0) return TUL_ISO8583_FAIL;
  if (size == 0) {
    *length = maxLen;
    return TUL_ISO8583_OK;
  }
  if (roomLeft(*cursor, end) < static_cast<std::size_t>(size)) return TUL_ISO8583_FAIL;
  const unsigned char *at = *cursor;
  std::uint32_t value = 0;
  switch (form) {
    case TUL_LF_BCD1:
    case TUL_LF_BCD1_PLAIN:
      value = fromBcd(at[0]);
      break;
    case TUL_LF_BCD_H3:
    case TUL_LF_BCD2:
      value = fromBcd(at[0]) * 100 + fromBcd(at[1]);
      break;
    case TUL_LF_BIN1:
      value = at[0];
      break;
    case TUL_LF_BIN2:
      value = (static_cast<std::uint32_t>(at[0]) << 8) | at[1];
      break;
    case TUL_LF_TRACK2: {
      std::uint32_t digits = fromBcd(at[0]);
      USB_printf2("len is %u", static_cast<unsigned>(digits));
      value = (digits + 1) / 2;
      break;
    }
    default: // the ASCII forms
      for (int i = 0; i < size; ++i) {
        if (at[i] < '0' || at[i] > '9') return TUL_ISO8583_FAIL;
        value = value * 10 + (at[i] - '0');
      }
      break;
  }
  *length = value > maxLen ? maxLen : value;
  *cursor += size;
  return TUL_ISO8583_OK;
}

/* ---- packed digits ---------------------------------------------------- */

int _TUL_pack_iso_ASCHEX(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                         const unsigned char *end) {
  const TUL_ISO8583_SLOT *slot = presentSlot(field, msg);
  if (slot == nullptr || fieldDef == nullptr) return TUL_ISO8583_FAIL;
  std::uint32_t len = slot->length;
  std::uint32_t limit = fieldDef->maxLen;
  unsigned char *at = *cursor;
  if (varLenPut(fieldDef->lenForm, len, &limit, &at, end, true) != TUL_ISO8583_OK) return TUL_ISO8583_FAIL;
  if (len > limit) return TUL_ISO8583_FAIL;

  std::size_t width = (static_cast<std::size_t>(limit) + 1) / 2;
  if (roomLeft(at, end) < width) return TUL_ISO8583_FAIL;
  // Right-aligned: leading zero bytes, then a lone first digit when L is odd.
  std::size_t valueBytes = len / 2 + (len & 1u);
  std::size_t zeros = width - valueBytes;
  const unsigned char *src = slot->value;
  unsigned char *out = at;
  if (zeros != 0) std::memset(out, 0, zeros);
  out += zeros;
  std::uint32_t i = 0;
  if (len & 1u) {
    int n = hexNibble(src[0]);
    if (n < 0) return TUL_ISO8583_FAIL;
    *out++ = static_cast<unsigned char>(n);
    i = 1;
  }
  for (; i < len; i += 2) {
    unsigned int hi = HEX.value[src[i]];
    unsigned int lo = HEX.value[src[i + 1]];
    if ((hi | lo) > 0x0F) return TUL_ISO8583_FAIL; // no silent digit from a stray character
    *out++ = static_cast<unsigned char>((hi << 4) | lo);
  }
  *cursor = out;
  return TUL_ISO8583_OK;
}

int _TUL_unpack_iso_ASCHEX(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                           const unsigned char *end) {
  if (fieldDef == nullptr) return TUL_ISO8583_FAIL;
  const unsigned char *at = *cursor;
  std::uint32_t digits = 0;
  if (_TUL_VarLen_Get(&at, end, fieldDef->lenForm, fieldDef->maxLen, &digits) != TUL_ISO8583_OK)
    return TUL_ISO8583_FAIL;
  std::size_t bytes = (static_cast<std::size_t>(digits) + 1) / 2;
  if (roomLeft(at, end) < bytes) return TUL_ISO8583_FAIL;

  unsigned char *to = nullptr;
  int status = _TUL_ISO8583_MSG_AllocField(field, digits, msg, &to);
  if (status != TUL_ISO8583_OK) return status;
  std::uint32_t i = 0;
  if (digits & 1u) {
    to[i++] = static_cast<unsigned char>(HEX_UPPER[*at++ & 0x0F]);
  }
  for (; i < digits; i += 2) std::memcpy(to + i, HEX.digits[*at++], 2);
  *cursor = at;
  return TUL_ISO8583_OK;
}

/* ---- characters and raw bytes ----------------------------------------- */

namespace {

int packPadded(unsigned int field, const TUL_ISO8583_MSG *msg, const TUL_ISO8583_FIELD_SPEC *fieldDef,
               unsigned char **cursor, const unsigned char *end, unsigned char pad) {
  const TUL_ISO8583_SLOT *slot = presentSlot(field, msg);
  if (slot == nullptr || fieldDef == nullptr) return TUL_ISO8583_FAIL;
  std::uint32_t len = slot->length;
  std::uint32_t limit = fieldDef->maxLen;
  unsigned char *at = *cursor;
  if (varLenPut(fieldDef->lenForm, len, &limit, &at, end, false) != TUL_ISO8583_OK) return TUL_ISO8583_FAIL;
  if (len > limit) return TUL_ISO8583_FAIL;
  std::size_t width = fieldDef->lenForm == TUL_LF_FIXED ? fieldDef->maxLen : len;
  if (roomLeft(at, end) < width) return TUL_ISO8583_FAIL;
  if (len != 0) std::memcpy(at, slot->value, len);
  if (width != len) std::memset(at + len, pad, width - len);
  *cursor = at + width;
  return TUL_ISO8583_OK;
}

int unpackCopy(unsigned int field, TUL_ISO8583_MSG *msg, const TUL_ISO8583_FIELD_SPEC *fieldDef,
               const unsigned char **cursor, const unsigned char *end) {
  if (fieldDef == nullptr) return TUL_ISO8583_FAIL;
  const unsigned char *at = *cursor;
  std::uint32_t len = 0;
  if (_TUL_VarLen_Get(&at, end, fieldDef->lenForm, fieldDef->maxLen, &len) != TUL_ISO8583_OK)
    return TUL_ISO8583_FAIL;
  if (roomLeft(at, end) < len) return TUL_ISO8583_FAIL;
  int status = storeBytes(field, msg, at, len);
  if (status != TUL_ISO8583_OK) return status;
  *cursor = at + len;
  return TUL_ISO8583_OK;
}

} // namespace

int _TUL_pack_iso_ASCII(unsigned int field, const TUL_ISO8583_MSG *msg,
                        const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                        const unsigned char *end) {
  return packPadded(field, msg, fieldDef, cursor, end, ' ');
}

int _TUL_unpack_iso_ASCII(unsigned int field, TUL_ISO8583_MSG *msg,
                          const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                          const unsigned char *end) {
  return unpackCopy(field, msg, fieldDef, cursor, end);
}

int _TUL_pack_iso_BINARY(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                         const unsigned char *end) {
  return packPadded(field, msg, fieldDef, cursor, end, 0x00);
}

int _TUL_unpack_iso_BINARY(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                           const unsigned char *end) {
  return unpackCopy(field, msg, fieldDef, cursor, end);
}

/* ---- bitmaps ---------------------------------------------------------- */

namespace {

constexpr unsigned int BLOCK_BYTES = 8;
constexpr unsigned int BLOCK_BITS = 64;
constexpr unsigned int MAX_BLOCKS = 3; // (192 - p) / 64 for p = 0
constexpr unsigned int TUL_BITMAP_BYTES = 5;

bool bitSet(const unsigned char *bytes, unsigned int bit) { return (bytes[bit / 8] >> (7 - bit % 8)) & 1u; }
void setBit(unsigned char *bytes, unsigned int bit) { bytes[bit / 8] |= static_cast<unsigned char>(0x80u >> (bit % 8)); }

bool slotPresent(const TUL_ISO8583_MSG *msg, unsigned int pos) {
  return pos < TUL_ISO8583_FIELD_COUNT && msg->fields[pos].value != nullptr;
}

/*
 * Builds the 8-byte blocks of a bitmap at position p from the slots. Bit 0 of a
 * block (counted from its most significant bit) is the continuation flag;
 * bits 1..63 of block k stand for positions p + 64k + 1 .. p + 64k + 63.
 * A present position after p that no bit can carry (65 in the dictionary)
 * fails the pack: it would be sent without the receiver knowing it is there.
 */
int buildBlocks(unsigned int p, const TUL_ISO8583_MSG *msg, unsigned char blocks[MAX_BLOCKS * BLOCK_BYTES],
                unsigned int *blockCount) {
  if (msg == nullptr || p >= TUL_ISO8583_FIELD_COUNT) return TUL_ISO8583_FAIL;
  unsigned int maxBlocks = (192 - p) / BLOCK_BITS;
  std::memset(blocks, 0, MAX_BLOCKS * BLOCK_BYTES);
  unsigned int last = 0;
  bool carried = _TUL_ISO8583_EachInUse(msg->inUse, p + 1, TUL_ISO8583_FIELD_COUNT, [&](unsigned int pos) {
    if (!slotPresent(msg, pos)) return true;
    unsigned int offset = pos - p; // 1-based distance from the bitmap
    unsigned int block = offset / BLOCK_BITS;
    unsigned int bit = offset % BLOCK_BITS;
    if (bit == 0 || block >= maxBlocks) return false;
    setBit(blocks + block * BLOCK_BYTES, bit);
    if (block > last) last = block;
    return true;
  });
  if (!carried) return TUL_ISO8583_FAIL;
  for (unsigned int k = 0; k < last; ++k) setBit(blocks + k * BLOCK_BYTES, 0);
  *blockCount = last + 1;
  return TUL_ISO8583_OK;
}

/*
 * Checks (apply false) or marks (apply true) the positions that decoded blocks
 * name: marking writes 1 into the length word. A bit for a position of 129 or
 * more, or for one that already holds a value, fails the check.
 */
int markBlocks(unsigned int p, TUL_ISO8583_MSG *msg, const unsigned char *blocks, unsigned int blockCount,
               bool apply) {
  for (unsigned int k = 0; k < blockCount; ++k) {
    // The block as one number, its bit 0 (the continuation flag) the most
    // significant, so each set bit is found by counting leading zeros.
    std::uint64_t word = 0;
    for (unsigned int i = 0; i < BLOCK_BYTES; ++i) word = (word << 8) | blocks[k * BLOCK_BYTES + i];
    word &= ~(std::uint64_t{1} << 63);
    while (word != 0) {
      unsigned int bit = static_cast<unsigned int>(std::countl_zero(word));
      word &= ~(std::uint64_t{1} << (63 - bit));
      unsigned long pos = p + static_cast<unsigned long>(k) * BLOCK_BITS + bit;
      if (!apply) {
        if (pos >= TUL_ISO8583_FIELD_COUNT || msg->fields[pos].value != nullptr) return TUL_ISO8583_FAIL;
      } else {
        _TUL_ISO8583_MarkInUse(msg, static_cast<unsigned int>(pos));
        msg->fields[pos].length = 1;
      }
    }
  }
  return TUL_ISO8583_OK;
}

// Counts the blocks a received bitmap holds by following the continuation
// flags, each block taking `blockSize` input bytes decoded by `readByte`.
template <typename ReadByte>
int scanBlocks(const unsigned char *at, const unsigned char *end, std::size_t blockSize, ReadByte readByte,
               unsigned int *blockCount) {
  unsigned int count = 0;
  for (;;) {
    if (roomLeft(at, end) < blockSize) return TUL_ISO8583_FAIL;
    int first = readByte(at);
    if (first < 0) return TUL_ISO8583_FAIL;
    ++count;
    at += blockSize;
    if ((first & 0x80) == 0) break;
  }
  *blockCount = count;
  return TUL_ISO8583_OK;
}

} // namespace

int _TUL_pack_iso_BITMAP(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *, unsigned char **cursor, const unsigned char *end) {
  unsigned char blocks[MAX_BLOCKS * BLOCK_BYTES];
  unsigned int count = 0;
  if (buildBlocks(field, msg, blocks, &count) != TUL_ISO8583_OK) return TUL_ISO8583_FAIL;
  std::size_t bytes = count * BLOCK_BYTES;
  if (roomLeft(*cursor, end) < bytes) return TUL_ISO8583_FAIL;
  std::memcpy(*cursor, blocks, bytes);
  *cursor += bytes;
  return TUL_ISO8583_OK;
}

int _TUL_unpack_iso_BITMAP(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *, const unsigned char **cursor,
                           const unsigned char *end) {
  if (msg == nullptr || field >= TUL_ISO8583_FIELD_COUNT) return TUL_ISO8583_FAIL;
  unsigned int count = 0;
  if (scanBlocks(*cursor, end, BLOCK_BYTES, [](const unsigned char *b) { return int(b[0]); }, &count) !=
      TUL_ISO8583_OK)
    return TUL_ISO8583_FAIL;
  const unsigned char *blocks = *cursor;
  std::size_t bytes = static_cast<std::size_t>(count) * BLOCK_BYTES;
  // A third block names positions 129 and up: any bit set there fails the check.
  if (markBlocks(field, msg, blocks, count, false) != TUL_ISO8583_OK) return TUL_ISO8583_FAIL;
  int status = storeBytes(field, msg, blocks, static_cast<std::uint32_t>(bytes));
  if (status != TUL_ISO8583_OK) return status;
  markBlocks(field, msg, blocks, count, true);
  *cursor += bytes;
  return TUL_ISO8583_OK;
}

int _pack_iso_TUL_BITMAP(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *, unsigned char **cursor, const unsigned char *end) {
  if (msg == nullptr || field >= TUL_ISO8583_FIELD_COUNT) return TUL_ISO8583_FAIL;
  unsigned char bytes[TUL_BITMAP_BYTES] = {};
  bool carried = _TUL_ISO8583_EachInUse(msg->inUse, field, TUL_ISO8583_FIELD_COUNT, [&](unsigned int pos) {
    if (!slotPresent(msg, pos)) return true;
    unsigned int bit = pos - field;
    // Past the 40 positions there is no bit and no continuation.
    if (bit >= TUL_BITMAP_BYTES * 8) return false;
    setBit(bytes, bit);
    return true;
  });
  if (!carried) return TUL_ISO8583_FAIL;
  if (roomLeft(*cursor, end) < TUL_BITMAP_BYTES) return TUL_ISO8583_FAIL;
  std::memcpy(*cursor, bytes, TUL_BITMAP_BYTES);
  *cursor += TUL_BITMAP_BYTES;
  return TUL_ISO8583_OK;
}

int _unpack_iso_TUL_BITMAP(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *, const unsigned char **cursor,
                           const unsigned char *end) {
  if (msg == nullptr || field >= TUL_ISO8583_FIELD_COUNT) return TUL_ISO8583_FAIL;
  if (roomLeft(*cursor, end) < TUL_BITMAP_BYTES) return TUL_ISO8583_FAIL;
  const unsigned char *bytes = *cursor;
  // The first bit is the bitmap's own position: ignored.
  for (unsigned int bit = 1; bit < TUL_BITMAP_BYTES * 8; ++bit) {
    if (!bitSet(bytes, bit)) continue;
    unsigned int pos = field + bit;
    if (pos >= TUL_ISO8583_FIELD_COUNT || msg->fields[pos].value != nullptr) return TUL_ISO8583_FAIL;
  }
  int status = storeBytes(field, msg, bytes, TUL_BITMAP_BYTES);
  if (status != TUL_ISO8583_OK) return status;
  for (unsigned int bit = 1; bit < TUL_BITMAP_BYTES * 8; ++bit) {
    if (!bitSet(bytes, bit)) continue;
    _TUL_ISO8583_MarkInUse(msg, field + bit);
    msg->fields[field + bit].length = 1;
  }
  *cursor += TUL_BITMAP_BYTES;
  return TUL_ISO8583_OK;
}

int _TUL_pack_iso_BITMAP_HEX(unsigned int field, const TUL_ISO8583_MSG *msg,
                             const TUL_ISO8583_FIELD_SPEC *, unsigned char **cursor,
                             const unsigned char *end) {
  unsigned char blocks[MAX_BLOCKS * BLOCK_BYTES];
  unsigned int count = 0;
  if (buildBlocks(field, msg, blocks, &count) != TUL_ISO8583_OK) return TUL_ISO8583_FAIL;
  std::size_t bytes = count * BLOCK_BYTES;
  if (roomLeft(*cursor, end) < 2 * bytes) return TUL_ISO8583_FAIL;
  unsigned char *out = *cursor;
  for (std::size_t i = 0; i < bytes; ++i) {
    *out++ = static_cast<unsigned char>(HEX_UPPER[blocks[i] >> 4]);
    *out++ = static_cast<unsigned char>(HEX_UPPER[blocks[i] & 0x0F]);
  }
  *cursor = out;
  return TUL_ISO8583_OK;
}

int _TUL_unpack_iso_BITMAP_HEX(unsigned int field, TUL_ISO8583_MSG *msg,
                               const TUL_ISO8583_FIELD_SPEC *, const unsigned char **cursor,
                               const unsigned char *end) {
  if (msg == nullptr || field >= TUL_ISO8583_FIELD_COUNT) return TUL_ISO8583_FAIL;
  auto readHexByte = [](const unsigned char *text) {
    int hi = hexNibble(text[0]);
    int lo = hexNibble(text[1]);
    return (hi < 0 || lo < 0) ? -1 : (hi << 4) | lo;
  };
  unsigned int count = 0;
  if (scanBlocks(*cursor, end, 2 * BLOCK_BYTES, readHexByte, &count) != TUL_ISO8583_OK)
    return TUL_ISO8583_FAIL;
  // Any block past the third names only positions of 129 and more; more
  // than three blocks can be judged without decoding them all.
  std::size_t textBytes = static_cast<std::size_t>(count) * 2 * BLOCK_BYTES;
  std::size_t decodeBlocks = count < MAX_BLOCKS + 1 ? count : MAX_BLOCKS + 1;
  unsigned char blocks[(MAX_BLOCKS + 1) * BLOCK_BYTES] = {};
  const unsigned char *text = *cursor;
  for (std::size_t k = 0; k < count; ++k) {
    for (std::size_t i = 0; i < BLOCK_BYTES; ++i) {
      int b = readHexByte(text + (k * BLOCK_BYTES + i) * 2);
      if (b < 0) return TUL_ISO8583_FAIL;
      if (k < decodeBlocks) {
        blocks[k * BLOCK_BYTES + i] = static_cast<unsigned char>(b);
      } else if (i > 0 ? b != 0 : (b & 0x7F) != 0) {
        return TUL_ISO8583_FAIL; // a bit for a position far past 128
      }
    }
  }
  unsigned int marked = static_cast<unsigned int>(decodeBlocks);
  if (markBlocks(field, msg, blocks, marked, false) != TUL_ISO8583_OK) return TUL_ISO8583_FAIL;
  int status = storeBytes(field, msg, text, static_cast<std::uint32_t>(textBytes));
  if (status != TUL_ISO8583_OK) return status;
  markBlocks(field, msg, blocks, marked, true);
  *cursor += textBytes;
  return TUL_ISO8583_OK;
}

/* ---- the type table --------------------------------------------------- */

const TUL_ISO8583_FIELD_TYPE fieldTypeArr[TUL_FT_COUNT] = {
    {_TUL_unpack_iso_ASCHEX, _TUL_pack_iso_ASCHEX},         // 0 packed digits
    {_TUL_unpack_iso_BINARY, _TUL_pack_iso_BINARY},         // 1 bytes
    {_TUL_unpack_iso_ASCHEX, _TUL_pack_iso_ASCHEX},         // 2 packed digits
    {_TUL_unpack_iso_ASCII, _TUL_pack_iso_ASCII},           // 3 characters
    {_TUL_unpack_iso_ASCII, _TUL_pack_iso_ASCII},           // 4 characters
    {_TUL_unpack_iso_ASCII, _TUL_pack_iso_ASCII},           // 5 characters
    {_TUL_unpack_iso_ASCII, _TUL_pack_iso_ASCII},           // 6 characters
    {_TUL_unpack_iso_ASCII, _TUL_pack_iso_ASCII},           // 7 characters
    {_TUL_unpack_iso_BINARY, _TUL_pack_iso_BINARY},         // 8 bytes
    {_TUL_unpack_iso_BINARY, _TUL_pack_iso_BINARY},         // 9 bytes
    {_TUL_unpack_iso_BITMAP, _TUL_pack_iso_BITMAP},         // 10 binary bitmap
    {_unpack_iso_TUL_BITMAP, _pack_iso_TUL_BITMAP},         // 11 5-byte bitmap
    {_TUL_unpack_iso_BITMAP_HEX, _TUL_pack_iso_BITMAP_HEX}, // 12 hexadecimal bitmap
};
