/*
 * Printer.h - printer access and the line primitives every receipt and report
 * is built from.
 *
 * A receipt is composed as one page: each primitive places its line at a y the
 * caller keeps and returns the height it used; the caller subtracts small
 * overlaps to pack the lines and finally starts the page with its total height.
 * Persian lines are right to left: labels stand on the right (x 380), values on
 * the left (x 0); numbers are handed to the printer reversed and with Persian
 * digits, so that they read left to right inside a right-to-left line.
 *
 * Sections: constants, printer access, generic lines, line primitives.
 */
#ifndef SAFFRON_PRINT_PRINTER_H
#define SAFFRON_PRINT_PRINTER_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "journal/Journal.h"

/* ---- constants --------------------------------------------------------------- */

constexpr int PRN_LINE_HEIGHT = 20;  // what every printStr reports
constexpr int PRN_RIGHT_X = 380;     // labels and right-aligned lines end here
constexpr int PRN_LEFT_X = 0;        // values start here
constexpr int PRN_FONT_RECEIPT = 2;  // font selector of every receipt line (size 26)
constexpr int PRN_FONT_SMALL = 1;    // any other selector prints at size 20
constexpr int PRN_GRAY = 6;

// printStr modes.
constexpr int PRN_MODE_PAIR = 4;    // place a label/value line: text left, stored label right
constexpr int PRN_MODE_RIGHT = 5;   // one right-aligned line
constexpr int PRN_MODE_LABEL = 6;   // store the label of the next PRN_MODE_PAIR; nothing placed
constexpr int PRN_MODE_CENTER = 10; // one centred line

// Receipt copies.
constexpr int COPY_CUSTOMER = 1;
constexpr int COPY_MERCHANT = 2;
constexpr int COPY_REPRINT = 3;

// printTicketType kinds.
constexpr int TICKET_CONFIG = 1, TICKET_NETWORK = 2, TICKET_BALANCE = 3, TICKET_PURCHASE = 4,
              TICKET_BILL = 5, TICKET_VOUCHER = 6, TICKET_TOPUP = 7, TICKET_REVERSAL = 8, TICKET_REPORT = 9,
              TICKET_HARDWARE = 11;

// The logo: 01, width and height big-endian, 56 rows of 47 bytes, MSB first.
constexpr int LOGO_WIDTH = 376, LOGO_HEIGHT = 56;
constexpr std::size_t LOGO_SIZE = 5 + (LOGO_WIDTH / 8) * LOGO_HEIGHT;
extern const std::array<unsigned char, LOGO_SIZE> print_logo;
static_assert(LOGO_SIZE == 2637, "the logo record is 2637 bytes");

extern int printerId;  // 1 once a page has been started

/* ---- printer access ---------------------------------------------------------- */

// Grey level 6 and a new empty page; the platform's result.
int openPrinter();
void closePrinter();
void checkPrinter();
int printer_get_status();  // always 1
// Places text as the mode says (PRN_MODE_*); returns PRN_LINE_HEIGHT. The text
// goes to the printer as given: callers prepare it for a right-to-left line.
int printStr(int font, const char *text, int x, int y, int mode);
int printLogoXY(int font, int x, int y);
int printLogo(int font, int x, int y, int flags);
// Prints the composed page of the given height. When the printer reports no
// paper, asks on the screen whether the paper is being changed: Enter waits up
// to 60 s, retrying each second. 0 printed, 1 the user gave up (page dropped).
int startPrint(int height);

/* ---- generic lines (texts in reading order; the conversion is done here) ------------ */

// A label/value line: label right, value left. A value of ASCII only is
// reversed for the right-to-left line; a mixed one must already be in display order.
int printLabelValue(int font, const char *label, const char *value, int y);
// The same with a message of the catalogue as the label.
int printMessageValue(int font, int message, const char *value, int y);
// One right-aligned (ending at x) or centred line.
int printRightLine(int font, const char *text, int x, int y);
int printCenterLine(int font, const char *text, int x, int y);
// Appends text to out for a right-to-left line: a run of ASCII reversed, so it
// reads left to right once the line is drawn. Returns false when it does not fit.
bool appendLtrRun(char *out, std::size_t outSize, const char *text);

/* ---- line primitives (font, values, x, y -> height used) -------------------------
 * A right-aligned or centred line uses one printStr height, a label/value line two. */

int printMerchantNameNphone(int font, int x, int y);
int printMerchantNameNphoneFull(int font, int x, int y);
int printMerchantNameNphoneSeparate(int font, int x, int y);
int printMerchantName(int font, int x, int y);
int printMerchantPhone(int font, int x, int y);
int printTicketType(int font, int kind, const char *companyName, int subtype, int copy, int x, int y);
int printTerminalNdateTime(int font, const char *date, const char *time, int x, int y);
int printMerchantNo(int font, int x, int y);
int printStanNrrn(int font, const char *stan, const char *rrn, int x, int y);
int printBankNcard(int font, const char *pan, int x, int y);
int printTaxCode(int font, int x, int y);
int printTopupDesc(int font, const char *label, const char *value, int x, int y);
int printBiluesc(int font, const char *billId, const char *paymentId, int x, int y);
int printSerialNumber(int font, int x, int y);
int printTerminalNo(int font, int x, int y);
int printTerminalNmerchant(int font, int x, int y);
int printSoftwareVersion(int font, int x, int y);
int printIpAddress(int font, int x, int y);
int printPortNo(int font, int x, int y);
int printTMSIpAddress(int font, int x, int y);
int printTMSPortNo(int font, int x, int y);
int printConnectionType(int font, int x, int y);
int printTotalAmount(int font, int x, int64_t amount, int y);
// "successful transaction: <amount> Rials"; amount digits, leading zeros allowed.
int printPriceEx(int font, const char *amount, int x, int y);
// The response text of code ("<text>-<code>" below 100), after a "*** failed ***"
// line when withTitle is set.
int printFailed(int font, int code, int x, int y, int withTitle);
int printBalance(int font, const char *amount, int x, int y);   // balance, then the fee line
int printBalance1(int font, const char *amount, int x, int y);  // withdrawable balance, then the fee line
int printBalance2(int font, const char *amount, int x, int y);  // actual balance
// PIN (customer copy only), serial, dialling instruction and support number of a voucher.
int printVoucherDesc(int font, const TransactionRecord *trx, int x, int y, int copy);
int printReverseDesc(int font, int type, int x, int y);
int printCustomerSign(int font, int x, int y);
int printLine(int font, int x, int y);   // blank spacer
int printLine1(int font, int x, int y);  // separator
// Masked card number: first six digits, "***", last four.
void maskCardNumber(const char *pan, char *out, std::size_t outSize);

#endif
