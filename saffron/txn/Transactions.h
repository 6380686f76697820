/*
 * Transactions.h - the messages saffron exchanges with the switch: the logon
 * (key exchange and merchant information), the seven financial requests, and
 * the parsers that copy each answer back into currentTransaction and config.
 *
 * Sections: sizes and constants, field-48 elements, logon, financial requests,
 * financial responses, shared frame helpers, PIN entry.
 *
 * Every builder takes its values from currentTransaction and config, builds a
 * malloc-mode ISO 8583 message, MACs it in the PIN pad, and writes the whole
 * frame (2 length bytes, 5-byte TPDU, packed message) into the caller's buffer.
 * A builder returns the frame length, or 0 when the frame could not be built
 * (the buffer is too small or packing failed): there is then nothing to send.
 *
 * Every parser takes the frame as read from the link (length bytes included)
 * and the number of bytes that were read; no parser reads past that count, and
 * a frame whose own length word disagrees with it is parsed as an empty message.
 */
#ifndef SAFFRON_TXN_TRANSACTIONS_H
#define SAFFRON_TXN_TRANSACTIONS_H

#include <cstddef>

/* ---- sizes and constants ------------------------------------------------------- */

constexpr std::size_t TXN_FRAME_SIZE = 1024;   // request and response buffers of the engine and logon
constexpr std::size_t FRAME_HEADER_SIZE = 7;   // 2 length bytes + 5-byte TPDU
constexpr std::size_t FIELD48_SIZE = 1000;     // field 48 holds at most 999 characters
constexpr int STATUS_DECLINED = 91;            // any response code other than "00"
constexpr int STATUS_NO_RESPONSE_CODE = -130;  // the answer carries no field 39
constexpr int STATUS_KEYS_NOT_CHANGED = 77;    // key exchange answered "77"
constexpr int STATUS_KEY_WRITE_FAILED = 1;     // key exchange approved but a working key was refused
constexpr int LOGON_KEY_EXCHANGE = 1;          // doLogonKeyExhange kinds
constexpr int LOGON_MERCHANT_INFO = 2;

/* ---- field-48 elements -------------------------------------------------------- */

// Reads hexadecimal text (digits and upper-case A-F) as a number; other
// characters count as 0. "15" gives 0x15, which is how a tag or length of
// two decimal digits becomes one BCD byte.
int hexadecimalToDecimal(const char *text);

// Appends one element (length+1 and tag as BCD bytes, then the value) to the
// NUL-terminated text held in a buffer of textSize bytes. Values hold 0 to 98
// characters and tags are 1 to 99. Returns 0, or -1 (text unchanged) for a tag
// or value out of range or when the element does not fit.
int SetLTVTagsInfo(char *text, std::size_t textSize, int tag, const char *value);

// Walks a response's field 48 (len bytes, or up to its first zero byte) and
// applies every known tag to config and currentTransaction. An element whose
// length byte runs past the field ends the walk; nothing past len is read.
void ParseField48Velbor(const char *text, std::size_t len);

/* ---- logon: key exchange (0800) and merchant information (0100) ---------------- */

// Runs one logon exchange of the given kind on the open connection, then closes
// it. Returns the parser's status, or the link status - 120 (-240 no answer).
int doLogonKeyExhange(int kind);

int getLogonKeyExchangeTransaction(unsigned char *frame, std::size_t frameSize);
int getLogonMercInfoTransaction(unsigned char *frame, std::size_t frameSize);
// 0 approved, 77 (key exchange only), 91 other code, -130 no field 39, 1 a working key refused.
int parseLogonKeyExchangeTransaction(const unsigned char *frame, std::size_t frameLen);
int parseLogonMercInfoTransaction(const unsigned char *frame, std::size_t frameLen);

/* ---- financial requests ----------------------------------------------------------- */

// MTI and ProcessCode of currentTransaction are set by the engine beforehand,
// except for the advice (0220) and reversal (0420), which fix their own MTI and
// send the original transaction's processing code.
int getBalanceTransaction(unsigned char *frame, std::size_t frameSize);
int getBillInqTransaction(unsigned char *frame, std::size_t frameSize);
int getPurchaseTransaction(unsigned char *frame, std::size_t frameSize);
int getBillPaymentTransaction(unsigned char *frame, std::size_t frameSize);
// type 6 PIN voucher, 7 direct top-up.
int getChargeTransaction(unsigned char *frame, std::size_t frameSize, int type);
int getApproveTransaction(unsigned char *frame, std::size_t frameSize);
int getReverseTransaction(unsigned char *frame, std::size_t frameSize);

/* ---- financial responses ---------------------------------------------------------- */

// 0 for "00", 91 for any other code, -130 without field 39.
int parseBalanceTransaction(const unsigned char *frame, std::size_t frameLen);
int parseBillInqTransaction(const unsigned char *frame, std::size_t frameLen);
int parsePurchaseTransaction(const unsigned char *frame, std::size_t frameLen);
int parseBillPaymentTransaction(const unsigned char *frame, std::size_t frameLen);
int parseChargeTransaction(const unsigned char *frame, std::size_t frameLen, int type);
// 0 for "00", otherwise the code as a decimal number (91 for a code that is not
// numeric), -130 without field 39.
int parseApproveTransaction(const unsigned char *frame, std::size_t frameLen);
int parseReverseTransaction(const unsigned char *frame, std::size_t frameLen);

/* ---- PIN entry ----------------------------------------------------------------- */

// PIN entry for currentTransaction: the PIN pad writes the 8-byte PIN block into
// currentTransaction.pinBlock. 0 = PIN block made, -1 = cancelled / timed out,
// other values = PIN pad failure.
int getPinDialog();

#endif
