/* Tests of the headless script: parsing, and how it runs as the application waits. */
#include <fstream>

#include "libapi.h"
#include "platform_clock.h"
#include "sim_test_util.h"

namespace {

using Script = SimTest;

std::string loadError(const std::string& text) {
  std::string error;
  EXPECT_FALSE(sim::loadScript(text, &error)) << text;
  return error;
}

TEST_F(Script, MalformedLinesAreNamedWithTheirNumber) {
  EXPECT_EQ(loadError("# fine\nkey ENTER\nfrobnicate 3\n"),
            "sim: script line 3: unknown command \"frobnicate\": frobnicate 3");
  EXPECT_NE(loadError("key\n").find("line 1: key takes 1 argument"), std::string::npos);
  EXPECT_NE(loadError("key 300\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("key 255\n").find("line 1"), std::string::npos);  // 255 means no key
  EXPECT_NE(loadError("\n\ntype 12a\n").find("line 3"), std::string::npos);
  EXPECT_NE(loadError("wait -5\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("wait 10 20\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("pin 12345678901234\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("shot ../../etc/x\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("shot .hidden\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("power 101 0\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("power 50 2\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("expect\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("swipe\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("swipe " + std::string(128, '1') + "\n").find("line 1"), std::string::npos);
  EXPECT_NE(loadError("quit now\n").find("line 1"), std::string::npos);
}

TEST_F(Script, WellFormedScriptsLoad) {
  std::string error;
  EXPECT_TRUE(sim::loadScript("  # comment only\n\n"
                              "key 13   # trailing comment\n"
                              "key enter\nkey CANCEL\nkey CLEAR\nkey UP\nkey DOWN\nkey 22\n"
                              "type 0123\nswipe 6037991234567890=2912 B6037991234567890^DOE/JOHN ^2912\n"
                              "pin 1234\npin cancel\nwait 60000\nshot a-b_c.1\n"
                              "expect \xD9\x85\xD8\xA8\xD9\x84\xD8\xBA \xD9\xA1\xD9\xA2\n"
                              "power 12 1\nquit\n",
                              &error))
      << error;
}

// Polls like an application's idle loop until the run ends; returns its status.
int runIdleLoop(std::vector<int>* keysSeen = nullptr) {
  try {
    for (;;) {
      unsigned char key;
      if (DLL_KbGetCh(&key) == 0 && keysSeen) keysSeen->push_back(key);
      DLL_McrCheck();
      PLAT_SleepMs(20);
    }
  } catch (const SimExit& e) {
    return e.status;
  }
}

TEST_F(Script, AWaitPassesInVirtualTimeAndTheEndOfTheScriptEndsTheRun) {
  long long start = PLAT_ClockMs();
  ASSERT_TRUE(sim::loadScript("wait 60000\n", nullptr));
  EXPECT_EQ(runIdleLoop(), 0);
  EXPECT_GE(PLAT_ClockMs(), start + 60000);
  EXPECT_LT(PLAT_ClockMs(), start + 61000);
}

// The parser used to take waits of up to 30 days that the runaway limit then
// ended with status 4.
TEST_F(Script, AWaitUpToTheRunawayLimitRunsAndALongerOneIsRefused) {
  sim::setRunawayLimitMs(600000);  // ten virtual minutes keep the test quick
  EXPECT_NE(loadError("wait 600001\n").find("line 1: wait wants milliseconds, at most 600000"), std::string::npos);
  ASSERT_TRUE(sim::loadScript("wait 300000\nwait 600000\n", nullptr));
  EXPECT_EQ(runIdleLoop(), 0);
}

TEST_F(Script, InputIsGivenOneAtATimeAndTypeGivesOneKeyPerDigit) {
  ASSERT_TRUE(sim::loadScript("type 407\nkey ENTER\n", nullptr));
  std::vector<int> keys;
  EXPECT_EQ(runIdleLoop(&keys), 0);
  EXPECT_EQ(keys, (std::vector<int>{'4', '0', '7', 13}));
}

TEST_F(Script, TheNextCommandWaitsUntilTheApplicationTookTheInput) {
  ASSERT_TRUE(sim::loadScript("key 49\nkey 50\n", nullptr));
  EXPECT_EQ(DLL_KbCheck(), 0);  // the poll gives the first key
  EXPECT_EQ(sim::pendingKeys(), 1u);
  PLAT_SleepMs(1000);  // time passes, but the first key is not taken yet
  EXPECT_EQ(sim::pendingKeys(), 1u);
  unsigned char key = 0;
  ASSERT_EQ(DLL_KbGetCh(&key), 0);
  EXPECT_EQ(key, '1');
  ASSERT_EQ(DLL_KbGetCh(&key), 0);
  EXPECT_EQ(key, '2');
}

TEST_F(Script, ShotAfterAKeyShowsTheScreenTheKeyLedTo) {
  sim::setOutputDir(dir_.string());
  ASSERT_TRUE(sim::loadScript("key 5\nshot after\n", nullptr));
  try {
    for (;;) {
      unsigned char key;
      if (DLL_KbGetCh(&key) == 0) {
        DLL_LcdCls();
        DLL_LcdPrintTTF(1, 45, ("got " + std::to_string(key)).c_str());
      }
      PLAT_SleepMs(10);
    }
  } catch (const SimExit& e) {
    EXPECT_EQ(e.status, 0);
  }
  std::ifstream f(dir_ / "after.txt");
  std::string listing((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_NE(listing.find("\"got 5\""), std::string::npos) << listing;
}

TEST_F(Script, ExpectWaitsForTheTextAndFailsWithStatusThreeWhenItNeverComes) {
  ASSERT_TRUE(sim::loadScript("expect ready\nexpect never\n", nullptr));
  long long start = PLAT_ClockMs();
  try {
    for (int turn = 0;; ++turn) {
      if (turn == 100) DLL_LcdPrintTTF(1, 45, "all ready now");  // about a virtual second in
      DLL_KbCheck();
    }
  } catch (const SimExit& e) {
    EXPECT_EQ(e.status, 3);
    EXPECT_NE(e.message.find("\"never\""), std::string::npos) << e.message;
    EXPECT_NE(e.message.find("line 2"), std::string::npos) << e.message;
  }
  // The first expect was met at its text's arrival; the second gave up 5 s later.
  EXPECT_GE(PLAT_ClockMs(), start + 5000);
  EXPECT_LT(PLAT_ClockMs(), start + 7000);
}

TEST_F(Script, PinPadRequestConsumesTheScriptUntilItsAnswer) {
  ASSERT_TRUE(sim::loadScript("wait 3000\npin 4321\nexpect done\n", nullptr));
  std::string digits;
  EXPECT_TRUE(sim::takePinAnswer(&digits));
  EXPECT_EQ(digits, "4321");
  ASSERT_TRUE(sim::loadScript("pin cancel\n", nullptr));
  EXPECT_FALSE(sim::takePinAnswer(&digits));
}

TEST_F(Script, PowerCommandChangesBatteryAndCharger) {
  ASSERT_TRUE(sim::loadScript("power 9 1\nwait 10\n", nullptr));
  EXPECT_EQ(runIdleLoop(), 0);
  unsigned char buf[4];
  DLL_SysCheckBattery(buf);
  EXPECT_EQ(buf[0], 9);
  DLL_SysCheckUsbStatus(buf);
  EXPECT_EQ(buf[0], 1);
}

TEST_F(Script, QuitEndsTheRunAtOnce) {
  ASSERT_TRUE(sim::loadScript("quit\nkey 1\n", nullptr));
  std::vector<int> keys;
  EXPECT_EQ(runIdleLoop(&keys), 0);
  EXPECT_TRUE(keys.empty());
}

TEST_F(Script, AnApplicationThatNeverTakesItsInputIsStoppedAsARunaway) {
  sim::setRunawayLimitMs(600000);  // ten virtual minutes keep the test quick
  ASSERT_TRUE(sim::loadScript("swipe 6037991234567890\nkey 1\n", nullptr));
  int status = -1;
  try {
    for (;;) DLL_KbCheck();  // never looks at the card reader
  } catch (const SimExit& e) {
    status = e.status;
    EXPECT_NE(e.message.find("runaway"), std::string::npos);
  }
  EXPECT_EQ(status, 4);
}

}  // namespace
