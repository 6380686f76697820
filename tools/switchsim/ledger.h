/*
 * ledger.h - the switch's ledger: one JSON object a line for every request and
 * answer, appended by one or more running switches to the same file, and the
 * summary that reads it back.
 *
 * Every line carries the identifier of the run that wrote it, so two runs
 * appending to one ledger never merge their transactions. A line goes out in
 * one write under an exclusive lock and is synced before the next; a tail torn
 * by a crash is cut off (and noted) when the ledger is next opened.
 */
#ifndef SWITCHSIM_LEDGER_H
#define SWITCHSIM_LEDGER_H

#include <cstdio>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace switchsim {

using LedgerLine = nlohmann::ordered_json;

class Ledger {
public:
  Ledger() = default;
  ~Ledger();
  Ledger(const Ledger &) = delete;
  Ledger &operator=(const Ledger &) = delete;

  // Opens (or creates) a regular file for appending, repairs a torn tail and
  // writes the run's start line. false and *error when that cannot be done.
  bool open(const std::string &path, std::string *error);
  // Appends the line with the run identifier in front. false when it could
  // not be written whole (the reason goes to standard error once).
  bool write(const LedgerLine &line);
  const std::string &runId() const { return runId_; }

private:
  int fd_ = -1;
  std::string runId_;
  bool complained_ = false;
  std::mutex mutex_;
  bool appendLocked(const std::string &text);
};

// Bytes from the network as JSON text: each byte one code point, so any bytes
// survive the round trip and control characters are escaped in the file.
std::string netText(const std::string &bytes);
// A ledger value for a terminal's screen: printable ASCII as it is, anything
// else as \xNN (or \u{N} above one byte), so a hostile identifier cannot drive
// the reader's terminal.
std::string escapedForPrint(const std::string &utf8);

// Reads a ledger and writes one line per financial transaction: its terminal and
// trace number, kind, amount and outcome (approved and advised, reversed,
// declined, still open), then the counts; a ledger with several runs gets a
// heading per run. Damaged lines are named on *errors with their line numbers
// and counted. Returns 0; 1 when `check` is set and a line was damaged; 2 when
// the file cannot be read or is not a regular file.
int ledgerSummary(const std::string &path, bool check, std::FILE *out, std::FILE *errors);

} // namespace switchsim

#endif
