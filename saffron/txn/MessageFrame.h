/*
 * MessageFrame.h - what every builder and parser of saffron/txn shares: the
 * message record freed on every path, the TPDU frame, the MAC step, the
 * common field-48 tags, and reading fields of an answer into fixed slots.
 */
#ifndef SAFFRON_TXN_MESSAGEFRAME_H
#define SAFFRON_TXN_MESSAGEFRAME_H

#include <cstddef>

#include "iso8583/tul_iso8583.h"
#include "txn/Transactions.h"

namespace txn {

constexpr std::size_t PACK_BUFFER_SIZE = 1024;
constexpr std::size_t MAC_TEXT_SIZE = 8;   // the MAC field carries 8 hex characters
constexpr int MAC_EXCLUDE_DEFAULT = 8;     // the MAC placeholder
constexpr int MAC_EXCLUDE_KEY_EXCHANGE = 4; // the 0800 is MACed over all but its last 4 bytes

// A malloc-mode message released when it goes out of scope.
struct Message {
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_MSG msg;
  Message();
  ~Message();
  Message(const Message &) = delete;
  Message &operator=(const Message &) = delete;

  bool setBin(unsigned field, const void *data, std::size_t len);
  bool setStr(unsigned field, const char *text);
  bool have(unsigned field);
  // The stored value and its length, or nullptr when absent.
  const char *get(unsigned field, std::size_t *len);
  // Copies the field into a fixed text slot (truncated to fit, terminated); false when absent.
  bool copyTo(unsigned field, char *dst, std::size_t dstSize);
};

// The last three digits of NII, left-filled with '0' when it is shorter.
void niiDigits(char out[4]);

// Puts an 8-byte placeholder in macField, packs, MACs all but the last
// macExclude bytes in the PIN pad, stores the MAC text, packs again and frames
// the result into frame. Returns the frame length or 0.
int macPackAndFrame(Message &m, unsigned macField, int macExclude, unsigned char *frame, std::size_t frameSize);

// Unpacks the message of a received frame (frameLen bytes read). A frame whose
// length word is below 5 or runs past frameLen leaves the message empty.
void unpackFrame(Message &m, const unsigned char *frame, std::size_t frameLen);

// Tags 1, 2, 3, 15, 22 and (when set) 95 into an empty field-48 text.
bool addCommonTags(char *text, std::size_t textSize);

// DateTime (YYMMDDhhmm), Time (hhmmss) and Date (MMDD) of currentTransaction
// from year within the century, month, day, hour, minute, second.
void setTransactionStamp(const int parts[6]);

// Puts the trace number just issued (turnRow.stanNo) into currentTransaction.STAN
// and stamps DateTime, Time and Date with the clock, as a new request does.
void takeStanAndStamp();

// Applies the tags of the answer's field 48, when it has one.
void applyTags(Message &m);

// Reads field 39 into ResponseCode: 0 for "00", 91 other, -130 absent.
int readResponseCode(Message &m);

} // namespace txn

#endif
