/*
 * options.cpp - termload's command line, card file, report and ledger check.
 */
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "termload.h"

namespace termload {

const char *kindName(int kind) {
  static const char *const names[KIND_COUNT] = {"purchase", "balance", "bill", "charge", "advice", "reversal"};
  return kind >= 0 && kind < KIND_COUNT ? names[kind] : "?";
}

void usage(std::FILE *out) {
  std::fprintf(out,
               "usage: termload --port N [options]\n"
               "\n"
               "Virtual terminals log on to a switch on loopback, run a mix of purchases, balance\n"
               "inquiries, bill payments and charges at a target rate, advise what was approved and\n"
               "reverse what they treat as lost, then report counts, response codes, throughput and\n"
               "latency per kind, and optionally check the switch's ledger for exactly-once settlement.\n"
               "\n"
               "options:\n"
               "  --host ADDR         switch address, 127.x.x.x only (default 127.0.0.1)\n"
               "  --port N            switch port (required)\n"
               "  --terminals N       virtual terminals, 1 to 1000 (default 10)\n"
               "  --requests N        requests to start, 1 to 10000000 (default 1000)\n"
               "  --seconds S         no request starts after S seconds, up to 3600 (default 10)\n"
               "  --rate R            requests started per second; 0: as fast as answered (default 0)\n"
               "  --mix LIST          shares, e.g. purchase=70,balance=10,bill=10,charge=10 (the default)\n"
               "  --drop-share P      percent of financial requests whose answer is treated as lost\n"
               "                      and reversed, 0 to 100 (default 0)\n"
               "  --timeout-ms N      answer time-out, 10 to 60000 (default 2000)\n"
               "  --amount N          Rials per financial request (default 1000)\n"
               "  --cards FILE        cards to use: lines of PAN TRACK2 PIN BALANCE [BLOCKED]\n"
               "                      (default: 6037991234567890, PIN 1234)\n"
               "  --master-key HEX    terminal master key, 32 hex digits (development key by default)\n"
               "  --serial-prefix S   serial numbers are S and 8 digits (default TL)\n"
               "  --switchsim PATH    with --ledger: run PATH ledger-summary --check on the ledger\n"
               "  --ledger FILE       the switch's ledger, checked at the end\n"
               "  --quiet             only the report\n"
               "  --help              this text\n"
               "\n"
               "Latency runs from a request's send to the moment termload's loop wakes with its answer\n"
               "waiting, so its own work on other terminals' answers is not charged to the switch.\n"
               "tools/termload/sweep measures a switchsim at several rates with the ledger checked.\n"
               "\n"
               "Exit status: 0 when every answer came and the ledger check (if any) passed, 1 when\n"
               "answers were lost or the ledger disagrees, 2 for bad options or no logon.\n");
}

bool isLoopback(const std::string &address) {
  unsigned parts[4];
  char tail = 0;
  if (std::sscanf(address.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
    return false;
  for (unsigned p : parts)
    if (p > 255) return false;
  // Only digits and dots: sscanf would also take signs and spaces.
  if (address.find_first_not_of("0123456789.") != std::string::npos) return false;
  return parts[0] == 127;
}

bool parseMix(const std::string &text, std::array<int, STARTED_KINDS> *mix, std::string *error) {
  std::array<int, STARTED_KINDS> shares{};
  std::istringstream items(text);
  std::string item;
  std::set<std::string> seen;
  while (std::getline(items, item, ',')) {
    std::string::size_type eq = item.find('=');
    std::string name = item.substr(0, eq);
    int kind = -1;
    for (int k = 0; k < STARTED_KINDS; ++k)
      if (name == kindName(k)) kind = k;
    if (kind < 0 || eq == std::string::npos) {
      *error = "bad --mix item '" + item + "': expected purchase, balance, bill or charge = share";
      return false;
    }
    if (!seen.insert(name).second) {
      *error = "--mix names " + name + " twice";
      return false;
    }
    std::string value = item.substr(eq + 1);
    char *end = nullptr;
    long v = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || v < 0 || v > 1000) {
      *error = "bad --mix share '" + value + "': expected 0 to 1000";
      return false;
    }
    shares[static_cast<std::size_t>(kind)] = static_cast<int>(v);
  }
  int total = 0;
  for (int s : shares) total += s;
  if (total == 0) {
    *error = "--mix gives every kind a share of 0";
    return false;
  }
  *mix = shares;
  return true;
}

bool loadCards(const std::string &path, std::vector<CardInfo> *cards, std::string *error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  std::vector<CardInfo> loaded;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    std::string::size_type hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    CardInfo c;
    std::string track2;
    long long balance = 0;
    if (!(words >> c.pan)) continue;
    bool digits = c.pan.find_first_not_of("0123456789") == std::string::npos;
    if (!(words >> track2 >> c.pin >> balance) || !digits || c.pan.size() < 13 || c.pan.size() > 19 ||
        c.pin.size() < 4 || c.pin.size() > 12 || c.pin.find_first_not_of("0123456789") != std::string::npos) {
      *error = path + ":" + std::to_string(n) + ": expected PAN TRACK2 PIN BALANCE [BLOCKED]";
      return false;
    }
    loaded.push_back(c);
  }
  if (loaded.empty()) {
    *error = path + ": no cards";
    return false;
  }
  *cards = loaded;
  return true;
}

namespace {

bool number(const std::string &text, double low, double high, double *out) {
  char *end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
  *out = v;
  return true;
}

} // namespace

ParseResult parseOptions(int argc, const char *const *argv, Options *options, std::string *error) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") return ParseResult::Help;
    if (a == "--quiet") {
      o.quiet = true;
      continue;
    }
    if (a.rfind("--", 0) != 0) {
      *error = "unexpected argument '" + a + "'";
      return ParseResult::Error;
    }
    if (i + 1 >= argc) {
      *error = a + " needs a value";
      return ParseResult::Error;
    }
    const std::string v = argv[++i];
    double n = 0;
    auto bad = [&](const char *expected) {
      *error = "bad " + a + " '" + v + "': expected " + expected;
      return ParseResult::Error;
    };
    if (a == "--host") {
      if (!isLoopback(v)) {
        *error = "refusing " + v + ": termload connects to 127.x.x.x addresses only";
        return ParseResult::Error;
      }
      o.host = v;
    } else if (a == "--port") {
      if (!number(v, 1, 65535, &n) || n != std::floor(n)) return bad("1 to 65535");
      o.port = static_cast<int>(n);
    } else if (a == "--terminals") {
      if (!number(v, 1, 1000, &n) || n != std::floor(n)) return bad("1 to 1000");
      o.terminals = static_cast<int>(n);
    } else if (a == "--requests") {
      if (!number(v, 1, 10000000, &n) || n != std::floor(n)) return bad("1 to 10000000");
      o.requests = static_cast<long>(n);
    } else if (a == "--seconds") {
      if (!number(v, 0.01, 3600, &n)) return bad("0.01 to 3600");
      o.seconds = n;
    } else if (a == "--rate") {
      if (!number(v, 0, 1000000, &n)) return bad("0 to 1000000");
      o.rate = n;
    } else if (a == "--mix") {
      if (!parseMix(v, &o.mix, error)) return ParseResult::Error;
    } else if (a == "--drop-share") {
      if (!number(v, 0, 100, &n)) return bad("0 to 100");
      o.dropShare = n;
    } else if (a == "--timeout-ms") {
      if (!number(v, 10, 60000, &n) || n != std::floor(n)) return bad("10 to 60000");
      o.timeoutMs = static_cast<int>(n);
    } else if (a == "--amount") {
      if (!number(v, 1, 999999999999.0, &n) || n != std::floor(n)) return bad("1 to 999999999999");
      o.amount = static_cast<long long>(n);
    } else if (a == "--cards") {
      if (!loadCards(v, &o.cards, error)) return ParseResult::Error;
    } else if (a == "--master-key") {
      std::uint8_t key[KEY_LEN];
      if (!fromHex(v, key, KEY_LEN)) return bad("32 hex digits");
      o.masterKeyHex = v;
    } else if (a == "--serial-prefix") {
      if (v.empty() || v.size() > 8 || v.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") != std::string::npos)
        return bad("1 to 8 upper-case letters or digits");
      o.serialPrefix = v;
    } else if (a == "--switchsim") {
      o.switchsim = v;
    } else if (a == "--ledger") {
      o.ledger = v;
    } else {
      *error = "unknown option " + a;
      return ParseResult::Error;
    }
  }
  if (o.port < 0) {
    *error = "--port is required";
    return ParseResult::Error;
  }
  if (o.switchsim.empty() != o.ledger.empty()) {
    *error = "--switchsim and --ledger go together";
    return ParseResult::Error;
  }
  *options = o;
  return ParseResult::Run;
}

double percentile(std::vector<double> *samples, double p) {
  if (samples->empty()) return 0;
  std::sort(samples->begin(), samples->end());
  double rank = std::ceil(p / 100.0 * static_cast<double>(samples->size()));
  std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return (*samples)[std::min(index, samples->size() - 1)];
}

void printReport(std::FILE *out, Report &report) {
  std::fprintf(out, "%d terminals logged on, %ld requests started in %.2f s (%.0f/s)\n", report.loggedOn,
               report.started, report.elapsedS,
               report.elapsedS > 0 ? static_cast<double>(report.started) / report.elapsedS : 0.0);
  std::fprintf(out, "%-9s %8s %10s %9s %9s %9s %6s %7s  %s\n", "kind", "answers", "per s", "p50 ms", "p99 ms",
               "max ms", "lost", "dropped", "codes");
  for (int k = 0; k < KIND_COUNT; ++k) {
    KindStats &s = report.kinds[static_cast<std::size_t>(k)];
    if (s.count == 0 && s.lost == 0) continue;
    std::string codes;
    for (const auto &[code, n] : s.codes) codes += (codes.empty() ? "" : " ") + code + "×" + std::to_string(n);
    double p50 = percentile(&s.latencyMs, 50), p99 = percentile(&s.latencyMs, 99);
    double max = s.latencyMs.empty() ? 0 : s.latencyMs.back();
    std::fprintf(out, "%-9s %8ld %10.1f %9.3f %9.3f %9.3f %6ld %7ld  %s\n", kindName(k), s.count,
                 report.elapsedS > 0 ? static_cast<double>(s.count) / report.elapsedS : 0.0, p50, p99, max, s.lost,
                 s.dropped, codes.c_str());
  }
  for (const std::string &p : report.problems) std::fprintf(out, "problem: %s\n", p.c_str());
}

std::vector<std::string> checkSummary(const std::string &summary, const Expected &expected) {
  std::vector<std::string> problems;
  std::map<std::string, int> seen;
  std::istringstream lines(summary);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string key, kind, amount;
    if (!(words >> key >> kind >> amount)) continue;
    auto it = expected.find(key);
    if (it == expected.end()) continue; // another terminal's, or the totals
    std::string state;
    std::getline(words, state);
    state.erase(0, state.find_first_not_of(' '));
    if (++seen[key] > 1) {
      problems.push_back(key + ": listed more than once");
      continue;
    }
    if (state != it->second) problems.push_back(key + ": " + state + ", expected " + it->second);
  }
  for (const auto &[key, state] : expected)
    if (!seen.count(key)) problems.push_back(key + ": missing from the ledger, expected " + state);
  return problems;
}

} // namespace termload
