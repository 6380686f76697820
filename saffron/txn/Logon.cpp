/*
 * Logon.cpp - the manager's logon: the key exchange (0800), which loads the
 * master and working keys into the PIN pad and takes the terminal and merchant
 * identifiers, and the merchant-information request (0100).
 *
 * Sections: the key-exchange request and answer, the merchant-information
 * request and answer, the exchange that runs either.
 */
#include "txn/Transactions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comm/Connection.h"
#include "comm/communication.h"
#include "core/Filing.h"
#include "journal/Journal.h"
#include "security/Injection.h"
#include "txn/MessageFrame.h"
#include "util/Strings.h"

using txn::Message;

namespace {

constexpr int KEY_BYTES = 16;
constexpr int WORKING_KEYS_BYTES = 3 * KEY_BYTES; // PIN, MAC and data keys in field 62
constexpr std::size_t MERCHANT_NAME_CLEARED = 128;
constexpr int EXCHANGE_STATUS_OFFSET = 120; // link status s is reported as s - 120

void writeFixedMasterKey() { loadTerminalMasterKey(); }

// Fields 0, 1, 3, 11, 12, 13, 24 and 48 of both logon requests.
bool setLogonFields(Message &m, const char *mti, const char *placeholder, const char *processCode) {
  setStanNumber(0);
  txn::takeStanAndStamp();
  char nii[4];
  txn::niiDigits(nii);
  char tags[FIELD48_SIZE] = {0};
  return m.setStr(0, mti) && m.setStr(1, placeholder) && m.setStr(3, processCode) &&
         m.setStr(11, currentTransaction.STAN) && m.setStr(12, currentTransaction.Time) &&
         m.setStr(13, currentTransaction.Date) && m.setStr(24, nii) && txn::addCommonTags(tags, sizeof(tags)) &&
         m.setStr(48, tags);
}

// Status after field 39 and the fields both answers share.
int parseLogonCommon(Message &m, const unsigned char *frame, std::size_t frameLen, bool allowKeysUnchanged) {
  txn::unpackFrame(m, frame, frameLen);
  int status = txn::readResponseCode(m);
  if (status == 0) setLastSucceedStanNumber(std::strtol(currentTransaction.STAN, nullptr, 10));
  if (allowKeysUnchanged && status == STATUS_DECLINED && std::strcmp(currentTransaction.ResponseCode, "77") == 0)
    status = STATUS_KEYS_NOT_CHANGED;
  return status;
}

void takeIdentifiersAndRrn(Message &m) {
  m.copyTo(37, currentTransaction.RRN, sizeof(currentTransaction.RRN));
  m.copyTo(38, currentTransaction.SwitchSTAN, sizeof(currentTransaction.SwitchSTAN));
}

void takeMerchantNo(Message &m) {
  if (m.copyTo(42, config.MerchantNo, sizeof(config.MerchantNo))) removeSpaces(config.MerchantNo);
}

// Field 62: the PIN, MAC and data keys enciphered under the master key. Every
// write is attempted; missing bytes load as zeros. Returns 1 when one failed.
int loadWorkingKeys(Message &m) {
  std::size_t len = 0;
  const char *value = m.get(62, &len);
  if (value == nullptr) return 0;
  writeFixedMasterKey();
  unsigned char keys[WORKING_KEYS_BYTES] = {0};
  std::size_t text = strnlen(value, len);
  std::memcpy(keys, value, text < sizeof(keys) ? text : sizeof(keys));
  int failed = 0;
  if (writePinKey(KEY_BYTES, keys) != 0) failed = 1;
  if (writeMacKey(KEY_BYTES, keys + KEY_BYTES) != 0) failed = 1;
  if (writeAccKey(KEY_BYTES, keys + 2 * KEY_BYTES) != 0) failed = 1;
  std::memset(keys, 0, sizeof(keys));
  writeConfig2File();
  return failed;
}

} // namespace

int getLogonKeyExchangeTransaction(unsigned char *frame, std::size_t frameSize) {
  if (frame == nullptr) return 0;
  // MAC this request with provisional keys: the master key and zero working keys.
  writeFixedMasterKey();
  const unsigned char zeros[KEY_BYTES] = {0};
  writePinKey(KEY_BYTES, zeros);
  writeMacKey(KEY_BYTES, zeros);
  writeAccKey(KEY_BYTES, zeros);
  writeConfig2File();

  Message m;
  if (!setLogonFields(m, "0800", "2038010000010000", "920000")) return 0;
  return txn::macPackAndFrame(m, 64, txn::MAC_EXCLUDE_KEY_EXCHANGE, frame, frameSize);
}

int getLogonMercInfoTransaction(unsigned char *frame, std::size_t frameSize) {
  if (frame == nullptr) return 0;
  Message m;
  char terminal[9] = {0};
  std::memcpy(terminal, config.TerminalNo, strnlen(config.TerminalNo, 8));
  if (!setLogonFields(m, "0100", "2038010000810001", "930000") || !m.setStr(41, terminal)) return 0;
  return txn::macPackAndFrame(m, 64, txn::MAC_EXCLUDE_DEFAULT, frame, frameSize);
}

int parseLogonKeyExchangeTransaction(const unsigned char *frame, std::size_t frameLen) {
  Message m;
  int status = parseLogonCommon(m, frame, frameLen, true);
  if (status == 0 || status == STATUS_KEYS_NOT_CHANGED) readConfigFromFile(0);
  takeIdentifiersAndRrn(m);
  if (status == 0) {
    m.copyTo(41, config.TerminalNo, sizeof(config.TerminalNo));
    takeMerchantNo(m);
    status = loadWorkingKeys(m) != 0 ? STATUS_KEY_WRITE_FAILED : 0;
    writeConfig2File();
    readConfigFromFile(0);
  }
  txn::applyTags(m);
  return status;
}

int parseLogonMercInfoTransaction(const unsigned char *frame, std::size_t frameLen) {
  Message m;
  int status = parseLogonCommon(m, frame, frameLen, false);
  takeIdentifiersAndRrn(m);
  if (status == 0) {
    readConfigFromFile(0);
    takeMerchantNo(m);
    std::size_t len = 0;
    const char *tags = m.get(48, &len);
    if (tags != nullptr) {
      std::memset(config.MerchantName, 0, MERCHANT_NAME_CLEARED);
      ParseField48Velbor(tags, len);
    }
    writeConfig2File();
    readConfigFromFile(0);
  }
  return status;
}

int doLogonKeyExhange(int kind) {
  if (kind != LOGON_KEY_EXCHANGE && kind != LOGON_MERCHANT_INFO) return 0;
  readConfigFromFile(0);
  unsigned char request[TXN_FRAME_SIZE] = {0};
  int requestLen = kind == LOGON_KEY_EXCHANGE ? getLogonKeyExchangeTransaction(request, sizeof(request))
                                              : getLogonMercInfoTransaction(request, sizeof(request));
  unsigned char response[TXN_FRAME_SIZE] = {0};
  int responseLen = 0;
  int status = requestLen > 0 ? remoteAction(request, requestLen, "", "", response, &responseLen,
                                             static_cast<int>(sizeof(response)), config.linkMode)
                              : LINK_SEND_FAILED; // nothing could be built, so nothing was sent
  if (status == 0 && responseLen > 0) {
    status = kind == LOGON_KEY_EXCHANGE
                 ? parseLogonKeyExchangeTransaction(response, static_cast<std::size_t>(responseLen))
                 : parseLogonMercInfoTransaction(response, static_cast<std::size_t>(responseLen));
  } else {
    // A wait that ran out reads as success with nothing received: no answer.
    if (status == 0) status = -EXCHANGE_STATUS_OFFSET;
    status -= EXCHANGE_STATUS_OFFSET;
  }
  remoteDisconnect();
  return status;
}
