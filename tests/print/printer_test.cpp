// The simulated printer (page composition, alignment, logo format, line
// spacing, paper out, feed time, the files of a headless run) and the paper
// dialog of startPrint, answered with Enter or another key.
#include "print/Printer.h"

#include "core/screen.h"
#include "core/time.h"
#include "libapi.h"
#include "print_test_util.h"

namespace {

using PrinterTest = PrintTest;

bool ink(const sim::PrintedPage &p, int x, int y) {
  const unsigned char *px = &p.rgb[(static_cast<size_t>(y) * DLL_PRN_WIDTH + x) * 3];
  return px[0] < 128;
}

// Leftmost and rightmost inked columns within rows [y0, y1).
std::pair<int, int> inkSpan(const sim::PrintedPage &p, int y0, int y1) {
  int lo = DLL_PRN_WIDTH, hi = -1;
  for (int y = y0; y < y1 && y < p.height; ++y)
    for (int x = 0; x < DLL_PRN_WIDTH; ++x)
      if (ink(p, x, y)) {
        lo = std::min(lo, x);
        hi = std::max(hi, x);
      }
  return {lo, hi};
}

TEST_F(PrinterTest, LogoBitsLandWhereTheHeaderSays) {
  // 10 x 2 dots: row 0 = 1000000001, row 1 = 0100000000; two bytes a row.
  const unsigned char logo[] = {0x01, 0x00, 10, 0x00, 2, 0x80, 0x40, 0x40, 0x00};
  ASSERT_EQ(DLL_PrnInit(), 0);
  ASSERT_EQ(DLL_PrnSetGray(8), 0);
  ASSERT_EQ(DLL_PrnLogo(logo, 100, 5), 0);
  ASSERT_EQ(DLL_FTPrnStart(10), 0);
  auto p = sim::printedPages().back();
  EXPECT_TRUE(ink(p, 100, 5));
  EXPECT_TRUE(ink(p, 109, 5));
  EXPECT_TRUE(ink(p, 101, 6));
  int inked = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < DLL_PRN_WIDTH; ++x) inked += ink(p, x, y);
  EXPECT_EQ(inked, 3);
  EXPECT_NE(p.listing.find("logo y=5 x=100 10x2"), std::string::npos);
}

TEST_F(PrinterTest, OurLogoHasTheFixedHeaderAndStaysAboveRowFifty) {
  EXPECT_EQ(print_logo[0], 0x01);
  EXPECT_EQ(print_logo[1] << 8 | print_logo[2], 376);
  EXPECT_EQ(print_logo[3] << 8 | print_logo[4], 56);
  int rowsInked = 0, lastRow = -1;
  for (int r = 0; r < 56; ++r)
    for (int b = 0; b < 47; ++b)
      if (print_logo[5 + r * 47 + b]) {
        lastRow = r;
        ++rowsInked;
        break;
      }
  EXPECT_GT(rowsInked, 30);  // a drawing, not an empty or stray bitmap
  EXPECT_LT(lastRow, 50);    // the reversal receipt feeds 50 rows of it
}

TEST_F(PrinterTest, RefusesWhatCannotBeALogoOrAPlace) {
  const unsigned char notLogo[] = {0x02, 0x00, 8, 0x00, 1, 0xFF};
  const unsigned char tooWide[] = {0x01, 0x01, 0x90, 0x00, 1, 0xFF};
  EXPECT_EQ(DLL_PrnLogo(notLogo, 0, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_PrnLogo(tooWide, 0, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_PrnLogo(nullptr, 0, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_FTPrnStrSetConfig(3, 24, 0, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_FTPrnStrSetConfig(0, 24, -1, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_FTPrnStrSetConfig(0, 200, 0, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_FTPrnStart(0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_PrnSetGray(9), DLL_ERR_PARAM);
  EXPECT_EQ(sim::pagesPrinted(), 0);
}

TEST_F(PrinterTest, AlignmentCodesPlaceTheLine) {
  DLL_PrnInit();
  DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_RIGHT, 26, 380, 0);
  DLL_FTPrnStr(FONT_FILE, "WWWW");
  DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_CENTER, 26, 0, 30);
  DLL_FTPrnStr(FONT_FILE, "WWWW");
  DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_LEFT_RIGHT, 26, 20, 60);
  DLL_FTPrnStr(FONT_FILE, "WWWW");
  DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_LEFT_RIGHT, 26, 0, 90);
  DLL_FTPrnStrLeftRight(FONT_FILE, "WW", "WW");
  ASSERT_EQ(DLL_FTPrnStart(120), 0);
  auto p = sim::printedPages().back();
  auto right = inkSpan(p, 0, 26), centre = inkSpan(p, 30, 56), left = inkSpan(p, 60, 86);
  ASSERT_GE(right.second, 0);
  EXPECT_LE(right.second, 380);
  EXPECT_GE(right.second, 374);
  EXPECT_NEAR((centre.first + centre.second) / 2.0, DLL_PRN_WIDTH / 2.0, 3);
  EXPECT_GE(left.first, 20);
  EXPECT_LE(left.first, 24);
  auto pair = inkSpan(p, 90, 116);
  EXPECT_LE(pair.first, 3);
  EXPECT_GE(pair.second, DLL_PRN_WIDTH - 4);
  EXPECT_NE(p.listing.find("text y=0 x=380 align=right size=26 \"WWWW\""), std::string::npos);
  EXPECT_NE(p.listing.find("pair y=90 x=0 size=26 left=\"WW\" right=\"WW\""), std::string::npos);
}

TEST_F(PrinterTest, LineSpacingSeparatesTheLinesOfOneText) {
  auto secondLineTop = [](int space) {
    DLL_PrnInit();
    DLL_FTPrnFineTuneLineSpace(space);
    DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_LEFT_RIGHT, 20, 0, 0);
    DLL_FTPrnStr(FONT_FILE, "H\nH");
    EXPECT_EQ(DLL_FTPrnStart(100), 0);
    auto p = sim::printedPages().back();
    int first = -1;
    for (int y = 0; y < p.height; ++y)
      if (inkSpan(p, y, y + 1).second >= 0) {
        if (first < 0) first = y;
        else if (y > first + 16 && inkSpan(p, y - 1, y).second < 0) return y - first;
      }
    return -1;
  };
  const int plain = secondLineTop(0), spaced = secondLineTop(16);
  EXPECT_EQ(plain, 20);
  EXPECT_EQ(spaced, 36);
}

TEST_F(PrinterTest, PaperOutPrintsNothingUntilPaperIsBack) {
  DLL_PrnInit();
  DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_RIGHT, 26, 380, 0);
  DLL_FTPrnStr(FONT_FILE, "kept");
  sim::setPaper(false);
  EXPECT_NE(DLL_PrnCheckStatus(), 0);
  EXPECT_EQ(DLL_FTPrnStart(40), DLL_PRN_NO_PAPER);
  EXPECT_EQ(sim::pagesPrinted(), 0);
  sim::setPaper(true);
  EXPECT_EQ(DLL_PrnCheckStatus(), 0);
  EXPECT_EQ(DLL_FTPrnStart(40), 0);  // the page composed before is the one printed
  ASSERT_EQ(sim::pagesPrinted(), 1);
  EXPECT_NE(sim::printedPages().back().listing.find("\"kept\""), std::string::npos);
  EXPECT_EQ(DLL_FTPrnStart(40), 0);  // a printed page is consumed
  EXPECT_EQ(sim::printedPages().back().listing.find("\"kept\""), std::string::npos);
}

TEST_F(PrinterTest, FeedingPaperTakesTime) {
  DLL_PrnInit();
  const long long before = sim::virtualNowMs();
  ASSERT_EQ(DLL_FTPrnStart(500), 0);
  EXPECT_EQ(sim::virtualNowMs() - before, 1000);  // 500 dot rows a second
}

TEST_F(PrinterTest, HeadlessRunWritesPictureAndListing) {
  sim::setOutputDir(dir_);
  DLL_PrnInit();
  DLL_FTPrnStrSetConfig(DLL_PRN_ALIGN_CENTER, 20, 0, 0);
  DLL_FTPrnStr(FONT_FILE, "one");
  ASSERT_EQ(DLL_FTPrnStart(30), 0);
  DLL_FTPrnStr(FONT_FILE, "two");
  ASSERT_EQ(DLL_FTPrnStart(30), 0);
  EXPECT_NE(readText(dir_ + "/print-001.txt").find("\"one\""), std::string::npos);
  EXPECT_NE(readText(dir_ + "/print-002.txt").find("\"two\""), std::string::npos);
  const std::string png = readText(dir_ + "/print-002.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(static_cast<unsigned char>(png[18]) << 8 | static_cast<unsigned char>(png[19]), 384);  // width
  EXPECT_EQ(static_cast<unsigned char>(png[22]) << 8 | static_cast<unsigned char>(png[23]), 30);   // height
}

TEST_F(PrinterTest, ScriptCommandsTakeThePaperOutAndBack) {
  std::string error;
  EXPECT_FALSE(sim::loadScript("paper sideways\n", &error));
  EXPECT_NE(error.find("paper wants out or in"), std::string::npos) << error;
  ASSERT_TRUE(sim::loadScript("paper out\nwait 5000\npaper in\nwait 100000\n", &error)) << error;
  DLL_PrnInit();
  // The dialog's retries poll the status while the script runs on virtual time.
  int outSeen = 0;
  for (int i = 0; i < 10 && DLL_PrnCheckStatus() == 0; ++i) mid_sleepMs(100);
  while (DLL_PrnCheckStatus() != 0 && outSeen < 100) {
    ++outSeen;
    mid_sleepMs(100);
  }
  EXPECT_GE(outSeen, 45);
  EXPECT_LE(outSeen, 52);
  EXPECT_TRUE(sim::paperPresent());
}

// ---- the paper dialog -------------------------------------------------------------------

class PaperDialogTest : public PrintTest {
protected:
  void composeReceipt() {
    openPrinter();
    printRightLine(PRN_FONT_RECEIPT, "رسید", PRN_RIGHT_X, 0);
  }
};

TEST_F(PaperDialogTest, EnterWaitsForPaperAndPrintsThePageOnce) {
  std::string error;
  ASSERT_TRUE(sim::loadScript("paper out\nwait 2000\nkey ENTER\nwait 7000\npaper in\nwait 600000\n", &error)) << error;
  mid_sleepMs(10);  // the script takes the paper out
  composeReceipt();
  const long long before = sim::virtualNowMs();
  EXPECT_EQ(startPrint(40), 0);
  EXPECT_EQ(sim::pagesPrinted(), 1);
  EXPECT_NE(lastPage().find("\"رسید\""), std::string::npos);
  EXPECT_TRUE(sim::screenContains("در انتظار قرار دادن کاغذ"));  // waiting for paper
  const long long waited = sim::virtualNowMs() - before;
  EXPECT_GE(waited, 9000);
  EXPECT_LE(waited, 11000);
  // Three beeps when the dialog came up, then one long beep per failed retry.
  auto beeps = sim::beeps();
  ASSERT_GE(beeps.size(), 4u);
  EXPECT_EQ(beeps[0].tone, 2);
  EXPECT_EQ(beeps[1].tone, 1);
  EXPECT_EQ(beeps[2].tone, 2);
  EXPECT_EQ(beeps[3].tone, 3);
  EXPECT_EQ(beeps[3].ms, 600u);
}

TEST_F(PaperDialogTest, AnotherKeyDropsThePage) {
  std::string error;
  ASSERT_TRUE(sim::loadScript("paper out\nwait 1000\nkey CANCEL\nwait 1000\npaper in\nwait 600000\n", &error)) << error;
  mid_sleepMs(10);
  composeReceipt();
  EXPECT_EQ(startPrint(40), 1);
  EXPECT_TRUE(sim::screenContains(msg(286)));
  EXPECT_TRUE(sim::screenContains(msg(287)));
  mid_sleepMs(2000);  // paper back: the dropped page never comes out
  ASSERT_TRUE(sim::paperPresent());
  openPrinter();
  EXPECT_EQ(startPrint(40), 0);
  EXPECT_EQ(sim::pagesPrinted(), 1);
  EXPECT_EQ(lastPage().find("\"رسید\""), std::string::npos);
}

TEST_F(PaperDialogTest, NoPaperWithinAMinuteGivesUp) {
  std::string error;
  ASSERT_TRUE(sim::loadScript("paper out\nwait 1000\nkey ENTER\nwait 600000\n", &error)) << error;
  mid_sleepMs(10);
  composeReceipt();
  const long long before = sim::virtualNowMs();
  EXPECT_EQ(startPrint(40), 1);
  EXPECT_EQ(sim::pagesPrinted(), 0);
  const long long waited = sim::virtualNowMs() - before;
  EXPECT_GE(waited, 60000);
  EXPECT_LE(waited, 62500);
}

}  // namespace
