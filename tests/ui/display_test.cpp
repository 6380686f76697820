// display_test.cpp - screen output: digit conversion and run reversal, the
// row grid and its bands, titles, lines and the message screens' waits.
#include "core/key.h"
#include "core/screen.h"
#include "core_test_util.h"
#include "libapi.h"
#include "ui/Display.h"

namespace {

class DisplayTest : public TerminalTest {
protected:
  std::vector<sim::ScreenText> texts() const { return sim::screenTexts(); }
  const sim::ScreenText *find(const std::string &utf8) const {
    static std::vector<sim::ScreenText> all;
    all = sim::screenTexts();
    for (const auto &t : all)
      if (t.utf8 == utf8) return &t;
    return nullptr;
  }
};

/* ---- text conversion ------------------------------------------------------------------ */

TEST(TextConversion, DigitsBecomePersianAndTheRestIsCopied) {
  char out[64] = {};
  EXPECT_EQ(formatArabicNumbers("a09:", out, sizeof out), 6u);
  EXPECT_STREQ(out, "a\u06F0\u06F9:");
  formatArabicNumbers("456", out, sizeof out); // the Persian shapes, not U+0664..U+0666
  EXPECT_STREQ(out, "\u06F4\u06F5\u06F6");
  EXPECT_EQ(formatPersianNumbers("19", out, sizeof out), 4u);
  EXPECT_STREQ(out, "\xBD\xD1\xBD\xD9");
}

TEST(TextConversion, ConversionStopsAtTheBufferWithoutSplittingADigit) {
  char out[6];
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(formatArabicNumbers("1234", out, sizeof out), 4u); // two digits and the NUL fit
  EXPECT_STREQ(out, "\u06F1\u06F2");
  char tiny[1] = {'Z'};
  EXPECT_EQ(formatArabicNumbers("1", tiny, sizeof tiny), 0u);
  EXPECT_EQ(tiny[0], '\0');
}

TEST(TextConversion, NumbersWithTheirInnerPunctuationAreReversedInPlace) {
  char time[] = "12:30";
  peDisplayNumbersCorrect(time);
  EXPECT_STREQ(time, "03:21");
  char mixed[] = "\xD9\xBE 1403/01/02 \xD9\xBE";
  peDisplayNumbersCorrect(mixed);
  EXPECT_STREQ(mixed, "\xD9\xBE 20/10/3041 \xD9\xBE");
  char amount[] = "\xD9\xBE 1,250,000 \xD9\xBE";
  peDisplayNumbersCorrect(amount);
  EXPECT_STREQ(amount, "\xD9\xBE 000,052,1 \xD9\xBE");
  // Punctuation at a run's edges stays with the Persian text around it.
  char numbered[] = " 1-\xD9\xBE ";
  peDisplayNumbersCorrect(numbered);
  EXPECT_STREQ(numbered, " 1-\xD9\xBE ");
  char punctuation[] = "\xD9\xBE (-) \xD9\xBE";
  peDisplayNumbersCorrect(punctuation);
  EXPECT_STREQ(punctuation, "\xD9\xBE (-) \xD9\xBE");
}

TEST(TextConversion, LatinWordsAndPersianDigitsInAPersianLineAreTurnedWhole) {
  // "kafe Paris 24" with the digits already Persian: the Latin word and the
  // number form one left-to-right run, turned character by character.
  char name[] = "\u06A9\u0627\u0641\u0647 Paris \u06F2\u06F4";
  peDisplayNumbersCorrect(name);
  EXPECT_STREQ(name, "\u06A9\u0627\u0641\u0647 \u06F4\u06F2 siraP");
  // A Latin line without digits is drawn left to right: left alone.
  char latin[] = "Paris (cafe)";
  peDisplayNumbersCorrect(latin);
  EXPECT_STREQ(latin, "Paris (cafe)");
  // ASCII digits become Persian ones, so a Latin line with digits turns too.
  char network[] = "Office 5G";
  peDisplayNumbersCorrect(network);
  EXPECT_STREQ(network, "G5 eciffO");
}

TEST(TextConversion, PrepareStringConvertsThenReversesWhatIsLeft) {
  char out[64] = {};
  // Converted digits are no longer part of a run; the punctuation runs still turn.
  prepareString("1-2 ,.", out, sizeof out);
  EXPECT_STREQ(out, "\u06F1-\u06F2., ");
}

/* ---- the row grid ----------------------------------------------------------------------- */

TEST_F(DisplayTest, ATimeIsStoredForDrawingAsTheReversedRun) {
  char line[] = "12:30";
  mid_lcdSetTextStyle(3, 0);
  mid_lcdDisplay(1, 4, LINE_CENTER, line);
  EXPECT_STREQ(line, "03:21"); // the caller's buffer changed
  const auto *t = find("\u06F0\u06F3:\u06F2\u06F1");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->y, 147);
  EXPECT_EQ(t->x, 1);
  EXPECT_EQ(t->align, DLL_LCD_ALIGN_CENTER);
  mid_lcdDisplay(1, 4, LINE_CENTER, line); // drawing the same buffer again turns it back
  EXPECT_STREQ(line, "12:30");
}

TEST_F(DisplayTest, FlagsChooseAlignmentReversalAndConversion) {
  char a[] = "1 2";
  mid_lcdDisplay(1, 1, DISP_NO_REVERSE | DISP_NO_CONVERT | DISP_LEFT, a);
  ASSERT_NE(find("1 2"), nullptr);
  EXPECT_EQ(find("1 2")->align, DLL_LCD_ALIGN_LEFT);
  EXPECT_EQ(find("1 2")->y, 45);
  char b[] = "x";
  mid_lcdDisplay(1, 2, 1, b); // no alignment bit: the previous one stays
  EXPECT_EQ(find("x")->align, DLL_LCD_ALIGN_LEFT);
  char c[] = "y";
  mid_lcdDisplay(1, 0, LINE_RIGHT, c);
  EXPECT_EQ(find("y")->align, DLL_LCD_ALIGN_RIGHT);
  EXPECT_EQ(find("y")->y, 0);
}

TEST_F(DisplayTest, AnUnconvertedLatinLineIsNotTurned) {
  char serial[] = "SIM00012345";
  mid_lcdDisplay(1, 3, DISP_NO_CONVERT | DISP_LEFT, serial);
  EXPECT_STREQ(serial, "SIM00012345"); // drawn left to right as it is
  EXPECT_NE(find("SIM00012345"), nullptr);
  char converted[] = "SIM00012345";
  mid_lcdDisplay(1, 3, DISP_LEFT, converted); // Persian digits make the line right to left
  EXPECT_STREQ(converted, "54321000MIS");
}

TEST_F(DisplayTest, ClearingABandRemovesOnlyTheRowBelow) {
  const char *names[] = {"", "ra", "rb", "rc", "rd", "re"};
  auto drawRows = [&] {
    for (int r = 1; r <= 5; ++r) lcdPrint(1, r, LINE_CENTER, FONT_FILE, 3, names[r], 2);
  };
  auto shown = [&](int r) { return find(names[r]) != nullptr; };
  drawRows();
  EXPECT_EQ(mid_lcdClrLine(3, 4), DLL_OK);
  EXPECT_TRUE(shown(3));
  EXPECT_FALSE(shown(4));
  EXPECT_TRUE(shown(5));

  drawRows();
  mid_lcdClrLine(0, 1); // rows 1 and 2
  EXPECT_FALSE(shown(1));
  EXPECT_FALSE(shown(2));
  EXPECT_TRUE(shown(3));

  drawRows();
  EXPECT_EQ(mid_lcdClrLine(4, 3), 1);
  for (int r = 1; r <= 5; ++r) EXPECT_TRUE(shown(r));
}

TEST_F(DisplayTest, ALongLineIsCutAt255Bytes) {
  const std::string text(300, 'a');
  lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 3, text.c_str(), text.size());
  EXPECT_NE(find(std::string(255, 'a')), nullptr);
  lcdPrint(1, 4, LINE_CENTER, FONT_FILE, 3, "abcdef", 3);
  EXPECT_NE(find("abc"), nullptr);
}

TEST_F(DisplayTest, TitlesUseTheirColourSchemes) {
  lcdPrintE(1, 0, LINE_CENTER, FONT_FILE, 18, "E 12");
  const auto *t = find("E \u06F1\u06F2"); // digits converted, not reversed
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->bgOn);
  EXPECT_EQ(t->bgRgb, ERROR_TITLE_BG);
  EXPECT_EQ(t->textColor565, 0xFFFFu);
  EXPECT_EQ(t->size, 2);
  EXPECT_EQ(t->align, DLL_LCD_ALIGN_CENTER);
  EXPECT_EQ(t->y, 0);
  lcdPrint(1, 3, LINE_CENTER, FONT_FILE, 3, "L", 1);
  EXPECT_EQ(find("L")->bgRgb, LINE_BG); // the background is white again after a title
}

TEST_F(DisplayTest, LabelAndValueShareTheRowOfHalfTheHalfRow) {
  lcdPrintLR(1, 3, 3, 1, "label", 5, "42");
  const auto *label = find("label");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->y, 79); // row 2
  EXPECT_EQ(label->align, DLL_LCD_ALIGN_RIGHT);
  const auto *value = find("\u06F2\u06F4");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->y, 79);
  EXPECT_EQ(value->align, DLL_LCD_ALIGN_LEFT);
}

/* ---- message screens ----------------------------------------------------------------------- */

TEST_F(DisplayTest, AMessageScreenWaitsForAKeyOrItsTimeout) {
  script("wait 500\ntype 5\nwait 3600000\n");
  EXPECT_EQ(showMessage("title", "text", 3000), '5');
  EXPECT_EQ(find("text")->y, 147);
  EXPECT_EQ(find("title")->y, 0);
  const long long before = sim::virtualNowMs();
  EXPECT_EQ(showMessage("title", "text", 3000), KEY_NONE);
  EXPECT_GE(sim::virtualNowMs() - before, 3000);
  EXPECT_EQ(showMessage("title", "text", 0), KEY_NONE);
}

TEST_F(DisplayTest, AnUpdateWithoutWaitGivesEnterAndLeavesTheKeypadAlone) {
  sim::pushKey('7');
  EXPECT_EQ(updateMessageXY(1, 2, "now", 0), KEY_ENTER);
  EXPECT_EQ(sim::pendingKeys(), 1u);
  EXPECT_EQ(find("now")->y, 79);
  EXPECT_EQ(updateMessageXY(1, 2, "later", 100), '7');
}

TEST_F(DisplayTest, TheTripleMessageStaysOnTheGlass) {
  showTripleMessage("t", "one", "two", "three", 0);
  for (const char *line : {"one", "two", "three"}) {
    const auto *t = find(line);
    ASSERT_NE(t, nullptr) << line;
    EXPECT_LT(t->y + 34, DLL_LCD_HEIGHT) << line;
  }
}

} // namespace
