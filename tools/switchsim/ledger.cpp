/*
 * ledger.cpp - appending whole, synced JSON lines under a file lock (one line
 * at a time, or in batches), repairing a torn tail, and the summary that reads
 * the lines back.
 */
#include "ledger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <vector>

#include "crypto.h"

namespace switchsim {

namespace {

std::string utcNow(const char *format) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

// Holds an exclusive lock on the ledger for the lifetime of the object, so
// lines of concurrent switches never interleave and a repair sees no writer.
struct FileLock {
  int fd;
  explicit FileLock(int f) : fd(f) {
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FileLock() { flock(fd, LOCK_UN); }
};

bool writeAll(int fd, const char *data, std::size_t len) {
  while (len > 0) {
    ssize_t n = ::write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

// Cuts the file back to its last newline; the number of bytes cut, or -1.
long long cutTornTail(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return -1;
  off_t size = st.st_size;
  if (size == 0) return 0;
  char last = 0;
  if (pread(fd, &last, 1, size - 1) != 1) return -1;
  if (last == '\n') return 0;
  off_t keep = 0;
  char buf[4096];
  for (off_t end = size; end > 0 && keep == 0;) {
    off_t start = end > static_cast<off_t>(sizeof buf) ? end - static_cast<off_t>(sizeof buf) : 0;
    ssize_t n = pread(fd, buf, static_cast<std::size_t>(end - start), start);
    if (n != end - start) return -1;
    for (ssize_t i = n - 1; i >= 0; --i)
      if (buf[i] == '\n') {
        keep = start + i + 1;
        break;
      }
    end = start;
  }
  if (ftruncate(fd, keep) != 0) return -1;
  return static_cast<long long>(size - keep);
}

} // namespace

Ledger::~Ledger() {
  commit();
  if (fd_ >= 0) ::close(fd_);
}

bool Ledger::open(const std::string &path, std::string *error) {
  // Non-blocking, so a FIFO cannot hang the start; it is refused below.
  int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = path + ": not a regular file";
    return false;
  }
  fd_ = fd;
  std::uint8_t random[4] = {0};
  randomBytes(random, sizeof random);
  runId_ = utcNow("%Y%m%dT%H%M%SZ") + "-" + std::to_string(getpid()) + "-" + toHex(random, sizeof random);
  runText_ = LedgerLine(runId_).dump();

  long long cut;
  {
    FileLock lock(fd_);
    cut = cutTornTail(fd_);
  }
  if (cut < 0) {
    *error = path + ": cannot repair its last line: " + std::strerror(errno);
    return false;
  }
  LedgerLine start;
  start["dir"] = "start";
  start["time"] = utcNow("%Y-%m-%dT%H:%M:%SZ");
  start["pid"] = static_cast<long long>(getpid());
  if (cut > 0) start["torn_tail_bytes_dropped"] = cut;
  if (!write(start)) {
    *error = path + ": cannot be written";
    return false;
  }
  return true;
}

// One write and one sync under the file lock. A write that fails part way is
// cut back, so no torn line is left for the next batch to glue onto.
bool Ledger::writeBatch(const std::string &text) {
  FileLock lock(fd_);
  struct stat st {};
  if (fstat(fd_, &st) != 0) return false;
  if (writeAll(fd_, text.data(), text.size()) && fdatasync(fd_) == 0) return true;
  int saved = errno;
  if (ftruncate(fd_, st.st_size) == 0) fdatasync(fd_);
  errno = saved;
  return false;
}

Ledger::Ticket Ledger::append(const LedgerLine &line) {
  if (fd_ < 0) return 0;
  // ASCII only: bytes from the network are code points, escaped as \u00XX.
  // The run identifier goes in front as text: copying the line into a new
  // object to put it first cost as much as writing it out.
  std::string body =
      line.is_object() ? line.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) : std::string("{}");
  std::string text = "{\"run\":" + runText_;
  if (body.size() > 2) text += ",";
  text.append(body, 1, std::string::npos);
  text += "\n";
  std::unique_lock<std::mutex> lock(mutex_);
  Ticket ticket = ++appended_;
  queue_ += text;
  if (!grouped_) {
    lock.unlock();
    commit();
  }
  return ticket;
}

bool Ledger::commit() {
  // Held across the write, so batches reach the file in the order of their tickets.
  std::lock_guard<std::mutex> order(commitMutex_);
  Ticket first, last;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (queue_.empty()) return true;
    batch_.swap(queue_);
    queue_.clear();
    first = finished_ + 1;
    last = appended_;
  }
  bool ok = writeBatch(batch_);
  batch_.clear();
  std::lock_guard<std::mutex> guard(mutex_);
  finished_ = last;
  if (!ok) {
    failed_.emplace_back(first, last);
    if (!complained_) std::fprintf(stderr, "switchsim: the ledger cannot be written: %s\n", std::strerror(errno));
    complained_ = true;
  }
  return ok;
}

Ledger::State Ledger::state(Ticket ticket) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (ticket == 0) return fd_ < 0 ? State::Failed : State::Durable;
  if (ticket > finished_) return State::Pending;
  for (const auto &[first, last] : failed_)
    if (ticket >= first && ticket <= last) return State::Failed;
  return State::Durable;
}

bool Ledger::write(const LedgerLine &line) {
  Ticket ticket = append(line);
  if (ticket == 0) return false;
  commit();
  return state(ticket) == State::Durable;
}

void Ledger::setGrouped(bool grouped) {
  if (!grouped) commit();
  std::lock_guard<std::mutex> guard(mutex_);
  grouped_ = grouped;
}

std::string netText(const std::string &bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string escapedForPrint(const std::string &utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    unsigned long cp = c;
    std::size_t len = 1;
    if (c >= 0xC0 && c < 0xE0 && i + 1 < utf8.size()) {
      cp = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      len = 2;
    } else if (c >= 0xE0 && c < 0xF0 && i + 2 < utf8.size()) {
      cp = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6 |
           (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
      len = 3;
    } else if (c >= 0xF0 && i + 3 < utf8.size()) {
      cp = (c & 0x07u) << 18 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 12 |
           (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu) << 6 | (static_cast<unsigned char>(utf8[i + 3]) & 0x3Fu);
      len = 4;
    }
    char buf[16];
    if (cp > 0x20 && cp < 0x7F && cp != '\\')
      out += static_cast<char>(cp);
    else if (cp <= 0xFF)
      std::snprintf(buf, sizeof buf, "\\x%02lX", cp), out += buf;
    else
      std::snprintf(buf, sizeof buf, "\\u{%lX}", cp), out += buf;
    i += len;
  }
  return out;
}

/* ---- the summary ------------------------------------------------------------------ */

namespace {

// A ledger value as text: strings as they are, numbers and flags as JSON writes them.
std::string textOf(const LedgerLine &line, const char *key) {
  auto it = line.find(key);
  if (it == line.end() || it->is_null()) return "";
  if (it->is_string()) return it->get<std::string>();
  return it->dump();
}

} // namespace

int ledgerSummary(const std::string &path, bool check, std::FILE *out, std::FILE *errors) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    std::fprintf(errors, "switchsim: %s: %s\n", path.c_str(), std::strerror(errno));
    return 2;
  }
  if (!S_ISREG(st.st_mode)) {
    std::fprintf(errors, "switchsim: %s: not a regular file\n", path.c_str());
    return 2;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(errors, "switchsim: %s cannot be read\n", path.c_str());
    return 2;
  }
  struct Seen {
    std::string run, txn, kind, amount, rc;
    bool requested = false, advised = false, reversed = false;
  };
  std::vector<std::string> order, runs;
  std::map<std::string, Seen> txns;
  std::vector<long> damaged;
  std::string text;
  for (long n = 1; std::getline(in, text); ++n) {
    if (text.empty()) continue;
    LedgerLine line = LedgerLine::parse(text, nullptr, false);
    if (line.is_discarded() || !line.is_object() || !line.contains("dir") || !line["dir"].is_string()) {
      damaged.push_back(n);
      continue;
    }
    const std::string run = textOf(line, "run");
    if (std::find(runs.begin(), runs.end(), run) == runs.end()) runs.push_back(run);
    const std::string txn = textOf(line, "txn");
    if (txn.empty()) continue;
    const std::string key = run + "\n" + txn;
    if (!txns.count(key)) order.push_back(key);
    Seen &s = txns[key];
    s.run = run;
    s.txn = txn;
    const std::string mti = textOf(line, "mti");
    const std::string rcode = textOf(line, "rc");
    bool request = textOf(line, "dir") == "request";
    if (request && mti == "0200") {
      s.requested = true;
      s.kind = textOf(line, "kind");
      s.amount = textOf(line, "amount");
    } else if (request && mti == "0420" && s.amount.empty()) {
      s.kind = textOf(line, "kind"); // a reversal of a request that never arrived
      s.amount = textOf(line, "amount");
    } else if (!request && mti == "0210") {
      s.rc = rcode;
    } else if (!request && mti == "0230" && rcode == "00") {
      s.advised = true;
    } else if (!request && mti == "0430" && rcode == "00") {
      s.reversed = true;
      if (s.kind.empty()) s.kind = textOf(line, "kind");
    }
  }
  int approved = 0, reversed = 0, declined = 0, open = 0;
  for (const std::string &run : runs) {
    if (runs.size() > 1) std::fprintf(out, "run %s\n", run.empty() ? "(unnamed)" : escapedForPrint(run).c_str());
    for (const std::string &key : order) {
      const Seen &s = txns[key];
      if (s.run != run) continue;
      const char *state;
      if (s.reversed)
        state = "reversed", ++reversed;
      else if (s.rc == "00" && s.advised)
        state = "approved and advised", ++approved;
      else if (!s.rc.empty() && s.rc != "00")
        state = "declined", ++declined;
      else
        state = "still open", ++open;
      std::fprintf(out, "%-16s %-13s %12s  %s\n", escapedForPrint(s.txn).c_str(), escapedForPrint(s.kind).c_str(),
                   escapedForPrint(s.amount).c_str(), state);
    }
  }
  std::fprintf(out, "%d approved and advised, %d reversed, %d declined, %d still open", approved, reversed, declined,
               open);
  if (!damaged.empty()) std::fprintf(out, ", %zu damaged lines", damaged.size());
  std::fprintf(out, "\n");
  for (long n : damaged) std::fprintf(errors, "switchsim: %s:%ld: damaged line\n", path.c_str(), n);
  return check && !damaged.empty() ? 1 : 0;
}

} // namespace switchsim
