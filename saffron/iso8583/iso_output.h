/*
 * iso_output.h - a readable listing of a message for the debug port.
 */
#ifndef SAFFRON_ISO8583_ISO_OUTPUT_H
#define SAFFRON_ISO8583_ISO_OUTPUT_H

#include "iso8583/tul_iso8583_common.h"

// Writes into text[0..textSize), always terminated, and returns text:
//   "\r\n--------------- ISO8583 MSG DUMP ---------------\r\n"
//   per present position below the handler's count:
//     "[%03d] [%02d] " position, length, then each value byte as "%02X", "\r\n"
//   "------------------------------------------------\r\n\r\n"
// A listing longer than the buffer is cut at the buffer's end. Values are shown
// as they are, card data included: keep the listing off production logs.
char *TUL_ISO8583_MSG_Dump(const TUL_ISO8583_HANDLER *handler, const TUL_ISO8583_MSG *msg,
                           char *text, std::size_t textSize);

// Bytes a listing of this message needs, terminator included.
std::size_t TUL_ISO8583_MSG_DumpSize(const TUL_ISO8583_HANDLER *handler, const TUL_ISO8583_MSG *msg);

#endif
