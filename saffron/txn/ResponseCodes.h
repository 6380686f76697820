/*
 * ResponseCodes.h - the texts of the switch's response codes (field 39) and
 * of the terminal's own failures, for the result screen and the failure
 * receipt.
 */
#ifndef SAFFRON_TXN_RESPONSECODES_H
#define SAFFRON_TXN_RESPONSECODES_H

#include <cstddef>

/* ---- operations ------------------------------------------------------------ */

// Writes the fixed text of a response code (the decimal value of the two
// response digits, or a local code 100 or 101) into text, NUL-terminated;
// codes not in the table get RESPONSE_TEXT_UNKNOWN. The failure receipt adds
// the number itself. A text that does not fit is cut at a character boundary.
// Returns 0, or -1 when there is no buffer.
int getResponseCode(int code, char *text, std::size_t textSize = 128);

// Builds the result screen's one-line description: the text (codes 0..99 from
// the table, -140 "load keys first", other negative codes "network connection
// error", 100 and above nothing) followed directly by the number and one
// space, e.g. "<text>51 ". Logged on the diagnostic port. Returns 0, or -1
// when there is no buffer.
int getResponseCodeDescription(int code, char *text, std::size_t textSize = 128);

/* ---- constants ------------------------------------------------------------- */

constexpr int RESPONSE_TRANSACTION_ERROR = 100; // local: the exchange failed
constexpr int RESPONSE_CONFIG_ERROR = 101;      // local: configuration missing
constexpr int RESPONSE_NO_WORKING_KEYS = -140;  // local: no working keys loaded
constexpr std::size_t RESPONSE_TEXT_SIZE = 128; // buffer callers pass
constexpr const char *RESPONSE_TEXT_UNKNOWN = "خطاي ناشناخته";

#endif
