// menu_test.cpp - the menu engine on the simulated terminal: the list menu's
// paging, wrapping and keys, the picture menu's clock, the arrays and the
// main menu behind the idle screen.
//
// With SAFFRON_SHOTS set to a folder, the main menu is also kept there as
// menu.png (the README's picture).
#include <cstdlib>

#include "core/MenuTree.h"
#include "core/key.h"
#include "libapi.h"
#include "ui/Menu.h"
#include "ui_test_util.h"

namespace {

constexpr long long SECOND = 1000;

class MenuTest : public UiTest {
protected:
  // Seven items whose texts are distinct catalogue messages.
  static constexpr int kMessages[7] = {3, 2, 145, 144, 56, 66, 67};
  MenuItem items[7] = {};
  void SetUp() override {
    UiTest::SetUp();
    for (int i = 0; i < 7; ++i) initMenuItem(i + 1, kMessages[i], 1, &items[i]);
  }
  static std::string item(int n) { return msg(kMessages[n - 1]); }
  // Items 1..7 that are on the screen.
  static std::vector<int> rowsShown() {
    std::vector<int> rows;
    for (int n = 1; n <= 7; ++n)
      if (shown(item(n))) rows.push_back(n);
    return rows;
  }
};

/* ---- building items ------------------------------------------------------------------- */

TEST_F(MenuTest, ItemsCopyTheirTextAndALongTextIsCutAtACharacter) {
  EXPECT_EQ(std::string(items[0].title), msg(3));
  EXPECT_EQ(items[0].itemNo, 1);
  EXPECT_EQ(items[0].active, 1);
  MenuItem long_ = {};
  std::string text;
  for (int i = 0; i < 60; ++i) text += "\u0634"; // 120 bytes of two-byte letters
  initMenuItemEx(2, text.c_str(), 0, 7, 9, &long_);
  EXPECT_EQ(std::string(long_.title), text.substr(0, 98));
  EXPECT_EQ(long_.param, 7);
  EXPECT_EQ(long_.tag, 9);
  EXPECT_EQ(long_.active, 0);
}

TEST_F(MenuTest, ChargeAmountItemsAreGroupedAndMarkedActive) {
  setSimItemActive(4, 1);
  setSimItemActive(6, 0);
  setSimItemActive(7, 1); // out of range: ignored
  EXPECT_EQ(std::string(SimChargeValuesMenuItemArray[3].title), "100,000 " + msg(5));
  EXPECT_EQ(SimChargeValuesMenuItemArray[3].active, 1);
  EXPECT_EQ(std::string(SimChargeValuesMenuItemArray[5].title), "500,000 " + msg(5));
  EXPECT_EQ(SimChargeValuesMenuItemArray[5].active, 0);
}

/* ---- the list menu ------------------------------------------------------------------------ */

TEST_F(MenuTest, UpOnTheFirstOfSevenWrapsToTheLastPage) {
  script("key UP\nkey ENTER\n");
  EXPECT_EQ(showMenu(7, items, 313), 7);
  EXPECT_EQ(rowsShown(), (std::vector<int>{3, 4, 5, 6, 7}));
  EXPECT_NE(selected().find(item(7)), std::string::npos);
  EXPECT_EQ(rowY(item(7)), 45 + 4 * 34); // the fifth row
  EXPECT_EQ(rowY(item(3)), 45);
  EXPECT_TRUE(shown(msg(313)));
}

TEST_F(MenuTest, DownOnTheLastOfSevenWrapsToTheFirstPage) {
  script("key UP\nkey DOWN\nkey ENTER\n");
  EXPECT_EQ(showMenu(7, items, 313), 1);
  EXPECT_EQ(rowsShown(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_NE(selected().find(item(1)), std::string::npos);
}

TEST_F(MenuTest, MovingPastAPageEdgeScrollsByOneRow) {
  script("key DOWN\nkey DOWN\nkey DOWN\nkey DOWN\nkey DOWN\nkey ENTER\n");
  EXPECT_EQ(showMenu(7, items, 313), 6);
  EXPECT_EQ(rowsShown(), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(rowY(item(6)), 45 + 4 * 34);

  // Wrap to 7, then up to 3 within the page and one more scrolls to 2.
  script("key UP\nkey UP\nkey UP\nkey UP\nkey UP\nkey UP\nkey ENTER\n");
  EXPECT_EQ(showMenu(7, items, 313), 2);
  EXPECT_EQ(rowsShown(), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(rowY(item(2)), 45);
}

TEST_F(MenuTest, AListOfFiveNeverScrolls) {
  script("key DOWN\nkey DOWN\nkey DOWN\nkey DOWN\nkey DOWN\nkey ENTER\n");
  EXPECT_EQ(showMenu(5, items, 313), 1);
  EXPECT_EQ(rowsShown(), (std::vector<int>{1, 2, 3, 4, 5}));
  script("key UP\nkey ENTER\n");
  EXPECT_EQ(showMenu(5, items, 313), 5);
  EXPECT_EQ(rowY(item(1)), 45);
}

TEST_F(MenuTest, DigitsAreReturnedUncheckedAndOtherKeysIgnored) {
  script("type 7\n");
  EXPECT_EQ(showMenu(3, items, 313), 7);
  script("key CLEAR\ntype 0\nkey 21\ntype 2\n"); // Clear, '0' and key 21 do nothing
  EXPECT_EQ(showMenu(3, items, 313), 2);
  script("key CANCEL\n");
  EXPECT_EQ(showMenu(3, items, 313), MENU_CANCEL);
}

TEST_F(MenuTest, AListGivesUpAfterSixtySecondsWithoutAKey) {
  script("wait 59000\nkey DOWN\nwait 3600000\n");
  const long long start = sim::virtualNowMs();
  EXPECT_EQ(showMenu(3, items, 313), MENU_CANCEL);
  const long long elapsed = sim::virtualNowMs() - start;
  EXPECT_GE(elapsed, 119 * SECOND); // the 60 seconds start again after a key
  EXPECT_LE(elapsed, 120 * SECOND);
}

TEST_F(MenuTest, TheMainMenuIgnoresAChoiceItDoesNotHave) {
  loadMenu();
  script("type 7\nkey CANCEL\n");
  EXPECT_EQ(MainMenu(), MENU_CANCEL);
  EXPECT_FALSE(shown(msg(369)));
  EXPECT_TRUE(shown(msg(104)));
}

/* ---- the picture menu ---------------------------------------------------------------------- */

class PictureMenuTest : public MenuTest {
protected:
  MenuItem picture[4] = {};
  void SetUp() override {
    MenuTest::SetUp();
    for (int i = 0; i < 4; ++i) initMenuItemEx(i + 1, "main.png", 1, 0, 0, &picture[i]);
  }
};

TEST_F(PictureMenuTest, FifteenSecondsWithoutAKeyCancel) {
  const long long start = sim::virtualNowMs();
  script("wait 3600000\n");
  EXPECT_EQ(showMenu(4, picture, 0), MENU_CANCEL);
  const long long elapsed = sim::virtualNowMs() - start;
  EXPECT_GE(elapsed, 15 * SECOND);
  EXPECT_LT(elapsed, 16 * SECOND);
  ASSERT_FALSE(sim::screenImages().empty());
  EXPECT_EQ(sim::screenImages().front().name, "main.png");
}

TEST_F(PictureMenuTest, AKeyExtendsTheTimeLeftToSixtySeconds) {
  script("wait 10000\ntype 9\nwait 3600000\n"); // '9' is not a choice here
  const long long start = sim::virtualNowMs();
  EXPECT_EQ(showMenu(4, picture, 0), MENU_CANCEL);
  const long long elapsed = sim::virtualNowMs() - start;
  EXPECT_GE(elapsed, 70 * SECOND);
  EXPECT_LT(elapsed, 71 * SECOND);
}

TEST_F(PictureMenuTest, KeysChooseWithinTheCount) {
  script("type 4\ntype 2\n");
  EXPECT_EQ(showMenu(2, picture, 0), 2); // '4' is beyond two choices
  script("type 1\n");
  EXPECT_EQ(showMenu(4, picture, 0), 1);
  script("key ENTER\n");
  EXPECT_EQ(showMenu(4, picture, 0), 1);
  script("key CLEAR\n");
  EXPECT_EQ(showMenu(4, picture, 0), MENU_CLEAR);
  script("key CANCEL\n");
  EXPECT_EQ(showMenu(4, picture, 0), MENU_CANCEL);
}

/* ---- the arrays ---------------------------------------------------------------------------- */

TEST_F(MenuTest, LoadMenuFillsTheArraysFromTheCatalogue) {
  loadMenu();
  EXPECT_EQ(std::string(MainMenuItemArray[3].title), msg(215));
  EXPECT_EQ(std::string(ManagerMenuItemArray[5].title), msg(423));
  EXPECT_EQ(std::string(MerchantMenuSettingsItemArray[4].title), msg(327));
  // The charge amounts come from their messages with the amount in reading order.
  EXPECT_EQ(msg(360), "000,05 " + msg(5));
  EXPECT_EQ(std::string(ChargeValueMciItemArray[0].title), "50,000 " + msg(5));
  EXPECT_EQ(std::string(ChargeValueIRItemArray[5].title), "500,000 " + msg(5));
  EXPECT_EQ(std::string(ChargeValueRightelItemArrayPin[0].title), "20,000 " + msg(5));
  EXPECT_EQ(std::string(ChargeValueIRItemArrayPin[2].title), "200,000 " + msg(5));
  EXPECT_EQ(MerchantReportTrxTypeMenuItemArray1[3].itemNo, 4);
}

TEST_F(MenuTest, AnAmountRowKeepsItsNumberAtTheRightEdge) {
  loadMenu();
  script("key CANCEL\n");
  EXPECT_EQ(showMenu(6, ChargeValueIRItemArray, 57), MENU_CANCEL);
  // Drawn right to left: " 1-" first (rightmost), then the amount turned so it reads 10,000.
  EXPECT_TRUE(shown(" \u06F1-\u06F0\u06F0\u06F0,\u06F0\u06F1 " + msg(5) + " "));
}

TEST_F(MenuTest, TheCustomerMenuIsAListUntilItsPictureIsInstalled) {
  loadMenu();
  EXPECT_FALSE(customerMenuIsPicture());
  EXPECT_EQ(std::string(CustomerMenuItemArray[0].title), msg(3));
  EXPECT_EQ(std::string(CustomerMenuItemArray[3].title), msg(144));
  std::filesystem::copy_file("main.png", CUSTOMER_MENU_IMAGE);
  loadMenu();
  EXPECT_TRUE(customerMenuIsPicture());
  EXPECT_EQ(std::string(CustomerMenuItemArray[2].title), CUSTOMER_MENU_IMAGE);
}

/* ---- the main menu behind the idle screen ----------------------------------------------------------- */

TEST_F(MenuTest, RowsAreNumberedAtTheRightEdgeInPersianDigits) {
  loadMenu();
  script("key DOWN\nkey CANCEL\n");
  EXPECT_EQ(MainMenu(), MENU_CANCEL);
  // Drawn right to left as given: the number first, so it stands at the right edge.
  for (int row = 1; row <= 4; ++row) {
    const char digit[] = {'\xDB', static_cast<char>(0xB0 + row), '\0'};
    const std::string line = std::string(" ") + digit + "-" + MainMenuItemArray[row - 1].title + " ";
    const auto found = textsWith(line);
    ASSERT_EQ(found.size(), 1u) << sim::screenListing();
    EXPECT_EQ(found[0].y, 45 + (row - 1) * 34);
    EXPECT_EQ(found[0].align, DLL_LCD_ALIGN_RIGHT);
  }
  EXPECT_NE(selected().find(msg(195)), std::string::npos);
  if (const char *keep = std::getenv("SAFFRON_SHOTS")) {
    EXPECT_TRUE(sim::writeShot(keep, "menu"));
  }
}

TEST_F(MenuTest, TheMenuKeyOpensTheMainMenuAndAChoiceComesBackToIt) {
  firstStart();
  loadMenu();
  // The merchant's menu, left with Cancel.
  script("key MENU\ntype 2\nexpect " + msg(105) + "\nkey CANCEL\nkey DOWN\nkey CANCEL\n");
  const int code = splashMenu();
  EXPECT_EQ(code, SPLASH_MAIN_MENU);
  EXPECT_EQ(splashMenuAction(code), MENU_CANCEL);
  // Back in the main menu, its second row selected.
  EXPECT_TRUE(shown(msg(313)));
  EXPECT_NE(selected().find(msg(195)), std::string::npos);
}

} // namespace
