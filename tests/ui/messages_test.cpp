// Message catalogue: every number's text, the default text, and the bounded copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "golden.h"
#include "ui/Messages.h"

namespace {

std::string message(int id) {
  char buffer[UI_MESSAGE_BUFFER_SIZE];
  return getUiMessage(id, buffer, sizeof buffer);
}

// Bytes in the UTF-8 character that starts with lead; 0 for a stray byte.
std::size_t utf8Length(char lead) {
  const unsigned char b = static_cast<unsigned char>(lead);
  return b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
}

bool wholeUtf8(const std::string &text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8Length(text[i]);
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

const std::string kUnknown = "پیام نامشخص";

} // namespace

// Every number's text against golden/messages.txt, one entry a line.
TEST(MessageCatalogue, EveryNumberHoldsItsExactText) {
  testsupport::expectGoldenTexts(UI_GOLDEN_DIR "/messages.txt", 0, UI_MESSAGE_COUNT - 1, message);
}

TEST(MessageCatalogue, SpotTextsAreExact) {
  EXPECT_EQ(message(0), "تراکنش موفق");
  EXPECT_EQ(message(17), "خطا در اتصال به شبکه");
  EXPECT_EQ(message(44), "کارمزد 1440 ریال");
  EXPECT_EQ(message(91), "ruror");
  EXPECT_EQ(message(247), "  تعویض کاغذ "); // leading and trailing spaces kept
  EXPECT_EQ(message(301), "ابتدا کلیدگذاری نمایید");
  EXPECT_EQ(message(358), "000,01 ریال"); // amount in display order
  EXPECT_EQ(message(400), "اطلاعات فنی دستگاه");
  EXPECT_EQ(message(414), "اتصال به شبکه هم اکنون برقرار است");
  EXPECT_EQ(message(420), "تاریخ دریافت گزارش "); // trailing space kept
  EXPECT_EQ(message(423), "رفتن به setting");
}

TEST(MessageCatalogue, OurCompanyAndSupportLines) {
  EXPECT_EQ(message(367), "پرداخت زعفران");
  EXPECT_NE(message(275).find("00000000-120"), std::string::npos);
  EXPECT_NE(message(278).find("00000000-120"), std::string::npos);
}

TEST(MessageCatalogue, EmptyTextsClearTheBuffer) {
  for (int id : {212, 222}) {
    char buffer[UI_MESSAGE_BUFFER_SIZE];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(getUiMessage(id, buffer, sizeof buffer), buffer);
    EXPECT_EQ(buffer[0], '\0') << id;
  }
}

TEST(MessageCatalogue, NumbersWithoutTextYieldTheDefault) {
  for (int id = 401; id <= 413; ++id) EXPECT_EQ(message(id), kUnknown) << id;
  for (int id : {241, 294, 295, 424, 425, 1000, INT_MAX, -1, INT_MIN}) EXPECT_EQ(message(id), kUnknown) << id;
  EXPECT_STREQ(UI_MESSAGE_UNKNOWN, kUnknown.c_str());
}

TEST(MessageCatalogue, LongestTextIs71BytesAndFitsEveryCallerBuffer) {
  std::size_t longest = 0;
  for (int id = 0; id < UI_MESSAGE_COUNT; ++id) longest = std::max(longest, message(id).size());
  EXPECT_EQ(longest, 71u);
  EXPECT_EQ(message(274).size(), 71u);
  char buffer[72];
  EXPECT_EQ(std::string(getUiMessage(274, buffer, sizeof buffer)), message(274));
}

// A buffer smaller than the text gets the longest run of whole characters
// that fits, NUL-terminated, and nothing past its end is touched.
TEST(MessageCatalogue, SmallBuffersTruncateOnCharacterBoundaries) {
  for (int id : {0, 274, 423, 47, 358}) {
    const std::string full = message(id);
    for (std::size_t size = 1; size <= full.size() + 1; ++size) {
      char area[UI_MESSAGE_BUFFER_SIZE + 8];
      std::memset(area, '#', sizeof area);
      getUiMessage(id, area, size);
      for (std::size_t k = size; k < sizeof area; ++k) ASSERT_EQ(area[k], '#') << id << " size " << size;
      const std::string got(area);
      ASSERT_LT(got.size(), size);
      ASSERT_EQ(full.compare(0, got.size(), got), 0);
      ASSERT_TRUE(wholeUtf8(got)) << id << " size " << size;
      // Maximal: the next character would not have fit.
      if (got.size() < full.size()) {
        ASSERT_GT(got.size() + utf8Length(full[got.size()]) + 1, size);
      }
    }
  }
}

TEST(MessageCatalogue, DegenerateBuffersAreLeftAlone) {
  char area[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(getUiMessage(0, area, 0), area);
  EXPECT_EQ(area[0], 'a');
  EXPECT_EQ(getUiMessage(0, nullptr, 128), nullptr);
  getUiMessage(0, area, 3); // first letter takes two bytes: one fits, plus the NUL
  EXPECT_EQ(area[2], '\0');
  EXPECT_EQ(area[3], 'd');
}

TEST(MessageCatalogue, ExtendedCatalogueIsEmptyAndLoadingSucceeds) {
  EXPECT_STREQ(getUiMessageEx(), "");
  EXPECT_EQ(loadMessages(), 0);
  EXPECT_EQ(message(0), "تراکنش موفق");
}
