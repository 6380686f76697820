/*
 * Printer.cpp - printer access, the page start with its paper dialog, and the
 * line primitives of receipts and reports.
 *
 * Sections: text preparation, printer access, the paper dialog, generic lines,
 * header primitives, amount and result primitives, settings primitives.
 */
#include "print/Printer.h"

#include <cstdio>
#include <cstring>

#include "core/Filing.h"
#include "core/debug.h"
#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "libapi.h"
#include "txn/ResponseCodes.h"
#include "ui/Display.h"
#include "ui/Messages.h"
#include "util/BillUtil.h"
#include "core/clock.h"
#include "util/Strings.h"

int printerId = 0;

namespace {

constexpr std::size_t LINE_SIZE = 256;     // one prepared line (digits double in size)
constexpr std::size_t MERCHANT_PIECE = 90; // bytes of the merchant name on one line
constexpr std::size_t MERCHANT_FULL = 60;  // shorter names share the line with the phone
constexpr int PAPER_KEY_WAIT_MS = 30000;
constexpr int PAPER_WAIT_TICKS = 600;      // 60 s in timer units
constexpr int PAPER_TIMER = 1;
constexpr const char *NO_NUMBER = "00000000";

char prnTmp[LINE_SIZE]; // the label of a label/value line, between its two printStr calls

int sizeOf(int font) { return font == PRN_FONT_RECEIPT ? 26 : 20; }

bool hasDigit(const char *s) {
  for (; *s; ++s)
    if (IsDigit(*s)) return true;
  return false;
}

bool isAscii(const char *s) {
  for (; *s; ++s)
    if (static_cast<unsigned char>(*s) >= 0x80) return false;
  return true;
}

bool append(char *out, std::size_t outSize, const char *text) {
  const std::size_t n = std::strlen(out), m = std::strlen(text);
  if (n + m + 1 > outSize) return false;
  std::memcpy(out + n, text, m + 1);
  return true;
}

// A value as the printer wants it: numbers reversed (unless the text is kept
// in display order already), then Persian digits.
void prepareValue(const char *value, bool displayOrder, char *out, std::size_t outSize) {
  char tmp[LINE_SIZE] = {};
  if (!displayOrder && hasDigit(value) && isAscii(value))
    appendLtrRun(tmp, sizeof tmp, value);
  else
    copyUtf8Bounded(tmp, sizeof tmp, value);
  prepareString(tmp, out, outSize);
}

// The two printStr calls of a label/value line; reports both heights.
int pairLine(int font, const char *label, const char *value, bool displayOrder, int y) {
  char l[LINE_SIZE], v[LINE_SIZE];
  prepareString(label != nullptr ? label : "", l, sizeof l);
  prepareValue(value != nullptr ? value : "", displayOrder, v, sizeof v);
  const int h = printStr(font, l, PRN_RIGHT_X, y, PRN_MODE_LABEL);
  return h + printStr(font, v, PRN_LEFT_X, y, PRN_MODE_PAIR);
}

const char *orZeros(const char *s) { return s[0] != '\0' ? s : NO_NUMBER; }

// A byte count that does not cut a UTF-8 character: at most n bytes of s.
std::size_t utf8Cut(const char *s, std::size_t n) {
  std::size_t len = std::strlen(s);
  if (len <= n) return len;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

void beep(unsigned char tone, unsigned ms) { DLL_SysBeef(tone, ms); }

} // namespace

bool appendLtrRun(char *out, std::size_t outSize, const char *text) {
  const std::size_t n = std::strlen(out), m = std::strlen(text);
  if (n + m + 1 > outSize) return false;
  for (std::size_t i = 0; i < m; ++i) out[n + i] = text[m - 1 - i];
  out[n + m] = '\0';
  return true;
}

/* ---- printer access ------------------------------------------------------------ */

int openPrinter() {
  DLL_PrnSetGray(PRN_GRAY);
  return DLL_PrnInit();
}

void closePrinter() {}
void checkPrinter() {}
int printer_get_status() { return 1; }

int printStr(int font, const char *text, int x, int y, int mode) {
  if (text == nullptr) return PRN_LINE_HEIGHT;
  const int size = sizeOf(font);
  switch (mode) {
    case PRN_MODE_LABEL:
      copyUtf8Bounded(prnTmp, sizeof prnTmp, text);
      break;
    case PRN_MODE_PAIR:
      DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_LEFT_RIGHT, size, x, y);
      DLL_FTPrnStrLeftRight(FONT_FILE, text, prnTmp);
      prnTmp[0] = '\0';
      break;
    case PRN_MODE_CENTER:
      DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_CENTER, size, x, y);
      DLL_FTPrnStr(FONT_FILE, text);
      break;
    default:
      DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_RIGHT, size, x, y);
      DLL_FTPrnStr(FONT_FILE, text);
      break;
  }
  return PRN_LINE_HEIGHT;
}

int printLogoXY(int, int x, int y) { return DLL_PrnLogo(print_logo.data(), x, y); }
int printLogo(int font, int x, int y, int) { return printLogoXY(font, x, y); }

/* ---- the paper dialog ------------------------------------------------------------ */

namespace {
bool startOnce(int height) {
  const int started = DLL_FTPrnStart(height);
  USB_printf2("DLL_FTPrnStart %d  \r\n", started);
  const int status = DLL_PrnCheckStatus();
  USB_printf2("DLL_PrnCheckStatus %d  \r\n", status);
  return status == 0;
}

void drawPaperDialog(int waitingLine) {
  char title[2 * UI_MESSAGE_BUFFER_SIZE] = {};
  char buf[UI_MESSAGE_BUFFER_SIZE];
  append(title, sizeof title, getUiMessage(134, buf));
  append(title, sizeof title, getUiMessage(285, buf));
  mid_lcdCls();
  lcdPrintE(1, 0, LINE_CENTER, FONT_FILE, 3, title);
  lcdPrint(1, 2, LINE_CENTER, FONT_FILE, 3, getUiMessage(286, buf), LCD_LINE_MAX);
  lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 3, getUiMessage(waitingLine, buf), LCD_LINE_MAX);
}
} // namespace

int startPrint(int height) {
  printerId = 1;
  if (startOnce(height)) return 0;

  drawPaperDialog(287);
  mid_kbFlush();  // a key pressed before the question is no answer to it
  beep(2, 200);
  beep(1, 100);
  beep(2, 200);
  if (mid_kbGetKeyMs(PAPER_KEY_WAIT_MS) != KEY_ENTER) {
    DLL_PrnInit(); // the page is dropped
    return 1;
  }
  mid_lcdClrLine(3, 4);
  char buf[UI_MESSAGE_BUFFER_SIZE];
  lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 3, getUiMessage(288, buf), LCD_LINE_MAX);
  mid_sysTimerSet(PAPER_TIMER, PAPER_WAIT_TICKS);
  while (mid_sysTimerCheck(PAPER_TIMER) > 0) {
    mid_sleepMs(1000);
    // A failed start keeps the page composed, so each retry prints the same page once.
    if (startOnce(height)) return 0;
    beep(3, 600);
  }
  DLL_PrnInit();
  return 1;
}

/* ---- generic lines ------------------------------------------------------------------ */

int printLabelValue(int font, const char *label, const char *value, int y) {
  return pairLine(font, label, value, false, y);
}

int printMessageValue(int font, int message, const char *value, int y) {
  char buf[UI_MESSAGE_BUFFER_SIZE];
  return printLabelValue(font, getUiMessage(message, buf), value, y);
}

int printRightLine(int font, const char *text, int x, int y) {
  char l[LINE_SIZE];
  prepareString(text, l, sizeof l);
  return printStr(font, l, x, y, PRN_MODE_RIGHT);
}

int printCenterLine(int font, const char *text, int x, int y) {
  char l[LINE_SIZE];
  prepareString(text, l, sizeof l);
  return printStr(font, l, x, y, PRN_MODE_CENTER);
}

/* ---- header primitives -------------------------------------------------------------- */

// Reports every line it used (not a fixed line height), so the title below never lands on the name.
int printMerchantNameNphone(int font, int x, int y) {
  if (config.MerchantName[0] == '\0') return 0;
  if (strnlen(config.MerchantName, sizeof config.MerchantName) < MERCHANT_FULL)
    return printMerchantNameNphoneFull(font, x, y);
  return printMerchantNameNphoneSeparate(font, x, y);
}

int printMerchantNameNphoneFull(int font, int, int y) {
  char name[sizeof config.MerchantName];
  copyUtf8Bounded(name, sizeof name, config.MerchantName);
  return printLabelValue(font, name, config.merchantPhone, y);
}

int printMerchantNameNphoneSeparate(int font, int x, int y) {
  const int h = printMerchantName(font, x, y);
  return h + printMerchantPhone(font, x, y + h);
}

int printMerchantName(int font, int, int y) {
  const char *name = config.MerchantName;
  const std::size_t len = strnlen(name, sizeof config.MerchantName);
  char piece[sizeof config.MerchantName] = {};
  // Cut on a character boundary: a half character prints as garbage.
  const std::size_t first = len < MERCHANT_PIECE ? len : utf8Cut(name, MERCHANT_PIECE);
  std::memcpy(piece, name, first);
  int h = printRightLine(font, piece, PRN_RIGHT_X, y);
  if (first < len) {
    copyUtf8Bounded(piece, sizeof piece, name + first);
    h += printRightLine(font, piece, PRN_RIGHT_X, y + h);
  }
  return h;
}

int printMerchantPhone(int font, int, int y) { return printMessageValue(font, 113, config.merchantPhone, y); }

namespace {
// The name of a reversal's or report's subtype.
const char *subtypeName(int kind, int subtype, char (&buf)[UI_MESSAGE_BUFFER_SIZE]) {
  int id = 0;
  if (kind == TICKET_REVERSAL) {
    switch (subtype) {
      case 1: id = 3; break;
      case 4: id = 56; break;
      case 5: id = 57; break;
      case 6: id = 65; break;
    }
  } else {
    switch (subtype) {
      case 1: id = 3; break;
      case 2: id = 56; break;
      case 3:
      case 5: id = 57; break;
      case 6: id = 65; break;
    }
  }
  if (id == 0) {
    buf[0] = '\0';
    return buf;
  }
  return getUiMessage(id, buf);
}
} // namespace

int printTicketType(int font, int kind, const char *companyName, int subtype, int copy, int x, int y) {
  char title[LINE_SIZE] = {};
  char buf[UI_MESSAGE_BUFFER_SIZE];
  int copyId = copy == COPY_MERCHANT ? 61 : copy == COPY_REPRINT ? 237 : 60;
  const char *company = companyName != nullptr ? companyName : "";
  auto add = [&](const char *s) { append(title, sizeof title, s); };
  auto addMsg = [&](int id) { add(getUiMessage(id, buf)); };
  switch (kind) {
    case TICKET_CONFIG: addMsg(271); break;
    case TICKET_NETWORK: addMsg(239); break;
    case TICKET_BALANCE: addMsg(2); add("-"); addMsg(60); break;
    case TICKET_PURCHASE: addMsg(3); add("-"); addMsg(copyId); break;
    case TICKET_BILL: addMsg(144); add(" "); add(company); add("-"); addMsg(copyId); break;
    case TICKET_VOUCHER: addMsg(57); add(" "); add(company); add("-"); addMsg(copyId); break;
    case TICKET_TOPUP: addMsg(65); add(" "); add(company); add("-"); addMsg(copyId); break;
    case TICKET_REVERSAL: add("***"); add(subtypeName(kind, subtype, buf)); add("-"); addMsg(60); add("***"); break;
    case TICKET_REPORT:
      addMsg(copy);
      if (subtype != 0) {
        add("-");
        add(subtypeName(kind, subtype, buf));
      }
      break;
    case TICKET_HARDWARE: addMsg(211); break;
    default: break;
  }
  return printRightLine(font, title, x, y);
}

int printTerminalNdateTime(int font, const char *date, const char *time, int, int y) {
  char label[LINE_SIZE] = {}, value[64] = {}, when[TRANSACTION_DATE_TIME_SIZE] = {};
  char buf[UI_MESSAGE_BUFFER_SIZE];
  append(label, sizeof label, getUiMessage(10, buf));
  append(label, sizeof label, "-");
  append(label, sizeof label, getUiMessage(147, buf));
  TransactionDateTimeS(date, time, when, sizeof when);
  snprintf(value, sizeof value, "%s-%s", orZeros(config.TerminalNo), when);
  return printLabelValue(font, label, value, y);
}

int printMerchantNo(int font, int, int y) {
  char no[sizeof config.MerchantNo];
  copyUtf8Bounded(no, sizeof no, orZeros(config.MerchantNo));
  return printMessageValue(font, 395, trim(no), y);
}

int printStanNrrn(int font, const char *stan, const char *rrn, int, int y) {
  char label[LINE_SIZE] = {}, value[64] = {};
  char buf[UI_MESSAGE_BUFFER_SIZE];
  append(label, sizeof label, getUiMessage(146, buf));
  append(label, sizeof label, "-");
  append(label, sizeof label, getUiMessage(12, buf));
  snprintf(value, sizeof value, "%s-%s", stan != nullptr ? stan : "",
           rrn != nullptr && rrn[0] != '\0' ? rrn : "000000000000");
  return printLabelValue(font, label, value, y);
}

void maskCardNumber(const char *pan, char *out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return;
  const std::size_t len = pan != nullptr ? strnlen(pan, 32) : 0;
  char head[7] = {}, tail[5] = {};
  std::memcpy(head, pan, len < 6 ? len : 6);
  // The last four digits, whatever the card's length; none of them may repeat the first six.
  if (len > 6) {
    const std::size_t n = len - 6 < 4 ? len - 6 : 4;
    std::memcpy(tail, pan + len - n, n);
  }
  snprintf(out, outSize, "%s***%s", head, tail);
}

int printBankNcard(int font, const char *pan, int, int y) {
  char label[LINE_SIZE] = {}, masked[MASKED_CARD_SIZE + 8], bank[BANK_NAME_SIZE], ignored[MASKED_CARD_SIZE];
  char buf[UI_MESSAGE_BUFFER_SIZE];
  getBankName(pan != nullptr ? pan : "", ignored, sizeof ignored, bank, sizeof bank);
  maskCardNumber(pan, masked, sizeof masked);
  append(label, sizeof label, getUiMessage(148, buf));
  append(label, sizeof label, " ");
  append(label, sizeof label, bank);
  return printLabelValue(font, label, masked, y);
}

int printTaxCode(int font, int, int y) { return printMessageValue(font, 419, config.taxCode, y); }

int printTopupDesc(int font, const char *label, const char *value, int, int y) {
  return printLabelValue(font, label, value, y);
}

int printBiluesc(int font, const char *billId, const char *paymentId, int, int y) {
  const int h1 = printMessageValue(font, 41, billId, y);
  const int h2 = printMessageValue(font, 90, paymentId, y + h1 - 5);
  return h1 + h2 - 10;
}

/* ---- amount and result primitives ------------------------------------------------------- */

namespace {
// "<label><sep><amount> <Rials>" as one right-to-left text, amount grouped.
void amountText(const char *label, const char *sep, const char *digits, char *out, std::size_t outSize) {
  char plain[32] = {}, grouped[48] = {};
  char buf[UI_MESSAGE_BUFFER_SIZE];
  removeLeadingZero(digits != nullptr ? digits : "", plain, sizeof plain);
  TrnRegulateTotalAmount(grouped, sizeof grouped, plain);
  out[0] = '\0';
  append(out, outSize, label);
  append(out, outSize, sep);
  appendLtrRun(out, outSize, grouped);
  append(out, outSize, " ");
  append(out, outSize, getUiMessage(5, buf));
}

// A label/value line whose value is an amount in Rials.
int printAmountLine(int font, int message, const char *digits, int y) {
  char value[LINE_SIZE];
  char buf[UI_MESSAGE_BUFFER_SIZE];
  amountText("", "", digits, value, sizeof value);
  return pairLine(font, getUiMessage(message, buf), value, true, y);
}

int printFeeLine(int font, int y) {
  char buf[UI_MESSAGE_BUFFER_SIZE];
  return printRightLine(font, getUiMessage(342, buf), PRN_RIGHT_X, y);
}
} // namespace

int printPriceEx(int font, const char *amount, int x, int y) {
  char line[LINE_SIZE];
  char buf[UI_MESSAGE_BUFFER_SIZE];
  amountText(getUiMessage(0, buf), ":", amount, line, sizeof line);
  return printRightLine(font, line, x, y);
}

int printFailed(int font, int code, int x, int y, int withTitle) {
  int h = 0;
  char line[LINE_SIZE] = {};
  char buf[UI_MESSAGE_BUFFER_SIZE];
  if (withTitle) {
    append(line, sizeof line, "***");
    append(line, sizeof line, getUiMessage(1, buf));
    append(line, sizeof line, "***");
    h += printRightLine(font, line, x, y) - 5;
  }
  char text[RESPONSE_TEXT_SIZE];
  getResponseCode(code, text, sizeof text);
  line[0] = '\0';
  append(line, sizeof line, text);
  if (code < 100) {
    char number[16];
    snprintf(number, sizeof number, "%d", code);
    append(line, sizeof line, "-");
    appendLtrRun(line, sizeof line, number);
  }
  return h + printRightLine(font, line, x, y + h);
}

int printBalance(int font, const char *amount, int, int y) {
  const int h = printAmountLine(font, 2, amount, y);
  return h + printFeeLine(font, y + h);
}

int printBalance1(int font, const char *amount, int, int y) {
  const int h = printAmountLine(font, 349, amount, y);
  return h + printFeeLine(font, y + h);
}

int printBalance2(int font, const char *amount, int, int y) { return printAmountLine(font, 348, amount, y); }

int printVoucherDesc(int font, const TransactionRecord *trx, int x, int y, int copy) {
  int h = 0;
  char buf[UI_MESSAGE_BUFFER_SIZE];
  if (copy == COPY_CUSTOMER) h += printMessageValue(font, 123, trx->PaymentId, y + h) - 5;
  h += printMessageValue(font, 122, trx->BillId, y + h) - 5;
  int dial = 0;
  const char *support = "";
  switch (trx->companyId) {
    case 12: dial = 232; support = "0999-2190"; break;
    case 11: dial = 233; support = "0000007-7390"; break;
    case 16: dial = 234; support = "0000002-0290"; break;
    case 17: dial = 236; break;
  }
  // The instruction and support number are kept in display order already.
  const char *instruction = dial != 0 ? getUiMessage(dial, buf) : "";
  char label[UI_MESSAGE_BUFFER_SIZE];
  h += pairLine(font, getUiMessage(235, label), instruction, true, y + h) - 5;
  h += pairLine(font, getUiMessage(317, label), support, true, y + h) - 5;
  (void)x;
  return h;
}

int printReverseDesc(int font, int, int x, int y) {
  static const int kLines[4] = {276, 277, 278, 341};
  char buf[UI_MESSAGE_BUFFER_SIZE];
  int h = 0;
  for (int id : kLines) h += printRightLine(font, getUiMessage(id, buf), x, y + h) - 5;
  return h;
}

int printCustomerSign(int font, int x, int y) {
  char buf[UI_MESSAGE_BUFFER_SIZE];
  return printCenterLine(font, getUiMessage(289, buf), x, y);
}

int printLine(int font, int x, int y) {
  DLL_FTPrnFineTuneLineSpace(16);
  const int h = printStr(font, "          \n", x, y, PRN_MODE_RIGHT);
  DLL_FTPrnFineTuneLineSpace(0);
  return h;
}

int printLine1(int font, int x, int y) {
  char rule[43];
  std::memset(rule, '_', 42);
  rule[42] = '\0';
  int h = printStr(font, rule, x, y, PRN_MODE_CENTER);
  DLL_FTPrnFineTuneLineSpace(16);
  h += printStr(font, "\t\n", x, y + h, PRN_MODE_CENTER);
  DLL_FTPrnFineTuneLineSpace(0);
  return h;
}

/* ---- settings primitives ------------------------------------------------------------------ */

int printSerialNumber(int font, int, int y) { return printMessageValue(font, 181, config.SerialNo, y); }

int printTerminalNo(int font, int, int y) { return printMessageValue(font, 10, orZeros(config.TerminalNo), y); }

int printTerminalNmerchant(int font, int, int y) {
  const int h = printMessageValue(font, 10, orZeros(config.TerminalNo), y);
  return h + printMessageValue(font, 195, orZeros(config.MerchantNo), y + h);
}

int printSoftwareVersion(int font, int, int y) { return printMessageValue(font, 182, config.softwareVersion, y); }

int printIpAddress(int font, int, int y) {
  char ip[sizeof config.HostIP];
  copyUtf8Bounded(ip, sizeof ip, config.HostIP);
  trimIpAddressLeadingZero(ip, sizeof ip);
  return printMessageValue(font, 50, ip, y);
}

int printPortNo(int font, int, int y) {
  char port[16];
  snprintf(port, sizeof port, "%d", static_cast<int>(config.HostPort));
  return printMessageValue(font, 51, port, y);
}

int printTMSIpAddress(int font, int, int y) { return printMessageValue(font, 324, config.TMSHost, y); }

int printTMSPortNo(int font, int, int y) {
  char port[16];
  snprintf(port, sizeof port, "%d", static_cast<int>(config.TMSPort));
  return printMessageValue(font, 325, port, y);
}

int printConnectionType(int font, int, int y) {
  char buf[UI_MESSAGE_BUFFER_SIZE];
  return printMessageValue(font, 327, getUiMessage(config.connectionType == 1 ? 205 : 206, buf), y);
}

int printTotalAmount(int font, int, int64_t amount, int y) {
  char grouped[GROUPED_NUMBER_SIZE];
  IntToString(amount, grouped, sizeof grouped);
  return printMessageValue(font, 72, grouped, y);
}
