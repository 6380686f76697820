/*
 * switch.cpp - one request frame in, one answer frame out, with the books kept.
 *
 * Sections: cards, fault script, request decoding, the routing table, the
 * checks (MAC, card and PIN), the answers per request kind, the answer frame.
 *
 * Checks in order: MAC (63), then for card requests the card (56) and the PIN
 * block (55), then the funds (51). A forced code from the fault script replaces
 * the answer's code and the request then changes no balance. A request that
 * fails its MAC changes nothing at all: it may be forged.
 */
#include "switch.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "iso8583/tul_iso8583.h"
#include "ledger.h"

namespace switchsim {

namespace {

bool allDigits(const std::string &s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Request numbers and milliseconds in a fault script: more digits than this
// would not fit a long on every platform.
constexpr std::size_t MAX_NUMBER_DIGITS = 9;
// Amounts travel as 12 digits.
constexpr std::size_t MAX_AMOUNT_DIGITS = 12;
// Card and fault files are a few lines; anything this big is a mistake.
constexpr std::uintmax_t MAX_TABLE_FILE = 1 << 20;

} // namespace

/* ---- cards ----------------------------------------------------------------------- */

std::vector<Card> defaultCards() {
  return {
      {"6037991234567890", "6037991234567890=2512101123456789", "1234", 5000000, 250000},
      {"6104337012345678901", "6104337012345678901=27061011234567", "4321", 2000000, 0},
      {"6219861111222233", "6219861111222233=2612101000000000", "1111", 10000, 0},
  };
}

bool readSmallFile(const std::string &path, std::string *text, std::string *error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  if (static_cast<std::uintmax_t>(st.st_size) > MAX_TABLE_FILE) {
    *error = path + ": larger than 1 MiB";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  if (!in || !(s << in.rdbuf())) {
    // An empty file makes operator<< fail without being an error.
    if (in && st.st_size == 0) {
      text->clear();
      return true;
    }
    *error = path + ": cannot be read";
    return false;
  }
  *text = s.str();
  return true;
}

bool parseCards(const std::string &text, const std::string &source, std::vector<Card> *cards, std::string *error) {
  std::istringstream lines(text);
  std::vector<Card> loaded;
  std::map<std::string, int> seenAt;
  std::string line;
  for (int n = 1; std::getline(lines, line); ++n) {
    auto fail = [&](const std::string &why) {
      *error = source + ":" + std::to_string(n) + ": " + why;
      return false;
    };
    std::string::size_type hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string s; words >> s;) w.push_back(s);
    if (w.empty()) continue;
    if (w.size() < 4 || w.size() > 5) return fail("expected PAN TRACK2 PIN BALANCE [BLOCKED]");
    Card c{};
    c.pan = w[0];
    c.track2 = w[1];
    c.pin = w[2];
    if (!allDigits(c.pan) || c.pan.size() < 12 || c.pan.size() > 19)
      return fail("card number '" + maskPan(c.pan) + "' is not 12 to 19 digits");
    if (seenAt.count(c.pan))
      return fail("card " + maskPan(c.pan) + " is already on line " + std::to_string(seenAt[c.pan]));
    std::string afterPan = c.track2.size() > c.pan.size() ? c.track2.substr(c.pan.size() + 1) : "";
    if (c.track2.compare(0, c.pan.size(), c.pan) != 0 || c.track2.size() <= c.pan.size() ||
        c.track2[c.pan.size()] != '=' || !allDigits(afterPan) || c.track2.size() > 37)
      return fail("track 2 must be the card number, '=' and digits (37 characters at most)");
    if (!allDigits(c.pin) || c.pin.size() < 4 || c.pin.size() > 12) return fail("PIN must be 4 to 12 digits");
    for (std::size_t i = 3; i < w.size(); ++i)
      if (!allDigits(w[i]) || w[i].size() > MAX_AMOUNT_DIGITS)
        return fail("amount '" + w[i] + "' is not a whole number of Rials (at most 12 digits)");
    c.balance = std::stoll(w[3]);
    c.blocked = w.size() > 4 ? std::stoll(w[4]) : 0;
    if (c.blocked > c.balance) return fail("blocked amount exceeds the balance");
    seenAt[c.pan] = n;
    loaded.push_back(c);
  }
  *cards = loaded;
  return true;
}

bool loadCards(const std::string &path, std::vector<Card> *cards, std::string *error) {
  std::string text;
  return readSmallFile(path, &text, error) && parseCards(text, path, cards, error);
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

/* ---- shared helpers ------------------------------------------------------------------ */

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

/* ---- request decoding ---------------------------------------------------------------- */

struct Switch::Request {
  TUL_ISO8583_HANDLER handler{};
  TUL_ISO8583_MSG msg{};
  std::vector<std::uint8_t> raw; // the packed message
  std::uint8_t tpdu[5] = {0};
  int unpacked = TUL_ISO8583_FAIL;
  TUL_ISO8583_ERROR decodeError{TUL_ISO8583_NO_FIELD, 0};
  std::string mti, pc, stan, terminalId, pan, kind;
  std::map<int, std::string> tags;
  Terminal *term = nullptr;
  bool macOk = false;
  const Fault *fault = nullptr; // the fault script's rule for it, if any
  std::map<unsigned, std::string> out; // answer fields beyond the common ones
  std::string rc = rc::APPROVED;
  std::string txnKey;
  std::string origRrn, origSwitchStan; // an advice's or reversal's original transaction
  LedgerLine log, answerLog;

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
    return allDigits(a) && a.size() <= MAX_AMOUNT_DIGITS ? std::stoll(a) : 0;
  }
  std::string tag(int t) const {
    auto it = tags.find(t);
    return it == tags.end() ? "" : it->second;
  }
  // The request as a new booking under txnKey; the caller fills in the outcome.
  Booking booking() const {
    Booking b;
    b.key = txnKey;
    b.kind = kind;
    b.pan = pan;
    b.amount = amount();
    return b;
  }
};

/* ---- the routing table ----------------------------------------------------------------- */

const Switch::Route Switch::ROUTES[] = {
    {"0800", "920000", "key-exchange", &Switch::answerKeyExchange},
    {"0100", "930000", "merchant-info", &Switch::answerMerchantInfo},
    {"0100", "310000", "balance", &Switch::answerBalance},
    {"0100", "190000", "bill-inquiry", &Switch::answerBillInquiry},
    {"0200", "000000", "purchase", &Switch::answerDebit},
    {"0200", "170000", "bill-payment", &Switch::answerDebit},
    {"0200", "180000", "voucher", &Switch::answerDebit},
    {"0200", "220000", "top-up", &Switch::answerDebit},
    {"0220", nullptr, nullptr, &Switch::answerAdvice},
    {"0420", nullptr, nullptr, &Switch::answerReversal},
};

const Switch::Route *Switch::routeFor(const std::string &mti, const std::string &pc) {
  for (const Route &r : ROUTES)
    if (mti == r.mti && (r.pc == nullptr || pc == r.pc)) return &r;
  return nullptr;
}

std::string Switch::kindOf(const std::string &mti, const std::string &pc) {
  const Route *r = routeFor(mti, pc);
  if (r != nullptr && r->kind == nullptr) r = routeFor("0200", pc); // named after what it advises or reverses
  return r != nullptr && r->kind != nullptr ? r->kind : "unknown";
}

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

/* ---- the checks ------------------------------------------------------------------------ */

// The key exchange is MACed with the provisional keys (zero working keys as
// the PIN pad deciphers them), everything else with the terminal's MAC key.
void Switch::checkMac(Request &rq) {
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
  if (rq.has(macField) && macKey != nullptr && rq.unpacked == 0) {
    std::string expected = macText(macKey, rq.raw.data(), rq.raw.size(), macExclude);
    macState = (!expected.empty() && expected == rq.field(macField)) ? "ok" : "bad";
  } else if (rq.has(macField)) {
    macState = "bad";
  }
  rq.log["mac"] = macState;
  rq.macOk = macState == "ok";
  if (!rq.macOk) rq.rc = rc::SECURITY_VIOLATION;
}

bool Switch::checkCardAndPin(Request &rq, Card **card) {
  *card = findCard(rq.pan);
  if (*card == nullptr) {
    rq.rc = rc::UNKNOWN_CARD;
    return false;
  }
  if (!rq.has(52)) {
    rq.log["pin"] = "absent";
    rq.rc = rc::WRONG_PIN;
    return false;
  }
  std::string block = rq.field(52);
  std::string pin = block.size() == 8
                        ? pinFromBlock(rq.term->pinKey, reinterpret_cast<const std::uint8_t *>(block.data()), rq.pan)
                        : "";
  bool ok = !pin.empty() && pin == (*card)->pin;
  rq.log["pin"] = ok ? "ok" : "bad";
  if (!ok) rq.rc = rc::WRONG_PIN;
  return ok;
}

/* ---- the answers per request kind --------------------------------------------------------- */

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
  for (;;) {
    if (!randomBytes(clear, sizeof(clear)) ||
        !tdesEcb(options_.masterKey, clear, enciphered, sizeof(enciphered), true)) {
      rq.rc = rc::SYSTEM_MALFUNCTION;
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
  rq.log["serial"] = netText(serial);
  rq.answerLog["terminal_id"] = term->terminalId;
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

void Switch::answerBillInquiry(Request &rq) {
  std::string bill = rq.tag(6), payment = rq.tag(7);
  rq.log["bill_id"] = netText(bill);
  rq.log["payment_id"] = netText(payment);
  // The leading digits of the payment identifier count thousands of Rials.
  if (payment.size() < 6 || payment.size() > 13 || !allDigits(payment)) {
    rq.rc = rc::INVALID_TRANSACTION;
    return;
  }
  long long due = std::stoll(payment.substr(0, payment.size() - 5)) * 1000;
  char f4[24];
  std::snprintf(f4, sizeof(f4), "%012lld", due);
  rq.out[4] = f4;
  rq.answerLog["amount"] = due;
}

void Switch::answerBalance(Request &rq) {
  Card *card = nullptr;
  if (!checkCardAndPin(rq, &card)) return;
  long long available = card->balance - card->blocked;
  char f4[24], f54[64];
  std::snprintf(f4, sizeof(f4), "%012lld", available);
  // Available (amount type 02) first, ledger (01) second: the terminal
  // prints the second block as the actual balance.
  std::snprintf(f54, sizeof(f54), "0002364C%012lld0001364C%012lld", available, card->balance);
  rq.out[4] = f4;
  rq.out[54] = f54;
  rq.answerLog["ledger_balance"] = card->balance;
  rq.answerLog["available_balance"] = available;
}

namespace {

// A voucher's serial number (tag 40, turned round as the terminal expects)
// and its charge PIN enciphered with the data key (tag 41). The PIN itself is
// never written down anywhere.
std::string voucherTags(const Terminal &term, long long number, std::string *serialOut) {
  char serial[24];
  std::snprintf(serial, sizeof(serial), "%012lld", 400000000000LL + number);
  std::uint8_t pinDigits[16];
  randomBytes(pinDigits, sizeof(pinDigits));
  char chargePin[16];
  for (std::size_t i = 0; i < sizeof chargePin; ++i) chargePin[i] = static_cast<char>('0' + pinDigits[i] % 10);
  std::uint8_t enc[16];
  tdesEcb(term.dataKey, reinterpret_cast<const std::uint8_t *>(chargePin), enc, sizeof(enc), true);
  std::memset(chargePin, 0, sizeof chargePin);
  std::string reversed(serial);
  std::reverse(reversed.begin(), reversed.end()); // the terminal turns it round again
  std::string f48;
  addTag(&f48, 40, reversed);
  addTag(&f48, 41, toHex(enc, sizeof(enc)));
  *serialOut = serial;
  return f48;
}

} // namespace

// 0200: a booking either way, so the summary can tell a decline from an open one.
void Switch::answerDebit(Request &rq) {
  Card *card = nullptr;
  bool cardOk = checkCardAndPin(rq, &card);
  rq.txnKey = rq.terminalId + "/" + rq.stan;
  if (bookings_.count(rq.txnKey)) {
    rq.rc = rc::DUPLICATE; // the same trace number again: never book twice
    return;
  }
  if (rq.kind == "bill-payment") {
    rq.log["bill_id"] = netText(rq.tag(6));
    rq.log["payment_id"] = netText(rq.tag(7));
  } else if (rq.kind == "top-up") {
    rq.log["phone"] = netText(rq.tag(8));
  }
  if (rq.kind == "voucher" || rq.kind == "top-up") rq.log["product"] = netText(rq.tag(14));
  Booking b = rq.booking();
  long long amount = rq.amount();
  if (cardOk && rq.rc == rc::APPROVED && amount > card->balance - card->blocked) rq.rc = rc::NOT_SUFFICIENT_FUNDS;
  if (cardOk && rq.rc == rc::APPROVED) {
    card->balance -= amount;
    b.debited = true;
    rq.answerLog["effect"] = "debit";
    rq.answerLog["balance_after"] = card->balance;
    if (rq.kind == "voucher") {
      std::string serial;
      rq.out[48] = voucherTags(*rq.term, ++voucherCounter_, &serial);
      rq.answerLog["voucher_serial"] = serial;
    }
  }
  b.rc = rq.rc;
  bookings_[b.key] = b;
}

void Switch::answerAdvice(Request &rq) {
  std::string rrn = trimmed(rq.field(37));
  auto it = byRrn_.find(rq.terminalId + "/" + rrn);
  if (it == byRrn_.end()) {
    rq.rc = rc::NO_ORIGINAL;
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
  rq.log["orig_stan"] = netText(origStan);
  auto it = bookings_.find(rq.txnKey);
  if (it == bookings_.end()) {
    // Never arrived here: nothing to give back, but the transaction is closed.
    Booking b = rq.booking();
    b.reversed = true;
    bookings_[b.key] = b;
    rq.answerLog["effect"] = "none";
    return;
  }
  Booking &b = it->second;
  rq.origRrn = b.rrn;
  rq.origSwitchStan = b.switchStan;
  if (b.debited && !b.reversed) {
    if (Card *card = findCard(b.pan)) {
      card->balance += b.amount;
      rq.answerLog["effect"] = "credit";
      rq.answerLog["balance_after"] = card->balance;
    }
  } else {
    rq.answerLog["effect"] = "none"; // a repeated reversal gives nothing back twice
  }
  b.reversed = true;
}

// A decline forced by the fault script is booked, so the summary shows it.
void Switch::bookDecline(Request &rq) {
  rq.txnKey = rq.terminalId + "/" + rq.stan;
  if (bookings_.count(rq.txnKey)) return;
  Booking b = rq.booking();
  b.rc = rq.rc;
  bookings_[b.key] = b;
}

/* ---- the answer frame ------------------------------------------------------------------- */

// The request's MTI one class up, the common fields, then the kind's own.
void Switch::buildAnswer(Request &rq, Reply *reply) {
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
  TUL_ISO8583_ERROR packError{};
  if (TUL_ISO8583_MSG_Pack(&an.handler, &an.msg, packed, sizeof(packed), &packedLen, &packError) != 0) {
    // Only echoed request fields can make this happen (a value the dictionary refuses).
    if (options_.dump != nullptr)
      std::fprintf(options_.dump, "!! answer #%ld cannot be packed: field %u at byte %u; closing\n", requestCount_,
                   packError.field, packError.offset);
    rq.answerLog["pack"] = "failed";
    rq.answerLog["pack_field"] = packError.field;
    reply->action = FaultAction::Close;
    return;
  }
  if (macBy != nullptr && packedLen >= 8) {
    // Field 64 is the message's last 8 bytes: the MAC goes over its zero
    // placeholder without packing the message again.
    std::string mac = macText(macBy->macKey, packed, packedLen, 8);
    if (mac.size() == 8) std::memcpy(packed + packedLen - 8, mac.data(), 8);
    if (options_.dump != nullptr)
      TUL_ISO8583_MSG_SetField_Bin(64, mac.data(), static_cast<std::uint32_t>(mac.size()), &an.msg);
  }
  if (rq.rc == rc::APPROVED && rq.mti == "0200" && !rq.txnKey.empty()) {
    bookings_[rq.txnKey].rrn = rrn;
    bookings_[rq.txnKey].switchStan = sstan;
    byRrn_[rq.terminalId + "/" + rrn] = rq.txnKey;
  }

  std::size_t n = packedLen + 5;
  reply->frame = {static_cast<std::uint8_t>(n >> 8),
                  static_cast<std::uint8_t>(n & 0xFF),
                  rq.tpdu[0],
                  rq.tpdu[3],
                  rq.tpdu[4],
                  rq.tpdu[1],
                  rq.tpdu[2]};
  reply->frame.insert(reply->frame.end(), packed, packed + packedLen);
  rq.answerLog["mti"] = mti;
  rq.answerLog["rrn"] = rrn;
  rq.answerLog["switch_stan"] = netText(sstan);

  char title[128];
  std::snprintf(title, sizeof(title), "<< answer #%ld: %s rc %s%s%s", requestCount_, mti.c_str(),
                escapedForPrint(netText(rq.rc)).c_str(), rq.fault ? ", fault " : "",
                rq.fault ? faultName(rq.fault->action) : "");
  dumpMessage(options_.dump, title, an.msg, "");
}

/* ---- one request ------------------------------------------------------------------------- */

Reply Switch::handle(const std::vector<std::uint8_t> &frame, const std::string &peer) {
  std::lock_guard<std::mutex> guard(mutex_);
  return handleLocked(frame, peer);
}

Reply Switch::handleLocked(const std::vector<std::uint8_t> &frame, const std::string &peer) {
  Reply reply;
  ++requestCount_;
  Request rq;
  if (frame.size() < 7 + 10) {
    reply.action = FaultAction::Close;
    return reply;
  }
  std::memcpy(rq.tpdu, &frame[2], 5);
  rq.raw.assign(frame.begin() + 7, frame.end());
  rq.unpacked = TUL_ISO8583_MSG_Unpack(&rq.handler, rq.raw.data(), static_cast<std::uint32_t>(rq.raw.size()),
                                       &rq.msg, &rq.decodeError);
  rq.mti = rq.field(0);
  rq.pc = rq.field(3);
  rq.stan = rq.field(11);
  rq.terminalId = trimmed(rq.field(41));
  rq.pan = decodePan(rq.raw, rq.field(2));
  if (rq.has(48)) rq.tags = parseTags(rq.field(48));
  rq.kind = kindOf(rq.mti, rq.pc);

  rq.log["seq"] = requestCount_;
  rq.log["dir"] = "request";
  rq.log["time"] = nowText("%Y-%m-%dT%H:%M:%S");
  rq.log["peer"] = peer;
  rq.log["mti"] = netText(rq.mti);
  rq.log["pc"] = netText(rq.pc);
  rq.log["kind"] = rq.kind;
  rq.log["stan"] = netText(rq.stan);
  rq.log["terminal"] = netText(rq.terminalId);
  if (!rq.pan.empty()) rq.log["pan"] = netText(maskPan(rq.pan));
  if (rq.has(4)) rq.log["amount"] = rq.amount();
  if (rq.unpacked != 0) {
    rq.log["decode"] = "failed";
    if (rq.decodeError.field != TUL_ISO8583_NO_FIELD) rq.log["decode_field"] = rq.decodeError.field;
    rq.log["decode_offset"] = rq.decodeError.offset;
  }

  char title[160];
  std::snprintf(title, sizeof(title), ">> request #%ld from %s: %s %s (%zu bytes)", requestCount_, peer.c_str(),
                escapedForPrint(netText(rq.mti)).c_str(), rq.kind.c_str(), frame.size());
  dumpMessage(options_.dump, title, rq.msg, rq.pan);
  if (rq.unpacked != 0 && options_.dump != nullptr) {
    if (rq.decodeError.field != TUL_ISO8583_NO_FIELD)
      std::fprintf(options_.dump, "!! request #%ld does not decode: field %u, at byte %u of the message\n",
                   requestCount_, rq.decodeError.field, rq.decodeError.offset);
    else
      std::fprintf(options_.dump, "!! request #%ld does not decode: bytes over from byte %u of the message\n",
                   requestCount_, rq.decodeError.offset);
    std::fflush(options_.dump);
  }

  Fault *fault = matchFault(rq.mti, rq.pc);
  rq.fault = fault;
  if (fault != nullptr) {
    reply.action = fault->action;
    reply.ms = fault->ms;
    rq.log["fault"] = faultName(fault->action);
  }
  if (reply.action == FaultAction::Close) {
    // The connection goes before the request is looked at.
    if (options_.ledger != nullptr) reply.ledgerTicket = options_.ledger->append(rq.log);
    return reply;
  }

  checkMac(rq);
  if (rq.macOk && fault != nullptr && fault->action == FaultAction::Code) rq.rc = fault->code;
  if (rq.rc == rc::APPROVED) {
    const Route *route = routeFor(rq.mti, rq.pc);
    if (route != nullptr)
      (this->*(route->handler))(rq);
    else
      rq.rc = rc::INVALID_TRANSACTION;
  } else if (rq.macOk && rq.mti == "0200" && rq.has(11)) {
    bookDecline(rq);
  }
  if (!rq.txnKey.empty()) rq.log["txn"] = netText(rq.txnKey);
  if (options_.ledger != nullptr) reply.ledgerTicket = options_.ledger->append(rq.log);

  buildAnswer(rq, &reply);
  LedgerLine answer;
  answer["seq"] = requestCount_;
  answer["dir"] = "answer";
  for (const auto &[key, value] : rq.answerLog.items()) answer[key] = value;
  answer["kind"] = rq.kind;
  answer["rc"] = netText(rq.rc);
  if (!rq.txnKey.empty()) answer["txn"] = netText(rq.txnKey);
  if (fault != nullptr && fault->action != FaultAction::Code) answer["fault"] = faultName(fault->action);
  answer["sent"] = reply.action != FaultAction::Drop && reply.action != FaultAction::Close;
  if (options_.ledger != nullptr) reply.ledgerTicket = options_.ledger->append(answer);
  return reply;
}

} // namespace switchsim
