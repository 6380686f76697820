/*
 * cardfile.cpp - the window's test cards: the switch simulator's built-in
 * cards, the reader of a card file in its --cards format, and the labels the
 * card reader panel shows.
 */
#include "cardfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace sim::detail {

namespace {

constexpr size_t kMaxTrack2 = 37;       // what a magnetic stripe's track 2 holds
constexpr size_t kMaxAmountDigits = 12;

bool digitsOnly(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A word as an error may show it: a long digit run could be a card number.
std::string shown(const std::string& word) {
  std::string out;
  for (size_t i = 0; i < word.size() && out.size() < 40;) {
    size_t run = 0;
    while (i + run < word.size() && word[i + run] >= '0' && word[i + run] <= '9') ++run;
    if (run >= 12) {
      out += maskedCardNumber(word.substr(i, run));
      i += run;
    } else if (run > 0) {
      out += word.substr(i, run);
      i += run;
    } else {
      unsigned char c = static_cast<unsigned char>(word[i++]);
      out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
  }
  return "'" + out + "'";
}

std::string grouped(long long n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::vector<TestCard>& cardsInUse() {
  static std::vector<TestCard> cards = defaultTestCards();
  return cards;
}

}  // namespace

std::vector<TestCard> defaultTestCards() {
  return {
      {"6037991234567890", "6037991234567890=2512101123456789", "1234", 5000000, 250000},
      {"6104337012345678901", "6104337012345678901=27061011234567", "4321", 2000000, 0},
      {"6219861111222233", "6219861111222233=2612101000000000", "1111", 10000, 0},
  };
}

bool parseTestCards(const std::string& text, const std::string& source, std::vector<TestCard>* cards,
                    std::string* error) {
  std::vector<TestCard> found;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  auto bad = [&](const std::string& why) {
    if (error) *error = source + ":" + std::to_string(lineNo) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    std::vector<std::string> w{std::istream_iterator<std::string>(fields), std::istream_iterator<std::string>()};
    if (w.empty()) continue;
    if (w.size() != 4 && w.size() != 5) return bad("a card is PAN TRACK2 PIN BALANCE [BLOCKED]");
    TestCard c;
    c.pan = w[0];
    c.track2 = w[1];
    c.pin = w[2];
    if (!digitsOnly(c.pan) || c.pan.size() < 12 || c.pan.size() > 19)
      return bad("the card number " + shown(c.pan) + " is not 12 to 19 digits");
    for (size_t i = 0; i < found.size(); ++i)
      if (found[i].pan == c.pan) return bad("card " + maskedCardNumber(c.pan) + " is in the file twice");
    // The track carries the number; the window swipes exactly this text.
    bool trackOk = c.track2.size() <= kMaxTrack2 && c.track2.size() > c.pan.size() + 1 &&
                   c.track2.compare(0, c.pan.size(), c.pan) == 0 && c.track2[c.pan.size()] == '=' &&
                   digitsOnly(c.track2.substr(c.pan.size() + 1));
    if (!trackOk) return bad("track 2 is the card number, '=' and digits, at most 37 characters");
    if (!digitsOnly(c.pin) || c.pin.size() < 4 || c.pin.size() > 12) return bad("the PIN is 4 to 12 digits");
    for (size_t i = 3; i < w.size(); ++i)
      if (!digitsOnly(w[i]) || w[i].size() > kMaxAmountDigits)
        return bad("the amount " + shown(w[i]) + " is not whole Rials of at most 12 digits");
    c.balance = std::stoll(w[3]);
    c.blocked = w.size() == 5 ? std::stoll(w[4]) : 0;
    if (c.blocked > c.balance) return bad("the blocked amount is more than the balance");
    if (found.size() == kMaxTestCards)
      return bad("more than " + std::to_string(kMaxTestCards) + " cards; the window lists at most that many");
    found.push_back(c);
  }
  if (found.empty()) {
    if (error) *error = source + ": no card in the file";
    return false;
  }
  if (cards) *cards = std::move(found);
  return true;
}

bool loadTestCards(const std::string& path, std::vector<TestCard>* cards, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = path + ": " + why;
    return false;
  };
  // Checked before opening: a FIFO would block the start, a folder reads as empty.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return fail(strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  if (st.st_size > kMaxCardFileBytes) return fail("larger than 1 MiB, not a card file");
  std::ifstream f(path, std::ios::binary);
  if (!f) return fail("cannot be read");
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (f.bad()) return fail("cannot be read");
  return parseTestCards(text, path, cards, error);
}

std::string maskedCardNumber(const std::string& pan) {
  if (pan.size() < 10) return std::string(pan.size(), '.');
  return pan.substr(0, 4) + " " + pan.substr(4, 2) + ".. " + pan.substr(pan.size() - 4);
}

std::string testCardLabel(const TestCard& card) {
  std::string label = maskedCardNumber(card.pan) + " - PIN " + card.pin + ", balance " + grouped(card.balance);
  if (card.blocked > 0) label += " (" + grouped(card.blocked) + " blocked)";
  return label;
}

void setWindowCards(const std::vector<TestCard>& cards) { cardsInUse() = cards; }

const std::vector<TestCard>& windowCards() { return cardsInUse(); }

}  // namespace sim::detail
