/*
 * switch.h - the acquiring switch the simulator plays: its card accounts, the
 * terminals it has keyed, the transactions it has seen, the fault script, and
 * the handling of one request frame into one answer frame.
 *
 * Sections: records, the fault script, the ledger, the switch.
 */
#ifndef SWITCHSIM_SWITCH_H
#define SWITCHSIM_SWITCH_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "crypto.h"

namespace switchsim {

/* ---- records ------------------------------------------------------------------ */

struct Card {
  std::string pan;     // card number, digits
  std::string track2;  // as the card carries it (digits, '=', digits)
  std::string pin;     // 4 to 12 digits
  long long balance;   // ledger balance, Rials
  long long blocked;   // part of the balance not available for spending
};

// The built-in card table.
std::vector<Card> defaultCards();
// Reads "PAN TRACK2 PIN BALANCE [BLOCKED]" lines ('#' starts a comment).
// false and *error naming the line on a malformed line.
bool loadCards(const std::string &path, std::vector<Card> *cards, std::string *error);

struct Terminal {
  std::string serial;       // tag 1 of its key exchange
  std::string terminalId;   // 8 digits, given in the key-exchange answer
  std::string merchantId;   // given in the key-exchange answer
  std::uint8_t pinKey[KEY_LEN], macKey[KEY_LEN], dataKey[KEY_LEN];
};

// A financial request (0200) as the switch booked it.
struct Booking {
  std::string key;        // terminal/STAN of the request
  std::string kind;       // purchase, bill-payment, voucher, top-up
  std::string pan;
  std::string rrn;
  std::string switchStan; // field 38 of its answer
  long long amount = 0;
  std::string rc;         // the code answered
  bool debited = false;   // the amount left the card's account
  bool advised = false;
  bool reversed = false;
};

/* ---- the fault script ---------------------------------------------------------- */

enum class FaultAction { None, Drop, Close, Delay, Split, Garbage, Truncate, Code };

struct Fault {
  long nth = 0;          // the Nth request since start (1-based), or 0
  std::string mti, pc;   // or every request of this MTI (and processing code, when given)
  FaultAction action = FaultAction::None;
  long ms = 0;           // delay, or the pause inside a split answer
  std::string code;      // forced response code
  bool once = false;     // only the first match
  bool spent = false;
};

// One rule a line: SELECTOR ACTION [ARG] [once], where SELECTOR is a request
// number, MTI or MTI/PROCESSING-CODE, and ACTION is drop, close, delay MS,
// split [MS], garbage, truncate or code XX.
bool parseFaults(const std::string &text, std::vector<Fault> *faults, std::string *error);
const char *faultName(FaultAction a);

/* ---- the switch ---------------------------------------------------------------- */

struct Options {
  std::uint8_t masterKey[KEY_LEN];
  std::vector<Card> cards;
  std::vector<Fault> faults;
  std::FILE *ledger = nullptr; // JSON lines, or null
  std::FILE *dump = nullptr;   // readable field dump, or null
};

// What the server does with a request frame.
struct Reply {
  FaultAction action = FaultAction::None;
  long ms = 0;
  std::vector<std::uint8_t> frame; // the answer frame (length bytes, TPDU, message); empty: nothing to send
};

class Switch {
public:
  explicit Switch(Options options);
  // frame: the whole request frame (2 length bytes, TPDU, message).
  Reply handle(const std::vector<std::uint8_t> &frame, const std::string &peer);
  const std::vector<Card> &cards() const { return options_.cards; }

private:
  struct Request;
  Options options_;
  long requestCount_ = 0;
  long long rrnCounter_ = 0;
  long stanCounter_ = 0;
  long long voucherCounter_ = 0;
  std::map<std::string, Terminal> terminals_; // by terminal id
  std::map<std::string, Booking> bookings_;   // by terminal/STAN
  std::map<std::string, std::string> byRrn_;  // terminal/RRN -> booking key

  Fault *matchFault(const std::string &mti, const std::string &pc);
  Card *findCard(const std::string &pan);
  void answerKeyExchange(Request &rq);
  void answerMerchantInfo(Request &rq);
  void answerFinancial(Request &rq);
  void answerAdvice(Request &rq);
  void answerReversal(Request &rq);
  bool checkCardAndPin(Request &rq, Card **card);
};

/* ---- the ledger ------------------------------------------------------------------ */

// Reads a ledger and writes one line per financial transaction: its terminal and
// trace number, kind, amount and outcome (approved and advised, reversed,
// declined, still open), then the counts. Returns 0, or 1 when the file cannot be read.
int ledgerSummary(const std::string &path, std::FILE *out);

// Reads one ledger line (a flat JSON object of strings, numbers and booleans)
// into key -> value text. false when the line is not such an object.
bool parseJsonLine(const std::string &line, std::map<std::string, std::string> *out);

// The card number as logs may show it: first six, stars, last four.
std::string maskPan(const std::string &pan);

} // namespace switchsim

#endif
