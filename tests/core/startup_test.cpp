// startup_test.cpp - the update-service prompt, the debug unlock, the settings
// summary and power-off, on the simulator.
#include "core/key.h"
#include "core_test_util.h"

namespace {

class StartupTest : public TerminalTest {
protected:
  bool englishLine(const std::string &text, int row) const { return textAt(text, row * 16); }
};

/* ---- update-service prompt --------------------------------------------------------- */

TEST_F(StartupTest, NoUpdateTaskShowsNothingAndWaitsForNothing) {
  sim::setTmsTask(0);
  const long long before = sim::virtualNowMs();
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_CONTINUE);
  EXPECT_EQ(sim::virtualNowMs(), before);
  EXPECT_FALSE(englishLine("prompt:", 0));
}

TEST_F(StartupTest, AWaitingUpdateEndsTheProgramOnlyOnEnter) {
  sim::setTmsTask(1);
  script("type 2\nkey ENTER\nwait 3600000\n");
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_EXIT_FOR_UPDATE);
  EXPECT_TRUE(englishLine("Received update message", 1));
  EXPECT_TRUE(englishLine("not perform updates", 5));

  script("key CANCEL\nwait 3600000\n");
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_CONTINUE);
  script("type 1\nwait 3600000\n");
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_CONTINUE);
}

TEST_F(StartupTest, TheUpdatePromptWaitsWithoutLimit) {
  sim::setTmsTask(1);
  script("wait 7200000\nkey CANCEL\nwait 3600000\n");
  const long long before = sim::virtualNowMs();
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_CONTINUE);
  EXPECT_GE(sim::virtualNowMs() - before, 7200000);
}

TEST_F(StartupTest, StopUseAndUseAllowedAgainIgnoreEnter) {
  sim::setTmsTask(2);
  script("key ENTER\ntype 2\nwait 3600000\n");
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_CONTINUE);
  EXPECT_TRUE(englishLine("POS Release Stop Use!", 2));
  EXPECT_EQ(sim::pendingKeys(), 0u);

  sim::setTmsTask(3);
  script("key ENTER\ntype 2\nwait 3600000\n");
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_CONTINUE);
  EXPECT_TRUE(englishLine("POS stop using", 6));
  EXPECT_FALSE(englishLine("Received a message", 1)); // the screen was cleared first

  script("key CANCEL\nwait 3600000\n");
  EXPECT_EQ(MerchantMenuTMSAction(), TMS_CONTINUE);
  EXPECT_TRUE(englishLine("POS stop using", 2));
  EXPECT_FALSE(englishLine("POS stop using", 6));
}

/* ---- debug unlock ------------------------------------------------------------------------ */

std::string unlockCode() {
  char code[8] = {};
  debugUnlockCode(config.SerialNo, code, sizeof code);
  return code;
}

TEST_F(StartupTest, FourPressesAndTheRightCodeTurnDiagnosticsOn) {
  normalizeConfigAtStart();
  script("key DOWN\nkey DOWN\nkey DOWN\nkey DOWN\ntype " + unlockCode() + "\nkey ENTER\nwait 3600000\n");
  EXPECT_EQ(debugUnlock(), 1);
  EXPECT_EQ(hasDebug, 1);
  Config stored = {};
  const auto bytes = readBytes(CONFIG_FILE);
  ASSERT_EQ(bytes.size(), sizeof stored);
  std::memcpy(&stored, bytes.data(), sizeof stored);
  EXPECT_STREQ(stored.NII, "0006"); // written after the unlock
}

TEST_F(StartupTest, AWrongCodeLeavesDiagnosticsOff) {
  normalizeConfigAtStart();
  std::string wrong = unlockCode();
  wrong[0] = wrong[0] == '9' ? '0' : static_cast<char>(wrong[0] + 1);
  script("key DOWN\nkey DOWN\nkey DOWN\nkey DOWN\ntype " + wrong + "\nkey ENTER\nwait 3600000\n");
  EXPECT_EQ(debugUnlock(), 0);
  EXPECT_EQ(hasDebug, 0);
}

TEST_F(StartupTest, ThreePressesDoNotAskForACode) {
  normalizeConfigAtStart();
  script("key DOWN\nkey DOWN\nkey DOWN\nwait 3600000\n");
  const long long before = sim::virtualNowMs();
  EXPECT_EQ(debugUnlock(), 0);
  EXPECT_LT(sim::virtualNowMs() - before, 5000); // no code prompt was waited on
  EXPECT_FALSE(sim::screenContains(msg(40)));
  EXPECT_EQ(readBytes(CONFIG_FILE).size(), 1356u); // the configuration is written all the same
}

/* ---- settings summary and power-off ------------------------------------------------------------ */

TEST_F(StartupTest, TheSettingsSummaryShowsTheTerminalsIdentity) {
  firstStart();
  std::memcpy(config.TerminalNo, "12345678", 8);
  std::memcpy(config.MerchantNo, "111222333", 9);
  std::memcpy(config.IMEI, "356938035643809", 15);
  // The summary stays until a key: the script looks at it while it waits.
  script("expect " + msg(367) + "\n"
         "expect \u06F8\u06F7\u06F6\u06F5\u06F4\u06F3\u06F2\u06F1\n" // 12345678, in display order
         "expect SIM00012345\n"
         "expect  IMEI \n"
         "type 1\nwait 3600000\n");
  EXPECT_EQ(splashMenuAction(SPLASH_SETTINGS), 0);
  EXPECT_TRUE(sim::screenTexts().empty()); // cleared after the key
}

TEST_F(StartupTest, PowerOffAsksFirst) {
  script("key CANCEL\nwait 3600000\n");
  EXPECT_EQ(TurnOffMenu(), 0);
  EXPECT_TRUE(sim::screenContains(msg(227)));

  script("wait 3600000\n");
  const long long before = sim::virtualNowMs();
  EXPECT_EQ(TurnOffMenu(), 0); // no answer within 15 seconds
  EXPECT_GE(sim::virtualNowMs() - before, 15000);
  EXPECT_LT(sim::virtualNowMs() - before, 16000);

  script("key ENTER\nwait 3600000\n");
  EXPECT_THROW(TurnOffMenu(), PoweredOff);
}

} // namespace
