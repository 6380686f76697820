/*
 * load.cpp - the virtual terminals: their cryptography, logon, requests,
 * answers, advices and reversals, driven by one epoll loop.
 *
 * Each terminal has one request outstanding at a time, like the real one. A
 * started request is followed by an advice when approved, or by a reversal
 * when its answer is lost (timed out, or dropped on purpose for a share of
 * requests), before the terminal takes the next one.
 */
// The DES schedule interface is kept by OpenSSL 3 but marked deprecated.
#define OPENSSL_API_COMPAT 10101

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/crypto.h>
#include <openssl/des.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <random>

#include "iso8583/tul_iso8583.h"
#include "termload.h"

namespace termload {

/* ---- cryptography ------------------------------------------------------------------ */

namespace {

constexpr std::size_t MAX_FRAME = 4096;

// A double-length key expanded for DES: a terminal expands its keys once at
// logon, since expanding costs as much as a dozen blocks and every message
// needs its MAC key (and every card request its PIN key).
struct Expanded {
  DES_key_schedule left{}, right{};
  Expanded() = default;
  explicit Expanded(const Key &key) {
    DES_cblock half;
    std::memcpy(half, key.data(), 8);
    DES_set_key_unchecked(&half, &left);
    std::memcpy(half, key.data() + 8, 8);
    DES_set_key_unchecked(&half, &right);
    OPENSSL_cleanse(half, sizeof half);
  }
  Expanded(const Expanded &) = default;
  Expanded &operator=(const Expanded &) = default;
  ~Expanded() {
    OPENSSL_cleanse(&left, sizeof left);
    OPENSSL_cleanse(&right, sizeof right);
  }
};

// Double-length TDES composed of its three single-DES steps: encipher left,
// decipher right, encipher left (and the reverse to decipher).
bool tdes(const Expanded &k, const std::uint8_t *in, std::uint8_t *out, std::size_t len, bool encrypt) {
  if (len % 8 != 0) return false;
  auto &ks = const_cast<Expanded &>(k);
  const int outer = encrypt ? DES_ENCRYPT : DES_DECRYPT, inner = encrypt ? DES_DECRYPT : DES_ENCRYPT;
  DES_cblock a, b;
  for (std::size_t off = 0; off < len; off += 8) {
    std::memcpy(a, in + off, 8);
    DES_ecb_encrypt(&a, &b, &ks.left, outer);
    DES_ecb_encrypt(&b, &a, &ks.right, inner);
    DES_ecb_encrypt(&a, &b, &ks.left, outer);
    std::memcpy(out + off, b, 8);
  }
  return true;
}

std::string hex(const std::uint8_t *data, std::size_t len) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < len; ++i) {
    s += digits[data[i] >> 4];
    s += digits[data[i] & 0x0F];
  }
  return s;
}

std::string macText(const Expanded &k, const std::uint8_t *msg, std::size_t len, std::size_t exclude) {
  if (len < 8 || len < exclude || len > MAX_FRAME) return "";
  std::size_t covered = len - exclude, padded = (covered + 7) / 8 * 8;
  std::uint8_t work[MAX_FRAME + 8] = {0};
  std::memcpy(work, msg, covered);
  if (covered > len - 8) std::memset(&work[len - 8], 0, covered - (len - 8)); // the MAC field counts as zero
  auto &ks = const_cast<Expanded &>(k);
  // CBC with the left half (single DES) over every block, then decipher right, encipher left.
  DES_cblock chain = {0}, tmp;
  for (std::size_t off = 0; off < padded; off += 8) {
    for (int i = 0; i < 8; ++i) chain[i] ^= work[off + static_cast<std::size_t>(i)];
    DES_ecb_encrypt(&chain, &tmp, &ks.left, DES_ENCRYPT);
    std::memcpy(chain, tmp, 8);
  }
  DES_ecb_encrypt(&chain, &tmp, &ks.right, DES_DECRYPT);
  DES_ecb_encrypt(&tmp, &chain, &ks.left, DES_ENCRYPT);
  return hex(chain, 4);
}

bool pinBlock(const Expanded &k, const std::string &pin, const std::string &pan, std::uint8_t block[8]) {
  if (pin.size() < 4 || pin.size() > 12 || pan.size() < 13) return false;
  std::string field = "0" + std::string(1, "0123456789ABC"[pin.size()]) + pin;
  field.resize(16, 'F');
  std::uint8_t pinPart[8], panPart[8];
  if (!fromHex(field, pinPart, 8) || !fromHex("0000" + pan.substr(pan.size() - 13, 12), panPart, 8)) return false;
  for (int i = 0; i < 8; ++i)
    pinPart[i] ^= panPart[i];
  return tdes(k, pinPart, block, 8, true);
}

} // namespace

bool tdes(const Key &key, const std::uint8_t *in, std::uint8_t *out, std::size_t len, bool encrypt) {
  return tdes(Expanded(key), in, out, len, encrypt);
}

bool fromHex(const std::string &text, std::uint8_t *out, std::size_t outLen) {
  if (text.size() != outLen * 2) return false;
  auto nibble = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  for (std::size_t i = 0; i < outLen; ++i) {
    int hi = nibble(text[2 * i]), lo = nibble(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return true;
}

std::string macText(const Key &key, const std::uint8_t *msg, std::size_t len, std::size_t exclude) {
  return macText(Expanded(key), msg, len, exclude);
}

bool pinBlock(const Key &key, const std::string &pin, const std::string &pan, std::uint8_t block[8]) {
  return pinBlock(Expanded(key), pin, pan, block);
}

/* ---- messages ---------------------------------------------------------------------- */

namespace {

using Clock = std::chrono::steady_clock;
using Fields = std::map<unsigned, std::string>;

constexpr std::uint8_t TPDU[5] = {0x60, 0x00, 0x06, 0x00, 0x80};
constexpr int FOLLOW_UP_TRIES = 3; // an advice or reversal is repeated this often before giving up

std::string bcdTag(int tag, const std::string &value) {
  auto bcd = [](int v) { return static_cast<char>(((v / 10) << 4) | (v % 10)); };
  return std::string{bcd(static_cast<int>(value.size()) + 1), bcd(tag)} + value;
}

// The whole frame (length word, TPDU, message) MACed with key. A message with
// a secondary bitmap carries its MAC in field 128, others in field 64; either
// way the MAC is the message's last 8 bytes, so it is packed once with a zero
// MAC and the MAC written over those.
std::vector<std::uint8_t> packFrame(Fields fields, const Expanded &key, std::size_t exclude) {
  const unsigned macField = fields.rbegin()->first > 64 ? 128 : 64;
  fields[1] = std::string(8, '\0');
  fields[macField] = std::string(8, '\0');
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  std::uint8_t packed[MAX_FRAME];
  std::uint32_t len = 0;
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  for (const auto &[f, v] : fields)
    TUL_ISO8583_MSG_SetField_Bin(f, v.data(), static_cast<std::uint32_t>(v.size()), &msg);
  bool ok = TUL_ISO8583_MSG_Pack(&handler, &msg, packed, sizeof packed - 7, &len) == 0 && len >= 8;
  TUL_ISO8583_MSG_Free(&msg);
  std::string mac = ok ? macText(key, packed, len, exclude) : "";
  if (mac.size() != 8) return {};
  std::memcpy(packed + len - 8, mac.data(), 8);
  std::size_t n = len + sizeof TPDU;
  std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
  frame.insert(frame.end(), TPDU, TPDU + sizeof TPDU);
  frame.insert(frame.end(), packed, packed + len);
  return frame;
}

// The answer's fields, or empty when it does not decode. *macOk tells whether
// its MAC (when it carries one) matches key.
Fields unpackMessage(const std::uint8_t *msgBytes, std::size_t len, const Expanded *key, bool *macOk) {
  Fields out;
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  if (TUL_ISO8583_MSG_Unpack(&handler, msgBytes, static_cast<std::uint32_t>(len), &msg) == 0) {
    for (unsigned f : {0u, 3u, 4u, 11u, 37u, 38u, 39u, 41u, 42u, 48u, 62u, 64u}) {
      unsigned char *data = nullptr;
      std::uint32_t n = 0;
      if (TUL_ISO8583_MSG_GetField_Bin(f, &msg, &data, &n) == 0) out[f] = std::string(reinterpret_cast<char *>(data), n);
    }
  }
  TUL_ISO8583_MSG_Free(&msg);
  *macOk = true;
  if (key != nullptr && out.count(64)) *macOk = macText(*key, msgBytes, len, 8) == out[64];
  return out;
}

bool sendAll(int fd, const std::vector<std::uint8_t> &data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      poll(&p, 1, 100);
      continue;
    }
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string nowText(const char *format) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, format, &tm);
  return buf;
}

/* ---- one virtual terminal ---------------------------------------------------------- */

struct Terminal {
  int fd = -1;
  std::string serial, terminalId, merchant;
  Expanded pinKey, macKey;
  CardInfo card;
  long stan = 0;
  std::vector<std::uint8_t> in;
  bool dead = false;

  // The request outstanding.
  bool busy = false;
  int kind = PURCHASE;
  std::string mti, stanSent;
  Clock::time_point sent;
  std::vector<std::uint8_t> frame; // kept for repeating an advice or reversal
  int tries = 0;
  bool dropAnswer = false;
  // The financial request an advice or reversal follows.
  std::string origPc, origStan, origKey;

  std::string nextStan() {
    stan = stan % 999999 + 1;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%06ld", stan);
    return buf;
  }
};

const char *processingCode(int kind) {
  switch (kind) {
  case BALANCE: return "310000";
  case BILL: return "170000";
  case CHARGE: return "180000";
  default: return "000000";
  }
}

bool financial(int kind) { return kind == PURCHASE || kind == BILL || kind == CHARGE; }

class Load {
public:
  Load(const Options &o, Report *r) : opt_(o), report_(r), rng_(std::random_device{}()) {}

  bool logOnAll(std::string *error);
  void runLoop();

private:
  const Options &opt_;
  Report *report_;
  std::mt19937_64 rng_;
  Key master_{};
  std::vector<Terminal> terms_;
  std::deque<std::size_t> idle_;
  long outstanding_ = 0;
  Clock::time_point arrived_; // when the loop learnt of the answers it is reading

  bool connectTo(Terminal &t, std::string *error);
  bool logOn(Terminal &t, std::string *error);
  int pickKind();
  void start(std::size_t i, int kind);
  void send(Terminal &t, int kind, const std::string &mti, const std::string &stan, std::vector<std::uint8_t> frame);
  void followUp(Terminal &t, int kind, const Fields &fields);
  void answered(std::size_t i, const Fields &answer, bool macOk);
  void lost(std::size_t i);
  void finish(std::size_t i);
  void readFrom(std::size_t i);
  Fields cardFields(Terminal &t, int kind, const std::string &stan);
  void fail(Terminal &t, const std::string &why);
};

bool Load::connectTo(Terminal &t, std::string *error) {
  t.fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(opt_.port));
  if (t.fd < 0 || inet_pton(AF_INET, opt_.host.c_str(), &addr.sin_addr) != 1 ||
      (ntohl(addr.sin_addr.s_addr) >> 24) != 127) { // loopback only, whatever got here
    *error = "cannot make a socket for " + opt_.host;
    return false;
  }
  if (connect(t.fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    *error = "cannot connect to " + opt_.host + ":" + std::to_string(opt_.port) + ": " + std::strerror(errno);
    return false;
  }
  int one = 1;
  setsockopt(t.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval tv{opt_.timeoutMs / 1000, (opt_.timeoutMs % 1000) * 1000};
  setsockopt(t.fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return true;
}

// Reads one whole frame while the socket still blocks (logon only).
bool readFrameBlocking(int fd, std::vector<std::uint8_t> *frame) {
  frame->clear();
  std::size_t need = 2;
  while (frame->size() < need) {
    std::uint8_t buf[MAX_FRAME];
    ssize_t n = recv(fd, buf, std::min(sizeof buf, need - frame->size()), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    frame->insert(frame->end(), buf, buf + n);
    if (frame->size() == 2) {
      need = 2 + (static_cast<std::size_t>((*frame)[0]) << 8 | (*frame)[1]);
      if (need > MAX_FRAME || need < 2 + sizeof TPDU) return false;
    }
  }
  return true;
}

bool Load::logOn(Terminal &t, std::string *error) {
  if (!connectTo(t, error)) return false;
  // The key exchange is MACed with the provisional key: zero working keys as the PIN pad deciphers them.
  Key zeros{}, provisional{};
  termload::tdes(master_, zeros.data(), provisional.data(), KEY_LEN, false);
  std::string stan = t.nextStan();
  Fields rq = {{0, "0800"}, {3, "920000"}, {11, stan}, {24, "006"}, {48, bcdTag(1, t.serial)}};
  std::vector<std::uint8_t> frame;
  if (!sendAll(t.fd, packFrame(rq, Expanded(provisional), 4)) || !readFrameBlocking(t.fd, &frame)) {
    *error = t.serial + ": no answer to the key exchange";
    return false;
  }
  bool macOk = true;
  Fields an = unpackMessage(frame.data() + 7, frame.size() - 7, nullptr, &macOk);
  if (an[39] != "00" || an[62].size() != 3 * KEY_LEN || an[41].empty()) {
    *error = t.serial + ": key exchange answered '" + an[39] + "'";
    return false;
  }
  std::uint8_t clear[3 * KEY_LEN];
  if (!termload::tdes(master_, reinterpret_cast<const std::uint8_t *>(an[62].data()), clear, sizeof clear, false)) {
    *error = "cannot decipher the working keys";
    return false;
  }
  Key pinKey, macKey;
  std::memcpy(pinKey.data(), clear, KEY_LEN);
  std::memcpy(macKey.data(), clear + KEY_LEN, KEY_LEN);
  t.pinKey = Expanded(pinKey);
  t.macKey = Expanded(macKey);
  OPENSSL_cleanse(clear, sizeof clear);
  t.terminalId = an[41];
  t.merchant = an.count(42) ? an[42] : "";
  fcntl(t.fd, F_SETFL, fcntl(t.fd, F_GETFL) | O_NONBLOCK);
  return true;
}

bool Load::logOnAll(std::string *error) {
  fromHex(opt_.masterKeyHex, master_.data(), KEY_LEN);
  std::vector<CardInfo> cards = opt_.cards;
  if (cards.empty()) cards.push_back({"6037991234567890", "1234"});
  // Serial numbers differ between runs so that repeated runs against one switch are new terminals.
  std::uniform_int_distribution<long> start(1, 899999);
  long base = static_cast<long>(rng_() % 90000000);
  terms_.resize(static_cast<std::size_t>(opt_.terminals));
  for (std::size_t i = 0; i < terms_.size(); ++i) {
    Terminal &t = terms_[i];
    char serial[32];
    std::snprintf(serial, sizeof serial, "%s%08ld", opt_.serialPrefix.c_str(), (base + static_cast<long>(i)) % 100000000);
    t.serial = serial;
    t.card = cards[i % cards.size()];
    t.stan = start(rng_);
    std::string why;
    if (logOn(t, &why)) {
      ++report_->loggedOn;
      idle_.push_back(i);
    } else {
      report_->problems.push_back(why);
      t.dead = true;
      if (t.fd >= 0) close(t.fd);
      t.fd = -1;
    }
  }
  if (report_->loggedOn == 0) {
    *error = report_->problems.empty() ? "no terminal logged on" : report_->problems.front();
    return false;
  }
  return true;
}

int Load::pickKind() {
  int total = 0;
  for (int s : opt_.mix) total += s;
  int r = static_cast<int>(rng_() % static_cast<unsigned>(total));
  for (int k = 0; k < STARTED_KINDS; ++k) {
    if (r < opt_.mix[static_cast<std::size_t>(k)]) return k;
    r -= opt_.mix[static_cast<std::size_t>(k)];
  }
  return PURCHASE;
}

Fields Load::cardFields(Terminal &t, int kind, const std::string &stan) {
  Fields f = {{0, kind == BALANCE ? "0100" : "0200"}, {2, t.card.pan}, {3, processingCode(kind)}, {11, stan},
              {12, nowText("%H%M%S")}, {13, nowText("%m%d")}, {22, "021"}, {24, "006"}, {25, "00"},
              {41, t.terminalId}, {42, t.merchant}, {49, "364"}};
  std::uint8_t block[8];
  if (pinBlock(t.pinKey, t.card.pin, t.card.pan, block)) f[52] = std::string(reinterpret_cast<char *>(block), 8);
  if (kind != BALANCE) {
    char a[24];
    std::snprintf(a, sizeof a, "%012lld", opt_.amount);
    f[4] = a;
  }
  if (kind == BILL) f[48] = bcdTag(6, "1234567890123") + bcdTag(7, "10000" + stan.substr(1));
  if (kind == CHARGE) f[48] = bcdTag(14, "1");
  return f;
}

void Load::send(Terminal &t, int kind, const std::string &mti, const std::string &stan,
                std::vector<std::uint8_t> frame) {
  t.busy = true;
  t.kind = kind;
  t.mti = mti;
  t.stanSent = stan;
  t.frame = std::move(frame);
  t.sent = Clock::now();
  ++outstanding_;
  if (t.frame.empty() || !sendAll(t.fd, t.frame)) fail(t, t.frame.empty() ? "a request did not pack" : "send failed");
}

void Load::start(std::size_t i, int kind) {
  Terminal &t = terms_[i];
  std::string stan = t.nextStan();
  Fields f = cardFields(t, kind, stan);
  t.tries = 1;
  t.dropAnswer = financial(kind) && std::uniform_real_distribution<double>(0, 100)(rng_) < opt_.dropShare;
  t.origPc = f[3];
  t.origStan = stan;
  t.origKey = financial(kind) ? t.terminalId + "/" + stan : "";
  ++report_->started;
  send(t, kind, f[0], stan, packFrame(f, t.macKey, 8));
}

void Load::followUp(Terminal &t, int kind, const Fields &fields) {
  Fields f = {{0, kind == ADVICE ? "0220" : "0420"}, {2, t.card.pan}, {3, t.origPc}, {41, t.terminalId},
              {42, t.merchant}};
  char a[24];
  std::snprintf(a, sizeof a, "%012lld", opt_.amount);
  f[4] = a;
  if (kind == ADVICE) {
    f[11] = t.nextStan();
    f[37] = fields.count(37) ? fields.at(37) : "";
  } else {
    f[11] = t.origStan;
    f[90] = "0200" + t.origStan + nowText("%m%d%H%M%S") + "00000000000" + "00000000000";
  }
  t.tries = 1;
  send(t, kind, f[0], f[11], packFrame(f, t.macKey, 8));
}

void Load::fail(Terminal &t, const std::string &why) {
  report_->problems.push_back(t.serial + ": " + why + ", terminal stopped");
  if (t.busy) --outstanding_;
  if (!t.origKey.empty()) report_->expected.erase(t.origKey); // its end is unknown
  t.busy = false;
  t.dead = true;
  close(t.fd);
  t.fd = -1;
}

void Load::finish(std::size_t i) {
  terms_[i].origKey.clear();
  idle_.push_back(i);
}

void Load::answered(std::size_t i, const Fields &an, bool macOk) {
  Terminal &t = terms_[i];
  auto mtiIt = an.find(0), stanIt = an.find(11);
  std::string expectMti = t.mti;
  expectMti[2] = static_cast<char>(expectMti[2] + 1);
  if (!t.busy || mtiIt == an.end() || stanIt == an.end() || mtiIt->second != expectMti ||
      stanIt->second != t.stanSent)
    return; // late answer to something already given up
  --outstanding_;
  t.busy = false;
  KindStats &s = report_->kinds[static_cast<std::size_t>(t.kind)];
  ++s.count;
  std::string rc = an.count(39) ? an.at(39) : "--";
  if (!macOk) report_->problems.push_back(t.serial + ": answer MAC does not match");
  if (t.dropAnswer) {
    ++s.dropped;
    t.dropAnswer = false;
    report_->expected[t.origKey] = "reversed";
    followUp(t, REVERSAL, an);
    return;
  }
  ++s.codes[rc];
  s.latencyMs.push_back(std::chrono::duration<double, std::milli>(arrived_ - t.sent).count());
  if (t.kind == ADVICE || t.kind == REVERSAL) {
    if (rc != "00") report_->problems.push_back(t.origKey + ": " + kindName(t.kind) + " answered " + rc);
    finish(i);
  } else if (financial(t.kind) && rc == "00") {
    report_->expected[t.origKey] = "approved and advised";
    followUp(t, ADVICE, an);
  } else {
    if (financial(t.kind)) report_->expected[t.origKey] = "declined";
    finish(i);
  }
}

void Load::lost(std::size_t i) {
  Terminal &t = terms_[i];
  --outstanding_;
  t.busy = false;
  ++report_->kinds[static_cast<std::size_t>(t.kind)].lost;
  if ((t.kind == ADVICE || t.kind == REVERSAL) && t.tries < FOLLOW_UP_TRIES) {
    ++t.tries; // repeated as it was: the switch settles it once however often it comes
    int tries = t.tries;
    send(t, t.kind, t.mti, t.stanSent, t.frame);
    t.tries = tries;
    return;
  }
  if (financial(t.kind)) {
    report_->expected[t.origKey] = "reversed";
    followUp(t, REVERSAL, {});
    return;
  }
  if (t.kind == ADVICE || t.kind == REVERSAL)
    report_->problems.push_back(t.origKey + ": " + kindName(t.kind) + " never answered");
  finish(i);
}

void Load::readFrom(std::size_t i) {
  Terminal &t = terms_[i];
  std::uint8_t buf[MAX_FRAME];
  for (;;) {
    ssize_t n = recv(t.fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      fail(t, "the switch closed the connection");
      return;
    }
    t.in.insert(t.in.end(), buf, buf + n);
    // Less than a full buffer: nothing more is waiting now, and if more comes
    // epoll says so; a second recv only to hear EAGAIN costs a system call.
    if (static_cast<std::size_t>(n) < sizeof buf) break;
  }
  std::size_t used = 0;
  while (t.in.size() - used >= 2) {
    std::size_t len = static_cast<std::size_t>(t.in[used]) << 8 | t.in[used + 1];
    if (len > MAX_FRAME || len < sizeof TPDU) {
      fail(t, "bad frame length " + std::to_string(len));
      return;
    }
    if (t.in.size() - used < 2 + len) break;
    bool macOk = true;
    Fields an = unpackMessage(&t.in[used + 7], len - sizeof TPDU, &t.macKey, &macOk);
    used += 2 + len;
    answered(i, an, macOk);
    if (t.dead) return;
  }
  t.in.erase(t.in.begin(), t.in.begin() + static_cast<long>(used));
}

void Load::runLoop() {
  const Clock::time_point begin = Clock::now();
  const auto limit = std::chrono::duration<double>(opt_.seconds);
  const auto timeout = std::chrono::milliseconds(opt_.timeoutMs);
  // Room for the last requests' follow-ups, each possibly repeated.
  const auto hardStop = limit + timeout * (2 * FOLLOW_UP_TRIES + 2);
  // epoll rather than poll: the switch is measured with a hundred terminals,
  // and handing the kernel all their sockets on every turn of a loop that runs
  // thousands of times a second cost as much as the requests themselves.
  int ep = epoll_create1(EPOLL_CLOEXEC);
  if (ep < 0) {
    report_->problems.push_back(std::string("cannot watch the connections: ") + std::strerror(errno));
    return;
  }
  for (std::size_t i = 0; i < terms_.size(); ++i) {
    if (terms_[i].fd < 0) continue;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = i;
    epoll_ctl(ep, EPOLL_CTL_ADD, terms_[i].fd, &ev);
  }
  std::vector<epoll_event> events(terms_.size() + 1);
  for (;;) {
    Clock::time_point now = Clock::now();
    auto elapsed = now - begin;
    bool starting = report_->started < opt_.requests && elapsed < limit;
    if (starting) {
      double allowed = opt_.rate > 0 ? opt_.rate * std::chrono::duration<double>(elapsed).count() + 1 : 1e18;
      while (!idle_.empty() && report_->started < opt_.requests && static_cast<double>(report_->started) < allowed) {
        std::size_t i = idle_.front();
        idle_.pop_front();
        if (!terms_[i].dead) start(i, pickKind());
      }
    }
    if (outstanding_ == 0 && (!starting || report_->loggedOn == 0 || std::all_of(terms_.begin(), terms_.end(), [](const Terminal &t) { return t.dead; })))
      break;
    if (elapsed > hardStop) {
      report_->problems.push_back(std::to_string(outstanding_) + " requests still open at the hard stop");
      break;
    }
    for (std::size_t i = 0; i < terms_.size(); ++i)
      if (terms_[i].busy && now - terms_[i].sent > timeout) lost(i);

    int wait = 1;
    if (opt_.rate <= 0 && idle_.empty()) wait = 10;
    int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), wait);
    if (n < 0 && errno != EINTR) break;
    // Every answer of this wake-up arrived by now: the time spent on the
    // others' answers is the load tool's, not the switch's.
    arrived_ = Clock::now();
    for (int k = 0; k < n; ++k) {
      std::size_t i = static_cast<std::size_t>(events[static_cast<std::size_t>(k)].data.u64);
      if (!terms_[i].dead) readFrom(i);
    }
  }
  close(ep);
  report_->elapsedS = std::chrono::duration<double>(Clock::now() - begin).count();
  for (Terminal &t : terms_)
    if (t.fd >= 0) close(t.fd);
}

} // namespace

bool run(const Options &options, Report *report, std::string *error) {
  Load load(options, report);
  if (!load.logOnAll(error)) return false;
  load.runLoop();
  return true;
}

} // namespace termload
