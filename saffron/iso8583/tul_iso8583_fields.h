/*
 * tul_iso8583_fields.h - the byte-level field encoders: three value encodings
 * (packed digits, characters, raw bytes), three bitmap encodings, and the
 * length-prefix writer and reader they share. fieldTypeArr maps a dictionary
 * type code to its {unpack, pack} pair.
 *
 * Every encoder is bounded: it is given the cursor and the end of the buffer
 * it writes or reads, and fails with 1 rather than touch a byte at or past
 * that end. On success it advances the cursor past the field.
 */
#ifndef SAFFRON_ISO8583_TUL_ISO8583_FIELDS_H
#define SAFFRON_ISO8583_TUL_ISO8583_FIELDS_H

#include "iso8583/tul_iso8583_common.h"

using TUL_ISO8583_UNPACK_FN = int (*)(unsigned int field, TUL_ISO8583_MSG *msg,
                                      const TUL_ISO8583_FIELD_SPEC *fieldDef,
                                      const unsigned char **cursor, const unsigned char *end);
using TUL_ISO8583_PACK_FN = int (*)(unsigned int field, const TUL_ISO8583_MSG *msg,
                                    const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                                    const unsigned char *end);

struct TUL_ISO8583_FIELD_TYPE {
  TUL_ISO8583_UNPACK_FN unpack;
  TUL_ISO8583_PACK_FN pack;
};

// Indexed by type code 0..12.
extern const TUL_ISO8583_FIELD_TYPE fieldTypeArr[TUL_FT_COUNT];

/* ---- length prefixes -------------------------------------------------- */

// Writes the prefix of the given form for a value of `length` units.
// *limit comes in holding the row's maxLen; for every variable form it goes out
// holding the length reduced to what the form can express, so the caller fails
// the field when length > *limit. Returns 1 for an invalid form, for a track-2
// length outside 1..50, or when the prefix would not fit before `end`.
int _TUL_VarLen_Put(std::uint8_t form, std::uint32_t length, std::uint32_t *limit,
                    unsigned char **cursor, const unsigned char *end);

// Reads the prefix of the given form and returns the value's length (maxLen for
// a fixed field, without reading). A length above maxLen is cut to maxLen.
// Returns 1 for an invalid form or a prefix running past `end`.
int _TUL_VarLen_Get(const unsigned char **cursor, const unsigned char *end, std::uint8_t form,
                    std::uint32_t maxLen, std::uint32_t *length);

/* ---- value encodings -------------------------------------------------- */

int _TUL_pack_iso_ASCHEX(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                         const unsigned char *end);
int _TUL_unpack_iso_ASCHEX(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                           const unsigned char *end);

int _TUL_pack_iso_ASCII(unsigned int field, const TUL_ISO8583_MSG *msg,
                        const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                        const unsigned char *end);
int _TUL_unpack_iso_ASCII(unsigned int field, TUL_ISO8583_MSG *msg,
                          const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                          const unsigned char *end);

int _TUL_pack_iso_BINARY(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                         const unsigned char *end);
int _TUL_unpack_iso_BINARY(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                           const unsigned char *end);

/* ---- bitmaps ---------------------------------------------------------- */
// Packing computes the bitmap from the message's slots (a stored value is only
// a placeholder). Unpacking writes the presence marker 1 into the length word of
// every marked position and stores the bitmap's own bytes as its value.

int _TUL_pack_iso_BITMAP(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                         const unsigned char *end);
int _TUL_unpack_iso_BITMAP(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                           const unsigned char *end);

int _pack_iso_TUL_BITMAP(unsigned int field, const TUL_ISO8583_MSG *msg,
                         const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                         const unsigned char *end);
int _unpack_iso_TUL_BITMAP(unsigned int field, TUL_ISO8583_MSG *msg,
                           const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                           const unsigned char *end);

int _TUL_pack_iso_BITMAP_HEX(unsigned int field, const TUL_ISO8583_MSG *msg,
                             const TUL_ISO8583_FIELD_SPEC *fieldDef, unsigned char **cursor,
                             const unsigned char *end);
int _TUL_unpack_iso_BITMAP_HEX(unsigned int field, TUL_ISO8583_MSG *msg,
                               const TUL_ISO8583_FIELD_SPEC *fieldDef, const unsigned char **cursor,
                               const unsigned char *end);

#endif
