/*
 * Transactions.cpp - the financial requests (balance, bill inquiry, purchase,
 * bill payment, charge, advice, reversal) and the parsers of their answers.
 *
 * Sections: request fields shared by the builders, the builders, the parsers.
 *
 * A builder reads currentTransaction and config, takes a new trace number,
 * and returns the whole frame; a parser copies the answer into
 * currentTransaction. Neither checks the other side's MTI, trace number or MAC:
 * a frame is taken as the answer to the request just sent.
 */
#include "txn/Transactions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Filing.h"
#include "journal/Journal.h"
#include "security/Injection.h"
#include "txn/MessageFrame.h"

using txn::Message;

namespace {

constexpr const char *POS_ENTRY_MODE = "021";      // field 22
constexpr const char *POS_CONDITION_CODE = "00";   // field 25
constexpr const char *CURRENCY_RIAL = "364";       // field 49
constexpr const char *REVERSAL_ORIGINAL_FILLER = "005816720520" "0000"; // inside field 90
constexpr std::size_t MERCHANT_FIELD_WIDTH = 15;   // field 42
constexpr std::size_t TERMINAL_FIELD_WIDTH = 8;    // field 41
constexpr std::size_t AMOUNT_DIGITS = 12;          // field 4
constexpr std::size_t TRACK2_ODD_LENGTH = 34;      // such a track gets one 0x0F byte more
constexpr std::size_t BALANCE_BLOCKS_LENGTH = 40;  // field 54: two 20-character balance blocks

// Which request is being built; selects fields and tags.
enum class Request { Balance, BillInquiry, Purchase, BillPayment, Charge, Approve, Reverse };

// Bitmap placeholders stored in field 1; the codec computes the real bitmap.
const char *placeholderFor(Request r) {
  switch (r) {
  case Request::Balance: return "2038018020C11001";
  case Request::BillInquiry: return "2038058020C11001";
  case Request::Purchase: return "3038058020C19001";
  case Request::BillPayment: return "303801000E818011";
  case Request::Charge: return "3038058020C19001";
  default: return "2038018020C11001";
  }
}

// Copies a fixed slot of a record into a terminated text.
template <std::size_t N> void slotText(const char (&slot)[N], char (&out)[N + 1]) {
  std::memset(out, 0, N + 1);
  std::memcpy(out, slot, strnlen(slot, N));
}

bool setPan(Message &m, bool padOddLength) {
  char pan[sizeof(currentTransaction.PAN) + 2] = {0};
  std::memcpy(pan, currentTransaction.PAN, strnlen(currentTransaction.PAN, sizeof(currentTransaction.PAN)));
  // A 19-digit card number goes out as 20 digits ending in F (length byte 0x19).
  if (padOddLength && std::strlen(pan) == 19) std::strcat(pan, "F");
  return m.setStr(2, pan);
}

bool setAmount(Message &m) {
  char price[sizeof(currentTransaction.Price) + 1];
  slotText(currentTransaction.Price, price);
  std::size_t len = std::strlen(price);
  if (len > AMOUNT_DIGITS) return false;
  char amount[AMOUNT_DIGITS + 1];
  std::memset(amount, '0', AMOUNT_DIGITS);
  std::memcpy(amount + AMOUNT_DIGITS - len, price, len);
  amount[AMOUNT_DIGITS] = '\0';
  return m.setStr(4, amount);
}

bool setTrack2(Message &m) {
  char track2[sizeof(currentTransaction.Track2) + 1];
  slotText(currentTransaction.Track2, track2);
  unsigned char packed[TRACK2_WORK_SIZE] = {0};
  int len = static_cast<int>(std::strlen(track2));
  if (packetConvertTrack2(track2, packed, sizeof(packed), &len) != 0) return false;
  std::size_t bytes = static_cast<std::size_t>(len) / 2;
  if (std::strlen(track2) == TRACK2_ODD_LENGTH) packed[bytes++] = 0x0F;
  return m.setBin(35, packed, bytes);
}

bool setTerminalAndMerchant(Message &m) {
  char terminal[TERMINAL_FIELD_WIDTH + 1] = {0};
  std::memcpy(terminal, config.TerminalNo, strnlen(config.TerminalNo, TERMINAL_FIELD_WIDTH));
  char merchant[MERCHANT_FIELD_WIDTH + 1];
  std::memset(merchant, ' ', MERCHANT_FIELD_WIDTH);
  merchant[MERCHANT_FIELD_WIDTH] = '\0';
  std::memcpy(merchant, config.MerchantNo, strnlen(config.MerchantNo, MERCHANT_FIELD_WIDTH));
  return m.setStr(41, terminal) && m.setStr(42, merchant);
}

// Tag 14 of a charge: operator code, digit count of the amount less one, first digit.
bool chargeProductTag(char (&out)[8]) {
  const char *price = currentTransaction.Price;
  std::size_t len = strnlen(price, sizeof(currentTransaction.Price));
  while (len > 1 && *price == '0') { // a zero-padded amount counts only its own digits
    ++price;
    --len;
  }
  if (len == 0) return false;
  std::snprintf(out, sizeof(out), "%02d%c%c", currentTransaction.companyId % 100,
                static_cast<char>('0' + (len - 1 > 9 ? 9 : len - 1)), price[0]);
  return true;
}

bool buildField48(Message &m, Request r, int chargeType) {
  char text[FIELD48_SIZE] = {0};
  bool ok = txn::addCommonTags(text, sizeof(text));
  if (r == Request::BillInquiry || r == Request::BillPayment) {
    char billId[sizeof(currentTransaction.BillId) + 1], paymentId[sizeof(currentTransaction.PaymentId) + 1];
    slotText(currentTransaction.BillId, billId);
    slotText(currentTransaction.PaymentId, paymentId);
    ok = ok && SetLTVTagsInfo(text, sizeof(text), 6, billId) == 0;
    ok = ok && SetLTVTagsInfo(text, sizeof(text), 7, paymentId) == 0;
  } else if (r == Request::Charge) {
    char product[8];
    ok = ok && chargeProductTag(product) && SetLTVTagsInfo(text, sizeof(text), 14, product) == 0;
    if (chargeType == 7) {
      char phone[sizeof(currentTransaction.CellphonNumber) + 1];
      slotText(currentTransaction.CellphonNumber, phone);
      ok = ok && SetLTVTagsInfo(text, sizeof(text), 8, phone) == 0;
    }
  }
  return ok && m.setStr(48, text);
}

// Field 90 of a reversal: the original's MTI, STAN, date and time, then the constant part and the BIN.
bool setOriginalData(Message &m) {
  char mti[sizeof(currentTransaction.MTI) + 1], stan[sizeof(currentTransaction.STAN) + 1];
  char date[sizeof(currentTransaction.Date) + 1], time[sizeof(currentTransaction.Time) + 1];
  slotText(currentTransaction.MTI, mti);
  slotText(currentTransaction.STAN, stan);
  slotText(currentTransaction.Date, date);
  slotText(currentTransaction.Time, time);
  char bin[7] = {0};
  std::memcpy(bin, currentTransaction.PAN, strnlen(currentTransaction.PAN, 6));
  char data[64];
  int n = std::snprintf(data, sizeof(data), "%s%s%s%s%s%s", mti, stan, date, time, REVERSAL_ORIGINAL_FILLER, bin);
  if (n != 42) return false; // a short original would shift every part of the field
  return m.setStr(90, data);
}

int buildRequest(Request r, unsigned char *frame, std::size_t frameSize, int chargeType = 0) {
  if (frame == nullptr) return 0;
  const bool followUp = (r == Request::Approve || r == Request::Reverse);
  const bool financial = (r == Request::Purchase || r == Request::BillPayment || r == Request::Charge || followUp);
  setStanNumber(financial ? 1 : 0);
  char stan[sizeof(turnRow.stanNo) + 1];
  slotText(turnRow.stanNo, stan);
  // The advice and reversal keep STAN: it names the original transaction.
  if (!followUp) txn::takeStanAndStamp();

  Message m;
  char mti[sizeof(currentTransaction.MTI) + 1];
  slotText(currentTransaction.MTI, mti);
  bool ok = m.setStr(0, r == Request::Approve ? "0220" : r == Request::Reverse ? "0420" : mti);
  ok = ok && m.setStr(1, placeholderFor(r));

  const bool sendsPan = (r != Request::BillInquiry);
  if (ok && sendsPan) ok = setPan(m, !followUp);
  char processCode[sizeof(currentTransaction.ProcessCode) + 1];
  slotText(currentTransaction.ProcessCode, processCode);
  ok = ok && m.setStr(3, processCode);
  if (ok && r != Request::Balance && r != Request::BillInquiry) ok = setAmount(m);
  ok = ok && m.setStr(11, stan);

  char time[sizeof(currentTransaction.Time) + 1], date[sizeof(currentTransaction.Date) + 1];
  slotText(currentTransaction.Time, time);
  if (r == Request::Reverse) {
    // The original's month and day, from its YYMMDDhhmm.
    std::memset(date, 0, sizeof(date));
    if (strnlen(currentTransaction.DateTime, sizeof(currentTransaction.DateTime)) >= 6)
      std::memcpy(date, currentTransaction.DateTime + 2, 4);
  } else {
    slotText(currentTransaction.Date, date);
  }
  ok = ok && m.setStr(12, time) && m.setStr(13, date);
  ok = ok && m.setStr(22, POS_ENTRY_MODE);
  char nii[4];
  txn::niiDigits(nii);
  ok = ok && m.setStr(24, nii) && m.setStr(25, POS_CONDITION_CODE);
  if (ok && !followUp && r != Request::BillInquiry) ok = setTrack2(m);
  if (ok && r == Request::Approve) {
    char rrn[sizeof(currentTransaction.RRN) + 1];
    slotText(currentTransaction.RRN, rrn);
    ok = m.setStr(37, rrn);
  }
  ok = ok && setTerminalAndMerchant(m);
  if (ok && !followUp) ok = buildField48(m, r, chargeType);
  if (ok && (r == Request::Purchase || followUp)) ok = m.setStr(49, CURRENCY_RIAL);
  if (ok && !followUp && r != Request::BillInquiry) ok = m.setBin(52, currentTransaction.pinBlock, 8);
  if (ok && r == Request::Reverse) ok = setOriginalData(m);
  if (!ok) return 0;
  return txn::macPackAndFrame(m, r == Request::Reverse ? 128 : 64, txn::MAC_EXCLUDE_DEFAULT, frame, frameSize);
}

// Steps every parser shares: unpack, response code, RRN and switch trace number.
int parseCommon(Message &m, const unsigned char *frame, std::size_t frameLen, bool recordAnswered,
                bool takeSwitchStan) {
  txn::unpackFrame(m, frame, frameLen);
  int status = txn::readResponseCode(m);
  if (status == 0 && recordAnswered) setLastSucceedStanNumber(std::strtol(turnRow.stanNo, nullptr, 10));
  m.copyTo(37, currentTransaction.RRN, sizeof(currentTransaction.RRN));
  if (takeSwitchStan) m.copyTo(38, currentTransaction.SwitchSTAN, sizeof(currentTransaction.SwitchSTAN));
  return status;
}

int parseFinancial(const unsigned char *frame, std::size_t frameLen, Request r) {
  Message m;
  int status = parseCommon(m, frame, frameLen, true, true);
  if (status == 0 && (r == Request::Balance || r == Request::BillInquiry)) {
    m.copyTo(4, currentTransaction.Price, sizeof(currentTransaction.Price));
  }
  if (status == 0 && r == Request::Balance) {
    std::size_t len = 0;
    const char *balances = m.get(54, &len);
    if (balances != nullptr && strnlen(balances, len) == BALANCE_BLOCKS_LENGTH) {
      // Two 20-character blocks; each ends with its 12-digit amount.
      std::memset(currentTransaction.Price, 0, sizeof(currentTransaction.Price));
      std::memcpy(currentTransaction.Price, balances + 28, 12);
      std::memset(currentTransaction.BillId, 0, sizeof(currentTransaction.BillId));
      std::memcpy(currentTransaction.BillId, balances + 8, 12);
    }
  }
  txn::applyTags(m);
  return status;
}

// The advice and reversal report the code itself. A code that is not a number
// is reported as a decline, never as approval.
int parseFollowUp(const unsigned char *frame, std::size_t frameLen, bool takeSwitchStan) {
  Message m;
  int status = parseCommon(m, frame, frameLen, false, takeSwitchStan);
  if (status == STATUS_DECLINED) {
    const char *code = currentTransaction.ResponseCode;
    if (code[0] >= '0' && code[0] <= '9') {
      status = static_cast<int>(std::strtol(code, nullptr, 10));
      if (status == 0) status = STATUS_DECLINED; // "0X" with a non-digit second character
    }
  }
  txn::applyTags(m);
  return status;
}

} // namespace

int getBalanceTransaction(unsigned char *frame, std::size_t frameSize) {
  return buildRequest(Request::Balance, frame, frameSize);
}
int getBillInqTransaction(unsigned char *frame, std::size_t frameSize) {
  return buildRequest(Request::BillInquiry, frame, frameSize);
}
int getPurchaseTransaction(unsigned char *frame, std::size_t frameSize) {
  return buildRequest(Request::Purchase, frame, frameSize);
}
int getBillPaymentTransaction(unsigned char *frame, std::size_t frameSize) {
  return buildRequest(Request::BillPayment, frame, frameSize);
}
int getChargeTransaction(unsigned char *frame, std::size_t frameSize, int type) {
  return buildRequest(Request::Charge, frame, frameSize, type);
}
int getApproveTransaction(unsigned char *frame, std::size_t frameSize) {
  return buildRequest(Request::Approve, frame, frameSize);
}
int getReverseTransaction(unsigned char *frame, std::size_t frameSize) {
  return buildRequest(Request::Reverse, frame, frameSize);
}

int parseBalanceTransaction(const unsigned char *frame, std::size_t frameLen) {
  return parseFinancial(frame, frameLen, Request::Balance);
}
int parseBillInqTransaction(const unsigned char *frame, std::size_t frameLen) {
  return parseFinancial(frame, frameLen, Request::BillInquiry);
}
int parsePurchaseTransaction(const unsigned char *frame, std::size_t frameLen) {
  return parseFinancial(frame, frameLen, Request::Purchase);
}
int parseBillPaymentTransaction(const unsigned char *frame, std::size_t frameLen) {
  return parseFinancial(frame, frameLen, Request::BillPayment);
}
int parseChargeTransaction(const unsigned char *frame, std::size_t frameLen, int /*type*/) {
  return parseFinancial(frame, frameLen, Request::Charge);
}
int parseApproveTransaction(const unsigned char *frame, std::size_t frameLen) {
  return parseFollowUp(frame, frameLen, true);
}
int parseReverseTransaction(const unsigned char *frame, std::size_t frameLen) {
  return parseFollowUp(frame, frameLen, false);
}

/* ---- PIN entry ------------------------------------------------------------------ */

int getPinDialog() {
  char pan[sizeof currentTransaction.PAN];
  std::memcpy(pan, currentTransaction.PAN, sizeof pan);
  pan[sizeof pan - 1] = '\0';
  return enterPin(pan, currentTransaction.pinBlock, sizeof currentTransaction.pinBlock);
}
