/*
 * CustomerFlows.h - what the cardholder does on the terminal: swipe, amount or
 * bill or mobile charge, PIN, and the result with its receipts. Each flow
 * fills currentTransaction, hands it to the engine and moves its journal
 * status through the states the flow owns (3, 102, 103).
 *
 * Sections: card reading, the result screen, the flows, the charge steps.
 *
 * The menus that choose a flow, a charge kind, an operator or an amount live
 * with the menu arrays in the core application (core/CustomerMenu.cpp); the
 * steps they lead to are here.
 */
#ifndef SAFFRON_TXN_CUSTOMERFLOWS_H
#define SAFFRON_TXN_CUSTOMERFLOWS_H

#include "journal/Journal.h"

/* ---- card reading ------------------------------------------------------------------ */

constexpr int CARD_READ = 0;          // a card is in currentTransaction
constexpr int CARD_REFUSED = -2;      // checkCardSwap: a card was read and refused (reason shown)
constexpr int CARD_NONE = 1;          // checkCardSwap: nothing swiped
constexpr int CARD_TIMED_OUT = 1000;  // getCard
constexpr int CARD_CANCELLED = 2000;  // getCard
constexpr int MCR_TRACK2_READ = 7;    // the reader's answer for a read that delivered track 2
constexpr int LOW_BATTERY = 13;       // below this, without the charger, no transaction starts

// Makes sure a card is in currentTransaction: nothing is asked when Track2 is
// already there (swiped on the idle screen); otherwise the swipe screen under
// the flow's title, 20 seconds. CARD_READ, CARD_TIMED_OUT or CARD_CANCELLED.
int getCard(int titleId);
// One look at the card reader: CARD_READ (PAN and Track2 filled), CARD_REFUSED
// (merchant information missing, terminal 00000000, low battery or a printer
// fault; the reason was shown for 6 seconds) or CARD_NONE.
int checkCardSwap();
// Reads the waiting swipe's track 2 into track2 (size bytes); the reader's result.
int cardSwap(char *track2, std::size_t size);

/* ---- the result screen -------------------------------------------------------------- */

// The outcome of a record: title, label-value rows and the picture at the
// bottom. timeoutMs 0 sounds the success or failure beep and returns 0 at
// once; otherwise the result of waitForResult (0 Enter, 1 Cancel, 2 timeout).
int displayTransactionResult(TransactionRecord trx, int timeoutMs);

/* ---- the flows --------------------------------------------------------------------------- */

// Each returns 0 or the first failing step's result.
int CustomerMenuPurchase();
int CustomerMenuBalance();
int CustomerMenuBill();
// Forgets the card's track and PIN block once a flow is over.
void endCustomerFlow();

/* ---- the charge steps (the menus between them are the core application's) ----------------- */

constexpr int CHARGE_VOUCHER = 1;     // charge kinds
constexpr int CHARGE_TOPUP = 2;
constexpr int OPERATOR_COUNT = 3;

// Card and the previous-transaction check under the charge title: 0 to go on.
int chargeBegin();
// The top-up's mobile number: "09" and 9 more digits into number (12 bytes).
// 0, or the editor's negative result.
int chargeMobileNumber(char *number, std::size_t size);
// The operator's companyId (12, 11, 16) and its name's message, for operator 1..3.
int operatorCompanyId(int op);
int operatorNameMessage(int op);
// The number must belong to the operator: otherwise message 380 for 6 s, -1.
int chargeCheckOperator(int op, const char *number);
// Price of currentTransaction for an amount menu's choice ("0" outside the menu).
void setPrice(int choice, int op, int kind);
// The charge flow after its amount was chosen: the record's operator fields,
// the summary and (top-up) the number's confirmation, then the PIN and the
// exchange. 0 or the failing step's result.
int CustomerMenuActionCellType(int kind, const char *number, int op);
// PIN, exchange (TT_VOUCHER or TT_TOPUP) and the common ending.
int CustomerMenuActionCellPass(int type);

#endif
