/*
 * CustomerFlows.cpp - the cardholder's flows: card reading with its refusals,
 * the result screen, purchase, balance, bill payment and the charge steps, and
 * the common ending that prints the receipts and completes or settles the
 * journal record.
 *
 * Sections: screens, card reading, the result screen, the common ending, the
 * flows, the charge steps.
 */
#include "txn/CustomerFlows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Filing.h"
#include "core/clock.h"
#include "core/debug.h"
#include "core/file.h"
#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "libapi.h"
#include "print/Receipts.h"
#include "security/Injection.h"
#include "txn/Engine.h"
#include "txn/ResponseCodes.h"
#include "txn/Transactions.h"
#include "ui/Display.h"
#include "ui/Helper.h"
#include "ui/Messages.h"
#include "util/BillUtil.h"
#include "util/DateTime.h"
#include "util/Strings.h"

namespace {

constexpr std::size_t MSG = UI_MESSAGE_BUFFER_SIZE;
constexpr int MSG_TITLE_ERROR = 29;
constexpr int MSG_SWIPE = 357;
constexpr int MSG_NO_MERCHANT_INFO = 331;
constexpr int MSG_CHECK_BATTERY = 319;
constexpr int MSG_NOT_POSSIBLE = 369;
constexpr int MSG_PAPER_OUT = 245;
constexpr int MSG_CANCELLED = 103;
constexpr int MSG_PIN_BY_CUSTOMER = 314;
constexpr int MSG_RIAL = 5;
constexpr int MSG_AMOUNT = 4;
constexpr int MSG_PURCHASE = 3;
constexpr int MSG_BALANCE = 2;
constexpr int MSG_BILL_TITLE = 56;
constexpr int MSG_CHARGE = 145;
constexpr int MSG_CHARGE_TITLE = 57;
constexpr int MSG_TOPUP = 65;
constexpr int MSG_FEE = 44;
constexpr int MSG_BILL_ID = 41;
constexpr int MSG_PAYMENT_ID = 90;
constexpr int MSG_BAD_BILL = 118;
constexpr int MSG_PHONE = 43;
constexpr int MSG_OPERATOR_MISMATCH = 380;
constexpr int MSG_CONFIRM_NUMBER = 292;
constexpr int MSG_CONFIRMED_Q = 293;
constexpr int MSG_TERMINAL = 10;
constexpr int MSG_REFERENCE = 12;
constexpr int MSG_TRACE = 146;
constexpr int MSG_TIME = 147;

constexpr const char *SWIPE_IMAGE = "m_swipe.png";
constexpr const char *RESULT_OK_IMAGE = "downOkay.bmp";
constexpr const char *RESULT_PRINT_IMAGE = "downPrint.bmp";
constexpr int BOTTOM_IMAGE_Y = 200;

constexpr int SWIPE_SLOT = 2;
constexpr int SWIPE_WAIT = 200;           // 20 s, units of 100 ms
constexpr unsigned SWIPE_POLL_MS = 50;
constexpr int REFUSAL_WAIT_MS = 6000;
constexpr int NETWORK_ERROR_WAIT_MS = 3000;
constexpr int PURCHASE_ERROR_WAIT_MS = 5000;
constexpr int CANCEL_WAIT_MS = 3000;
constexpr int PURCHASE_CANCEL_WAIT_MS = 5000;
constexpr int BALANCE_CANCEL_WAIT_MS = 2000;
constexpr int BALANCE_RESULT_WAIT_MS = 8000;
constexpr int TOPUP_CONFIRM_WAIT_MS = 20000;
constexpr unsigned RECEIPT_GAP_MS = 100;  // between the customer's receipt and the merchant's
constexpr int AMOUNT_TIMEOUT = 1500;
constexpr int ID_TIMEOUT = 450;
constexpr int AMOUNT_MIN_DIGITS = 4;
constexpr int AMOUNT_MAX_DIGITS = 10;
constexpr int ID_MAX_DIGITS = 13;
constexpr int MOBILE_DIGITS = 11;
constexpr int PIN_CANCELLED = -1;
constexpr int SECOND_TICKET_PRINT = 1;
constexpr int SECOND_TICKET_CONFIRM = 2;

/* ---- screens ----------------------------------------------------------------------------- */

const char *msg(int id, char *buffer) { return getUiMessage(id, buffer, MSG); }

// Title bar and one message on row 4, held for ms (a key ends it early).
int titled(int titleId, int textId, int ms) {
  char title[MSG] = {};
  char text[MSG] = {};
  mid_lcdCls();
  return showMessage(msg(titleId, title), msg(textId, text), ms);
}

void errorScreen(int firstId, int secondId) {
  char title[MSG] = {};
  char line[MSG] = {};
  mid_lcdCls();
  lcdPrintE(1, 0, LINE_CENTER, FONT_FILE, 0, msg(MSG_TITLE_ERROR, title));
  msg(firstId, line);
  lcdPrint(1, 3, LINE_CENTER, FONT_FILE, 0, line, std::strlen(line));
  if (secondId >= 0) {
    msg(secondId, line);
    lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 0, line, std::strlen(line));
  }
  mid_kbGetKeyMs(REFUSAL_WAIT_MS);
}

template <std::size_t N> void setField(char (&field)[N], const char *text) {
  std::memset(field, 0, N);
  std::snprintf(field, N, "%s", text);
}

// "1,234,500 ریال" for a price held as digits (leading zeros dropped).
void amountLine(const char *price, char *out, std::size_t size) {
  while (*price == '0' && price[1] != '\0') ++price;
  char grouped[32] = {};
  TrnRegulateTotalAmount(grouped, sizeof grouped, price);
  char rial[MSG] = {};
  std::snprintf(out, size, "%s %s", grouped, msg(MSG_RIAL, rial));
}

using Printer = int (*)(TransactionRecord *, int);

} // namespace

/* ---- card reading --------------------------------------------------------------------------- */

int cardSwap(char *track2, std::size_t size) {
  if (track2 == nullptr || size == 0) return 0;
  int len1 = 0, len2 = 0, len3 = 0;
  unsigned char t1[128] = {}, t2[128] = {}, t3[128] = {};
  const int result = DLL_McrRead(&len1, t1, &len2, t2, &len3, t3);
  std::memset(track2, 0, size);
  if (result == MCR_TRACK2_READ) {
    const std::size_t n = static_cast<std::size_t>(len2) < size - 1 ? static_cast<std::size_t>(len2) : size - 1;
    std::memcpy(track2, t2, n);
    DLL_SysBeef(4, 200);
    // The track itself is never logged: only that one was read, and its length.
    USB_printf2("track2 read (%zu characters)", n);
  }
  std::memset(t1, 0, sizeof t1);
  std::memset(t2, 0, sizeof t2);
  std::memset(t3, 0, sizeof t3);
  return result;
}

int checkCardSwap() {
  if (DLL_McrCheck() == 0) return CARD_NONE;
  char track2[sizeof currentTransaction.Track2] = {};
  if (cardSwap(track2, sizeof track2) != MCR_TRACK2_READ) return CARD_NONE;

  const bool noMerchant = config.MerchantName[0] == '\0' || config.TerminalNo[0] == '\0' ||
                          std::strncmp(config.TerminalNo, "00000000", sizeof config.TerminalNo) == 0;
  unsigned char battery[4] = {}, charger[4] = {};
  DLL_SysCheckBattery(battery);
  DLL_SysCheckUsbStatus(charger);
  int refusal = 0, second = -1;
  if (noMerchant) refusal = MSG_NO_MERCHANT_INFO;
  else if (battery[0] < LOW_BATTERY && charger[0] == 0) refusal = MSG_CHECK_BATTERY, second = MSG_NOT_POSSIBLE;
  else if (DLL_PrnCheckStatus() != 0) refusal = MSG_PAPER_OUT;
  if (refusal != 0) {
    std::memset(track2, 0, sizeof track2);
    errorScreen(refusal, second);
    return CARD_REFUSED;
  }
  const char *separator = std::strchr(track2, '=');
  const std::size_t panLen = separator != nullptr ? static_cast<std::size_t>(separator - track2) : std::strlen(track2);
  std::memset(currentTransaction.PAN, 0, sizeof currentTransaction.PAN);
  std::memcpy(currentTransaction.PAN, track2,
              panLen < sizeof currentTransaction.PAN - 1 ? panLen : sizeof currentTransaction.PAN - 1);
  std::memcpy(currentTransaction.Track2, track2, sizeof track2);
  std::memset(track2, 0, sizeof track2);
  return CARD_READ;
}

namespace {
void drawSwipeScreen(int titleId) {
  mid_lcdCls();
  if (mid_fileExist(SWIPE_IMAGE) == 1) {
    mid_lcdDrawPicture2(0, 0, SWIPE_IMAGE);
    return;
  }
  char title[MSG] = {};
  char text[MSG] = {};
  showMessage(msg(titleId, title), msg(MSG_SWIPE, text), 0);
}
} // namespace

int getCard(int titleId) {
  if (currentTransaction.Track2[0] != '\0') return CARD_READ;
  drawSwipeScreen(titleId);
  DLL_McrOpen();
  DLL_McrReset();
  mid_kbFlush();
  mid_sysTimerSet(SWIPE_SLOT, SWIPE_WAIT);
  int result = CARD_TIMED_OUT;
  for (;;) {
    const int card = checkCardSwap();
    if (card == CARD_READ) {
      result = CARD_READ;
      break;
    }
    if (card == CARD_REFUSED) drawSwipeScreen(titleId); // and go on polling
    if (mid_kbGetKey() == KEY_CANCEL) {
      result = CARD_CANCELLED;
      break;
    }
    if (mid_sysTimerCheck(SWIPE_SLOT) == 0) break;
    mid_sleepMs(SWIPE_POLL_MS);
  }
  DLL_McrClose();
  return result;
}

/* ---- the result screen ------------------------------------------------------------------------ */

namespace {

struct ResultKind {
  const char *processCode;
  int nameMessage;
  bool billRows;       // success rows: RRN, bill and payment identifiers, amount
  bool failureOnly;    // the bill inquiry shows nothing on success
};

constexpr ResultKind RESULT_KINDS[] = {
    {"310000", MSG_BALANCE, false, false}, {"000000", MSG_PURCHASE, false, false},
    {"170000", MSG_BILL_TITLE, true, false}, {"190000", MSG_BILL_TITLE, false, true},
    {"180000", MSG_CHARGE, false, false},  {"220000", MSG_TOPUP, false, false},
};

void row(int halfRow, int labelId, const char *value) {
  char label[MSG] = {};
  msg(labelId, label);
  char shown[MSG] = {};
  std::snprintf(shown, sizeof shown, "%s", value);
  lcdPrintLR(1, halfRow, 0, 1, label, std::strlen(label), shown);
}

template <std::size_t N> void slot(const char (&field)[N], char *out, std::size_t size) {
  std::snprintf(out, size, "%.*s", static_cast<int>(strnlen(field, N)), field);
}

} // namespace

int displayTransactionResult(TransactionRecord trx, int timeoutMs) {
  const ResultKind *kind = nullptr;
  for (const ResultKind &k : RESULT_KINDS)
    if (std::strncmp(trx.ProcessCode, k.processCode, sizeof trx.ProcessCode) == 0) kind = &k;
  const int code = std::atoi(trx.ResponseCode);
  const bool approved = code == 0;
  if (kind != nullptr && !(approved && kind->failureOnly)) {
    char outcome[MSG] = {};
    char name[MSG] = {};
    char title[2 * MSG + 8] = {};
    std::snprintf(title, sizeof title, "%s - %s", msg(approved ? 0 : 1, outcome), msg(kind->nameMessage, name));
    mid_lcdCls();
    if (approved) lcdPrintSucess(1, 0, LINE_CENTER, FONT_FILE, 0, title);
    else lcdPrintFail(1, 0, LINE_CENTER, FONT_FILE, 0, title);

    char value[MSG] = {};
    char stamp[64] = {};
    // One run of digits and separators: the line layer puts it in display order.
    TransactionDateTimeS(trx.Date, trx.Time, stamp, sizeof stamp);
    if (approved && kind->billRows) {
      slot(trx.RRN, value, sizeof value), row(2, MSG_REFERENCE, value);
      slot(trx.BillId, value, sizeof value), row(4, MSG_BILL_ID, value);
      slot(trx.PaymentId, value, sizeof value), row(6, MSG_PAYMENT_ID, value);
      amountLine(trx.Price, value, sizeof value), row(8, MSG_AMOUNT, value);
    } else if (approved) {
      slot(config.TerminalNo, value, sizeof value), row(2, MSG_TERMINAL, value);
      slot(trx.SwitchSTAN, value, sizeof value), row(4, MSG_TRACE, value);
      slot(trx.RRN, value, sizeof value), row(6, MSG_REFERENCE, value);
      row(8, MSG_TIME, stamp);
      amountLine(trx.Price, value, sizeof value), row(10, MSG_AMOUNT, value);
    } else {
      slot(trx.SwitchSTAN, value, sizeof value), row(2, MSG_TRACE, value);
      slot(trx.RRN, value, sizeof value), row(4, MSG_REFERENCE, value);
      row(6, MSG_TIME, stamp);
      char text[MSG] = {};
      getResponseCodeDescription(code, text, sizeof text);
      lcdPrint(1, 5, LINE_CENTER, FONT_FILE, 0, text, std::strlen(text));
    }
    const bool purchase = transactionTypeOf(&trx) == TT_PURCHASE;
    mid_lcdDrawPicture2(0, BOTTOM_IMAGE_Y, purchase ? RESULT_OK_IMAGE : RESULT_PRINT_IMAGE);
  }
  if (timeoutMs == 0) {
    if (approved) beepOK();
    else beepFail();
    return 0;
  }
  return waitForResult(0, timeoutMs);
}

/* ---- the common ending ---------------------------------------------------------------------------- */

namespace {

// After doTransaction(type) returned r for a purchase, bill payment or charge:
// the result, the receipts and the record's end.
int commonEnding(int r, int titleId, int errorWaitMs, Printer print) {
  if (r <= ENGINE_NO_CONNECTION) {
    titled(titleId, MSG_NETWORK_CONNECT_ERROR, errorWaitMs);
    return r;
  }
  const int ticketWaitMs = config.merchantTicketTimeout * 1000;
  if (r == 0) {
    displayTransactionResult(currentTransaction, 0);
    print(&currentTransaction, COPY_CUSTOMER);
    updateTransactionStatus(&currentTransaction, TS_RECEIPT_PRINTED);
    mid_sleepMs(RECEIPT_GAP_MS);
    if (config.askForSecondTicket == SECOND_TICKET_PRINT) {
      print(&currentTransaction, COPY_MERCHANT);
    } else if (config.askForSecondTicket == SECOND_TICKET_CONFIRM) {
      if (displayTransactionResult(currentTransaction, ticketWaitMs) == WAIT_ENTER)
        print(&currentTransaction, COPY_MERCHANT);
    }
    doTransaction(TT_APPROVE);
    return 0;
  }
  updateTransactionStatus(&currentTransaction, TS_DECLINED);
  if (displayTransactionResult(currentTransaction, ticketWaitMs) == WAIT_ENTER)
    print(&currentTransaction, COPY_CUSTOMER);
  updateTransactionStatus(&currentTransaction, TS_DECLINE_DONE);
  return r;
}

// The PIN, then the exchange and the common ending; a PIN that was not given
// sends nothing.
int pinAndExchange(int type, int titleId, bool purchase, Printer print) {
  const int pin = getPinDialog();
  if (pin == PIN_CANCELLED) {
    displayTransactionResult(currentTransaction, config.merchantTicketTimeout * 1000);
    return pin;
  }
  if (pin != 0) {
    titled(titleId, MSG_CANCELLED, purchase ? PURCHASE_CANCEL_WAIT_MS : CANCEL_WAIT_MS);
    return pin;
  }
  const int r = doTransaction(type);
  return commonEnding(r, titleId, purchase ? PURCHASE_ERROR_WAIT_MS : NETWORK_ERROR_WAIT_MS, print);
}

// Card, then the settlement of whatever the last transaction still owes.
int cardAndSettle(int titleId) {
  const int card = getCard(titleId);
  if (card != CARD_READ) return card;
  int count = 0;
  return checkLastTransactionStatus(&count, 0);
}

// Title, a text on row 2 (or none) and message 314 on row 5.
void pinPromptScreen(int titleId, const char *line) {
  char title[MSG] = {};
  char text[MSG] = {};
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, msg(titleId, title));
  if (line != nullptr) lcdPrint(1, 2, LINE_CENTER, FONT_FILE, 0, line, std::strlen(line));
  msg(MSG_PIN_BY_CUSTOMER, text);
  lcdPrint(1, 5, LINE_CENTER, FONT_FILE, 0, text, std::strlen(text));
}

// The editor's amount without its grouping commas.
void dropCommas(char *text) {
  char *out = text;
  for (const char *in = text; *in != '\0'; ++in)
    if (*in != ',') *out++ = *in;
  *out = '\0';
}

} // namespace

/* ---- the flows ---------------------------------------------------------------------------------------- */

int CustomerMenuPurchase() {
  const int ready = cardAndSettle(MSG_PURCHASE);
  if (ready != 0) return ready;
  char title[MSG] = {};
  char text[MSG] = {};
  mid_lcdCls();
  showMessageXY1(1, 2, msg(MSG_PURCHASE, title), msg(MSG_AMOUNT, text), 0);
  char amount[24] = {};
  const int entered = getInputData(INPUT_MODE_AMOUNT, 0, 4, AMOUNT_MIN_DIGITS, AMOUNT_MAX_DIGITS, amount,
                                   sizeof amount, AMOUNT_TIMEOUT);
  if (entered != INPUT_ACCEPTED) return entered;
  dropCommas(amount);
  setField(currentTransaction.Price, amount);
  char line[MSG] = {};
  amountLine(currentTransaction.Price, line, sizeof line);
  pinPromptScreen(MSG_PURCHASE, line);
  return pinAndExchange(TT_PURCHASE, MSG_PURCHASE, true, printPurchaseTicket);
}

int CustomerMenuBalance() {
  const int ready = cardAndSettle(MSG_BALANCE);
  if (ready != 0) return ready;
  char fee[MSG] = {};
  pinPromptScreen(MSG_BALANCE, msg(MSG_FEE, fee));
  const int pin = getPinDialog();
  if (pin == PIN_CANCELLED) {
    displayTransactionResult(currentTransaction, BALANCE_RESULT_WAIT_MS);
    return pin;
  }
  if (pin != 0) {
    titled(MSG_BALANCE, MSG_CANCELLED, BALANCE_CANCEL_WAIT_MS);
    return pin;
  }
  const int r = doTransaction(TT_BALANCE);
  if (r <= ENGINE_NO_CONNECTION) {
    titled(MSG_BALANCE, MSG_NETWORK_CONNECT_ERROR, NETWORK_ERROR_WAIT_MS);
    return r;
  }
  // No journal status and no advice: an inquiry moves no money.
  if (displayTransactionResult(currentTransaction, BALANCE_RESULT_WAIT_MS) == WAIT_ENTER)
    printBalanceTicket(&currentTransaction);
  return r;
}

int CustomerMenuBill() {
  const int ready = cardAndSettle(MSG_BILL_TITLE);
  if (ready != 0) return ready;
  char billId[ID_MAX_DIGITS + 2] = {};
  char paymentId[ID_MAX_DIGITS + 2] = {};
  const int prompts[2] = {MSG_BILL_ID, MSG_PAYMENT_ID};
  char *values[2] = {billId, paymentId};
  for (int i = 0; i < 2; ++i) {
    char title[MSG] = {};
    char text[MSG] = {};
    mid_lcdCls();
    showMessageXY1(1, 2, msg(MSG_BILL_TITLE, title), msg(prompts[i], text), 0);
    if (getInputNumber(ID_TIMEOUT, values[i], ID_MAX_DIGITS + 2, 4, ID_MAX_DIGITS, 0, 0) != INPUT_ACCEPTED) {
      titled(MSG_BILL_TITLE, MSG_CANCELLED, CANCEL_WAIT_MS);
      return INPUT_CANCELLED;
    }
  }
  setField(currentTransaction.BillId, billId);
  setField(currentTransaction.PaymentId, paymentId);
  char company[BILL_NAME_SIZE] = {};
  int64_t amount = 0;
  if (getBillInfo(billId, paymentId, company, sizeof company, &amount) < 1) {
    titled(MSG_BILL_TITLE, MSG_BAD_BILL, CANCEL_WAIT_MS);
    return BILL_REFUSED;
  }
  const int inquiry = doTransaction(TT_BILL_INQUIRY);
  if (inquiry <= ENGINE_NO_CONNECTION) {
    titled(MSG_BILL_TITLE, MSG_NETWORK_CONNECT_ERROR, NETWORK_ERROR_WAIT_MS);
    return inquiry;
  }
  if (inquiry != 0) {
    mid_lcdCls();
    displayTransactionResult(currentTransaction, config.merchantTicketTimeout * 1000);
    return inquiry;
  }
  std::memset(currentTransaction.description, 0, sizeof currentTransaction.description);
  std::memcpy(currentTransaction.description, company, strnlen(company, sizeof currentTransaction.description - 1));
  char price[sizeof currentTransaction.Price] = {};
  std::snprintf(price, sizeof price, "%012lld", static_cast<long long>(amount));
  setField(currentTransaction.Price, price);
  char line[MSG] = {};
  amountLine(price, line, sizeof line);
  pinPromptScreen(MSG_BILL_TITLE, line);
  return pinAndExchange(TT_BILL_PAYMENT, MSG_BILL_TITLE, false, printBillPaymentTicket);
}

/* ---- the charge steps --------------------------------------------------------------------------------- */

namespace {
struct Operator {
  int companyId;
  int nameMessage;
};
constexpr Operator OPERATORS[OPERATOR_COUNT] = {{12, 66}, {11, 67}, {16, 68}};

// Amounts in Rials of each amount menu, by operator (1..3) and kind (voucher, top-up).
constexpr long OPERATOR1_AMOUNTS[] = {50000, 100000, 200000, 500000}; // both kinds
constexpr long OPERATOR2_VOUCHERS[] = {50000, 100000, 200000};
constexpr long OPERATOR3_VOUCHERS[] = {20000, 50000, 100000, 200000, 500000};
constexpr long TOPUP_AMOUNTS[] = {10000, 20000, 50000, 100000, 200000, 500000}; // operators 2 and 3

template <std::size_t N> long pick(const long (&table)[N], int choice) {
  return choice >= 1 && choice <= static_cast<int>(N) ? table[choice - 1] : 0;
}
} // namespace

int operatorCompanyId(int op) { return op >= 1 && op <= OPERATOR_COUNT ? OPERATORS[op - 1].companyId : 0; }
int operatorNameMessage(int op) { return op >= 1 && op <= OPERATOR_COUNT ? OPERATORS[op - 1].nameMessage : 0; }

void setPrice(int choice, int op, int kind) {
  long amount = 0;
  if (op == 1) amount = pick(OPERATOR1_AMOUNTS, choice);
  else if (op == 2) amount = kind == CHARGE_VOUCHER ? pick(OPERATOR2_VOUCHERS, choice) : pick(TOPUP_AMOUNTS, choice);
  else if (op == 3) amount = kind == CHARGE_VOUCHER ? pick(OPERATOR3_VOUCHERS, choice) : pick(TOPUP_AMOUNTS, choice);
  char text[sizeof currentTransaction.Price] = {};
  std::snprintf(text, sizeof text, "%ld", amount);
  setField(currentTransaction.Price, text);
}

int chargeBegin() { return cardAndSettle(MSG_CHARGE_TITLE); }

int chargeMobileNumber(char *number, std::size_t size) {
  if (number == nullptr || size < MOBILE_DIGITS + 1) return INPUT_CANCELLED;
  char title[MSG] = {};
  char text[MSG] = {};
  mid_lcdCls();
  showMessageXY1(1, 2, msg(MSG_TOPUP, title), msg(MSG_PHONE, text), 0);
  std::snprintf(number, size, "09");
  return getInputData(INPUT_MODE_MOBILE, 0, 4, MOBILE_DIGITS - 2, MOBILE_DIGITS - 2, number, size, ID_TIMEOUT);
}

int chargeCheckOperator(int op, const char *number) {
  if (isCellphoneValidate(op, number) == 1) return 0;
  errorScreen(MSG_OPERATOR_MISMATCH, -1);
  return -1;
}

int CustomerMenuActionCellType(int kind, const char *number, int op) {
  currentTransaction.companyId = static_cast<unsigned char>(operatorCompanyId(op));
  char name[MSG] = {};
  msg(operatorNameMessage(op), name);
  std::memset(currentTransaction.companyName, 0, sizeof currentTransaction.companyName);
  copyUtf8Bounded(currentTransaction.companyName, sizeof currentTransaction.companyName, name);

  char charge[MSG] = {};
  char amount[MSG] = {};
  amountLine(currentTransaction.Price, amount, sizeof amount);
  char line[3 * MSG] = {};
  std::snprintf(line, sizeof line, "%s %s - %s", msg(MSG_CHARGE, charge), name, amount);
  if (kind == CHARGE_VOUCHER) {
    pinPromptScreen(MSG_CHARGE_TITLE, line);
    return CustomerMenuActionCellPass(TT_VOUCHER);
  }
  setField(currentTransaction.CellphonNumber, number != nullptr ? number : "");
  char title[MSG] = {};
  char ask[MSG] = {};
  char confirmed[MSG] = {};
  char question[2 * MSG + 16] = {};
  mid_lcdCls();
  lcdPrintC(1, 0, LINE_CENTER, FONT_FILE, 0, msg(MSG_TOPUP, title));
  lcdPrint(1, 1, LINE_CENTER, FONT_FILE, 0, line, std::strlen(line));
  std::snprintf(question, sizeof question, "%s %s", msg(MSG_CONFIRM_NUMBER, ask), currentTransaction.CellphonNumber);
  lcdPrint(1, 3, LINE_CENTER, FONT_FILE, 0, question, std::strlen(question));
  msg(MSG_CONFIRMED_Q, confirmed);
  lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 0, confirmed, std::strlen(confirmed));
  mid_lcdDrawPicture2(0, BOTTOM_IMAGE_Y, RESULT_OK_IMAGE);
  if (waitForResult(0, TOPUP_CONFIRM_WAIT_MS) != WAIT_ENTER) return INPUT_CANCELLED;
  pinPromptScreen(MSG_TOPUP, line);
  return CustomerMenuActionCellPass(TT_TOPUP);
}

int CustomerMenuActionCellPass(int type) {
  const bool topup = type == TT_TOPUP;
  return pinAndExchange(type, topup ? MSG_TOPUP : MSG_CHARGE_TITLE, false,
                        topup ? printTopupTicket : printVoucherTicket);
}

void endCustomerFlow() {
  // The card's secrets stay in memory no longer than the flow that needed them.
  std::memset(currentTransaction.Track2, 0, sizeof currentTransaction.Track2);
  std::memset(currentTransaction.pinBlock, 0, sizeof currentTransaction.pinBlock);
}
