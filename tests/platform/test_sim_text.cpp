/*
 * Tests of the simulator's remembered shaping and glyph images, and of the
 * printer's bounded paper strip: what is drawn from memory must be the
 * pixels a first drawing gives, in the font in use.
 */
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "device.h"
#include "libapi.h"
#include "sim_test_util.h"
#include "text.h"

namespace {

using Text = SimTest;
using sim::detail::Canvas;
using sim::detail::kPaperWidth;

constexpr int kW = 320, kH = 80;
const std::string kPersian = "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85 \xDB\xB1\xDB\xB2\xDB\xB3";  // a word and three digits
// Latin, Arabic-script letters and digits: glyphs both fonts below have.
const std::string kMixed = "Receipt 0123 \xD8\xB3\xD9\x84\xD8\xA7\xD9\x85 \xD8\xA8\xD8\xA7\xD9\x86\xDA\xA9";
const char* kOtherFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<unsigned char> draw(const std::string& text, int px) {
  std::vector<unsigned char> rgb(static_cast<size_t>(kW) * kH * 3, 0xFF);
  EXPECT_TRUE(sim::detail::textDrawPx(Canvas{rgb.data(), kW, kH}, text, px, 4, 2, kH - 4, 0x000000));
  return rgb;
}

bool blank(const std::vector<unsigned char>& rgb) {
  for (unsigned char c : rgb)
    if (c != 0xFF) return false;
  return true;
}

// Rows holding any ink.
int inkedRows(const std::vector<unsigned char>& rgb) {
  int rows = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (rgb[(static_cast<size_t>(y) * kW + x) * 3] != 0xFF) {
        ++rows;
        break;
      }
  return rows;
}

// The built-in font is in use again after a test that switched it.
struct FontGuard {
  ~FontGuard() { sim::detail::setFontOverride(""); }
};

TEST_F(Text, ATextDrawsTheSameWhetherFreshOrRemembered) {
  const std::vector<unsigned char> first = draw(kPersian, 15);
  ASSERT_FALSE(blank(first));
  // Other texts at other sizes share glyphs with it; none may disturb it.
  for (int px : {8, 12, 15, 16, 20, 40})
    for (const char* other : {"12345", "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85", "ABC xyz"}) draw(other, px);
  EXPECT_EQ(draw(kPersian, 15), first);
}

// A text running off the canvas's edges shows exactly the part a larger
// canvas would show there, and writes nothing outside (the buffers are sized
// exactly, so a write past them is caught by the address sanitizer).
TEST_F(Text, ATextOffTheEdgesDrawsOnlyItsVisiblePart) {
  constexpr int kBigW = 240, kBigH = 60, kPen = 10, kTop = 5, kBox = 40, kPx = 24;
  std::vector<unsigned char> big(static_cast<size_t>(kBigW) * kBigH * 3, 0xFF);
  ASSERT_TRUE(sim::detail::textDrawPx(Canvas{big.data(), kBigW, kBigH}, kMixed, kPx, kPen, kTop, kBox, 0x102030));
  ASSERT_FALSE(blank(big));
  // Windows onto the big canvas: cutting the text at its left and top, at its
  // right and bottom, and one past all of it.
  struct Window { int x, y, w, h; };
  for (const Window win : {Window{kPen + 7, kTop + 12, 30, 9}, Window{150, 30, 90, 30}, Window{0, 0, 5, 3}}) {
    std::vector<unsigned char> small(static_cast<size_t>(win.w) * win.h * 3, 0xFF);
    ASSERT_TRUE(sim::detail::textDrawPx(Canvas{small.data(), win.w, win.h}, kMixed, kPx, kPen - win.x, kTop - win.y,
                                        kBox, 0x102030));
    for (int y = 0; y < win.h; ++y)
      for (int x = 0; x < win.w; ++x)
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(small[(static_cast<size_t>(y) * win.w + x) * 3 + k],
                    big[(static_cast<size_t>(y + win.y) * kBigW + x + win.x) * 3 + k])
              << "window at " << win.x << "," << win.y << ", pixel " << x << "," << y;
  }
}

TEST_F(Text, EachSizeHasGlyphsAndWidthsOfItsOwn) {
  // Sizes no other test draws at, so the first drawing at each is made fresh.
  const std::vector<unsigned char> small = draw(kMixed, 19), large = draw(kMixed, 38);
  EXPECT_GT(inkedRows(large), inkedRows(small) * 3 / 2);
  int w19 = 0, w38 = 0;
  ASSERT_TRUE(sim::detail::textMeasurePx(kMixed, 19, &w19));
  ASSERT_TRUE(sim::detail::textMeasurePx(kMixed, 38, &w38));
  EXPECT_GT(w38, w19 * 3 / 2);
}

TEST_F(Text, SwitchingTheFontForgetsWhatTheOldOneDrew) {
  if (!std::filesystem::exists(kOtherFont)) GTEST_SKIP() << "no second font at " << kOtherFont;
  FontGuard guard;
  // A size no other test draws at: this first drawing in the built-in font is made fresh.
  const std::vector<unsigned char> builtIn = draw(kMixed, 37);
  int builtInWidth = 0;
  ASSERT_TRUE(sim::detail::textMeasurePx(kMixed, 37, &builtInWidth));

  sim::detail::setFontOverride(kOtherFont);
  const std::vector<unsigned char> other = draw(kMixed, 37);
  int otherWidth = 0;
  ASSERT_TRUE(sim::detail::textMeasurePx(kMixed, 37, &otherWidth));
  EXPECT_NE(other, builtIn);
  EXPECT_NE(otherWidth, builtInWidth);

  // Back to the built-in font: nothing of the other font's glyphs or shapes is used.
  sim::detail::setFontOverride("");
  EXPECT_EQ(draw(kMixed, 37), builtIn);
  int again = 0;
  ASSERT_TRUE(sim::detail::textMeasurePx(kMixed, 37, &again));
  EXPECT_EQ(again, builtInWidth);
}

TEST_F(Text, ManyDistinctTextsDoNotDisturbOneDrawnBefore) {
  const std::vector<unsigned char> first = draw(kPersian, 13);
  int width = 0;
  ASSERT_TRUE(sim::detail::textMeasurePx(kPersian, 13, &width));
  // More distinct texts than are remembered: what is remembered is let go, and drawn anew alike.
  for (int i = 0; i < 10000; ++i) {
    int w = 0;
    ASSERT_TRUE(sim::detail::textMeasurePx(std::to_string(i), 13, &w));
  }
  int again = 0;
  ASSERT_TRUE(sim::detail::textMeasurePx(kPersian, 13, &again));
  EXPECT_EQ(again, width);
  EXPECT_EQ(draw(kPersian, 13), first);
}

// Prints one empty page of height dots (a line of text at its top, so it is not blank).
void printPage(int height) {
  ASSERT_EQ(DLL_PrnInit(), DLL_OK);
  ASSERT_EQ(DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_LEFT_RIGHT, 24, 0, 0), DLL_OK);
  ASSERT_EQ(DLL_FTPrnStr("font", "page"), DLL_OK);
  ASSERT_EQ(DLL_FTPrnStart(height), DLL_OK);
}

TEST_F(Text, PaperStripStaysBoundedWithTheNewestPageAtItsEnd) {
  sim::detail::PaperStrip strip;
  const int page = 7000;
  int most = 0;
  for (int i = 0; i < 12; ++i) {
    printPage(page);
    ASSERT_TRUE(sim::detail::printerPaper(&strip, ~0ULL));
    ASSERT_EQ(strip.rgb.size(), static_cast<size_t>(strip.height) * kPaperWidth * 3);
    most = std::max(most, strip.height);
  }
  // 12 pages are far more than the strip keeps; it never grows past its bound plus the slack.
  EXPECT_LT(most, 12 * page);
  EXPECT_LE(most, 60000);
  EXPECT_GE(strip.height, 40000);

  // The newest page sits at the end of the strip, before the tear line's blank rows.
  const std::vector<sim::PrintedPage> pages = sim::printedPages();
  ASSERT_FALSE(pages.empty());
  const sim::PrintedPage& newest = pages.back();
  ASSERT_EQ(newest.height, page);
  ASSERT_EQ(newest.rgb.size(), static_cast<size_t>(page) * kPaperWidth * 3);
  const size_t row = static_cast<size_t>(kPaperWidth) * 3;
  const size_t cut = strip.rgb.size() - newest.rgb.size() - 12 * row;
  EXPECT_EQ(0, std::memcmp(strip.rgb.data() + cut, newest.rgb.data(), newest.rgb.size()));
}

TEST_F(Text, PaperStripAskedForLateHoldsThePagesPrintedBeforeButNotClearedOnes) {
  printPage(100);
  printPage(200);
  sim::detail::PaperStrip strip;
  ASSERT_TRUE(sim::detail::printerPaper(&strip, ~0ULL));
  EXPECT_EQ(strip.height, 100 + 12 + 200 + 12);  // each page and its tear line
  const std::vector<sim::PrintedPage> pages = sim::printedPages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(0, std::memcmp(strip.rgb.data(), pages[0].rgb.data(), pages[0].rgb.size()));

  sim::clearPaper();
  printPage(50);
  ASSERT_TRUE(sim::detail::printerPaper(&strip, ~0ULL));
  EXPECT_EQ(strip.height, 50 + 12);
}

}  // namespace
