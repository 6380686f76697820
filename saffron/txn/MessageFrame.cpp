/*
 * MessageFrame.cpp - the shared steps of the message builders and parsers.
 *
 * Frame on the wire: 2 length bytes (big-endian, what follows), the TPDU
 * 60 0N NN 00 80 with the last three NII digits, then the packed message.
 */
#include "txn/MessageFrame.h"

#include <cstdio>
#include <cstring>

#include "core/Filing.h"
#include "core/clock.h"
#include "journal/Journal.h"
#include "security/Injection.h"
#include "util/Strings.h"

namespace txn {

Message::Message() {
  TUL_ISO8583_DEFS_GetHandler(&handler);
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
}

Message::~Message() { TUL_ISO8583_MSG_Free(&msg); }

bool Message::setBin(unsigned field, const void *data, std::size_t len) {
  return TUL_ISO8583_MSG_SetField_Bin(field, data, static_cast<std::uint32_t>(len), &msg) == 0;
}

bool Message::setStr(unsigned field, const char *text) { return setBin(field, text, std::strlen(text)); }

bool Message::have(unsigned field) { return TUL_ISO8583_MSG_HaveField(field, &msg) == 1; }

const char *Message::get(unsigned field, std::size_t *len) {
  unsigned char *data = nullptr;
  std::uint32_t n = 0;
  if (TUL_ISO8583_MSG_GetField_Bin(field, &msg, &data, &n) != 0 || data == nullptr) return nullptr;
  if (len != nullptr) *len = n;
  return reinterpret_cast<const char *>(data);
}

bool Message::copyTo(unsigned field, char *dst, std::size_t dstSize) {
  std::size_t len = 0;
  const char *value = get(field, &len);
  if (value == nullptr || dstSize == 0) return false;
  if (len > dstSize - 1) len = dstSize - 1;
  std::memset(dst, 0, dstSize);
  std::memcpy(dst, value, len);
  return true;
}

void niiDigits(char out[4]) {
  std::size_t n = strnlen(config.NII, sizeof(config.NII));
  std::memcpy(out, "000", 4);
  std::size_t take = n < 3 ? n : 3;
  std::memcpy(out + 3 - take, config.NII + n - take, take);
}

int macPackAndFrame(Message &m, unsigned macField, int macExclude, unsigned char *frame, std::size_t frameSize) {
  static const unsigned char placeholder[MAC_TEXT_SIZE] = {0};
  if (!m.setBin(macField, placeholder, sizeof(placeholder))) return 0;
  // Room for the MAC's zero padding past the packed bytes.
  unsigned char packed[PACK_BUFFER_SIZE + 8] = {0};
  std::uint32_t packedLen = 0;
  if (TUL_ISO8583_MSG_Pack(&m.handler, &m.msg, packed, PACK_BUFFER_SIZE, &packedLen) != 0) return 0;
  if (packedLen <= static_cast<unsigned>(macExclude)) return 0;
  char macText[MAC_TEXT_SIZE * 2 + 1] = {0};
  if (getMacAscii(packed, static_cast<int>(packedLen) - macExclude, sizeof(packed), macText, sizeof(macText)) != 0)
    return 0;
  if (!m.setBin(macField, macText, MAC_TEXT_SIZE)) return 0;
  std::memset(packed, 0, sizeof(packed));
  packedLen = 0;
  if (TUL_ISO8583_MSG_Pack(&m.handler, &m.msg, packed, PACK_BUFFER_SIZE, &packedLen) != 0) return 0;
  if (packedLen + FRAME_HEADER_SIZE > frameSize || packedLen + 5 > 0xFFFF) return 0;

  char nii[4];
  niiDigits(nii);
  char tpduText[11];
  std::snprintf(tpduText, sizeof(tpduText), "600%s0080", nii);
  unsigned int n = packedLen + 5;
  frame[0] = static_cast<unsigned char>(n >> 8);
  frame[1] = static_cast<unsigned char>(n & 0xFF);
  hexStringToBytes(tpduText, frame + 2, 5);
  std::memcpy(frame + FRAME_HEADER_SIZE, packed, packedLen);
  return static_cast<int>(packedLen + FRAME_HEADER_SIZE);
}

void unpackFrame(Message &m, const unsigned char *frame, std::size_t frameLen) {
  if (frame == nullptr || frameLen < 2) return;
  std::size_t n = (static_cast<std::size_t>(frame[0]) << 8) | frame[1];
  if (n < 5 || n + 2 > frameLen) return;
  // The parsers read whichever fields were decoded; a failed unpack is not an error here.
  TUL_ISO8583_MSG_Unpack(&m.handler, frame + FRAME_HEADER_SIZE, static_cast<std::uint32_t>(n - 5), &m.msg);
}

bool addCommonTags(char *text, std::size_t textSize) {
  bool ok = SetLTVTagsInfo(text, textSize, 1, config.SerialNo) == 0;
  ok = ok && SetLTVTagsInfo(text, textSize, 2, SOFTWARE_VERSION) == 0;
  ok = ok && SetLTVTagsInfo(text, textSize, 3, "1") == 0;
  ok = ok && SetLTVTagsInfo(text, textSize, 15, "7") == 0;
  ok = ok && SetLTVTagsInfo(text, textSize, 22, "1") == 0;
  if (ok && config.IMEI[0] != '\0') {
    char imei[sizeof(config.IMEI) + 1] = {0};
    std::memcpy(imei, config.IMEI, strnlen(config.IMEI, sizeof(config.IMEI)));
    ok = SetLTVTagsInfo(text, textSize, 95, imei) == 0;
  }
  return ok;
}

void setTransactionStamp(const int parts[6]) {
  unsigned v[6];
  for (int i = 0; i < 6; ++i) v[i] = static_cast<unsigned>(parts[i] < 0 ? 0 : parts[i]) % 100u;
  std::snprintf(currentTransaction.DateTime, sizeof(currentTransaction.DateTime), "%02u%02u%02u%02u%02u", v[0],
                v[1], v[2], v[3], v[4]);
  std::snprintf(currentTransaction.Time, sizeof(currentTransaction.Time), "%02u%02u%02u", v[3], v[4], v[5]);
  std::snprintf(currentTransaction.Date, sizeof(currentTransaction.Date), "%02u%02u", v[1], v[2]);
}

void takeStanAndStamp() {
  std::memset(currentTransaction.STAN, 0, sizeof(currentTransaction.STAN));
  std::memcpy(currentTransaction.STAN, turnRow.stanNo, strnlen(turnRow.stanNo, sizeof(currentTransaction.STAN) - 1));
  int dt[DATE_TIME_FIELDS] = {0};
  getDateTime(dt);
  setTransactionStamp(dt); // year within the century, month, day, hour, minute, second
}

void applyTags(Message &m) {
  std::size_t len = 0;
  const char *value = m.get(48, &len);
  if (value != nullptr) ParseField48Velbor(value, len);
}

int readResponseCode(Message &m) {
  std::memset(currentTransaction.ResponseCode, 0, sizeof(currentTransaction.ResponseCode));
  if (!m.have(39)) return STATUS_NO_RESPONSE_CODE;
  m.copyTo(39, currentTransaction.ResponseCode, sizeof(currentTransaction.ResponseCode));
  return std::strcmp(currentTransaction.ResponseCode, "00") == 0 ? 0 : STATUS_DECLINED;
}

} // namespace txn
