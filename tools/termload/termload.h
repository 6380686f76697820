/*
 * termload.h - a load generator for acquiring switches: many virtual
 * terminals on loopback, each with its own serial number and working keys,
 * running a mix of card requests at a target rate and checking afterwards that
 * the switch settled every financial request exactly once.
 *
 * Sections: options, the terminal's cryptography, the run and its report,
 * the ledger check.
 */
#ifndef TERMLOAD_TERMLOAD_H
#define TERMLOAD_TERMLOAD_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace termload {

/* ---- options ------------------------------------------------------------------ */

// The request kinds a virtual terminal starts; advices and reversals follow them.
enum Kind { PURCHASE, BALANCE, BILL, CHARGE, ADVICE, REVERSAL, KIND_COUNT };
const char *kindName(int kind);
constexpr int STARTED_KINDS = 4; // PURCHASE..CHARGE

struct CardInfo {
  std::string pan, pin;
};

struct Options {
  std::string host = "127.0.0.1";
  int port = -1;                 // required
  int terminals = 10;
  long requests = 1000;          // started requests, follow-ups not counted
  double seconds = 10;           // no request starts after this
  double rate = 0;               // started requests per second; 0: as fast as the switch answers
  std::array<int, STARTED_KINDS> mix{70, 10, 10, 10};
  double dropShare = 0;          // percent of financial requests whose answer is treated as lost
  int timeoutMs = 2000;          // an answer later than this is lost, and a financial request reversed
  long long amount = 1000;       // Rials per financial request
  std::vector<CardInfo> cards;   // empty: the switch simulator's first built-in card
  std::string masterKeyHex = "0123456789ABCDEFFEDCBA9876543210";
  std::string switchsim, ledger; // both or neither: run the ledger check at the end
  std::string serialPrefix = "TL";
  bool quiet = false;
};

enum class ParseResult { Run, Help, Error };

// Parses argv; on Error *error says why (the caller exits 2).
ParseResult parseOptions(int argc, const char *const *argv, Options *options, std::string *error);
void usage(std::FILE *out);

// True for a dotted IPv4 address in 127.0.0.0/8: the only ones termload connects to.
bool isLoopback(const std::string &address);

// "purchase=70,balance=10,bill=10,charge=10" into the four shares.
bool parseMix(const std::string &text, std::array<int, STARTED_KINDS> *mix, std::string *error);

// "PAN TRACK2 PIN BALANCE [BLOCKED]" lines, the switch simulator's card file.
bool loadCards(const std::string &path, std::vector<CardInfo> *cards, std::string *error);

/* ---- the terminal's cryptography ------------------------------------------------ */

constexpr std::size_t KEY_LEN = 16;
using Key = std::array<std::uint8_t, KEY_LEN>;

bool tdes(const Key &key, const std::uint8_t *in, std::uint8_t *out, std::size_t len, bool encrypt);
// The MAC text of a packed message: retail MAC over msg[0..len - exclude) zero
// padded, with the MAC field's 8 bytes (the last ones) taken as zero; the first
// 4 bytes of the MAC as 8 upper-case hex digits. Empty on failure.
std::string macText(const Key &key, const std::uint8_t *msg, std::size_t len, std::size_t exclude);
// Format-0 PIN block for pan. false for a PIN or card number it cannot hold.
bool pinBlock(const Key &key, const std::string &pin, const std::string &pan, std::uint8_t block[8]);
bool fromHex(const std::string &hex, std::uint8_t *out, std::size_t outLen);

/* ---- the run and its report ----------------------------------------------------- */

struct KindStats {
  long count = 0;                    // answers received (dropped ones included)
  std::map<std::string, long> codes; // response code -> count
  std::vector<double> latencyMs;     // of answers taken: from the send to the wake-up that saw the answer
  long lost = 0;                     // no answer within the time-out
  long dropped = 0;                  // answer received but treated as lost
};

// What the ledger should hold for each financial request: "terminal/stan" -> end state.
using Expected = std::map<std::string, std::string>;

struct Report {
  std::array<KindStats, KIND_COUNT> kinds;
  double elapsedS = 0;
  int loggedOn = 0;
  long started = 0;
  Expected expected;
  std::vector<std::string> problems; // connection failures, unexpected answers
};

// Runs the load; false (with *error) when no terminal could log on at all.
bool run(const Options &options, Report *report, std::string *error);

// The p-th percentile (0..100) by nearest rank; 0 for no samples. Sorts *samples.
double percentile(std::vector<double> *samples, double p);
void printReport(std::FILE *out, Report &report);

/* ---- the ledger check ---------------------------------------------------------------- */

// Compares a ledger summary's lines (key kind amount state) with what the run
// expects: every expected transaction exactly once and in its state. Lines of
// other terminals are ignored. Returns the mismatches, one text each.
std::vector<std::string> checkSummary(const std::string &summary, const Expected &expected);

} // namespace termload

#endif
