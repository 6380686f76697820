/*
 * ledger.h - the switch's ledger: one JSON object a line for every request and
 * answer, appended by one or more running switches to the same file, and the
 * summary that reads it back.
 *
 * Every line carries the identifier of the run that wrote it, so two runs
 * appending to one ledger never merge their transactions. Lines go out whole
 * under an exclusive file lock and are synced before anyone is told they are
 * written; a tail torn by a crash is cut off (and noted) when the ledger is
 * next opened.
 *
 * Group commit: while a server has grouping on, appended lines wait in memory
 * and the server commits them once per turn of its loop, in one write and one
 * sync, then sends the answers whose lines that made durable. The cost of a
 * sync is shared by every request that arrived during the previous one
 * instead of being paid by each in turn.
 */
#ifndef SWITCHSIM_LEDGER_H
#define SWITCHSIM_LEDGER_H

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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
  // Names an appended line; tickets grow in the order lines were appended.
  using Ticket = std::uint64_t;
  enum class State { Pending, Durable, Failed };

  // Appends the line with the run identifier in front. Without grouping it is
  // written and synced before this returns; with it, it waits for commit().
  // A failure is reported on standard error once.
  Ticket append(const LedgerLine &line);
  // Writes every line appended and not yet written in one write, syncs, and
  // settles their tickets (durable, or failed with nothing of them left in
  // the file). true when there was nothing to write or it all went out.
  bool commit();
  // Appends and commits: true when the line is durable.
  bool write(const LedgerLine &line);
  State state(Ticket ticket);
  // Grouping on or off; turning it off commits what is waiting.
  void setGrouped(bool grouped);
  const std::string &runId() const { return runId_; }

private:
  int fd_ = -1;
  std::string runId_, runText_; // the identifier, and as a JSON string
  bool complained_ = false;

  std::mutex mutex_;                // guards the queue and the tickets
  std::mutex commitMutex_;          // one commit at a time, in ticket order
  std::string queue_;               // lines appended, not yet taken by a commit
  std::string batch_;               // the lines being written
  Ticket appended_ = 0;             // last ticket given out
  Ticket finished_ = 0;             // last ticket written (or failed)
  std::vector<std::pair<Ticket, Ticket>> failed_; // batches that could not be written
  bool grouped_ = false;

  bool writeBatch(const std::string &text);
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
