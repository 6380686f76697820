/*
 * tul_iso8583.h - the ISO 8583 message: set, query, pack and unpack fields.
 *
 * Statuses: 0 success, 1 failure (field number >= 129, value too long for its
 * prefix, field already set in arena mode, arena exhausted, output buffer too
 * small, malformed input), 1000 out of memory.
 *
 * Builders: TUL_ISO8583_DEFS_GetHandler, TUL_ISO8583_MSG_Init(nullptr, 0, &m),
 * SetField_Bin per field (field 1 takes any placeholder: the bitmap is always
 * computed), Pack, MAC, SetField_Bin of the MAC field, Pack again, Free.
 * Parsers: GetHandler, Init, Unpack, HaveField / GetField_* per field, Free.
 */
#ifndef SAFFRON_ISO8583_TUL_ISO8583_H
#define SAFFRON_ISO8583_TUL_ISO8583_H

#include "iso8583/iso_output.h"
#include "iso8583/tul_iso8583_common.h"
#include "iso8583/tul_iso8583_defs.h"

// Zero-fills the record. A non-null buffer selects arena mode: values are
// carved from buffer[0..size) and never freed one by one. Null: malloc mode.
void TUL_ISO8583_MSG_Init(unsigned char *buffer, std::uint32_t size, TUL_ISO8583_MSG *msg);

// Malloc mode: releases every value. Both modes: zero-fills the record, so it
// can be initialised again. Harmless on a fresh or already freed record.
void TUL_ISO8583_MSG_Free(TUL_ISO8583_MSG *msg);

// Reserves length + 1 zeroed bytes for the slot and returns them through *out
// (null on failure); the slot's length becomes `length`. Arena mode fails with
// 1 when the slot is already present or the arena has no room; malloc mode
// replaces any previous value, or returns 1000 and keeps it.
int _TUL_ISO8583_MSG_AllocField(unsigned int field, std::uint32_t length, TUL_ISO8583_MSG *msg,
                                unsigned char **out);

// Stores `length` bytes (zero bytes allowed) and a terminating NUL.
int TUL_ISO8583_MSG_SetField_Bin(unsigned int field, const void *data, std::uint32_t length,
                                 TUL_ISO8583_MSG *msg);
// The same with the text's length; a null text counts as empty.
int TUL_ISO8583_MSG_SetField_Str(unsigned int field, const char *text, TUL_ISO8583_MSG *msg);
// Modes 0 and 1 store the text like SetField_Str; any other mode does nothing and returns 0.
int TUL_ISO8583_MSG_SetField(int mode, unsigned int field, const char *text, TUL_ISO8583_MSG *msg);

// 1 when the slot holds a value (a position only marked by a bitmap does not).
int TUL_ISO8583_MSG_HaveField(unsigned int field, const TUL_ISO8583_MSG *msg);

// Points *text at the stored value (not a copy; valid until Free); *text is
// null and the result 1 when the message is null, field >= 129 or absent.
int TUL_ISO8583_MSG_GetField_Str(unsigned int field, const TUL_ISO8583_MSG *msg, char **text);
int TUL_ISO8583_MSG_GetField_Bin(unsigned int field, const TUL_ISO8583_MSG *msg,
                                 unsigned char **data, std::uint32_t *length);

// Encodes the message into out[0..outSize). *outLength gets the bytes written,
// or stays 0 on failure; a pack that would not fit fails with 1 and writes
// nothing at or past out + outSize. A non-null error says where it failed.
int TUL_ISO8583_MSG_Pack(const TUL_ISO8583_HANDLER *handler, const TUL_ISO8583_MSG *msg,
                         unsigned char *out, std::uint32_t outSize, std::uint32_t *outLength,
                         TUL_ISO8583_ERROR *error = nullptr);

// Decodes in[0..inLength) into an initialised, empty message. Never reads past
// in + inLength. Fails with 1 on a truncated, over-long or inconsistent input
// (including one that ends before a field its bitmap marks) and with 1 when the
// message is not empty; the fields decoded so far stay and need Free.
// A non-null error says where it failed.
int TUL_ISO8583_MSG_Unpack(const TUL_ISO8583_HANDLER *handler, const unsigned char *in,
                           std::uint32_t inLength, TUL_ISO8583_MSG *msg,
                           TUL_ISO8583_ERROR *error = nullptr);

// One field through the handler's row and fieldTypeArr; the encoder advances *cursor.
int _TUL_ISO8583_FIELD_Pack(unsigned int field, const TUL_ISO8583_MSG *msg,
                            const TUL_ISO8583_HANDLER *handler, unsigned char **cursor,
                            const unsigned char *end);
int _TUL_ISO8583_FIELD_Unpack(unsigned int field, TUL_ISO8583_MSG *msg,
                              const TUL_ISO8583_HANDLER *handler, const unsigned char **cursor,
                              const unsigned char *end);

#endif
