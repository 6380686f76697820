/*
 * switch.cpp - one request frame in, one answer frame out, with the books kept.
 *
 * Sections: cards, fault script, JSON ledger lines, request decoding, the
 * answers per request kind, the answer frame, ledger summary.
 *
 * Checks in order: MAC (63), then for card requests the card (56) and the PIN
 * block (55), then the funds (51). A forced code from the fault script replaces
 * the answer's code and the request then changes no balance.
 */
#include "switch.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "iso8583/tul_iso8583.h"

namespace switchsim {

/* ---- cards ----------------------------------------------------------------------- */

std::vector<Card> defaultCards() {
  return {
      {"6037991234567890", "6037991234567890=2512101123456789", "1234", 5000000, 250000},
      {"6104337012345678901", "6104337012345678901=27061011234567", "4321", 2000000, 0},
      {"6219861111222233", "6219861111222233=2612101000000000", "1111", 10000, 0},
  };
}

bool loadCards(const std::string &path, std::vector<Card> *cards, std::string *error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  std::vector<Card> loaded;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    std::string::size_type hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    Card c{};
    if (!(words >> c.pan)) continue; // blank line
    if (!(words >> c.track2 >> c.pin >> c.balance)) {
      *error = path + ":" + std::to_string(n) + ": expected PAN TRACK2 PIN BALANCE [BLOCKED]";
      return false;
    }
    if (!(words >> c.blocked)) c.blocked = 0;
    loaded.push_back(c);
  }
  *cards = loaded;
  return true;
}

std::string maskPan(const std::string &pan) {
  if (pan.size() < 10) return std::string(pan.size(), '*');
  return pan.substr(0, 6) + std::string(pan.size() - 10, '*') + pan.substr(pan.size() - 4);
}

/* ---- fault script ---------------------------------------------------------------- */

const char *faultName(FaultAction a) {
  switch (a) {
  case FaultAction::Drop: return "drop";
  case FaultAction::Close: return "close";
  case FaultAction::Delay: return "delay";
  case FaultAction::Split: return "split";
  case FaultAction::Garbage: return "garbage";
  case FaultAction::Truncate: return "truncate";
  case FaultAction::Code: return "code";
  default: return "none";
  }
}

namespace {

bool allDigits(const std::string &s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Request numbers and milliseconds in a fault script: more digits than this
// would not fit a long on every platform.
constexpr std::size_t MAX_NUMBER_DIGITS = 9;

} // namespace

bool parseFaults(const std::string &text, std::vector<Fault> *faults, std::string *error) {
  std::istringstream lines(text);
  std::string line;
  std::vector<Fault> parsed;
  for (int n = 1; std::getline(lines, line); ++n) {
    std::string::size_type hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string s; words >> s;)
      w.push_back(s);
    if (w.empty()) continue;
    auto fail = [&](const std::string &why) {
      *error = "line " + std::to_string(n) + ": " + why;
      return false;
    };
    Fault f;
    if (w.back() == "once") {
      f.once = true;
      w.pop_back();
    }
    if (w.size() < 2) return fail("expected SELECTOR ACTION [ARG] [once]");
    std::string sel = w[0];
    std::string::size_type slash = sel.find('/');
    if (slash != std::string::npos) {
      f.mti = sel.substr(0, slash);
      f.pc = sel.substr(slash + 1);
      if (f.mti.size() != 4 || !allDigits(f.mti) || f.pc.size() != 6 || !allDigits(f.pc))
        return fail("selector MTI/PC needs 4 and 6 digits");
    } else if (sel.size() == 4 && sel[0] == '0' && allDigits(sel)) {
      f.mti = sel;
    } else if (allDigits(sel) && sel.size() <= MAX_NUMBER_DIGITS) {
      f.nth = std::stol(sel);
      if (f.nth < 1) return fail("request numbers start at 1");
    } else {
      return fail("unknown selector '" + sel + "'");
    }
    const std::string &a = w[1];
    std::string arg = w.size() > 2 ? w[2] : "";
    if (w.size() > 3) return fail("too many words");
    if (a == "drop")
      f.action = FaultAction::Drop;
    else if (a == "close")
      f.action = FaultAction::Close;
    else if (a == "garbage")
      f.action = FaultAction::Garbage;
    else if (a == "truncate")
      f.action = FaultAction::Truncate;
    else if (a == "delay" || a == "split") {
      f.action = a == "delay" ? FaultAction::Delay : FaultAction::Split;
      if (arg.empty() && a == "split") arg = "200";
      if (!allDigits(arg) || arg.size() > MAX_NUMBER_DIGITS) return fail(a + " needs milliseconds");
      f.ms = std::stol(arg);
      arg.clear();
    } else if (a == "code") {
      f.action = FaultAction::Code;
      if (arg.size() != 2) return fail("code needs a two-character response code");
      f.code = arg;
      arg.clear();
    } else {
      return fail("unknown action '" + a + "'");
    }
    if (!arg.empty()) return fail("unexpected '" + arg + "'");
    parsed.push_back(f);
  }
  *faults = parsed;
  return true;
}

/* ---- JSON ledger lines ------------------------------------------------------------- */

namespace {

std::string jsonString(const std::string &s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof(buf), "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Fields of one ledger line, in order; values are JSON already.
struct JsonLine {
  std::vector<std::pair<std::string, std::string>> fields;
  void str(const std::string &k, const std::string &v) { fields.emplace_back(k, jsonString(v)); }
  void num(const std::string &k, long long v) { fields.emplace_back(k, std::to_string(v)); }
  void flag(const std::string &k, bool v) { fields.emplace_back(k, v ? "true" : "false"); }
  std::string text() const {
    std::string s = "{";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i) s += ",";
      s += jsonString(fields[i].first) + ":" + fields[i].second;
    }
    return s + "}";
  }
};

void writeLedger(std::FILE *ledger, const JsonLine &line) {
  if (ledger == nullptr) return;
  std::fprintf(ledger, "%s\n", line.text().c_str());
  std::fflush(ledger);
}

} // namespace

bool parseJsonLine(const std::string &line, std::map<std::string, std::string> *out) {
  std::size_t i = 0;
  auto skip = [&] {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
      ++i;
  };
  auto readString = [&](std::string *s) {
    if (i >= line.size() || line[i] != '"') return false;
    ++i;
    s->clear();
    while (i < line.size() && line[i] != '"') {
      if (line[i] == '\\' && i + 1 < line.size()) {
        ++i;
        if (line[i] == 'u') {
          // Only the \u00XX escapes this writer makes; anything else is a damaged line.
          if (i + 4 >= line.size() ||
              !std::all_of(line.begin() + static_cast<long>(i) + 1, line.begin() + static_cast<long>(i) + 5,
                           [](unsigned char c) { return std::isxdigit(c) != 0; }))
            return false;
          *s += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
          i += 4;
        } else {
          *s += line[i];
        }
      } else {
        *s += line[i];
      }
      ++i;
    }
    if (i >= line.size()) return false;
    ++i;
    return true;
  };
  skip();
  if (i >= line.size() || line[i] != '{') return false;
  ++i;
  for (;;) {
    skip();
    if (i < line.size() && line[i] == '}') return true;
    std::string key, value;
    if (!readString(&key)) return false;
    skip();
    if (i >= line.size() || line[i] != ':') return false;
    ++i;
    skip();
    if (i < line.size() && line[i] == '"') {
      if (!readString(&value)) return false;
    } else {
      while (i < line.size() && line[i] != ',' && line[i] != '}')
        value += line[i++];
      while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
        value.pop_back();
    }
    (*out)[key] = value;
    skip();
    if (i < line.size() && line[i] == ',') {
      ++i;
      continue;
    }
    if (i < line.size() && line[i] == '}') return true;
    return false;
  }
}

namespace {

std::string nowText(const char *format) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof(buf), format, &tm);
  return buf;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
    s.pop_back();
  return s;
}

const char *kindOf(const std::string &mti, const std::string &pc) {
  if (mti == "0800") return "key-exchange";
  if (mti == "0100" && pc == "930000") return "merchant-info";
  if (pc == "310000") return "balance";
  if (pc == "190000") return "bill-inquiry";
  if (pc == "000000") return "purchase";
  if (pc == "170000") return "bill-payment";
  if (pc == "180000") return "voucher";
  if (pc == "220000") return "top-up";
  return "unknown";
}

// Field 42: the merchant id padded with spaces to 15 characters.
std::string merchantField(const std::string &merchantId) {
  char merchant[16];
  std::snprintf(merchant, sizeof(merchant), "%-15s", merchantId.c_str());
  return merchant;
}

// The merchant's name as the switch keeps it, in Windows-1256: "Nemune store".
const std::string MERCHANT_NAME_1256 = "\xDD\xD1\xE6\xD4\x90\xC7\xE5 \xE4\xE3\xE6\xE4\xE5";
const char *MERCHANT_PHONE = "02188776655";
const char *MERCHANT_EXTRA = "branch 12";
const char *MERCHANT_PARAM49 = "12";
// Letters and dashes, so no card-number scanner takes it for a card.
const char *TAX_CODE = "TAX-SIM-00000001";
const char *FIRST_TERMINAL_ID = "10000001";
const char *MERCHANT_ID = "123456789012";

} // namespace

/* ---- request decoding ---------------------------------------------------------------- */

struct Switch::Request {
  TUL_ISO8583_HANDLER handler{};
  TUL_ISO8583_MSG msg{};
  std::vector<std::uint8_t> raw; // the packed message
  std::uint8_t tpdu[5] = {0};
  std::string mti, pc, stan, terminalId, pan;
  std::map<int, std::string> tags;
  Terminal *term = nullptr;
  std::map<unsigned, std::string> out; // answer fields beyond the common ones
  std::string rc = "00";
  std::string txnKey;
  std::string origRrn, origSwitchStan; // an advice's or reversal's original transaction
  JsonLine log, answerLog;

  Request() {
    TUL_ISO8583_DEFS_GetHandler(&handler);
    TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  }
  ~Request() { TUL_ISO8583_MSG_Free(&msg); }
  Request(const Request &) = delete;
  Request &operator=(const Request &) = delete;

  bool has(unsigned f) const { return TUL_ISO8583_MSG_HaveField(f, &msg) == 1; }
  std::string field(unsigned f) const {
    unsigned char *data = nullptr;
    std::uint32_t len = 0;
    if (TUL_ISO8583_MSG_GetField_Bin(f, &msg, &data, &len) != 0 || data == nullptr) return "";
    return std::string(reinterpret_cast<const char *>(data), len);
  }
  long long amount() const {
    std::string a = field(4);
    return allDigits(a) ? std::stoll(a) : 0;
  }
  std::string tag(int t) const {
    auto it = tags.find(t);
    return it == tags.end() ? "" : it->second;
  }
  // The request as a new booking under txnKey; the caller fills in the outcome.
  Booking booking(const std::string &kind) const {
    Booking b;
    b.key = txnKey;
    b.kind = kind;
    b.pan = pan;
    b.amount = amount();
    return b;
  }
};

namespace {

// Field 2 as sent. A 19-digit number travels as 20 nibbles ending in F under
// the length byte 0x19, which the codec reads right-aligned; read those from
// the raw bytes instead.
std::string decodePan(const std::vector<std::uint8_t> &raw, const std::string &decoded) {
  if (decoded.size() != 19 || decoded.back() != 'F' || raw.size() < 10) return decoded;
  std::size_t off = 2 + ((raw[2] & 0x80) ? 16 : 8); // field 2 comes first after MTI and bitmap
  if (raw.size() < off + 11 || raw[off] != 0x19) return decoded;
  std::string digits = toHex(&raw[off + 1], 10);
  return digits.substr(0, 19);
}

std::map<int, std::string> parseTags(const std::string &f48) {
  std::map<int, std::string> tags;
  std::size_t pos = 0;
  while (pos + 2 <= f48.size()) {
    auto bcd = [](unsigned char b) { return (b >> 4) * 10 + (b & 0x0F); };
    int l = bcd(static_cast<unsigned char>(f48[pos]));
    int t = bcd(static_cast<unsigned char>(f48[pos + 1]));
    if (l == 0 || static_cast<std::size_t>(l - 1) > f48.size() - pos - 2) break;
    tags[t] = f48.substr(pos + 2, static_cast<std::size_t>(l - 1));
    pos += 2 + static_cast<std::size_t>(l - 1);
  }
  return tags;
}

void addTag(std::string *f48, int tag, const std::string &value) {
  auto bcd = [](int v) { return static_cast<char>(((v / 10) << 4) | (v % 10)); };
  *f48 += bcd(static_cast<int>(value.size()) + 1);
  *f48 += bcd(tag);
  *f48 += value;
}

// A readable listing of one message; card data, PIN blocks and keys never appear.
void dumpMessage(std::FILE *out, const char *title, const TUL_ISO8583_MSG &msg, const std::string &pan) {
  if (out == nullptr) return;
  std::fprintf(out, "%s\n", title);
  for (unsigned f = 0; f < TUL_ISO8583_FIELD_COUNT; ++f) {
    if (f == 1 || TUL_ISO8583_MSG_HaveField(f, &msg) != 1) continue;
    unsigned char *data = nullptr;
    std::uint32_t len = 0;
    TUL_ISO8583_MSG_GetField_Bin(f, &msg, &data, &len);
    std::string v(reinterpret_cast<const char *>(data), len);
    std::string shown;
    if (f == 2)
      shown = maskPan(pan);
    else if (f == 35)
      shown = "(track 2, " + std::to_string(len) + " bytes, not shown)";
    else if (f == 45)
      shown = "(track 1, " + std::to_string(len) + " bytes, not shown)";
    else if (f == 36)
      shown = "(track 3, " + std::to_string(len) + " bytes, not shown)";
    else if (f == 52)
      shown = "(PIN block, not shown)";
    else if (f == 62)
      shown = "(working keys, " + std::to_string(len) + " bytes, not shown)";
    else if (f == 48) {
      for (const auto &[tag, value] : parseTags(v)) {
        char head[16];
        std::snprintf(head, sizeof(head), "%s%02d=", shown.empty() ? "" : " ", tag);
        bool printable = std::all_of(value.begin(), value.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
        shown +=
            head + (tag == 41   ? std::string("(charge PIN, not shown)")
                    : printable ? value
                                : "hex:" + toHex(reinterpret_cast<const std::uint8_t *>(value.data()), value.size()));
      }
    } else {
      bool printable = std::all_of(v.begin(), v.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
      shown = printable ? v : "hex:" + toHex(data, len);
    }
    std::fprintf(out, "  [%03u] %s\n", f, shown.c_str());
  }
  std::fflush(out);
}

} // namespace

Switch::Switch(Options options) : options_(std::move(options)) {}

Fault *Switch::matchFault(const std::string &mti, const std::string &pc) {
  for (Fault &f : options_.faults) {
    if (f.spent) continue;
    bool hit = f.nth != 0 ? f.nth == requestCount_ : (f.mti == mti && (f.pc.empty() || f.pc == pc));
    if (!hit) continue;
    if (f.once || f.nth != 0) f.spent = true;
    return &f;
  }
  return nullptr;
}

Card *Switch::findCard(const std::string &pan) {
  for (Card &c : options_.cards)
    if (c.pan == pan) return &c;
  return nullptr;
}

bool Switch::checkCardAndPin(Request &rq, Card **card) {
  *card = findCard(rq.pan);
  if (*card == nullptr) {
    rq.rc = "56";
    return false;
  }
  if (!rq.has(52)) {
    rq.log.str("pin", "absent");
    rq.rc = "55";
    return false;
  }
  std::string block = rq.field(52);
  std::string pin = block.size() == 8
                        ? pinFromBlock(rq.term->pinKey, reinterpret_cast<const std::uint8_t *>(block.data()), rq.pan)
                        : "";
  bool ok = !pin.empty() && pin == (*card)->pin;
  rq.log.str("pin", ok ? "ok" : "bad");
  if (!ok) rq.rc = "55";
  return ok;
}

void Switch::answerKeyExchange(Request &rq) {
  std::string serial = rq.tag(1);
  Terminal *term = nullptr;
  for (auto &[id, t] : terminals_)
    if (t.serial == serial) term = &t;
  if (term == nullptr) {
    Terminal t{};
    t.serial = serial;
    char id[16];
    std::snprintf(id, sizeof(id), "%08ld", std::stol(FIRST_TERMINAL_ID) + static_cast<long>(terminals_.size()));
    t.terminalId = id;
    t.merchantId = MERCHANT_ID;
    term = &(terminals_[t.terminalId] = t);
  }
  // Fresh working keys; their enciphered form must hold no zero byte, since
  // the terminal reads field 62 up to its first zero byte.
  std::uint8_t clear[3 * KEY_LEN], enciphered[3 * KEY_LEN];
  for (int attempt = 0;; ++attempt) {
    if (!randomBytes(clear, sizeof(clear)) ||
        !tdesEcb(options_.masterKey, clear, enciphered, sizeof(enciphered), true)) {
      rq.rc = "96";
      return;
    }
    if (std::find(enciphered, enciphered + sizeof(enciphered), 0) == enciphered + sizeof(enciphered)) break;
  }
  std::memcpy(term->pinKey, clear, KEY_LEN);
  std::memcpy(term->macKey, clear + KEY_LEN, KEY_LEN);
  std::memcpy(term->dataKey, clear + 2 * KEY_LEN, KEY_LEN);
  rq.term = term;
  rq.out[41] = term->terminalId;
  rq.out[42] = merchantField(term->merchantId);
  rq.out[62] = std::string(reinterpret_cast<const char *>(enciphered), sizeof(enciphered));
  std::string f48;
  addTag(&f48, 50, nowText("%Y%m%d%H%M%S"));
  addTag(&f48, 98, TAX_CODE);
  rq.out[48] = f48;
  rq.log.str("serial", serial);
  rq.answerLog.str("terminal_id", term->terminalId);
}

void Switch::answerMerchantInfo(Request &rq) {
  rq.out[42] = merchantField(rq.term->merchantId);
  std::string f48;
  addTag(&f48, 31, MERCHANT_NAME_1256 + "\\");
  addTag(&f48, 34, MERCHANT_PHONE);
  addTag(&f48, 35, MERCHANT_EXTRA);
  addTag(&f48, 49, MERCHANT_PARAM49);
  addTag(&f48, 98, TAX_CODE);
  rq.out[48] = f48;
}

void Switch::answerFinancial(Request &rq) {
  const std::string kind = kindOf(rq.mti, rq.pc);
  long long amount = rq.amount();
  if (kind == "bill-inquiry") {
    std::string bill = rq.tag(6), payment = rq.tag(7);
    rq.log.str("bill_id", bill);
    rq.log.str("payment_id", payment);
    // The leading digits of the payment identifier count thousands of Rials.
    if (payment.size() < 6 || payment.size() > 13 || !allDigits(payment)) {
      rq.rc = "12";
      return;
    }
    long long due = std::stoll(payment.substr(0, payment.size() - 5)) * 1000;
    char f4[16];
    std::snprintf(f4, sizeof(f4), "%012lld", due);
    rq.out[4] = f4;
    rq.answerLog.num("amount", due);
    return;
  }
  Card *card = nullptr;
  bool cardOk = checkCardAndPin(rq, &card);
  if (kind == "balance") {
    if (!cardOk) return;
    long long available = card->balance - card->blocked;
    char f4[16], f54[48];
    std::snprintf(f4, sizeof(f4), "%012lld", available);
    // Available (amount type 02) first, ledger (01) second: the terminal
    // prints the second block as the actual balance.
    std::snprintf(f54, sizeof(f54), "0002364C%012lld0001364C%012lld", available, card->balance);
    rq.out[4] = f4;
    rq.out[54] = f54;
    rq.answerLog.num("ledger_balance", card->balance);
    rq.answerLog.num("available_balance", available);
    return;
  }
  // 0200: a booking either way, so the summary can tell a decline from an open one.
  rq.txnKey = rq.terminalId + "/" + rq.stan;
  if (bookings_.count(rq.txnKey)) {
    rq.rc = "94"; // the same trace number again: never book twice
    return;
  }
  if (kind == "bill-payment") {
    rq.log.str("bill_id", rq.tag(6));
    rq.log.str("payment_id", rq.tag(7));
  } else if (kind == "top-up") {
    rq.log.str("phone", rq.tag(8));
  }
  if (kind == "voucher" || kind == "top-up") rq.log.str("product", rq.tag(14));
  Booking b = rq.booking(kind);
  if (cardOk && rq.rc == "00" && amount > card->balance - card->blocked) rq.rc = "51";
  if (cardOk && rq.rc == "00") {
    card->balance -= amount;
    b.debited = true;
    rq.answerLog.str("effect", "debit");
    rq.answerLog.num("balance_after", card->balance);
    if (kind == "voucher") {
      char serial[24];
      std::snprintf(serial, sizeof(serial), "%012lld", 400000000000LL + ++voucherCounter_);
      std::uint8_t pinDigits[16];
      randomBytes(pinDigits, sizeof(pinDigits));
      std::string chargePin;
      for (std::uint8_t d : pinDigits)
        chargePin += static_cast<char>('0' + d % 10);
      std::uint8_t enc[16];
      tdesEcb(rq.term->dataKey, reinterpret_cast<const std::uint8_t *>(chargePin.data()), enc, sizeof(enc), true);
      std::string reversed(serial);
      std::reverse(reversed.begin(), reversed.end()); // the terminal turns it round again
      std::string f48;
      addTag(&f48, 40, reversed);
      addTag(&f48, 41, toHex(enc, sizeof(enc)));
      rq.out[48] = f48;
      rq.answerLog.str("voucher_serial", serial); // the charge PIN itself is never written down
    }
  }
  b.rc = rq.rc;
  bookings_[b.key] = b;
}

void Switch::answerAdvice(Request &rq) {
  std::string rrn = trimmed(rq.field(37));
  auto it = byRrn_.find(rq.terminalId + "/" + rrn);
  if (it == byRrn_.end()) {
    rq.rc = "25";
    return;
  }
  Booking &b = bookings_[it->second];
  rq.txnKey = b.key;
  rq.origRrn = b.rrn;
  rq.origSwitchStan = b.switchStan;
  b.advised = true;
}

void Switch::answerReversal(Request &rq) {
  std::string original = rq.field(90);
  std::string origStan = original.size() >= 10 ? original.substr(4, 6) : "";
  rq.txnKey = rq.terminalId + "/" + origStan;
  rq.log.str("orig_stan", origStan);
  auto it = bookings_.find(rq.txnKey);
  if (it == bookings_.end()) {
    // Never arrived here: nothing to give back, but the transaction is closed.
    Booking b = rq.booking(kindOf("0200", rq.pc));
    b.reversed = true;
    bookings_[b.key] = b;
    rq.answerLog.str("effect", "none");
    return;
  }
  Booking &b = it->second;
  rq.origRrn = b.rrn;
  rq.origSwitchStan = b.switchStan;
  if (b.debited && !b.reversed) {
    if (Card *card = findCard(b.pan)) {
      card->balance += b.amount;
      rq.answerLog.str("effect", "credit");
      rq.answerLog.num("balance_after", card->balance);
    }
  } else {
    rq.answerLog.str("effect", "none"); // a repeated reversal gives nothing back twice
  }
  b.reversed = true;
}

Reply Switch::handle(const std::vector<std::uint8_t> &frame, const std::string &peer) {
  Reply reply;
  ++requestCount_;
  Request rq;
  if (frame.size() < 7 + 10) {
    reply.action = FaultAction::Close;
    return reply;
  }
  std::memcpy(rq.tpdu, &frame[2], 5);
  rq.raw.assign(frame.begin() + 7, frame.end());
  int unpacked = TUL_ISO8583_MSG_Unpack(&rq.handler, rq.raw.data(), static_cast<std::uint32_t>(rq.raw.size()), &rq.msg);
  rq.mti = rq.field(0);
  rq.pc = rq.field(3);
  rq.stan = rq.field(11);
  rq.terminalId = trimmed(rq.field(41));
  rq.pan = decodePan(rq.raw, rq.field(2));
  if (rq.has(48)) rq.tags = parseTags(rq.field(48));
  const std::string kind = kindOf(rq.mti, rq.pc);

  rq.log.num("seq", requestCount_);
  rq.log.str("dir", "request");
  rq.log.str("time", nowText("%Y-%m-%dT%H:%M:%S"));
  rq.log.str("peer", peer);
  rq.log.str("mti", rq.mti);
  rq.log.str("pc", rq.pc);
  rq.log.str("kind", kind);
  rq.log.str("stan", rq.stan);
  rq.log.str("terminal", rq.terminalId);
  if (!rq.pan.empty()) rq.log.str("pan", maskPan(rq.pan));
  if (rq.has(4)) rq.log.num("amount", rq.amount());
  if (unpacked != 0) rq.log.str("decode", "failed");

  char title[128];
  std::snprintf(title, sizeof(title), ">> request #%ld from %s: %s %s (%zu bytes)", requestCount_, peer.c_str(),
                rq.mti.c_str(), kind.c_str(), frame.size());
  dumpMessage(options_.dump, title, rq.msg, rq.pan);

  Fault *fault = matchFault(rq.mti, rq.pc);
  if (fault != nullptr) {
    reply.action = fault->action;
    reply.ms = fault->ms;
    rq.log.str("fault", faultName(fault->action));
  }
  if (reply.action == FaultAction::Close) {
    // The connection goes before the request is looked at.
    writeLedger(options_.ledger, rq.log);
    return reply;
  }

  // MAC: the key exchange is MACed with the provisional keys (zero working
  // keys as the PIN pad deciphers them), everything else with the terminal's MAC key.
  std::uint8_t provisional[KEY_LEN];
  const std::uint8_t *macKey = nullptr;
  std::size_t macExclude = 8;
  if (rq.mti == "0800") {
    static const std::uint8_t zeros[KEY_LEN] = {0};
    tdesEcb(options_.masterKey, zeros, provisional, KEY_LEN, false);
    macKey = provisional;
    macExclude = 4;
  } else {
    auto t = terminals_.find(rq.terminalId);
    if (t != terminals_.end()) {
      rq.term = &t->second;
      macKey = rq.term->macKey;
    }
  }
  unsigned macField = rq.has(128) ? 128 : 64;
  std::string macState = "absent";
  if (rq.has(macField) && macKey != nullptr && unpacked == 0) {
    std::string expected = macText(macKey, rq.raw.data(), rq.raw.size(), macExclude);
    macState = (!expected.empty() && expected == rq.field(macField)) ? "ok" : "bad";
  } else if (rq.has(macField)) {
    macState = "bad";
  }
  rq.log.str("mac", macState);
  if (macState != "ok") rq.rc = "63";
  if (rq.rc == "00" && fault != nullptr && fault->action == FaultAction::Code) rq.rc = fault->code;

  if (rq.rc == "00") {
    if (rq.mti == "0800" && rq.pc == "920000")
      answerKeyExchange(rq);
    else if (rq.mti == "0100" && rq.pc == "930000")
      answerMerchantInfo(rq);
    else if (rq.mti == "0100" && (rq.pc == "310000" || rq.pc == "190000"))
      answerFinancial(rq);
    else if (rq.mti == "0200" && kind != std::string("unknown"))
      answerFinancial(rq);
    else if (rq.mti == "0220")
      answerAdvice(rq);
    else if (rq.mti == "0420")
      answerReversal(rq);
    else
      rq.rc = "12";
  } else if (rq.mti == "0200" && rq.has(11) && macState == "ok") {
    // Declined by a forced code: book the decline. A request that fails the
    // MAC may be forged and must not touch the claimed terminal's books.
    rq.txnKey = rq.terminalId + "/" + rq.stan;
    if (!bookings_.count(rq.txnKey)) {
      Booking b = rq.booking(kind);
      b.rc = rq.rc;
      bookings_[b.key] = b;
    }
  }
  if (!rq.txnKey.empty()) rq.log.str("txn", rq.txnKey);
  writeLedger(options_.ledger, rq.log);

  // The answer: the request's MTI one class up, the common fields, then the kind's own.
  Request an;
  std::string mti = rq.mti.size() == 4 ? rq.mti : "0800";
  mti[2] = static_cast<char>(mti[2] + 1);
  std::string rrn, sstan;
  if (rq.mti == "0220" || rq.mti == "0420") {
    // An advice or reversal names an earlier transaction: its answer carries
    // that transaction's numbers, which the terminal copies into its record.
    rrn = rq.origRrn.empty() ? trimmed(rq.field(37)) : rq.origRrn;
    sstan = rq.origSwitchStan.empty() ? rq.field(38) : rq.origSwitchStan;
  } else {
    char buf[24];
    std::snprintf(buf, sizeof(buf), "%012lld", 610000000000LL + ++rrnCounter_);
    rrn = buf;
    stanCounter_ = stanCounter_ % 999999 + 1;
    std::snprintf(buf, sizeof(buf), "%06ld", stanCounter_);
    sstan = buf;
  }
  std::map<unsigned, std::string> fields = rq.out;
  fields[0] = mti;
  fields[1] = std::string(8, '\0');
  for (unsigned f : {3u, 11u, 24u, 41u, 42u})
    if (rq.has(f) && !fields.count(f)) fields[f] = rq.field(f);
  fields[12] = nowText("%H%M%S");
  fields[13] = nowText("%m%d");
  if (!rrn.empty()) fields[37] = rrn;
  if (!sstan.empty()) fields[38] = sstan;
  fields[39] = rq.rc;
  const Terminal *macBy = rq.term;
  if (macBy != nullptr) fields[64] = std::string(8, '\0');
  for (const auto &[f, v] : fields)
    TUL_ISO8583_MSG_SetField_Bin(f, v.data(), static_cast<std::uint32_t>(v.size()), &an.msg);
  std::uint8_t packed[2048];
  std::uint32_t packedLen = 0;
  if (TUL_ISO8583_MSG_Pack(&an.handler, &an.msg, packed, sizeof(packed), &packedLen) != 0) {
    reply.action = FaultAction::Close;
    return reply;
  }
  if (macBy != nullptr) {
    std::string mac = macText(macBy->macKey, packed, packedLen, 8);
    TUL_ISO8583_MSG_SetField_Bin(64, mac.data(), static_cast<std::uint32_t>(mac.size()), &an.msg);
    packedLen = 0;
    TUL_ISO8583_MSG_Pack(&an.handler, &an.msg, packed, sizeof(packed), &packedLen);
  }
  if (rq.rc == "00" && (rq.mti == "0200") && !rq.txnKey.empty()) {
    bookings_[rq.txnKey].rrn = rrn;
    bookings_[rq.txnKey].switchStan = sstan;
    byRrn_[rq.terminalId + "/" + rrn] = rq.txnKey;
  }

  std::size_t n = packedLen + 5;
  reply.frame = {static_cast<std::uint8_t>(n >> 8),
                 static_cast<std::uint8_t>(n & 0xFF),
                 rq.tpdu[0],
                 rq.tpdu[3],
                 rq.tpdu[4],
                 rq.tpdu[1],
                 rq.tpdu[2]};
  reply.frame.insert(reply.frame.end(), packed, packed + packedLen);

  rq.answerLog.fields.insert(rq.answerLog.fields.begin(),
                             {{"seq", std::to_string(requestCount_)}, {"dir", "\"answer\""}});
  rq.answerLog.str("mti", mti);
  rq.answerLog.str("kind", kind);
  rq.answerLog.str("rc", rq.rc);
  rq.answerLog.str("rrn", rrn);
  rq.answerLog.str("switch_stan", sstan);
  if (!rq.txnKey.empty()) rq.answerLog.str("txn", rq.txnKey);
  if (fault != nullptr && fault->action != FaultAction::Code) rq.answerLog.str("fault", faultName(fault->action));
  rq.answerLog.flag("sent", reply.action != FaultAction::Drop);
  writeLedger(options_.ledger, rq.answerLog);

  std::snprintf(title, sizeof(title), "<< answer #%ld: %s rc %s%s%s", requestCount_, mti.c_str(), rq.rc.c_str(),
                fault ? ", fault " : "", fault ? faultName(fault->action) : "");
  dumpMessage(options_.dump, title, an.msg, "");
  return reply;
}

/* ---- ledger summary ------------------------------------------------------------------ */

int ledgerSummary(const std::string &path, std::FILE *out) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "switchsim: %s cannot be read\n", path.c_str());
    return 1;
  }
  struct Seen {
    std::string kind, amount, rc;
    bool requested = false, advised = false, reversed = false;
  };
  std::vector<std::string> order;
  std::map<std::string, Seen> txns;
  std::string line;
  while (std::getline(in, line)) {
    std::map<std::string, std::string> f;
    if (!parseJsonLine(line, &f) || !f.count("txn")) continue;
    const std::string &key = f["txn"];
    if (!txns.count(key)) order.push_back(key);
    Seen &s = txns[key];
    const std::string mti = f["mti"];
    bool request = f["dir"] == "request";
    if (request && mti == "0200") {
      s.requested = true;
      s.kind = f["kind"];
      s.amount = f["amount"];
    } else if (request && mti == "0420" && s.amount.empty()) {
      s.kind = f["kind"]; // a reversal of a request that never arrived
      s.amount = f["amount"];
    } else if (!request && mti == "0210") {
      s.rc = f["rc"];
    } else if (!request && mti == "0230" && f["rc"] == "00") {
      s.advised = true;
    } else if (!request && mti == "0430" && f["rc"] == "00") {
      s.reversed = true;
      if (s.kind.empty()) s.kind = f["kind"];
    }
  }
  int approved = 0, reversed = 0, declined = 0, open = 0;
  for (const std::string &key : order) {
    const Seen &s = txns[key];
    const char *state;
    if (s.reversed)
      state = "reversed", ++reversed;
    else if (s.rc == "00" && s.advised)
      state = "approved and advised", ++approved;
    else if (!s.rc.empty() && s.rc != "00")
      state = "declined", ++declined;
    else
      state = "still open", ++open;
    std::fprintf(out, "%-16s %-13s %12s  %s\n", key.c_str(), s.kind.c_str(), s.amount.c_str(), state);
  }
  std::fprintf(out, "%d approved and advised, %d reversed, %d declined, %d still open\n", approved, reversed, declined,
               open);
  return 0;
}

} // namespace switchsim
