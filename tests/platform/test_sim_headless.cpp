/* End-to-end runs of a small terminal program in the headless front end. */
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "sim_test_util.h"

namespace {

class Headless : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = freshTestDir("simrun-"); }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs the demo terminal in dir_ with the script and extra arguments.
  Outcome run(const std::string& script, std::vector<std::string> extra = {}) {
    std::ofstream(dir_ / "run.script") << script;
    std::vector<std::string> args = {SIM_DEMO_PATH, "--sim-headless", "--sim-script", "run.script",
                                     "--sim-out", "out", "--sim-data", "data", "--sim-time", "20261207100000"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runIn(dir_, args);
  }

  std::filesystem::path dir_;
};

// "today 1405/09/16 at 10:00" as the demo stores it for drawing: digit runs
// reversed, Arabic-Indic digits.
const std::string kDateLine =
    "\xD8\xA7\xD9\x85\xD8\xB1\xD9\x88\xD8\xB2 \xD9\xA6\xD9\xA1/\xD9\xA9\xD9\xA0/\xD9\xA5\xD9\xA0\xD9\xA4\xD9\xA1 "
    "\xD8\xB3\xD8\xA7\xD8\xB9\xD8\xAA\xD9\xA0\xD9\xA0:\xD9\xA0\xD9\xA1 ";

TEST_F(Headless, ScriptDrivesTheTerminalAndShotsListTheScreen) {
  Outcome r = run(
      "# the demo shows the date line, then what arrives\n"
      "wait 500\n"
      "shot 01-start\n"
      "expect \xD8\xA7\xD9\x85\xD8\xB1\xD9\x88\xD8\xB2\n"
      "key 22\n"
      "expect key 22\n"
      "swipe 6037991234567890=29121010000000 B6037991234567890^TEST/CARD^2912\n"
      "expect card 31\n"
      "swipe 60379912345\n"
      "expect card refused\n"
      "wait 60000\n"
      "shot 02-after\n");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string first = readFile(dir_ / "out/01-start.txt");
  EXPECT_NE(first.find("image x=0 y=0 \"main.png\"\n"), std::string::npos) << first;
  EXPECT_NE(first.find("text y=45 x=1 align=right size=3 fg=#000000 bg=#FFFFFF \"" + kDateLine + "\"\n"),
            std::string::npos)
      << first;
  EXPECT_NE(first.find("\"SN SIM00012345\""), std::string::npos);
  EXPECT_NE(first.find("# lcd 320x240 at 2026-12-07 10:00:00"), std::string::npos) << first;

  std::string second = readFile(dir_ / "out/02-after.txt");
  EXPECT_NE(second.find("\"key 22\""), std::string::npos) << second;
  EXPECT_NE(second.find("\"card refused\""), std::string::npos) << second;
  EXPECT_EQ(second.find("\"card 31\""), std::string::npos) << second;  // replaced by the refusal
  // A minute of script waiting passed in virtual time.
  EXPECT_NE(second.find("# lcd 320x240 at 2026-12-07 10:01:0"), std::string::npos) << second;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out/01-start.png"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "data/main.png"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "data/downPrint.bmp"));
}

TEST_F(Headless, MissingTextFailsTheRunWithStatusThree) {
  Outcome r = run("wait 100\nexpect no such text\nshot never-taken\n");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("\"no such text\""), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out/never-taken.png"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "out/expect-failed-line2.txt"));
}

TEST_F(Headless, ThePinPadKeepsItsKeysBesideARelativeDataFolder) {
  // --sim-data data, relative: the keys the demo loads on F7 go to data.pinpad
  // beside the folder, where a run given the folder's full path finds them.
  Outcome r = run("wait 100\nkey 7\npin 1234\nexpect pin ok\nquit\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir_ / "data.pinpad"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "data" / "data.pinpad")) << "never among the terminal's own files";
}

TEST_F(Headless, MalformedScriptIsRefusedBeforeTheRun) {
  Outcome r = run("wait 100\nkey 13\npress 5\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("script line 3"), std::string::npos) << r.err;
}

TEST_F(Headless, UnknownSimOptionsAreRefused) {
  Outcome r = run("quit\n", {"--sim-colour", "blue"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--sim-colour"), std::string::npos) << r.err;
  Outcome bad = run("quit\n", {"--sim-time", "20261341000000"});
  EXPECT_EQ(bad.status, 2);
  // Options not ours are the application's business.
  Outcome other = run("quit\n", {"--verbose"});
  EXPECT_EQ(other.status, 0) << other.err;
}

TEST_F(Headless, ModemAndWifiOptionsSetTheRadioAtStartAndBadOnesAreRefused) {
  std::ofstream(dir_ / "radio.txt") << "# the shop\nwifi add Cafe secret123 -45\nwifi busy Cafe 2\n";
  Outcome r = run("quit\n", {"--sim-radio", "radio.txt", "--sim-modem", "attach-after 20", "--sim-wifi",
                             "add Library - -70"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string events = readFile(dir_ / "out/events.txt");
  EXPECT_NE(events.find("wifi: network Cafe in range, signal -45"), std::string::npos) << events;
  EXPECT_NE(events.find("wifi: network Cafe busy for 2 attempts"), std::string::npos) << events;
  EXPECT_NE(events.find("modem: attaches on check 20"), std::string::npos) << events;
  EXPECT_NE(events.find("wifi: network Library in range"), std::string::npos) << events;

  Outcome bad = run("quit\n", {"--sim-modem", "attach-after soon"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--sim-modem"), std::string::npos) << bad.err;
  std::ofstream(dir_ / "bad.txt") << "wifi add Cafe secret123 -45\nprinter jam\n";
  Outcome badFile = run("quit\n", {"--sim-radio", "bad.txt"});
  EXPECT_EQ(badFile.status, 2);
  EXPECT_NE(badFile.err.find("bad.txt line 2"), std::string::npos) << badFile.err;
  Outcome missing = run("quit\n", {"--sim-radio", "nowhere.txt"});
  EXPECT_EQ(missing.status, 2);
}

TEST_F(Headless, PowerOffWritesAFinalShotAndEndsWithStatusZero) {
  Outcome r = run("wait 100\nkey CANCEL\nwait 100000\nshot not-reached\n");
  EXPECT_EQ(r.status, 0) << r.err;
  std::string last = readFile(dir_ / "out/power-off.txt");
  EXPECT_NE(last.find("\"key 27\""), std::string::npos) << last;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out/not-reached.png"));
  EXPECT_NE(readFile(dir_ / "out/events.txt").find("power off"), std::string::npos);
}

}  // namespace
