/*
 * e2e_test.cpp - the saffron program itself, headless, against a switchsim of
 * its own on 127.0.0.1: a terminal folder provisioned with saffron-config, the
 * manager's logon from the menu, then the cardholder's flows, checked on the
 * screens, the printed receipts, the journal and the switch's ledger.
 */
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/Settings.h"
#include "switch_fixture.h"

namespace {

using enginetest::fs::path;
using enginetest::readAll;

constexpr const char *TRACK_A = "6037991234567890=2512101123456789"; // PIN 1234
constexpr const char *SERIAL = "SIM00012345";
constexpr const char *DAY = "20261207";
// A run ends when its script does: this keeps it going until the flow is over.
constexpr const char *BACK_TO_IDLE = "expect فروشگاه نمونه\n";

class Saffron : public enginetest::SwitchFixture {
protected:
  path data, out;
  int runs = 0;

  void SetUp() override {
    SwitchFixture::SetUp();
    data = dir / "data";
    enginetest::fs::create_directories(data);
  }

  // Runs saffron-config on the terminal folder; its exit status.
  int configure(const std::string &args) {
    const std::string command = std::string(SAFFRON_CONFIG_PROGRAM) + " " + data.string() + " " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Starts the switch and points a fresh terminal at it, with extra settings.
  void provision(const std::string &faults = "", const std::string &settings = "") {
    startSwitch(faults);
    ASSERT_EQ(configure("set HostIP=127.0.0.1 HostPort=" + std::to_string(port) + " " + settings), 0);
  }

  // One run of saffron on the folder; the script's outputs go to a folder of
  // their own (out). The exit status.
  int run(const std::string &script) {
    out = dir / ("run" + std::to_string(++runs));
    std::ofstream(dir / "script.txt") << script;
    const std::string command = std::string(SAFFRON_PROGRAM) + " --sim-headless --sim-script " +
                                (dir / "script.txt").string() + " --sim-out " + out.string() + " --sim-data " +
                                data.string() + " --sim-time " + DAY + "101500 --link-wait-ms 3000 >" +
                                (dir / "saffron.log").string() + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static std::string supervisor() {
    char code[8] = {};
    supervisorCode(SERIAL, DAY, code, sizeof code);
    return code;
  }

  // The manager's logon from the menu: key exchange, then merchant information.
  void logon() {
    const std::string script = "wait 1000\nkey MENU\ntype 3\ntype " + supervisor() +
                               "\nkey ENTER\ntype 2\ntype 1\nwait 1500\nshot keys\nkey ENTER\ntype 2\nwait 1500\n"
                               "shot merchant\nkey ENTER\nkey CANCEL\nkey CANCEL\nkey CANCEL\nwait 500\nshot idle\n";
    ASSERT_EQ(run(script), 0) << readAll(dir / "saffron.log");
    ASSERT_NE(screen("keys").find("تراکنش موفق"), std::string::npos) << screen("keys");
    ASSERT_NE(screen("idle").find("فروشگاه نمونه"), std::string::npos) << screen("idle");
  }

  std::string screen(const std::string &name) { return readAll(out / (name + ".txt")); }
  std::string receipt(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "print-%03d.txt", n);
    return readAll(out / name);
  }
  bool printed(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "print-%03d.txt", n);
    return enginetest::fs::exists(out / name);
  }
  // No pending record (readers leave an empty pending file behind).
  bool nothingPending() {
    const path p = data / "p_TmpFile.dat";
    return !enginetest::fs::exists(p) || enginetest::fs::file_size(p) == 0;
  }
  std::string counts() {
    const std::string s = summary();
    const auto at = s.rfind(" approved and advised, ");
    return at == std::string::npos ? s : s.substr(s.rfind('\n', at) + 1);
  }
};

std::string purchase(const std::string &amount, const std::string &pin, const std::string &after = "") {
  return std::string("wait 1000\nswipe ") + TRACK_A + "\nwait 500\ntype 1\nwait 300\nshot amount\ntype " + amount +
         "\nkey ENTER\npin " + pin + "\nwait 2000\nshot result\n" + after + BACK_TO_IDLE;
}

TEST_F(Saffron, aPurchaseFromSwipeToReceiptIsApprovedAndAdvisedOnce) {
  provision();
  logon();
  // A new process: the PIN pad kept the keys of the logon.
  ASSERT_EQ(run(purchase("120000", "1234")), 0) << readAll(dir / "saffron.log");
  EXPECT_EQ(screen("amount").find("لطفا کارت بکشید"), std::string::npos) << "a card swiped on the idle screen is not asked again";
  EXPECT_NE(screen("amount").find("مبلغ"), std::string::npos) << screen("amount");
  EXPECT_NE(receipt(1).find("رسیدمشتری"), std::string::npos) << receipt(1);
  EXPECT_NE(receipt(1).find("۰۰۰,۰۲۱"), std::string::npos) << receipt(1);
  EXPECT_FALSE(printed(2)) << "askForSecondTicket 3 prints no merchant copy";
  EXPECT_EQ(counts(), "1 approved and advised, 0 reversed, 0 declined, 0 still open\n");
  EXPECT_EQ(enginetest::fs::file_size(data / "p_TrxFile.dat"), 320u);
  EXPECT_TRUE(nothingPending());
}

TEST_F(Saffron, aPurchaseWhoseAnswerIsLostPrintsTheReversalReceiptAndReverses) {
  provision("0200/000000 drop once\n");
  logon();
  ASSERT_EQ(run(purchase("70000", "1234")), 0) << readAll(dir / "saffron.log");
  EXPECT_NE(screen("result").find("خطا در اتصال به شبکه"), std::string::npos) << screen("result");
  EXPECT_NE(receipt(1).find("خطادرانجام تراکنش"), std::string::npos) << receipt(1);
  EXPECT_EQ(counts(), "0 approved and advised, 1 reversed, 0 declined, 0 still open\n");
  EXPECT_FALSE(enginetest::fs::exists(data / "p_TrxFile.dat"));
}

TEST_F(Saffron, aDeclinedPurchasePrintsItsReceiptOnlyOnEnter) {
  provision("", "merchantTicketTimeout=5");
  logon();
  ASSERT_EQ(run(purchase("30000", "9999", "wait 6000\n")), 0);
  EXPECT_NE(screen("result").find("رمز نامعتبر"), std::string::npos) << screen("result");
  EXPECT_FALSE(printed(1)) << "no key on the result screen: no receipt";
  ASSERT_EQ(run(purchase("30000", "9999", "key ENTER\nwait 500\n")), 0);
  EXPECT_NE(receipt(1).find("تراکنش ناموفق"), std::string::npos) << receipt(1);
  EXPECT_EQ(counts(), "0 approved and advised, 0 reversed, 2 declined, 0 still open\n");
  EXPECT_TRUE(nothingPending());
}

TEST_F(Saffron, aMerchantCopyAwaitingConfirmationIsSkippedWithoutAKeyAndTheAdviceStillGoes) {
  provision("", "askForSecondTicket=2 merchantTicketTimeout=3");
  logon();
  ASSERT_EQ(run(purchase("40000", "1234", "wait 5000\n")), 0);
  EXPECT_TRUE(printed(1));
  EXPECT_FALSE(printed(2));
  EXPECT_EQ(counts(), "1 approved and advised, 0 reversed, 0 declined, 0 still open\n");
  ASSERT_EQ(run(purchase("40000", "1234", "key ENTER\nwait 1000\n")), 0);
  EXPECT_NE(receipt(2).find("رسیدفروشنده"), std::string::npos) << receipt(2);
}

TEST_F(Saffron, cardsAreRefusedWithoutMerchantInformationOrAMatchingOperator) {
  provision();
  ASSERT_EQ(run(std::string("wait 1000\nswipe ") + TRACK_A + "\nwait 200\nshot refused\n"), 0);
  EXPECT_NE(screen("refused").find("اطلاعات پذیرنده را دریافت نمایید"), std::string::npos) << screen("refused");
  logon();
  // A top-up to an operator-1 number, asked of operator 2.
  ASSERT_EQ(run(std::string("wait 1000\nswipe ") + TRACK_A + "\nwait 500\ntype 3\nwait 300\ntype 2\nwait 300\n" +
                "type 912345678\nkey ENTER\nwait 300\ntype 2\nwait 200\nshot mismatch\n"),
            0);
  EXPECT_NE(screen("mismatch").find("عدم همخوانی اپراتور و موبایل"), std::string::npos) << screen("mismatch");
  EXPECT_EQ(requestsOf("0200"), 0);
}

TEST_F(Saffron, aBalanceInquiryChangesNothingAndPrintsOnEnter) {
  provision();
  logon();
  ASSERT_EQ(run(std::string("wait 1000\nswipe ") + TRACK_A + "\nwait 500\ntype 2\npin 1234\nwait 1000\nshot balance\n" +
                "key ENTER\n" + BACK_TO_IDLE),
            0);
  EXPECT_NE(screen("balance").find("موجودی"), std::string::npos) << screen("balance");
  ASSERT_TRUE(printed(1));
  // The switch's card: 5,000,000 on the ledger, 250,000 of it blocked. Each
  // label stands beside its own amount (grouped, right to left).
  const std::string slip = receipt(1);
  EXPECT_NE(slip.find("left=\"۰۰۰,۰۰۰,۵ ریال\" right=\"موجودی واقعی\""), std::string::npos) << slip;
  EXPECT_NE(slip.find("left=\"۰۰۰,۰۵۷,۴ ریال\" right=\"موجودی قابل برداشت\""), std::string::npos) << slip;
  EXPECT_EQ(requestsOf("0220"), 0) << "an inquiry is never advised";
  EXPECT_FALSE(enginetest::fs::exists(data / "p_TrxFile.dat"));
}

} // namespace
