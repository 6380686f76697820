/*
 * cardfile.h - the test cards the window's card reader offers (internal): the
 * switch simulator's built-in cards, or a card file in the same format as the
 * switch simulator's --cards file, so a developer gives both programs the same
 * file. Written from the file format; nothing of the switch simulator is used.
 */
#ifndef SIM_CARDFILE_H
#define SIM_CARDFILE_H

#include <string>
#include <vector>

namespace sim::detail {

struct TestCard {
  std::string pan;     // 12 to 19 digits
  std::string track2;  // the card number, '=' and digits
  std::string pin;     // 4 to 12 digits
  long long balance = 0, blocked = 0;  // whole Rials, as the switch books them
};

// A card list is for picking by eye in a list box: more is a mistake.
constexpr size_t kMaxTestCards = 100;
// Card files are a few lines; anything bigger is not one.
constexpr long long kMaxCardFileBytes = 1 << 20;

// The switch simulator's built-in cards.
std::vector<TestCard> defaultTestCards();

// "PAN TRACK2 PIN BALANCE [BLOCKED]" lines, '#' starts a comment. false with
// *error ("SOURCE:LINE: why") on the first bad line, on a file without cards
// and on more than kMaxTestCards. Errors never show a full card number.
bool parseTestCards(const std::string& text, const std::string& source, std::vector<TestCard>* cards,
                    std::string* error);
// The same from a file, which must be a regular file of at most kMaxCardFileBytes.
bool loadTestCards(const std::string& path, std::vector<TestCard>* cards, std::string* error);

// "6037 99.. 7890": enough to tell the cards apart, never the whole number.
std::string maskedCardNumber(const std::string& pan);
// The card's line in the window's list: masked number, PIN and balance.
std::string testCardLabel(const TestCard& card);

// The cards the window offers (the built-in ones until set).
void setWindowCards(const std::vector<TestCard>& cards);
const std::vector<TestCard>& windowCards();

}  // namespace sim::detail

#endif  // SIM_CARDFILE_H
