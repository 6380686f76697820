// Response-code texts and the result-screen description.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "golden.h"
#include "txn/ResponseCodes.h"
#include "ui/Messages.h"

namespace {

std::string responseText(int code) {
  char text[RESPONSE_TEXT_SIZE];
  EXPECT_EQ(getResponseCode(code, text, sizeof text), 0);
  return text;
}

std::string description(int code) {
  char text[RESPONSE_TEXT_SIZE];
  EXPECT_EQ(getResponseCodeDescription(code, text, sizeof text), 0);
  return text;
}

bool contains(const std::string &text, const char *bytes) { return text.find(bytes) != std::string::npos; }

const char *const kArabicYeh = "\xD9\x8A";  // U+064A
const char *const kPersianYeh = "\xDB\x8C"; // U+06CC

} // namespace

// Every code's text against golden/response_codes.txt, one entry a line.
TEST(ResponseCodes, EveryCodeHoldsItsExactText) {
  testsupport::expectGoldenTexts(TXN_GOLDEN_DIR "/response_codes.txt", 0, 101, responseText);
}

TEST(ResponseCodes, SpotTextsAreExact) {
  EXPECT_EQ(responseText(0), "موفق");
  EXPECT_EQ(responseText(51), "موجودی ناکافی");
  EXPECT_EQ(responseText(55), "رمز نامعتبر");
  EXPECT_EQ(responseText(97), "تغيير کليد غيرفعال. بعدا تلاش کنيد");
  EXPECT_EQ(responseText(100), "خطادرانجام تراکنش");
  EXPECT_EQ(responseText(101), "خطای پیکربندی");
}

TEST(ResponseCodes, SharedTextsAreIdentical) {
  EXPECT_EQ(responseText(3), responseText(31));
  EXPECT_EQ(responseText(87), responseText(88));
  EXPECT_EQ(responseText(88), responseText(89));
  EXPECT_EQ(responseText(12), responseText(14));
  EXPECT_EQ(responseText(14), responseText(30));
  EXPECT_EQ(responseText(80), responseText(93));
  EXPECT_NE(responseText(3), responseText(23));
}

// The table mixes the Arabic and Persian yeh, sometimes in one text; a
// normalising edit would break texts merchants recognise.
TEST(ResponseCodes, LetterFormsAreKeptAsWritten) {
  EXPECT_TRUE(contains(responseText(2), kArabicYeh));
  EXPECT_FALSE(contains(responseText(2), kPersianYeh));
  EXPECT_TRUE(contains(responseText(13), kPersianYeh));
  EXPECT_FALSE(contains(responseText(13), kArabicYeh));
  EXPECT_TRUE(contains(responseText(25), kArabicYeh));
  EXPECT_TRUE(contains(responseText(25), kPersianYeh));
  EXPECT_TRUE(contains(responseText(51), kPersianYeh));
  EXPECT_TRUE(contains(responseText(7), kArabicYeh)); // the unknown-code text
}

TEST(ResponseCodes, UnlistedCodesGetTheUnknownText) {
  for (int code : {7, 8, 99, 102, 255, -1, -140})
    EXPECT_EQ(responseText(code), "خطاي ناشناخته") << code;
}

TEST(ResponseCodeDescription, TableCodesAreTextThenNumberAndSpace) {
  EXPECT_EQ(description(0), "موفق0 ");
  EXPECT_EQ(description(51), "موجودی ناکافی51 ");
  EXPECT_EQ(description(3), "پذيرنده نامعتبر3 ");
  EXPECT_EQ(description(31), "پذيرنده نامعتبر31 ");
  EXPECT_EQ(description(7), "خطاي ناشناخته7 ");
  EXPECT_EQ(description(99), "خطاي ناشناخته99 ");
}

TEST(ResponseCodeDescription, LocalFailures) {
  EXPECT_EQ(description(-140), "ابتدا کلیدگذاری نمایید-140 ");
  EXPECT_EQ(description(-1), "خطا در اتصال به شبکه-1 ");
  EXPECT_EQ(description(-240), "خطا در اتصال به شبکه-240 ");
  EXPECT_EQ(description(-110), "خطا در اتصال به شبکه-110 ");
}

TEST(ResponseCodeDescription, CodesFrom100AreTheNumberAlone) {
  EXPECT_EQ(description(100), "100 ");
  EXPECT_EQ(description(101), "101 ");
  EXPECT_EQ(description(1000), "1000 ");
}

TEST(ResponseCodes, SmallBuffersStayBoundedAndWhole) {
  char area[16];
  std::memset(area, '#', sizeof area);
  EXPECT_EQ(getResponseCode(51, area, 6), 0);
  EXPECT_EQ(std::string(area), std::string("موجودی ناکافی").substr(0, 4)); // two letters; the third would not fit
  EXPECT_EQ(area[6], '#');
  std::memset(area, '#', sizeof area);
  EXPECT_EQ(getResponseCodeDescription(-1, area, 8), 0);
  EXPECT_EQ(std::string(area), std::string("خطا در اتصال به شبکه").substr(0, 7)); // three letters and the space
  EXPECT_EQ(area[8], '#');
  EXPECT_EQ(getResponseCode(0, nullptr, 128), -1);
  EXPECT_EQ(getResponseCodeDescription(0, area, 0), -1);
}
