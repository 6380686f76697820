/*
 * tul_iso8583_common.h - the records every part of the ISO 8583 codec shares:
 * the message record, one dictionary row, the field-set descriptor that the
 * pack and unpack walks are given, and the codec's status codes.
 *
 * Sections: status codes and limits; TUL_ISO8583_FIELD_SPEC;
 * TUL_ISO8583_HANDLER; TUL_ISO8583_MSG; TUL_ISO8583_COMMON_SetHandler.
 */
#ifndef SAFFRON_ISO8583_TUL_ISO8583_COMMON_H
#define SAFFRON_ISO8583_TUL_ISO8583_COMMON_H

#include <bit>
#include <cstddef>
#include <cstdint>

/* ---- status codes and limits ------------------------------------------ */

constexpr int TUL_ISO8583_OK = 0;
constexpr int TUL_ISO8583_FAIL = 1;   // bad field number, too long, malformed input, no room
constexpr int TUL_ISO8583_NOMEM = 1000;

// Positions 0 (MTI) and 1 (bitmap) plus data elements 2..128.
constexpr unsigned int TUL_ISO8583_FIELD_COUNT = 129;

// Field type codes: index into fieldTypeArr.
constexpr std::uint8_t TUL_FT_PACKED_DIGITS = 0;  // also 2
constexpr std::uint8_t TUL_FT_BYTES = 1;          // also 8, 9
constexpr std::uint8_t TUL_FT_PACKED_DIGITS_2 = 2;
constexpr std::uint8_t TUL_FT_CHARS_3 = 3;        // 3..7 are all characters
constexpr std::uint8_t TUL_FT_CHARS_4 = 4;
constexpr std::uint8_t TUL_FT_CHARS = 5;
constexpr std::uint8_t TUL_FT_CHARS_6 = 6;
constexpr std::uint8_t TUL_FT_CHARS_7 = 7;
constexpr std::uint8_t TUL_FT_BYTES_8 = 8;
constexpr std::uint8_t TUL_FT_BYTES_9 = 9;
constexpr std::uint8_t TUL_FT_BITMAP = 10;        // binary, 8-byte blocks
constexpr std::uint8_t TUL_FT_BITMAP_5 = 11;      // 5 bytes, no continuation
constexpr std::uint8_t TUL_FT_BITMAP_HEX = 12;    // hexadecimal text, 16 characters a block
constexpr unsigned int TUL_FT_COUNT = 13;

// Length form codes: the prefix written before a variable field's value.
constexpr std::uint8_t TUL_LF_FIXED = 0;      // no prefix; always maxLen
constexpr std::uint8_t TUL_LF_BCD1 = 2;       // 1 byte, 2 BCD digits (20 is written 0x19 for digits)
constexpr std::uint8_t TUL_LF_BCD_H3 = 3;     // 2 bytes: hundreds as binary 0..9, then 2 BCD digits
constexpr std::uint8_t TUL_LF_BCD2 = 4;       // 2 bytes, 4 BCD digits
constexpr std::uint8_t TUL_LF_BIN1 = 5;       // 1 byte, binary
constexpr std::uint8_t TUL_LF_BIN2 = 6;       // 2 bytes, binary, most significant first
constexpr std::uint8_t TUL_LF_TRACK2 = 7;     // 1 BCD byte: track-2 digit count 2L-1
constexpr std::uint8_t TUL_LF_ASC2 = 8;       // "LL" ASCII digits
constexpr std::uint8_t TUL_LF_ASC3 = 9;       // "LLL"
constexpr std::uint8_t TUL_LF_ASC4 = 10;      // "LLLL"
constexpr std::uint8_t TUL_LF_BCD1_PLAIN = 11; // 1 BCD byte of L mod 100, read back as written

/* ---- one dictionary row ----------------------------------------------- */

struct TUL_ISO8583_FIELD_SPEC {
  std::uint8_t type;     // field type code, 0..12: selects the encoder pair
  std::uint32_t maxLen;  // maximum length in the type's unit (digits, characters or bytes)
  std::uint8_t lenForm;  // length form code (TUL_LF_*)
};
static_assert(sizeof(TUL_ISO8583_FIELD_SPEC) == 12);
static_assert(offsetof(TUL_ISO8583_FIELD_SPEC, type) == 0);
static_assert(offsetof(TUL_ISO8583_FIELD_SPEC, maxLen) == 4);
static_assert(offsetof(TUL_ISO8583_FIELD_SPEC, lenForm) == 8);

/* ---- field-set descriptor --------------------------------------------- */

struct TUL_ISO8583_HANDLER {
  const TUL_ISO8583_FIELD_SPEC *fields; // first row of the dictionary
  std::uint8_t count;                   // rows; the walks never go past 129
};
static_assert(offsetof(TUL_ISO8583_HANDLER, fields) == 0);
static_assert(offsetof(TUL_ISO8583_HANDLER, count) == sizeof(void *));
static_assert(sizeof(TUL_ISO8583_HANDLER) == 2 * sizeof(void *));

/* ---- the message record ----------------------------------------------- */

struct TUL_ISO8583_SLOT {
  // Value length in bytes. While unpacking it doubles as a presence marker:
  // the bitmap decoder writes 1 here for each marked position before the
  // value exists, and the walk decodes only marked positions.
  std::uint32_t length;
  unsigned char *value;  // null = absent; else length bytes plus one uncounted NUL
};
static_assert(offsetof(TUL_ISO8583_SLOT, length) == 0);
static_assert(offsetof(TUL_ISO8583_SLOT, value) == sizeof(void *));
static_assert(sizeof(TUL_ISO8583_SLOT) == 2 * sizeof(void *));

constexpr unsigned int TUL_ISO8583_USE_WORDS = (TUL_ISO8583_FIELD_COUNT + 63) / 64;
// Enough for the values of every request and answer the terminal exchanges
// but the longest field-48 texts.
constexpr unsigned int TUL_ISO8583_STORE_BYTES = 512;

struct TUL_ISO8583_MSG {
  unsigned char *arenaCursor;  // next free byte of the caller's buffer; null in malloc mode
  unsigned char *arenaEnd;     // one past the caller's buffer
  TUL_ISO8583_SLOT fields[TUL_ISO8583_FIELD_COUNT];
  // Bit p % 64 of word p / 64 is set for every slot that is not all zero (a
  // value, or a presence marker left by a bitmap decoder), so Free, Pack and
  // Unpack visit the handful of slots a message uses instead of all 129.
  // Only the codec's operations write slots; a slot whose bit is clear is zero.
  std::uint64_t inUse[TUL_ISO8583_USE_WORDS];
  // Malloc mode: values are carved from store first (zero until carved, and
  // cleared again by Free) and only take a heap block when it is full, so
  // building or reading a message calls no allocator. Values may point into
  // the record itself: a record holding values must not be copied (copying
  // one never was sound: both copies would own the same blocks).
  std::uint32_t storeUsed;
  unsigned char store[TUL_ISO8583_STORE_BYTES];
};
// The record lives in memory only, never stored or sent: nothing outside the
// codec depends on its size.
static_assert(offsetof(TUL_ISO8583_MSG, arenaCursor) == 0);
static_assert(offsetof(TUL_ISO8583_MSG, arenaEnd) == sizeof(void *));
static_assert(offsetof(TUL_ISO8583_MSG, fields) == 2 * sizeof(void *));
static_assert(offsetof(TUL_ISO8583_MSG, inUse) ==
              2 * sizeof(void *) + TUL_ISO8583_FIELD_COUNT * sizeof(TUL_ISO8583_SLOT));
static_assert(offsetof(TUL_ISO8583_MSG, storeUsed) == offsetof(TUL_ISO8583_MSG, inUse) + 8 * TUL_ISO8583_USE_WORDS);
static_assert(offsetof(TUL_ISO8583_MSG, store) == offsetof(TUL_ISO8583_MSG, storeUsed) + 4);
static_assert(sizeof(TUL_ISO8583_MSG) - offsetof(TUL_ISO8583_MSG, store) - TUL_ISO8583_STORE_BYTES <
              alignof(TUL_ISO8583_MSG)); // only tail padding after the store

// Records that a slot is about to be written (see inUse).
inline void _TUL_ISO8583_MarkInUse(TUL_ISO8583_MSG *msg, unsigned int field) {
  msg->inUse[field / 64] |= std::uint64_t{1} << (field % 64);
}

// The first position at or after `from` whose bit is set in `mask` (an inUse
// mask or one shaped like it), or `limit` when none is below it; limit is at
// most TUL_ISO8583_FIELD_COUNT. Reads the mask afresh on every call, so a walk
// finds the positions marked while it runs.
inline unsigned int _TUL_ISO8583_NextInUse(const std::uint64_t *mask, unsigned int from, unsigned int limit) {
  while (from < limit) {
    unsigned int word = from / 64;
    std::uint64_t bits = mask[word] >> (from % 64);
    if (bits != 0) {
      unsigned int at = from + static_cast<unsigned int>(std::countr_zero(bits));
      return at < limit ? at : limit;
    }
    from = (word + 1) * 64;
  }
  return limit;
}

// Calls visit(pos) for every position set in `mask` from `from` up to below
// `limit`, in ascending order, and stops early (returning false) when visit
// returns false. Each word of the mask is read once: for walks that do not
// mark positions as they go.
template <typename Visit>
inline bool _TUL_ISO8583_EachInUse(const std::uint64_t *mask, unsigned int from, unsigned int limit, Visit &&visit) {
  if (limit > TUL_ISO8583_FIELD_COUNT) limit = TUL_ISO8583_FIELD_COUNT;
  for (unsigned int word = from / 64; from < limit && word * 64 < limit; ++word) {
    std::uint64_t bits = mask[word];
    if (word == from / 64) bits &= ~std::uint64_t{0} << (from % 64);
    while (bits != 0) {
      unsigned int pos = word * 64 + static_cast<unsigned int>(std::countr_zero(bits));
      if (pos >= limit) return true;
      bits &= bits - 1;
      if (!visit(pos)) return false;
    }
  }
  return true;
}

/* ---- where a pack or unpack failed ------------------------------------ */

// No field to blame: bad arguments, a message that was not empty, or bytes
// left over after the last field the bitmap marks.
constexpr unsigned int TUL_ISO8583_NO_FIELD = 0xFFFF;

// Filled by Pack and Unpack when given: on failure the position being
// encoded or decoded (or TUL_ISO8583_NO_FIELD) and the byte offset, from the
// start of the buffer, where that field begins (for bytes left over, where
// they begin; for input that ended before a marked field, its length).
// On success field is TUL_ISO8583_NO_FIELD and offset the bytes used.
struct TUL_ISO8583_ERROR {
  unsigned int field;
  std::uint32_t offset;
};
static_assert(sizeof(TUL_ISO8583_ERROR) == 8);
static_assert(offsetof(TUL_ISO8583_ERROR, offset) == 4);

/* ---- operations ------------------------------------------------------- */

// Zero-fills the descriptor and stores the rows and their count.
void TUL_ISO8583_COMMON_SetHandler(const TUL_ISO8583_FIELD_SPEC *fields, std::uint8_t count,
                                   TUL_ISO8583_HANDLER *handler);

#endif
