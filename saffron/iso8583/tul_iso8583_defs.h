/*
 * tul_iso8583_defs.h - the switch's field dictionary: one constant row per
 * position 0..128 saying how that field is encoded on the wire.
 */
#ifndef SAFFRON_ISO8583_TUL_ISO8583_DEFS_H
#define SAFFRON_ISO8583_TUL_ISO8583_DEFS_H

#include "iso8583/tul_iso8583_common.h"

extern const TUL_ISO8583_FIELD_SPEC _iso8583_tuliso_fields[TUL_ISO8583_FIELD_COUNT];

// Fills the descriptor with the dictionary and the count 129.
void TUL_ISO8583_DEFS_GetHandler(TUL_ISO8583_HANDLER *handler);

#endif
