/* Tests of the LCD: text model, right-to-left text, digits, images and shots. */
#include <png.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "device.h"
#include "libapi.h"
#include "sim_test_util.h"

namespace {

using Lcd = SimTest;

const char* kOne = "\xD9\xA1";        // U+0661 ARABIC-INDIC DIGIT ONE
const char* kTwo = "\xD9\xA2";        // U+0662
const char* kBeh = "\xD8\xA8";        // U+0628 BEH
const char* kAlef = "\xD8\xA7";       // U+0627 ALEF

void print(int align, int size, int x, int y, const std::string& s) {
  DLL_LcdSetTTFConfig(align, size, 0);
  ASSERT_EQ(DLL_LcdPrintTTF(x, y, s.c_str()), 0);
}

// Dark pixels in columns [x0, x1) of rows [y0, y1).
int ink(int x0, int x1, int y0, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      unsigned p = sim::pixelAt(x, y);
      if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 128) ++n;
    }
  return n;
}

// Leftmost and rightmost inked columns of rows [y0, y1); -1 when blank.
std::pair<int, int> inkSpan(int y0, int y1) {
  int lo = -1, hi = -1;
  for (int x = 0; x < DLL_LCD_WIDTH; ++x)
    if (ink(x, x + 1, y0, y1) > 0) {
      if (lo < 0) lo = x;
      hi = x;
    }
  return {lo, hi};
}

std::vector<unsigned char> snapshotRows(int y0, int y1) {
  const unsigned char* fb = sim::framebuffer();
  return std::vector<unsigned char>(fb + y0 * DLL_LCD_WIDTH * 3, fb + y1 * DLL_LCD_WIDTH * 3);
}

TEST_F(Lcd, EveryTextIsListedWithWhereAndHowItWasDrawn) {
  DLL_LcdSetTTFBGColor(1, 0x00C9FF);
  DLL_LcdSetTTFConfig(DLL_LCD_ALIGN_CENTER, 2, 0x6080);
  DLL_LcdPrintTTF(1, 0, "title");
  DLL_LcdSetTTFBGColor(0, 0);
  print(DLL_LCD_ALIGN_RIGHT, 3, 1, 147, "\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85 \"hi\"");
  auto texts = sim::screenTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].utf8, "title");
  EXPECT_EQ(texts[0].align, DLL_LCD_ALIGN_CENTER);
  EXPECT_EQ(texts[0].size, 2);
  EXPECT_EQ(texts[0].textColor565, 0x6080u);
  EXPECT_TRUE(texts[0].bgOn);
  EXPECT_EQ(texts[0].bgRgb, 0x00C9FFu);
  EXPECT_EQ(texts[1].y, 147);
  EXPECT_FALSE(texts[1].bgOn);
  EXPECT_TRUE(sim::screenContains("\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85"));
  EXPECT_FALSE(sim::screenContains("missing"));

  std::string listing = sim::screenListing();
  EXPECT_NE(listing.find("text y=0 x=1 align=centre size=2 fg=#631000 bg=#00C9FF \"title\"\n"), std::string::npos)
      << listing;
  EXPECT_NE(listing.find("align=right size=3 fg=#000000 bg=none \"\xD8\xB3\xD9\x84\xD8\xA7\xD9\x85 \\\"hi\\\"\"\n"),
            std::string::npos)
      << listing;
  // The title's background box is painted.
  EXPECT_EQ(sim::pixelAt(160, 1), 0x00C9FFu);
}

TEST_F(Lcd, ClsBlanksTheScreenAndForgetsEverything) {
  print(DLL_LCD_ALIGN_LEFT, 3, 1, 45, "abc");
  ASSERT_EQ(DLL_LcdDrawLogo(0, 200, "downOkay.bmp"), 0);
  EXPECT_EQ(DLL_LcdCls(), 0);
  EXPECT_TRUE(sim::screenTexts().empty());
  EXPECT_TRUE(sim::screenImages().empty());
  EXPECT_EQ(ink(0, DLL_LCD_WIDTH, 0, DLL_LCD_HEIGHT), 0);
  EXPECT_EQ(sim::pixelAt(5, 220), 0xFFFFFFu);
}

TEST_F(Lcd, ClrLineRemovesOnlyTheTextsInTheClearedRows) {
  // Message rows of the application's grid: tops at 45, 79, 113, 147, 181.
  for (int row = 1; row <= 5; ++row) print(DLL_LCD_ALIGN_LEFT, 3, 1, (row - 1) * 34 + 45, "row" + std::to_string(row));
  ASSERT_EQ(DLL_LcdClrLine(147, 180), 0);  // the band of row 4
  std::vector<std::string> left;
  for (const auto& t : sim::screenTexts()) left.push_back(t.utf8);
  EXPECT_EQ(left, (std::vector<std::string>{"row1", "row2", "row3", "row5"}));
  EXPECT_EQ(ink(0, DLL_LCD_WIDTH, 147, 181), 0);
  EXPECT_GT(ink(0, DLL_LCD_WIDTH, 113, 147), 0);
  EXPECT_GT(ink(0, DLL_LCD_WIDTH, 181, 215), 0);

  // Rows past the bottom are clamped; a reversed range clears nothing.
  EXPECT_EQ(DLL_LcdClrLine(100, 241), 0);
  EXPECT_EQ(sim::screenTexts().size(), 2u);
  EXPECT_EQ(DLL_LcdClrLine(50, 10), 0);
  EXPECT_EQ(sim::screenTexts().size(), 2u);
}

TEST_F(Lcd, ArabicScriptTextRunsRightToLeftWithItsFirstCharacterAtTheRight) {
  // Arabic-Indic digits of one advance width: "12" in logical order.
  print(DLL_LCD_ALIGN_LEFT, 3, 10, 50, std::string(kTwo));
  auto twoAlone = snapshotRows(50, 84);
  auto span = inkSpan(50, 84);
  DLL_LcdCls();
  print(DLL_LCD_ALIGN_LEFT, 3, 10, 50, std::string(kOne) + kTwo);
  // The second character stands at the pen start (left), exactly as when drawn alone.
  auto both = snapshotRows(50, 84);
  for (int y = 0; y < 34; ++y)
    for (int x = span.first; x <= span.second; ++x)
      ASSERT_EQ(both[(y * DLL_LCD_WIDTH + x) * 3], twoAlone[(y * DLL_LCD_WIDTH + x) * 3]) << "x=" << x << " y=" << y;
  // And the first character lies to its right.
  auto whole = inkSpan(50, 84);
  EXPECT_GT(whole.second, span.second);

  // The same digits in Latin run left to right: "1" at the left.
  DLL_LcdCls();
  print(DLL_LCD_ALIGN_LEFT, 3, 10, 50, "2");
  auto latinTwo = inkSpan(50, 84);
  DLL_LcdCls();
  print(DLL_LCD_ALIGN_LEFT, 3, 10, 50, "12");
  EXPECT_GT(inkSpan(50, 84).second, latinTwo.second + 3);
  EXPECT_LT(ink(0, latinTwo.second + 1, 50, 84), ink(latinTwo.second + 1, DLL_LCD_WIDTH, 50, 84));
}

TEST_F(Lcd, AsciiDigitsInsideArabicTextAreNotReordered) {
  // One right-to-left run for the whole string: "12" after a letter comes out as "21" read left to right.
  print(DLL_LCD_ALIGN_LEFT, 3, 10, 50, "2");
  auto two = snapshotRows(50, 84);
  auto span = inkSpan(50, 84);
  DLL_LcdCls();
  print(DLL_LCD_ALIGN_LEFT, 3, 10, 50, std::string(kBeh) + "12");
  auto mixed = snapshotRows(50, 84);
  for (int y = 0; y < 34; ++y)
    for (int x = span.first; x <= span.second; ++x)
      ASSERT_EQ(mixed[(y * DLL_LCD_WIDTH + x) * 3], two[(y * DLL_LCD_WIDTH + x) * 3]) << "x=" << x << " y=" << y;
}

TEST_F(Lcd, AlignmentPlacesTextAtTheLeftRightOrCentre) {
  std::string s = std::string(kAlef) + kBeh + kAlef;
  print(DLL_LCD_ALIGN_RIGHT, 3, 1, 10, s);
  auto right = inkSpan(10, 44);
  EXPECT_GE(right.second, DLL_LCD_WIDTH - 4);  // flush to the right edge
  DLL_LcdCls();
  print(DLL_LCD_ALIGN_LEFT, 3, 1, 10, s);
  auto left = inkSpan(10, 44);
  EXPECT_LE(left.first, 4);
  DLL_LcdCls();
  print(DLL_LCD_ALIGN_CENTER, 3, 1, 10, s);
  auto centre = inkSpan(10, 44);
  int mid = (centre.first + centre.second) / 2;
  EXPECT_NEAR(mid, DLL_LCD_WIDTH / 2, 4);
  // Larger size codes give larger text.
  DLL_LcdCls();
  print(DLL_LCD_ALIGN_LEFT, 1, 1, 10, s);
  auto small = inkSpan(10, 44);
  EXPECT_LT(small.second - small.first, left.second - left.first);
  EXPECT_EQ(DLL_LcdSetTTFConfig(3, 1, 0), DLL_ERR_PARAM);
  EXPECT_EQ(DLL_LcdSetTTFConfig(0, 4, 0), DLL_ERR_PARAM);
}

TEST_F(Lcd, ArabicIndicTimeAndDateDrawAndAreListedAsGiven) {
  // 12:30 as the application stores it: the run reversed, in Arabic-Indic digits.
  std::string time = "\xD9\xA0\xD9\xA3:\xD9\xA2\xD9\xA1";  // "03:21"
  print(DLL_LCD_ALIGN_CENTER, 3, 1, 113, time);
  EXPECT_GT(ink(0, DLL_LCD_WIDTH, 113, 147), 30);
  EXPECT_TRUE(sim::screenContains(time));
  // Every digit has its own glyph: none falls back to the font's empty box.
  int alone = 0;
  for (int d = 0; d < 10; ++d) {
    DLL_LcdCls();
    std::string digit = {'\xD9', static_cast<char>(0xA0 + d)};
    print(DLL_LCD_ALIGN_LEFT, 3, 1, 10, digit);
    int n = ink(0, DLL_LCD_WIDTH, 10, 44);
    if (d == 0) EXPECT_GT(n, 0) << "digit " << d;
    else EXPECT_GT(n, 4) << "digit " << d;
    if (d == 1) alone = n;
  }
  EXPECT_GT(alone, 0);
}

TEST_F(Lcd, ShotWritesAReadablePictureAndTheListing) {
  print(DLL_LCD_ALIGN_LEFT, 3, 1, 45, "shot");
  ASSERT_TRUE(sim::writeShot(dir_.string(), "s1"));
  png_image img;
  memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&img, (dir_ / "s1.png").c_str()));
  EXPECT_EQ(img.width, 320u);
  EXPECT_EQ(img.height, 240u);
  img.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> px(PNG_IMAGE_SIZE(img));
  ASSERT_TRUE(png_image_finish_read(&img, nullptr, px.data(), 0, nullptr));
  EXPECT_EQ(0, memcmp(px.data(), sim::framebuffer(), px.size()));
  std::ifstream txt(dir_ / "s1.txt");
  std::string all((std::istreambuf_iterator<char>(txt)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, sim::screenListing());
  EXPECT_NE(all.find("\"shot\""), std::string::npos);
  EXPECT_FALSE(sim::writeShot(dir_.string(), "../escape"));
}

TEST_F(Lcd, DefaultPicturesAreInstalledAndDrawn) {
  sim::detail::installArtwork(".");
  struct {
    const char* name;
    int w, h;
  } pics[] = {{"main.png", 320, 240}, {"m_swipe.png", 320, 240}, {"downOkay.bmp", 320, 40},
              {"downEdit.bmp", 320, 40}, {"downPrint.bmp", 320, 40}};
  for (const auto& p : pics) {
    sim::detail::Image img;
    std::string error;
    ASSERT_TRUE(sim::detail::imageLoad(p.name, &img, &error)) << p.name << ": " << error;
    EXPECT_EQ(img.width, p.w) << p.name;
    EXPECT_EQ(img.height, p.h) << p.name;
  }
  DLL_LcdCls();
  ASSERT_EQ(DLL_LcdDrawLogo(0, 200, "downOkay.bmp"), 0);
  EXPECT_NE(sim::pixelAt(160, 220), 0xFFFFFFu);
  EXPECT_NE(sim::screenListing().find("image x=0 y=200 \"downOkay.bmp\""), std::string::npos);
  EXPECT_NE(DLL_LcdDrawLogo(0, 0, "no-such-picture.png"), 0);
  EXPECT_EQ(sim::screenImages().size(), 1u);
}

TEST_F(Lcd, APictureDrawnOverTextsHidesThem) {
  print(DLL_LCD_ALIGN_LEFT, 3, 1, 45, "under");
  sim::detail::installArtwork(".");
  ASSERT_EQ(DLL_LcdDrawLogo(0, 0, "main.png"), 0);
  EXPECT_FALSE(sim::screenContains("under"));
  print(DLL_LCD_ALIGN_LEFT, 3, 1, 174, "over");
  EXPECT_TRUE(sim::screenContains("over"));
}

// A 2 x 2 BMP, bottom-up rows padded to 4 bytes.
std::vector<unsigned char> tinyBmp(int bpp, unsigned compression = 0) {
  int stride = bpp == 24 ? 8 : 8;
  std::vector<unsigned char> v(54 + stride * 2, 0);
  auto put32 = [&](size_t at, unsigned x) {
    for (int k = 0; k < 4; ++k) v[at + k] = static_cast<unsigned char>(x >> (8 * k));
  };
  v[0] = 'B';
  v[1] = 'M';
  put32(2, static_cast<unsigned>(v.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, 2);
  v[26] = 1;
  v[28] = static_cast<unsigned char>(bpp);
  put32(30, compression);
  // bottom row: blue, green; top row: red, white (stored B, G, R)
  int b = bpp / 8;
  unsigned char* bottom = &v[54];
  unsigned char* top = &v[54 + stride];
  bottom[0] = 255;
  bottom[b + 1] = 255;
  top[2] = 255;
  top[b] = top[b + 1] = top[b + 2] = 255;
  return v;
}

TEST_F(Lcd, BmpReaderTakesUncompressed24And32BitPictures) {
  for (int bpp : {24, 32}) {
    auto bmp = tinyBmp(bpp);
    sim::detail::Image img;
    std::string error;
    ASSERT_TRUE(sim::detail::bmpDecode(bmp.data(), bmp.size(), &img, &error)) << error;
    ASSERT_EQ(img.width, 2);
    ASSERT_EQ(img.height, 2);
    const unsigned char want[16] = {255, 0, 0, 255, 255, 255, 255, 255, 0, 0, 255, 255, 0, 255, 0, 255};
    EXPECT_EQ(0, memcmp(img.rgba.data(), want, 16)) << bpp << " bits";
  }
}

TEST_F(Lcd, BmpReaderRefusesWhatItCannotReadSafely) {
  sim::detail::Image img;
  std::string error;
  auto rle = tinyBmp(24, 1);
  EXPECT_FALSE(sim::detail::bmpDecode(rle.data(), rle.size(), &img, &error));
  auto eightBit = tinyBmp(24);
  eightBit[28] = 8;
  EXPECT_FALSE(sim::detail::bmpDecode(eightBit.data(), eightBit.size(), &img, &error));
  auto truncated = tinyBmp(24);
  truncated.resize(truncated.size() - 3);
  EXPECT_FALSE(sim::detail::bmpDecode(truncated.data(), truncated.size(), &img, &error));
  auto huge = tinyBmp(24);
  huge[21] = 0x7F;  // width 0x7F000002
  EXPECT_FALSE(sim::detail::bmpDecode(huge.data(), huge.size(), &img, &error));
  auto offset = tinyBmp(24);
  offset[13] = 0x10;  // pixel data offset far past the end
  EXPECT_FALSE(sim::detail::bmpDecode(offset.data(), offset.size(), &img, &error));
  EXPECT_FALSE(sim::detail::bmpDecode(rle.data(), 20, &img, &error));
}

}  // namespace
