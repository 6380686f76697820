/*
 * Messages.h - the terminal's message catalogue: every fixed screen text and
 * many receipt labels, by number. The texts are Persian UTF-8, compiled in;
 * there is no language switch and nothing to load at run time.
 *
 * Numbers 0 to 423 form the table; a number without a text of its own, a
 * negative number and every number from 424 up yield UI_MESSAGE_UNKNOWN.
 */
#ifndef SAFFRON_UI_MESSAGES_H
#define SAFFRON_UI_MESSAGES_H

#include <cstddef>

/* ---- operations ------------------------------------------------------------ */

// Clears the first 4 bytes of buffer, then copies the text of message id and
// its terminating NUL into it. A buffer smaller than the text receives as many
// whole UTF-8 characters as fit, always NUL-terminated. Returns buffer.
// Callers pass 128-byte buffers; every text fits in UI_MESSAGE_MAX_TEXT + 1.
char *getUiMessage(int id, char *buffer, std::size_t bufferSize = 128);

// The extended catalogue has no texts: always an empty text.
const char *getUiMessageEx();

// Called once at start-up. The catalogue is compiled in, so there is nothing
// to load; returns 0.
int loadMessages();

// Copies src into dst (dstSize bytes), cutting at a UTF-8 character boundary
// when it does not fit; dst is always NUL-terminated when dstSize > 0.
// Returns the number of bytes copied, without the NUL.
std::size_t copyUtf8Bounded(char *dst, std::size_t dstSize, const char *src);

/* ---- constants ------------------------------------------------------------- */

constexpr int UI_MESSAGE_COUNT = 424;              // numbers 0..423
constexpr std::size_t UI_MESSAGE_BUFFER_SIZE = 128; // what callers pass
constexpr std::size_t UI_MESSAGE_MAX_TEXT = 71;    // longest text, in bytes
constexpr const char *UI_MESSAGE_UNKNOWN = "پیام نامشخص";

// Messages other modules name in code.
constexpr int MSG_NETWORK_CONNECT_ERROR = 17; // "خطا در اتصال به شبکه"
constexpr int MSG_LOAD_KEYS_FIRST = 301;      // "ابتدا کلیدگذاری نمایید"

#endif
