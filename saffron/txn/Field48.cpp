/*
 * Field48.cpp - the tag elements of field 48: building them into requests and
 * applying the ones a response carries.
 *
 * An element is L (value length + 1) and T (tag), each one byte holding two
 * BCD digits, then L - 1 value bytes. Responses come from outside, so the walk
 * trusts no length byte: an element that would run past the field ends it.
 */
#include "txn/Transactions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Filing.h"
#include "core/clock.h"
#include "core/debug.h"
#include "journal/Journal.h"
#include "libapi.h"
#include "txn/MessageFrame.h"
#include "util/Strings.h"

namespace {

constexpr int MAX_LTV_VALUE = 98;        // L = value + 1 must stay two decimal digits
constexpr int CHARGE_PIN_BYTES = 16;     // the enciphered charge PIN block
constexpr int CONVERT_FIRST_COLUMN = 0;  // Windows-1256 and Iran System columns of the code page
constexpr int CONVERT_END_COLUMN = 6;
constexpr std::size_t TAX_CODE_CHARS = 16;

// One BCD byte read as two decimal digits (0x34 is 34).
int bcdByte(unsigned char b) { return (b >> 4) * 10 + (b & 0x0F); }

// Copies at most len bytes of src into dst (dstSize bytes), always terminated.
void copyBounded(char *dst, std::size_t dstSize, const char *src, std::size_t len) {
  if (dstSize == 0) return;
  if (len > dstSize - 1) len = dstSize - 1;
  std::memcpy(dst, src, len);
  dst[len] = '\0';
}

// The part of a value up to its first '\'; false when there is none.
bool untilBackslash(const char *value, std::size_t len, std::size_t *partLen) {
  const void *slash = std::memchr(value, '\\', len);
  if (slash == nullptr) return false;
  *partLen = static_cast<std::size_t>(static_cast<const char *>(slash) - value);
  return true;
}

// Converts switch code-page text into UTF-8 in out (zero-filled first).
void convertSwitchText(const char *value, std::size_t len, char *out, std::size_t outSize) {
  std::memset(out, 0, outSize);
  char work[256] = {0};
  if (len > sizeof(work) - 1) len = sizeof(work) - 1;
  std::memcpy(work, value, len);
  convertStr(work, static_cast<int>(len), 0, CONVERT_FIRST_COLUMN, CONVERT_END_COLUMN, out, outSize);
}

void applyMerchantText(int tag, const char *value, std::size_t len) {
  std::size_t partLen = 0;
  if (!untilBackslash(value, len, &partLen)) return;
  // 98 source bytes become at most 4 bytes each: fits the 512-byte name.
  char utf8[512];
  convertSwitchText(value, partLen, utf8, sizeof(utf8));
  if (tag == 31) {
    USB_printf2("TAG_MERCHANT_NAME %s", utf8);
    copyBounded(config.MerchantName, sizeof(config.MerchantName), utf8, std::strlen(utf8));
  } else if (tag == 32) {
    USB_printf2("TAG_MERCHANT_ADDRESS %s", utf8);
  } else {
    USB_printf2("TAG_MERCHANT_ADVERTISEMENT %s", utf8);
  }
}

void applyChargePin(const char *value, std::size_t len) {
  USB_printf2("TAG_CHARGE");
  char hex[2 * CHARGE_PIN_BYTES + 1] = {0};
  copyBounded(hex, sizeof(hex), value, len);
  unsigned char enciphered[CHARGE_PIN_BYTES] = {0};
  hexStringToBytes(hex, enciphered, sizeof(enciphered));
  unsigned char plain[CHARGE_PIN_BYTES + 8] = {0};
  DLL_PciGetEncData(0, CHARGE_PIN_BYTES, enciphered, plain);
  std::memset(currentTransaction.PaymentId, 0, sizeof(currentTransaction.PaymentId));
  std::memcpy(currentTransaction.PaymentId, plain, CHARGE_PIN_BYTES);
}

// Six two-digit groups from the third character: YY MM DD hh mm ss.
void applySwitchDateTime(const char *value, std::size_t len) {
  char text[MAX_LTV_VALUE + 1];
  copyBounded(text, sizeof(text), value, len);
  USB_printf2("TAG_DATE_TIME %s", text);
  if (len < 14) return; // too short to hold a date and time: leave the clock alone
  int parts[6];
  for (int i = 0; i < 6; ++i) {
    char a = text[2 + 2 * i], b = text[3 + 2 * i];
    if (a < '0' || a > '9' || b < '0' || b > '9') return;
    parts[i] = (a - '0') * 10 + (b - '0');
  }
  setSystemDateTime(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
  txn::setTransactionStamp(parts);
}

void applyTag(int tag, const char *value, std::size_t len) {
  switch (tag) {
  case 31:
  case 32:
  case 33:
    applyMerchantText(tag, value, len);
    break;
  case 34:
    copyBounded(config.merchantPhone, sizeof(config.merchantPhone), value, len);
    break;
  case 35:
    copyBounded(config.merchantExtra, sizeof(config.merchantExtra), value, len);
    break;
  case 39: {
    std::size_t partLen = 0;
    if (untilBackslash(value, len, &partLen)) {
      char bank[MAX_LTV_VALUE + 1];
      copyBounded(bank, sizeof(bank), value, partLen);
      USB_printf2("TAG_MERCHANT_BANK_NAME %s", bank);
    }
    break;
  }
  case 40:
    USB_printf2("2 TAG_CHARGE_SERIAL");
    // The switch sends the serial number reversed.
    copyBounded(currentTransaction.BillId, sizeof(currentTransaction.BillId), value, len);
    strReverse(currentTransaction.BillId);
    break;
  case 41:
    applyChargePin(value, len);
    break;
  case 49: {
    char number[MAX_LTV_VALUE + 1];
    copyBounded(number, sizeof(number), value, len);
    config.merchantParam49 = static_cast<int32_t>(std::strtol(number, nullptr, 10));
    break;
  }
  case 50:
    applySwitchDateTime(value, len);
    break;
  case 98:
    std::memset(config.taxCode, 0, sizeof(config.taxCode));
    copyBounded(config.taxCode, sizeof(config.taxCode), value, len < TAX_CODE_CHARS ? len : TAX_CODE_CHARS);
    writeConfig2File();
    break;
  default:
    break; // not a tag this terminal uses
  }
}

} // namespace

int hexadecimalToDecimal(const char *text) {
  int value = 0;
  for (const char *p = text; p != nullptr && *p != '\0'; ++p) {
    int digit = 0;
    if (*p >= '0' && *p <= '9') digit = *p - '0';
    else if (*p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
    value = value * 16 + digit;
  }
  return value;
}

int SetLTVTagsInfo(char *text, std::size_t textSize, int tag, const char *value) {
  if (text == nullptr || value == nullptr || tag < 1 || tag > 99) return -1;
  std::size_t valueLen = std::strlen(value);
  if (valueLen > MAX_LTV_VALUE) return -1;
  std::size_t used = strnlen(text, textSize);
  if (used >= textSize || textSize - used < valueLen + 3) return -1; // L, T, value, NUL
  char digits[8];
  std::snprintf(digits, sizeof(digits), "%02d", static_cast<int>(valueLen) + 1);
  unsigned char lengthByte = static_cast<unsigned char>(hexadecimalToDecimal(digits));
  std::snprintf(digits, sizeof(digits), "%02d", tag);
  unsigned char tagByte = static_cast<unsigned char>(hexadecimalToDecimal(digits));
  char *p = text + used;
  *p++ = static_cast<char>(lengthByte);
  *p++ = static_cast<char>(tagByte);
  std::memcpy(p, value, valueLen);
  p[valueLen] = '\0';
  return 0;
}

void ParseField48Velbor(const char *text, std::size_t len) {
  if (text == nullptr) return;
  const std::size_t end = strnlen(text, len);
  std::size_t pos = 0;
  while (pos + 2 <= end) {
    int l = bcdByte(static_cast<unsigned char>(text[pos]));
    if (l == 0) break;
    int tag = bcdByte(static_cast<unsigned char>(text[pos + 1]));
    std::size_t valueLen = static_cast<std::size_t>(l - 1);
    if (valueLen > end - pos - 2) break; // the length byte claims more than the field holds
    const char *value = text + pos + 2;
    if (tag >= 31 && tag <= 98) applyTag(tag, value, valueLen);
    pos += 2 + valueLen;
  }
}
