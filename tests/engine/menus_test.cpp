/*
 * menus_test.cpp - the merchant's and manager's screens on the simulated
 * terminal: the terminal password's lock, forced change and reset, the
 * supervisor password, the settings screens' range checks, and the charge
 * amounts each operator sells.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/Filing.h"
#include "core/MerchantMenu.h"
#include "core/Settings.h"
#include "core_test_util.h"
#include "txn/CustomerFlows.h"
#include "ui/Messages.h"

namespace {

std::string msg(int id) {
  char text[UI_MESSAGE_BUFFER_SIZE] = {};
  return getUiMessage(id, text, sizeof text);
}

bool onScreen(const std::string &fragment) { return sim::screenContains(fragment); }

class Menus : public TerminalTest {
protected:
  void SetUp() override {
    TerminalTest::SetUp();
    firstStart();
  }
  static Config stored() {
    readConfigFromFile(0);
    return config;
  }
};

TEST_F(Menus, theFirstUseForcesAChangeAndRefusesTheFactoryPassword) {
  ASSERT_EQ(config.passMustChange, 1);
  script("type 4817\nkey ENTER\ntype 4817\nkey ENTER\ntype 4817\nkey ENTER\nexpect " + msg(421) + "\nwait 5000\n");
  EXPECT_EQ(checkTerminalPassword(0), PASSWORD_WRONG);
  EXPECT_EQ(stored().passMustChange, 1) << "a refused change leaves the change forced";
  EXPECT_STREQ(stored().MerchantPass, "4817");

  script("type 4817\nkey ENTER\ntype 2468\nkey ENTER\ntype 2468\nkey ENTER\nwait 5000\n");
  EXPECT_EQ(checkTerminalPassword(0), 0);
  EXPECT_EQ(stored().passMustChange, 2);
  EXPECT_STREQ(stored().MerchantPass, "2468");
}

TEST_F(Menus, threeWrongPasswordsLockUntilTheManagerResetsThem) {
  config.passMustChange = 2;
  std::strcpy(config.MerchantPass, "2468");
  writeConfig2File();
  for (int attempt = 1; attempt <= 3; ++attempt) {
    script("type 1111\nkey ENTER\nwait 5000\n");
    EXPECT_EQ(checkTerminalPassword(0), PASSWORD_WRONG);
    EXPECT_EQ(stored().passFailCount, attempt);
  }
  // The fourth attempt is not even asked: the right password would not help.
  script("wait 5000\n");
  EXPECT_EQ(checkTerminalPassword(0), PASSWORD_LOCKED);
  EXPECT_TRUE(onScreen(msg(280)));

  script("wait 5000\n");
  EXPECT_EQ(ManagerResetMerchantPass(), 0);
  const Config after = stored();
  EXPECT_EQ(after.passFailCount, 0);
  EXPECT_EQ(after.passMustChange, 1);
  EXPECT_STREQ(after.MerchantPass, "4817");

  // A right password after wrong ones clears the count.
  config.passMustChange = 2;
  std::strcpy(config.MerchantPass, "2468");
  config.passFailCount = 2;
  writeConfig2File();
  script("type 2468\nkey ENTER\n");
  EXPECT_EQ(checkTerminalPassword(0), 0);
  EXPECT_EQ(stored().passFailCount, 0);
}

TEST_F(Menus, theSupervisorPasswordIsTheDaysCodeOfTheSerialNumber) {
  char code[8] = {};
  supervisorCode(config.SerialNo, "20261207", code, sizeof code); // the simulator's clock starts on this day
  std::string wrong = code;
  wrong[0] = wrong[0] == '9' ? '0' : static_cast<char>(wrong[0] + 1);
  script("type " + wrong + "\nkey ENTER\nwait 5000\n");
  EXPECT_EQ(CheckSupervisorPassword(), PASSWORD_WRONG);
  script(std::string("type ") + code + "\nkey ENTER\n");
  EXPECT_EQ(CheckSupervisorPassword(), 0);
  script("key CANCEL\nwait 5000\n");
  EXPECT_EQ(CheckSupervisorPassword(), PASSWORD_CANCELLED);
}

TEST_F(Menus, theMerchantCopyIntervalIsAskedAgainBelowTwoSeconds) {
  // "Print after confirmation", then 1 (refused), then 2; the field starts from the stored 3.
  script("type 2\nkey CLEAR\ntype 1\nkey ENTER\nkey CLEAR\ntype 2\nkey ENTER\nwait 4000\n");
  EXPECT_EQ(MerchantSettingPrintSecondTicket(), 0);
  EXPECT_EQ(stored().askForSecondTicket, 2);
  EXPECT_EQ(stored().merchantTicketTimeout, 2);
}

TEST_F(Menus, automaticPowerOffTakesFifteenToSixtyMinutes) {
  // Enabled; 10 and 61 are asked again, 60 is taken.
  script("type 1\nkey CLEAR\nkey CLEAR\ntype 10\nkey ENTER\nkey CLEAR\nkey CLEAR\ntype 61\nkey ENTER\n"
         "key CLEAR\nkey CLEAR\ntype 60\nkey ENTER\nwait 8000\n");
  EXPECT_EQ(MerchantSettingshutdownTimeout(), 0);
  EXPECT_EQ(stored().askShutDownTime, 1);
  EXPECT_EQ(stored().shutdownTimeout, 60);
  script("type 1\nkey CLEAR\nkey CLEAR\ntype 15\nkey ENTER\nwait 8000\n");
  EXPECT_EQ(MerchantSettingshutdownTimeout(), 0);
  EXPECT_EQ(stored().shutdownTimeout, 15);
  script("key CANCEL\nwait 4000\n");
  EXPECT_EQ(MerchantSettingshutdownTimeout(), -2);
  EXPECT_EQ(stored().shutdownTimeout, 15) << "Cancel changes nothing";
}

TEST(ChargeTables, eachOperatorSellsItsOwnAmounts) {
  auto price = [](int choice, int op, int kind) {
    setPrice(choice, op, kind);
    return std::string(currentTransaction.Price);
  };
  // Operator 1: the same four amounts for vouchers and top-ups.
  for (int kind : {CHARGE_VOUCHER, CHARGE_TOPUP}) {
    EXPECT_EQ(price(1, 1, kind), "50000");
    EXPECT_EQ(price(4, 1, kind), "500000");
    EXPECT_EQ(price(5, 1, kind), "0");
  }
  // Operator 2: three vouchers, six top-ups.
  EXPECT_EQ(price(3, 2, CHARGE_VOUCHER), "200000");
  EXPECT_EQ(price(4, 2, CHARGE_VOUCHER), "0");
  EXPECT_EQ(price(1, 2, CHARGE_TOPUP), "10000");
  EXPECT_EQ(price(6, 2, CHARGE_TOPUP), "500000");
  // Operator 3: vouchers from 20,000.
  EXPECT_EQ(price(1, 3, CHARGE_VOUCHER), "20000");
  EXPECT_EQ(price(5, 3, CHARGE_VOUCHER), "500000");
  EXPECT_EQ(price(0, 3, CHARGE_TOPUP), "0");
  EXPECT_EQ(operatorCompanyId(1), 12);
  EXPECT_EQ(operatorCompanyId(2), 11);
  EXPECT_EQ(operatorCompanyId(3), 16);
}

} // namespace
