/* Tests of the device model: clock, keypad, card reader, power, system calls. */
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cstring>

#include "libapi.h"
#include "platform_clock.h"
#include "sim_test_util.h"

namespace {

const long long kStart = 1796637600000LL;  // 2026-12-07 10:00:00

using Device = SimTest;

TEST_F(Device, FreshDeviceStartsAtItsFixedVirtualTime) {
  EXPECT_EQ(sim::virtualNowMs(), kStart);
  EXPECT_EQ(PLAT_ClockMs(), kStart);
  int dt[7];
  ASSERT_EQ(DLL_SysGetDateTime(dt), 0);
  EXPECT_EQ(dt[DLL_DT_YEAR], 2026);
  EXPECT_EQ(dt[DLL_DT_MONTH], 12);
  EXPECT_EQ(dt[DLL_DT_DAY], 7);
  EXPECT_EQ(dt[DLL_DT_HOUR], 10);
  EXPECT_EQ(dt[DLL_DT_MINUTE], 0);
  EXPECT_EQ(dt[DLL_DT_SECOND], 0);
  EXPECT_EQ(dt[DLL_DT_WEEKDAY], 1);  // a Monday
}

TEST_F(Device, VirtualTimeKeepsPaceWithABackgroundThreadOnlyWhileItRuns) {
  // As the engine waits for the link's background connect: polls on the
  // terminal clock, giving up after 5 s of it. The thread needs 1.5 s of real
  // time; a clock running free passes those 5 s in a fraction of that.
  std::atomic<bool> done{false};
  std::thread worker([&done] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    done = true;
  });
  const long long giveUpAt = PLAT_ClockMs() + 5000;
  while (!done && PLAT_ClockMs() < giveUpAt) PLAT_SleepMs(1);
  const bool seen = done;
  worker.join();
  EXPECT_TRUE(seen) << "the waiter gave up after " << PLAT_ClockMs() - kStart << " virtual ms";
  // With the thread gone, time is virtual again.
  auto wallStart = std::chrono::steady_clock::now();
  PLAT_SleepMs(60000);
  EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(30));
}

TEST_F(Device, SleepingAMinuteCostsVirtualTimeOnly) {
  auto wallStart = std::chrono::steady_clock::now();
  PLAT_SleepMs(60000);
  EXPECT_EQ(PLAT_ClockMs(), kStart + 60000);
  // Not a timing assertion: a real sleep would have taken the full minute.
  EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(30));
  int dt[7];
  DLL_SysGetDateTime(dt);
  EXPECT_EQ(dt[DLL_DT_MINUTE], 1);
}

TEST_F(Device, SettingTheDateMovesTheSimulatedClockAndRecomputesTheWeekday) {
  int dt[7] = {59, 59, 23, 29, 2, 2028, 6 /* wrong on purpose */};
  ASSERT_EQ(DLL_SysSetDateTime(dt), 0);
  int got[7];
  DLL_SysGetDateTime(got);
  EXPECT_EQ(got[DLL_DT_DAY], 29);
  EXPECT_EQ(got[DLL_DT_MONTH], 2);
  EXPECT_EQ(got[DLL_DT_YEAR], 2028);
  EXPECT_EQ(got[DLL_DT_WEEKDAY], 2);  // 2028-02-29 is a Tuesday
  PLAT_SleepMs(1000);
  DLL_SysGetDateTime(got);
  EXPECT_EQ(got[DLL_DT_DAY], 1);
  EXPECT_EQ(got[DLL_DT_MONTH], 3);

  int rtc[7] = {0, 30, 8, 1, 1, 2027, 0};
  ASSERT_EQ(DLL_SysSetRtc(rtc), 0);
  DLL_SysGetDateTime(got);
  EXPECT_EQ(got[DLL_DT_HOUR], 8);
  EXPECT_EQ(got[DLL_DT_MINUTE], 30);
}

TEST_F(Device, ImpossibleDatesAreRefusedAndLeaveTheClock) {
  int feb30[7] = {0, 0, 0, 30, 2, 2027, 0};
  int hour24[7] = {0, 0, 24, 1, 1, 2027, 0};
  int month13[7] = {0, 0, 0, 1, 13, 2027, 0};
  EXPECT_EQ(DLL_SysSetDateTime(feb30), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_SysSetDateTime(hour24), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_SysSetRtc(month13), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_SysSetDateTime(nullptr), DLL_ERR_PARAM);
  EXPECT_EQ(PLAT_ClockMs(), kStart);
}

TEST_F(Device, KeysComeOutInOrderAndAnEmptyPollLetsTimePass) {
  unsigned char key = 99;
  EXPECT_NE(DLL_KbCheck(), 0);
  EXPECT_NE(DLL_KbGetCh(&key), 0);
  EXPECT_EQ(key, 99);  // untouched when no key waits
  EXPECT_GT(PLAT_ClockMs(), kStart);

  sim::pushKey(DLL_KEY_MENU);
  sim::pushKey('7');
  sim::pushKey(DLL_KEY_ENTER);
  EXPECT_EQ(DLL_KbCheck(), 0);
  ASSERT_EQ(DLL_KbGetCh(&key), 0);
  EXPECT_EQ(key, DLL_KEY_MENU);
  ASSERT_EQ(DLL_KbGetCh(&key), 0);
  EXPECT_EQ(key, '7');
  EXPECT_EQ(DLL_KbFlush(), 0);
  EXPECT_NE(DLL_KbCheck(), 0);
  EXPECT_EQ(sim::pendingKeys(), 0u);
}

TEST_F(Device, KeySoundSettingIsRecorded) {
  EXPECT_EQ(DLL_KbSetSound(0, 40), 0);
  EXPECT_EQ(sim::keySoundMode(), 0);
  EXPECT_EQ(sim::keySoundLevel(), 40);
  EXPECT_EQ(DLL_KbSetSound(1, 0), 0);
  EXPECT_EQ(sim::keySoundMode(), 1);
}

TEST_F(Device, CardReadNeedsSixteenTrackTwoCharactersAndConsumesTheSwipe) {
  int l1 = -1, l2 = -1, l3 = -1;
  unsigned char t1[128], t2[128], t3[128];
  EXPECT_EQ(DLL_McrOpen(), 0);
  EXPECT_EQ(DLL_McrCheck(), 0);
  EXPECT_EQ(DLL_McrRead(&l1, t1, &l2, t2, &l3, t3), 0);

  sim::pushSwipe("603799123456789");  // 15 characters: a failed read
  EXPECT_NE(DLL_McrCheck(), 0);
  EXPECT_EQ(DLL_McrRead(&l1, t1, &l2, t2, &l3, t3), 0);
  EXPECT_EQ(l2, 0);
  EXPECT_EQ(DLL_McrCheck(), 0);  // used up even though it failed

  sim::pushSwipe("6037991234567890", "B6037991234567890^TEST/CARD^2912");
  EXPECT_NE(DLL_McrCheck(), 0);
  ASSERT_EQ(DLL_McrRead(&l1, t1, &l2, t2, &l3, t3), 7);  // the reader's answer for track 2 read
  EXPECT_EQ(l2, 16);
  EXPECT_STREQ(reinterpret_cast<char*>(t2), "6037991234567890");
  EXPECT_EQ(l1, 32);
  EXPECT_STREQ(reinterpret_cast<char*>(t1), "B6037991234567890^TEST/CARD^2912");
  EXPECT_EQ(l3, 0);
  EXPECT_EQ(DLL_McrCheck(), 0);
}

TEST_F(Device, ReaderResetDropsAWaitingSwipe) {
  sim::pushSwipe("6037991234567890=29121010000000");
  EXPECT_EQ(DLL_McrReset(), 0);
  EXPECT_EQ(sim::pendingSwipes(), 0u);
  EXPECT_EQ(DLL_McrCheck(), 0);
}

TEST_F(Device, BatteryChargerSerialAndUpdateTaskComeFromTheFrontEnd) {
  unsigned char buf[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(DLL_SysCheckBattery(buf), 0);
  EXPECT_EQ(buf[0], 100);
  sim::setPower(12, 1);
  DLL_SysCheckBattery(buf);
  EXPECT_EQ(buf[0], 12);
  DLL_SysCheckUsbStatus(buf);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(DLL_SysCheckBattery(nullptr), DLL_ERR_PARAM);

  char sn[DLL_SN_SIZE];
  ASSERT_EQ(DLL_SysReadSN(sn), 0);
  EXPECT_STREQ(sn, "SIM00012345");
  sim::setSerial(std::string(40, 'X'));  // cut to what the buffer holds
  DLL_SysReadSN(sn);
  EXPECT_EQ(strlen(sn), static_cast<size_t>(DLL_SN_SIZE - 1));

  EXPECT_EQ(DLL_TMS_GetTask(), 0);
  sim::setTmsTask(3);
  EXPECT_EQ(DLL_TMS_GetTask(), 3);
}

TEST_F(Device, BeepIsRecordedAndTakesItsDuration) {
  EXPECT_EQ(DLL_SysBeef(6, 300), 0);
  EXPECT_EQ(DLL_SysBeef(7, 300), DLL_ERR_PARAM);
  auto beeps = sim::beeps();
  ASSERT_EQ(beeps.size(), 1u);
  EXPECT_EQ(beeps[0].tone, 6);
  EXPECT_EQ(beeps[0].ms, 300u);
  EXPECT_EQ(beeps[0].atMs, kStart);
  EXPECT_EQ(PLAT_ClockMs(), kStart + 300);
}

TEST_F(Device, SleepReturnsOnAKeyAndLeavesItForTheApplication) {
  ASSERT_TRUE(sim::loadScript("wait 5000\nkey 5\n", nullptr));
  sim::setExitHandler([](int status, const std::string& m) { throw SimExit{status, m}; });
  EXPECT_EQ(DLL_SysEnterSleep(), 0);
  EXPECT_GE(PLAT_ClockMs(), kStart + 5000);
  unsigned char key = 0;
  ASSERT_EQ(DLL_KbGetCh(&key), 0);
  EXPECT_EQ(key, DLL_KEY_UP);
}

TEST_F(Device, PowerDownGoesToTheHandlerInTests) {
  bool off = false;
  sim::setPowerDownHandler([&] { off = true; });
  DLL_SysPowerDown();
  EXPECT_TRUE(off);
}

TEST_F(Device, PinAnswersComeInOrderAndCancelReadsAsNoPin) {
  std::string digits;
  sim::pushPinAnswer("1234");
  sim::pushPinAnswer("cancel");
  EXPECT_TRUE(sim::takePinAnswer(&digits));
  EXPECT_EQ(digits, "1234");
  EXPECT_FALSE(sim::takePinAnswer(&digits));
  long long before = PLAT_ClockMs();
  EXPECT_FALSE(sim::takePinAnswerWithin(&digits, 2000));  // nobody answers: times out
  EXPECT_GE(PLAT_ClockMs(), before + 2000);
}

}  // namespace
