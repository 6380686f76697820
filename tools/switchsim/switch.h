/*
 * switch.h - the acquiring switch the simulator plays: its card accounts, the
 * terminals it has keyed, the transactions it has seen, the fault script, and
 * the handling of one request frame into one answer frame.
 *
 * Sections: response codes, records, the card table and fault script, the switch.
 */
#ifndef SWITCHSIM_SWITCH_H
#define SWITCHSIM_SWITCH_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "crypto.h"

namespace switchsim {

class Ledger;

/* ---- response codes ----------------------------------------------------------- */

namespace rc {
inline const std::string APPROVED = "00";
inline const std::string INVALID_TRANSACTION = "12"; // no such request kind, or a bad bill
inline const std::string NO_ORIGINAL = "25";         // an advice for a reference number never given
inline const std::string NOT_SUFFICIENT_FUNDS = "51";
inline const std::string WRONG_PIN = "55";
inline const std::string UNKNOWN_CARD = "56";
inline const std::string SECURITY_VIOLATION = "63"; // MAC missing or wrong
inline const std::string DUPLICATE = "94";          // a trace number already booked
inline const std::string SYSTEM_MALFUNCTION = "96";
} // namespace rc

/* ---- records ------------------------------------------------------------------ */

struct Card {
  std::string pan;     // card number, digits
  std::string track2;  // as the card carries it (digits, '=', digits)
  std::string pin;     // 4 to 12 digits
  long long balance;   // ledger balance, Rials
  long long blocked;   // part of the balance not available for spending
};

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

/* ---- the card table and the fault script ---------------------------------------- */

// The built-in card table.
std::vector<Card> defaultCards();
// Reads "PAN TRACK2 PIN BALANCE [BLOCKED]" lines ('#' starts a comment): card
// numbers of 12 to 19 digits, each once; a track 2 of that number, '=' and
// digits; a PIN of 4 to 12 digits; amounts of at most 12 digits with the
// blocked part no more than the balance. false and *error naming the line
// (source:N:) on anything else.
bool parseCards(const std::string &text, const std::string &source, std::vector<Card> *cards, std::string *error);
// The same from a file, which must be a regular file of at most 1 MiB.
bool loadCards(const std::string &path, std::vector<Card> *cards, std::string *error);

// A regular file of at most 1 MiB into *text; false and *error otherwise.
bool readSmallFile(const std::string &path, std::string *text, std::string *error);

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

// The card number as logs may show it: first six, stars, last four.
std::string maskPan(const std::string &pan);

/* ---- the switch ---------------------------------------------------------------- */

struct Options {
  std::uint8_t masterKey[KEY_LEN];
  std::vector<Card> cards;
  std::vector<Fault> faults;
  Ledger *ledger = nullptr;    // JSON lines, or null
  std::FILE *dump = nullptr;   // readable field dump, or null
};

// What the server does with a request frame.
struct Reply {
  FaultAction action = FaultAction::None;
  long ms = 0;
  std::vector<std::uint8_t> frame; // the answer frame (length bytes, TPDU, message); empty: nothing to send
  std::uint64_t ledgerTicket = 0;  // the request's last ledger line: the answer waits until it is durable
};

class Switch {
public:
  explicit Switch(Options options);
  // frame: the whole request frame (2 length bytes, TPDU, message). Safe to
  // call from several connections' threads at once: requests are handled one
  // at a time, so the books and the ledger stay consistent.
  Reply handle(const std::vector<std::uint8_t> &frame, const std::string &peer);
  // The card table as it stands (tests; not for use while connections are served).
  const std::vector<Card> &cards() const { return options_.cards; }

  struct Request;
  using Handler = void (Switch::*)(Request &);
  // One row of the routing table: a processing code of null matches any, and
  // a null kind takes the kind of the financial request with that code.
  struct Route {
    const char *mti;
    const char *pc;
    const char *kind;
    Handler handler;
  };

private:
  std::mutex mutex_;
  Options options_;
  long requestCount_ = 0;
  long long rrnCounter_ = 0;
  long stanCounter_ = 0;
  long long voucherCounter_ = 0;
  std::map<std::string, Terminal> terminals_; // by terminal id
  std::map<std::string, Booking> bookings_;   // by terminal/STAN
  std::map<std::string, std::string> byRrn_;  // terminal/RRN -> booking key

  Reply handleLocked(const std::vector<std::uint8_t> &frame, const std::string &peer);
  Fault *matchFault(const std::string &mti, const std::string &pc);
  Card *findCard(const std::string &pan);
  bool checkCardAndPin(Request &rq, Card **card);
  void checkMac(Request &rq);
  void bookDecline(Request &rq);
  void buildAnswer(Request &rq, Reply *reply);
  void answerKeyExchange(Request &rq);
  void answerMerchantInfo(Request &rq);
  void answerBalance(Request &rq);
  void answerBillInquiry(Request &rq);
  void answerDebit(Request &rq);
  void answerAdvice(Request &rq);
  void answerReversal(Request &rq);

  static const Route ROUTES[];
  static const Route *routeFor(const std::string &mti, const std::string &pc);
  static std::string kindOf(const std::string &mti, const std::string &pc);
};

} // namespace switchsim

#endif
