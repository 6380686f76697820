/*
 * The window's test card file: what it accepts, the line each error names, the
 * files it refuses before reading them, and that no error shows a whole card
 * number; and the --sim-cards option's refusal at start.
 */
#include <sys/stat.h>

#include <fstream>

#include "cardfile.h"
#include "sim_test_util.h"

namespace {

using sim::detail::loadTestCards;
using sim::detail::parseTestCards;
using sim::detail::TestCard;

TEST(CardFile, ReadsCardsBetweenCommentsAndBlankLines) {
  std::vector<TestCard> cards;
  std::string error;
  ASSERT_TRUE(parseTestCards("# my shop's cards\n"
                             "\n"
                             "5022291234567894 5022291234567894=2812101000000001 9876 750000 50000  # a gift card\n"
                             "\t636214000011112222 636214000011112222=3001 123456789012 0\n",
                             "cards.txt", &cards, &error))
      << error;
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0].pan, "5022291234567894");
  EXPECT_EQ(cards[0].track2, "5022291234567894=2812101000000001");
  EXPECT_EQ(cards[0].pin, "9876");
  EXPECT_EQ(cards[0].balance, 750000);
  EXPECT_EQ(cards[0].blocked, 50000);
  EXPECT_EQ(cards[1].pin, "123456789012");
  EXPECT_EQ(cards[1].blocked, 0);
  // The list shows enough to pick the card, never its whole number.
  std::string label = sim::detail::testCardLabel(cards[0]);
  EXPECT_EQ(label, "5022 29.. 7894 - PIN 9876, balance 750,000 (50,000 blocked)");
}

TEST(CardFile, BadLinesAreRefusedWithTheirLineNumberAndNoWholeCardNumber) {
  const std::string good = "6037991234567890 6037991234567890=2512101123456789 1234 5000000\n";
  struct Case {
    std::string line;
    std::string error;  // what the message must hold after "cards.txt:2: "
  } cases[] = {
      {"6037991234567891 6037991234567891=25121011 1234", "PAN TRACK2 PIN BALANCE [BLOCKED]"},
      {"6037991234567891 6037991234567891=25121011 1234 1 0 7", "PAN TRACK2 PIN BALANCE [BLOCKED]"},
      {"60379912345 60379912345=2512 1234 100", "not 12 to 19 digits"},
      {"6037991234567890123 6037991234567890123=2512 1234 100", ""},  // 19 digits: fine
      {"60379912345678901234 60379912345678901234=2512 1234 100", "not 12 to 19 digits"},
      {"6037abc234567890 6037abc234567890=2512 1234 100", "not 12 to 19 digits"},
      {"6037991234567890 6037991234567890=2512 1234 100", "in the file twice"},
      {"6037991234567891 6037991234567899=2512 1234 100", "track 2"},
      {"6037991234567891 6037991234567891 1234 100", "track 2"},
      {"6037991234567891 6037991234567891= 1234 100", "track 2"},
      {"6037991234567891 6037991234567891D2512 1234 100", "track 2"},
      {"6037991234567891 6037991234567891=251210112345678901234 1234 100", "track 2"},  // 38 characters
      {"6037991234567891 6037991234567891=2512 123 100", "the PIN is 4 to 12 digits"},
      {"6037991234567891 6037991234567891=2512 1234567890123 100", "the PIN is 4 to 12 digits"},
      {"6037991234567891 6037991234567891=2512 12a4 100", "the PIN is 4 to 12 digits"},
      {"6037991234567891 6037991234567891=2512 1234 5000abc", "is not whole Rials"},
      {"6037991234567891 6037991234567891=2512 1234 -5", "is not whole Rials"},
      {"6037991234567891 6037991234567891=2512 1234 1234567890123", "is not whole Rials"},
      {"6037991234567891 6037991234567891=2512 1234 100 101", "blocked amount is more than the balance"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<TestCard> cards;
    std::string error;
    bool ok = parseTestCards(good + c.line + "\n", "cards.txt", &cards, &error);
    if (c.error.empty()) {
      EXPECT_TRUE(ok) << error;
      continue;
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind("cards.txt:2: ", 0), 0u) << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(error.find("6037991234567890"), std::string::npos) << error;
    EXPECT_EQ(error.find("6037991234567891"), std::string::npos) << error;
    EXPECT_EQ(cards.size(), 0u) << "a refused file must leave the cards as they were";
  }
  // A card number in the wrong column is masked too.
  std::string error;
  EXPECT_FALSE(parseTestCards("6037991234567891 6037991234567891=2512 1234 6037991234567890\n", "c", nullptr, &error));
  EXPECT_NE(error.find("6037 99.. 7890"), std::string::npos) << error;
  EXPECT_EQ(error.find("6037991234567890"), std::string::npos) << error;
}

TEST(CardFile, AFileWithoutCardsOrWithTooManyIsRefused) {
  std::string error;
  EXPECT_FALSE(parseTestCards("", "cards.txt", nullptr, &error));
  EXPECT_EQ(error, "cards.txt: no card in the file");
  EXPECT_FALSE(parseTestCards("# nothing yet\n\n   \n", "cards.txt", nullptr, &error));
  EXPECT_EQ(error, "cards.txt: no card in the file");

  std::string text;
  for (size_t i = 0; i < sim::detail::kMaxTestCards; ++i) {
    std::string pan = "6037990000" + std::to_string(100000 + i);
    text += pan + " " + pan + "=2512 1234 100\n";
  }
  std::vector<TestCard> cards;
  ASSERT_TRUE(parseTestCards(text, "cards.txt", &cards, &error)) << error;
  EXPECT_EQ(cards.size(), sim::detail::kMaxTestCards);
  text += "6037991111111111 6037991111111111=2512 1234 100\n";
  EXPECT_FALSE(parseTestCards(text, "cards.txt", &cards, &error));
  EXPECT_EQ(error.rfind("cards.txt:" + std::to_string(sim::detail::kMaxTestCards + 1) + ": more than", 0), 0u)
      << error;
}

class CardFiles : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = freshTestDir("simcards-"); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(CardFiles, OnlyARegularFileOfSensibleSizeIsRead) {
  std::vector<TestCard> cards;
  std::string error;
  std::ofstream(dir_ / "cards.txt") << "6037991234567890 6037991234567890=2512 1234 100\n";
  ASSERT_TRUE(loadTestCards((dir_ / "cards.txt").string(), &cards, &error)) << error;
  EXPECT_EQ(cards.size(), 1u);

  const std::string missing = (dir_ / "missing.txt").string();
  EXPECT_FALSE(loadTestCards(missing, &cards, &error));
  EXPECT_EQ(error, missing + ": No such file or directory");
  EXPECT_FALSE(loadTestCards(dir_.string(), &cards, &error));
  EXPECT_EQ(error, dir_.string() + ": not a regular file");
  // A FIFO would block the start for ever if it were opened.
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(loadTestCards(fifo, &cards, &error));
  EXPECT_EQ(error, fifo + ": not a regular file");
  std::filesystem::resize_file(dir_ / "cards.txt", sim::detail::kMaxCardFileBytes + 1);
  EXPECT_FALSE(loadTestCards((dir_ / "cards.txt").string(), &cards, &error));
  EXPECT_NE(error.find("larger than 1 MiB"), std::string::npos) << error;
  EXPECT_EQ(cards.size(), 1u) << "refused files leave the cards as they were";
}

// Runs the demo terminal headless with a one-line script and the options.
Outcome runDemo(const std::filesystem::path& dir, std::vector<std::string> extra) {
  std::ofstream(dir / "run.script") << "quit\n";
  std::vector<std::string> args = {SIM_DEMO_PATH, "--sim-headless", "--sim-script", "run.script", "--sim-out",
                                   "out", "--sim-data", "data"};
  args.insert(args.end(), extra.begin(), extra.end());
  return runIn(dir, args);
}

TEST_F(CardFiles, ABadCardFileStopsTheStartWithStatusTwo) {
  std::ofstream(dir_ / "cards.txt") << "# cards\n6037991234567890 6037991234567890=2512 12 100\n";
  Outcome bad = runDemo(dir_, {"--sim-cards", "cards.txt"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--sim-cards cards.txt:2: the PIN is 4 to 12 digits"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.err.find("6037991234567890"), std::string::npos) << bad.err;
  EXPECT_EQ(runDemo(dir_, {"--sim-cards", "."}).status, 2);
  EXPECT_EQ(runDemo(dir_, {"--sim-cards"}).status, 2);

  std::ofstream(dir_ / "cards.txt") << "6037991234567890 6037991234567890=2512 1234 100\n";
  Outcome good = runDemo(dir_, {"--sim-cards", "cards.txt"});
  EXPECT_EQ(good.status, 0) << good.err;
}

}  // namespace
