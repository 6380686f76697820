// connection_menu_test.cpp - the merchant's bearer screens driven by keys as a
// script gives them: the bearer menu, GPRS, the WiFi list and its pages, the
// pass phrase, rejoining the stored network, and the fall-back to GPRS.
//
// With SAFFRON_SHOTS set to a folder, the WiFi list's first page is also kept
// there as wifi-list.png (the README's picture).
#include <fstream>
#include <sstream>

#include "bearer_test_util.h"
#include "core/ConnectionMenu.h"
#include "ui/Display.h"
#include "ui/Messages.h"

namespace {

std::string msg(int id) {
  char buffer[128] = {};
  return getUiMessage(id, buffer, sizeof buffer);
}

// A message as the screen receives it: its Latin words turned for the right-to-left line.
std::string shownMsg(int id) {
  std::string text = msg(id);
  peDisplayNumbersCorrect(text.data());
  return text;
}

class ConnectionMenu : public BearerTest {
protected:
  void SetUp() override {
    BearerTest::SetUp();
    sim::setOutputDir(dir_);
    writeConfig2File();
  }
  // Keys for the screens; a long wait at the end lets their time-outs run out
  // instead of ending the run.
  void keys(const std::string &text) {
    std::string error;
    ASSERT_TRUE(sim::loadScript(text + "wait 3600000\n", &error)) << error;
  }
  // A shot's listing without its first line (which says when it was taken).
  std::string shot(const std::string &name) {
    std::ifstream in(dir_ + "/" + name + ".txt");
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string all = ss.str();
    return all.substr(all.find('\n') + 1);
  }
  // The settings as the file holds them.
  Config stored() {
    Config c{};
    std::ifstream in(dir_ + "/p_Config.dat", std::ios::binary);
    in.read(reinterpret_cast<char *>(&c), sizeof c);
    return c;
  }
  void storeWifi(const char *ssid, const char *pass) {
    std::snprintf(config.WiFiSsid, sizeof config.WiFiSsid, "%s", ssid);
    std::snprintf(config.WiFiPass, sizeof config.WiFiPass, "%s", pass);
    writeConfig2File();
  }
};

/* ---- the bearer menu ------------------------------------------------------------------------ */

TEST_F(ConnectionMenu, MarksTheCurrentBearerAndCancelChangesNothing) {
  config.connectionType = CONNECTION_WIFI;
  writeConfig2File();
  keys("shot menu\nkey CANCEL\n");
  EXPECT_EQ(SelectConnectionType(), 0);
  const std::string menu = shot("menu");
  EXPECT_NE(menu.find(msg(327)), std::string::npos) << menu;
  std::istringstream lines(menu);
  std::string line;
  int marked = 0;
  while (std::getline(lines, line)) {
    if (line.find(msg(356)) != std::string::npos && line.find(">") != std::string::npos) ++marked;
    EXPECT_FALSE(line.find(msg(355)) != std::string::npos && line.find(">") != std::string::npos) << line;
  }
  EXPECT_EQ(marked, 1) << menu;
  EXPECT_TRUE(sim::screenContains(msg(103)));
  EXPECT_EQ(config.connectionType, CONNECTION_WIFI);
  EXPECT_FALSE(sim::bearerState().pppUp);
}

TEST_F(ConnectionMenu, GprsComesUpAndIsKeptAsTheBearer) {
  config.connectionType = CONNECTION_WIFI;
  writeConfig2File();
  keys("type 1\n");
  SelectConnectionType();
  EXPECT_TRUE(sim::bearerState().pppUp);
  EXPECT_EQ(stored().connectionType, CONNECTION_GPRS);
  EXPECT_EQ(config.connectionType, CONNECTION_GPRS);
  EXPECT_TRUE(sim::screenContains(msg(214)));
}

TEST_F(ConnectionMenu, GprsWithoutASimKeepsTheBearerAndDoesNotClaimSuccess) {
  config.connectionType = CONNECTION_WIFI;
  writeConfig2File();
  radio("modem nosim");
  keys("type 1\n");
  SelectConnectionType();
  EXPECT_TRUE(sim::screenContains(msg(333)));
  EXPECT_FALSE(sim::screenContains(msg(214)));
  EXPECT_EQ(stored().connectionType, CONNECTION_WIFI);
}

/* ---- the WiFi list ------------------------------------------------------------------------------ */

TEST_F(ConnectionMenu, EightNetworksMakeTwoPagesAndFiveOnTheSecondChoosesNothing) {
  const char *names[8] = {"Cafe_Roya", "Bazaar-Guest", "Office_2F", "Pharmacy24", "Bakery_Nan",
                          "Shop-5G", "Printing_House", "net8"};
  const char *signals[8] = {"-41", "-52", "-58", "-63", "-67", "-70", "-74", "-48"};
  for (int i = 0; i < 7; ++i) radio(std::string("wifi add ") + names[i] + " - " + signals[i]);
  radio("wifi add net8 adgjmptw -48");
  keys("type 2\nshot page1\nkey UP\nkey DOWN\nshot page2\nkey DOWN\ntype 5\nshot after5\ntype 1\nshot pass\n"
       "type 23456789\nkey ENTER\n");
  SelectConnectionType();

  const std::string page1 = shot("page1");
  for (int i = 0; i < 7; ++i) {
    EXPECT_NE(page1.find("\"" + std::to_string(i + 1) + "." + names[i] + "\""), std::string::npos) << page1;
    EXPECT_NE(page1.find(std::string("align=right size=1 fg=#000000 bg=none \"") + signals[i] + "\""),
              std::string::npos)
        << page1;
  }
  EXPECT_EQ(page1.find("net8"), std::string::npos) << page1;
  const std::string page2 = shot("page2");
  EXPECT_NE(page2.find("\"1.net8\""), std::string::npos) << page2;
  EXPECT_EQ(page2.find(names[6]), std::string::npos) << page2;
  EXPECT_EQ(shot("after5"), page2); // neither Down past the last page nor '5' changed anything
  EXPECT_NE(shot("pass").find(shownMsg(139)), std::string::npos);
  EXPECT_NE(shot("pass").find("\"net8\""), std::string::npos);

  EXPECT_EQ(sim::bearerState().joined, "net8");
  const Config c = stored();
  EXPECT_EQ(c.connectionType, CONNECTION_WIFI);
  EXPECT_STREQ(c.WiFiSsid, "net8");
  EXPECT_STREQ(c.WiFiPass, "adgjmptw");
  EXPECT_FALSE(sim::bearerState().pppUp);

  if (const char *keep = std::getenv("SAFFRON_SHOTS")) {
    std::error_code ec;
    std::filesystem::copy_file(dir_ + "/page1.png", std::string(keep) + "/wifi-list.png",
                               std::filesystem::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec) << ec.message();
  }
}

TEST_F(ConnectionMenu, LongSsidsAreCutInTheListAndNamesAreShownAsTheyAre) {
  radio("wifi add Office_2nd_floor_guests_5G_x wpa2pass -67");
  keys("type 2\nshot list\nkey CANCEL\n");
  SelectConnectionType();
  EXPECT_NE(shot("list").find("\"1.Office_2nd_floor_guests\""), std::string::npos) << shot("list");
}

/* ---- the pass phrase ------------------------------------------------------------------------------ */

TEST_F(ConnectionMenu, CancelOnThePassPhraseKeepsTheStoredNetworkAndFallsBackToGprs) {
  storeWifi("Old", "oldpass1");
  config.connectionType = CONNECTION_WIFI;
  writeConfig2File();
  radio("wifi add Cafe adgjmptw -45");
  // Cancel the rejoin question, choose Cafe, type two letters, Cancel.
  keys("type 2\nkey CANCEL\ntype 1\ntype 23\nkey CANCEL\n");
  SelectConnectionType();
  const Config c = stored();
  EXPECT_STREQ(c.WiFiSsid, "Old");
  EXPECT_STREQ(c.WiFiPass, "oldpass1");
  EXPECT_EQ(c.connectionType, CONNECTION_GPRS); // GPRS came up
  EXPECT_TRUE(sim::bearerState().pppUp);
  EXPECT_EQ(sim::bearerState().joined, "");
}

TEST_F(ConnectionMenu, AWrongPassPhraseFallsBackAndKeepsTheStoredNetwork) {
  storeWifi("Old", "oldpass1");
  radio("wifi add Cafe adgjmptw -45");
  radio("modem nosim");
  config.connectionType = CONNECTION_WIFI;
  writeConfig2File();
  keys("type 2\nkey CANCEL\ntype 1\ntype 2345\nkey ENTER\n");
  SelectConnectionType();
  const Config c = stored();
  EXPECT_STREQ(c.WiFiSsid, "Old");
  EXPECT_EQ(c.connectionType, CONNECTION_WIFI); // neither bearer came up: unchanged
  EXPECT_EQ(sim::bearerState().joined, "");
}

TEST_F(ConnectionMenu, APassPhraseStopsWhereTheSettingsFieldEnds) {
  radio("wifi add Open - -45");
  std::string typed; // 36 letters, each on another key than the one before, so none cycles
  for (int i = 0; i < 18; ++i) typed += "23";
  keys("type 2\ntype 1\ntype " + typed + "\nkey ENTER\n");
  SelectConnectionType();
  const Config c = stored();
  EXPECT_EQ(strnlen(c.WiFiPass, sizeof c.WiFiPass), sizeof c.WiFiPass - 1);
  EXPECT_STREQ(c.WiFiSsid, "Open");
}

/* ---- rejoining the stored network ------------------------------------------------------------------ */

TEST_F(ConnectionMenu, RejoiningTheStoredNetworkMakesWifiTheBearer) {
  storeWifi("Cafe", "secret123");
  radio("wifi add Cafe secret123 -45");
  keys("type 2\nshot question\nkey ENTER\n");
  SelectConnectionType();
  EXPECT_NE(shot("question").find(msg(336)), std::string::npos);
  EXPECT_NE(shot("question").find("\"Cafe\""), std::string::npos) << shot("question");
  EXPECT_EQ(sim::bearerState().joined, "Cafe");
  EXPECT_TRUE(sim::screenContains(shownMsg(340)));
  EXPECT_EQ(stored().connectionType, CONNECTION_WIFI);
}

TEST_F(ConnectionMenu, ARejoinThatFailsFallsBackToGprs) {
  storeWifi("Cafe", "changed!");
  config.connectionType = CONNECTION_WIFI;
  writeConfig2File();
  radio("wifi add Cafe secret123 -45");
  keys("type 2\nkey ENTER\n");
  SelectConnectionType();
  EXPECT_EQ(sim::bearerState().joined, "");
  EXPECT_FALSE(sim::bearerState().wifiOpen);
  EXPECT_TRUE(sim::bearerState().pppUp);
  EXPECT_EQ(stored().connectionType, CONNECTION_GPRS);
}

TEST_F(ConnectionMenu, AStoredNetworkGoneFallsBackToGprs) {
  storeWifi("Cafe", "secret123");
  radio("wifi add Library - -70");
  keys("type 2\nkey ENTER\nshot gone\n");
  SelectConnectionType();
  EXPECT_NE(shot("gone").find(msg(416)), std::string::npos) << shot("gone");
  EXPECT_TRUE(sim::bearerState().pppUp);
  EXPECT_STREQ(stored().WiFiSsid, "Cafe");
}

/* ---- nothing in range ---------------------------------------------------------------------------------- */

TEST_F(ConnectionMenu, NoNetworkInRangeFallsBackToGprsOrSaysNeitherCameUp) {
  EXPECT_EQ(ChangeConnectionTypeWiFi(), 0);
  EXPECT_TRUE(sim::bearerState().pppUp);
  EXPECT_EQ(config.connectionType, CONNECTION_GPRS);

  config.connectionType = CONNECTION_WIFI;
  radio("modem nosim");
  EXPECT_EQ(ChangeConnectionTypeWiFi(), -1);
  EXPECT_EQ(config.connectionType, CONNECTION_WIFI);
  EXPECT_TRUE(sim::screenContains(msg(333)));
}

} // namespace
