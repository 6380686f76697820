// idle_test.cpp - the idle screen and its loop on the simulator's virtual
// clock: drawing, keys, dimming, automatic power-off.
#include "core/key.h"
#include "core_test_util.h"
#include "journal/Journal.h"

namespace {

constexpr long long MINUTE = 60000;

class IdleTest : public TerminalTest {
protected:
  void SetUp() override {
    TerminalTest::SetUp();
    sim::setVirtualTime(2024, 3, 20, 10, 15, 2);
    firstStart();
  }

  std::vector<sim::ScreenText> textsAt(int y) const {
    std::vector<sim::ScreenText> found;
    for (const auto &t : sim::screenTexts())
      if (t.y == y) found.push_back(t);
    return found;
  }

  // Runs the idle loop until the script's key ends it; the code it returned.
  // A digit goes in as a typed character, anything else as a key code or name.
  int idleUntil(long long ms, const std::string &key, bool digit = false) {
    script("wait " + std::to_string(ms) + (digit ? "\ntype " : "\nkey ") + key + "\nwait 3600000\n");
    return splashMenu();
  }
};

/* ---- the idle screen ------------------------------------------------------------------ */

TEST_F(IdleTest, TheIdleScreenShowsDateWeekdayTimeAndTheMerchantPrompt) {
  drawSplash(0, 0);
  drawSplash(1, 1);
  ASSERT_FALSE(sim::screenImages().empty());
  EXPECT_EQ(sim::screenImages().front().name, "main.png");
  EXPECT_TRUE(textAt(msg(331), MERCHANT_LINE_Y));
  EXPECT_TRUE(textAt(msg(25), 1)); // 2024-03-20 is a Wednesday
  // 1403/01/01 10:15 reversed for a right-to-left line, in Persian digits.
  EXPECT_TRUE(textAt("\u06F5\u06F1:\u06F0\u06F1 \u06F1\u06F0/\u06F1\u06F0/\u06F3\u06F0\u06F4\u06F1", 1));
}

TEST_F(IdleTest, AMerchantLineOf65BytesStaysOnOneLine) {
  const std::string label = msg(296) + ": ";
  const std::string name(65 - label.size(), 'a');
  std::memcpy(config.MerchantName, name.data(), name.size());
  drawSplash(0, 0);
  EXPECT_TRUE(textAt(label + name, MERCHANT_LINE_Y));
  EXPECT_TRUE(textsAt(MERCHANT_LINE1_Y).empty());
}

TEST_F(IdleTest, A66ByteMerchantLineBreaksAtItsLastSpace) {
  const std::string label = msg(296) + ": ";
  const std::string name = std::string(30, 'a') + " " + std::string(66 - label.size() - 31, 'b');
  ASSERT_EQ(label.size() + name.size(), 66u);
  std::memcpy(config.MerchantName, name.data(), name.size());
  drawSplash(0, 0);
  EXPECT_TRUE(textsAt(MERCHANT_LINE_Y).empty());
  EXPECT_TRUE(textAt(label + std::string(30, 'a'), MERCHANT_LINE1_Y));
  EXPECT_TRUE(textAt(std::string(66 - label.size() - 31, 'b'), MERCHANT_LINE2_Y));
}

TEST_F(IdleTest, ALineWithoutSpacesBreaksBetweenCharacters) {
  const std::string persian = "\u0634"; // two bytes
  std::string line;
  for (int i = 0; i < 40; ++i) line += persian;
  char first[256] = {}, second[256] = {};
  splitMerchantLine(line.c_str(), first, sizeof first, second, sizeof second);
  EXPECT_EQ(std::strlen(first), 64u); // 65 would cut a character in two
  EXPECT_EQ(std::string(first) + second, line);
  splitMerchantLine("short line", first, sizeof first, second, sizeof second);
  EXPECT_STREQ(first, "short line");
  EXPECT_STREQ(second, "");
}

TEST_F(IdleTest, TheTerminalNumberIsShownUnlessItIsAllZeros) {
  std::memcpy(config.TerminalNo, "00000000", 8);
  drawSplash(0, 0);
  EXPECT_TRUE(textsAt(30).empty());
  std::memcpy(config.TerminalNo, "12345678", 8);
  drawSplash(0, 0);
  const auto line = textsAt(30);
  ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(line[0].x, 8);
  EXPECT_EQ(line[0].size, 1);
  EXPECT_EQ(line[0].utf8, msg(10) + "  \u06F8\u06F7\u06F6\u06F5\u06F4\u06F3\u06F2\u06F1");
}

TEST_F(IdleTest, APendingPurchaseIsMarkedForSettlementOrCorrection) {
  TransactionRecord pending = {};
  std::memcpy(pending.MTI, "0200", 4);
  pending.Status = 0;
  ASSERT_EQ(writeTempFile(pending), 320);
  drawSplash(0, 0);
  EXPECT_TRUE(sim::screenContains(msg(35)));
  for (const auto &t : sim::screenTexts()) {
    if (t.utf8 == msg(35)) {
      EXPECT_EQ(t.textColor565, 61440u);
    }
  }

  sim::resetForTest(dir_.c_str());
  pending.Status = 11;
  ASSERT_EQ(writeTempFile(pending), 320);
  drawSplash(0, 0);
  EXPECT_TRUE(sim::screenContains(msg(54)));

  sim::resetForTest(dir_.c_str());
  std::memcpy(pending.MTI, "0100", 4);
  ASSERT_EQ(writeTempFile(pending), 320);
  drawSplash(0, 0);
  EXPECT_FALSE(sim::screenContains(msg(35)));
  EXPECT_FALSE(sim::screenContains(msg(54)));
}

/* ---- keys ---------------------------------------------------------------------------------- */

TEST_F(IdleTest, EachIdleKeyGivesItsCode) {
  EXPECT_EQ(idleUntil(0, "22"), SPLASH_MAIN_MENU);
  EXPECT_EQ(idleUntil(0, "9", true), SPLASH_NINE);
  EXPECT_EQ(idleUntil(0, "UP"), SPLASH_UP);
  EXPECT_EQ(idleUntil(0, "DOWN"), SPLASH_DOWN);
  EXPECT_EQ(idleUntil(0, "CLEAR"), SPLASH_SETTINGS);
  EXPECT_EQ(idleUntil(0, "7"), SPLASH_REFRESH);
}

TEST_F(IdleTest, OtherKeysAreIgnored) {
  script("type 5\nkey ENTER\nkey CANCEL\nkey 21\nwait 1000\nkey CLEAR\nwait 3600000\n");
  const long long start = sim::virtualNowMs();
  EXPECT_EQ(splashMenu(), SPLASH_SETTINGS);
  EXPECT_GE(sim::virtualNowMs() - start, 1000); // only the last key ended the loop
  EXPECT_EQ(sim::pendingKeys(), 0u);
}

TEST_F(IdleTest, TheDateLineFollowsTheClock) {
  EXPECT_EQ(idleUntil(70000, "CLEAR"), SPLASH_SETTINGS); // 10:16:12
  EXPECT_TRUE(textAt("\u06F6\u06F1:\u06F0\u06F1 \u06F1\u06F0/\u06F1\u06F0/\u06F3\u06F0\u06F4\u06F1", 1));
  EXPECT_FALSE(sim::screenContains("\u06F5\u06F1:\u06F0\u06F1"));
}

/* ---- idle minutes --------------------------------------------------------------------------- */

TEST_F(IdleTest, TheSecondIdleMinuteDimsAndAKeyWakesTheScreen) {
  config.askSleepTime = 2;
  EXPECT_EQ(idleUntil(90000, "CLEAR"), SPLASH_SETTINGS);
  EXPECT_EQ(lcdBackLightStruct.interval, 1); // a key on a lit screen does not restart the count
  EXPECT_EQ(lcdBackLightStruct.brightness, 1);
  // The count survives leaving the idle screen: one more minute is the second.
  EXPECT_EQ(idleUntil(70000, "CLEAR"), SPLASH_SETTINGS);
  EXPECT_EQ(lcdBackLightStruct.brightness, 2);
  EXPECT_EQ(lcdBackLightStruct.keep, -1);    // was dimmed; the key lit it again...
  EXPECT_EQ(lcdBackLightStruct.interval, 0); // ...and restarted the idle count
}

TEST_F(IdleTest, AutomaticPowerOffComesAtShutdownTimeoutWhenSleepIsOff) {
  config.askSleepTime = 2;
  config.askShutDownTime = 1;
  config.shutdownTimeout = 15;
  script("wait 3600000\n");
  const long long start = sim::virtualNowMs();
  try {
    splashMenu();
    FAIL() << "the terminal stayed on";
  } catch (const PoweredOff &off) {
    EXPECT_GE(off.atMs - start, 15 * MINUTE);
    EXPECT_LT(off.atMs - start, 15 * MINUTE + 5000);
  }
}

TEST_F(IdleTest, AutomaticPowerOffCanBeDisabled) {
  config.askSleepTime = 2;
  config.askShutDownTime = 2;
  config.shutdownTimeout = 15;
  EXPECT_EQ(idleUntil(40 * MINUTE, "CLEAR"), SPLASH_SETTINGS);
}

TEST_F(IdleTest, SleepRestartsTheIdleCountSoPowerOffNeverComes) {
  config.askSleepTime = 1;
  config.sleepTimeout = 10;
  config.askShutDownTime = 1;
  config.shutdownTimeout = 15;
  // Each sleep lasts until a key; '1' wakes the terminal and is then ignored.
  script("wait 720000\ntype 1\nwait 720000\ntype 1\nwait 720000\nkey CLEAR\nwait 3600000\n");
  EXPECT_EQ(splashMenu(), SPLASH_SETTINGS);
  EXPECT_GE(lcdBackLightStruct.interval, 0);
  EXPECT_LT(lcdBackLightStruct.interval, 10);
}

} // namespace
