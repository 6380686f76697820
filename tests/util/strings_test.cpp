// Strings, numbers, hexadecimal and the code-page decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/Strings.h"

namespace {

std::string grouped(uint64_t v)
{
    char out[GROUPED_NUMBER_SIZE];
    numberToString(v, out);
    return out;
}

TEST(Numbers, GroupingAndLeadingZeros)
{
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(1000), "1,000");
    EXPECT_EQ(grouped(1002003), "1,002,003"); // inner groups keep their zeros
    EXPECT_EQ(grouped(UINT64_MAX), "18,446,744,073,709,551,615");
    char out[6];
    IntToString(-5, out);
    EXPECT_STREQ(out, "0");
    EXPECT_EQ(numberToString(12345, out, sizeof out), -1); // bounded form: "12,345" needs 7
    EXPECT_STREQ(out, "");

    char amount[16] = {};
    EXPECT_EQ(removeLeadingZero("000000012000", amount), 5);
    EXPECT_STREQ(amount, "12000");
    char none[16] = {};
    EXPECT_EQ(removeLeadingZero("000000000000", none), 0);
    EXPECT_STREQ(none, "");
    char small[4];
    removeLeadingZero("00123456", small, sizeof small);
    EXPECT_STREQ(small, "123");
}

TEST(Padding, FixedWidthFieldsNeverPastWidth)
{
    char out[8];
    EXPECT_EQ(padLeft("123", 6, out, '0'), 0);
    EXPECT_STREQ(out, "000123");
    EXPECT_EQ(padRight("12", 4, out, 'F'), 0);
    EXPECT_STREQ(out, "12FF");

    std::memset(out, '#', sizeof out);
    EXPECT_EQ(padLeft("1234567", 4, out, '0'), -1);
    EXPECT_STREQ(out, "1234");
    EXPECT_EQ(out[5], '#');
    char tiny[4];
    EXPECT_EQ(padLeft("1", 12, tiny, sizeof tiny, '0'), -1);
    EXPECT_STREQ(tiny, "001");
}

TEST(Trimming, DefaultSetCustomSetAndFilters)
{
    char t[] = " \t\r\n 12 34\v\f ";
    trim(t);
    EXPECT_STREQ(t, "12 34");
    char keep[] = "_x_";
    EXPECT_STREQ(trim(keep), "_x_");
    char all[] = " \t \n";
    EXPECT_STREQ(ltrim(all), "");
    char zeros[] = "00120";
    EXPECT_STREQ(ltrim(zeros, "0"), "120");

    char digits[] = "12 34-5a";
    removeSpaces(digits);
    EXPECT_STREQ(digits, "12345");
    char commas[] = "1,234,567";
    removeChars(commas, ',');
    EXPECT_STREQ(commas, "1234567");
}

TEST(IpAddress, LeadingZerosDroppedWithinTheBuffer)
{
    char ip[16] = "010.001.002.003";
    trimIpAddressLeadingZero(ip);
    EXPECT_STREQ(ip, "10.1.2.3");
    char empty[4] = "";
    trimIpAddressLeadingZero(empty);
    EXPECT_STREQ(empty, "");
    // "1.2" reads as 1.2.0.0, which must not grow past a 4-byte buffer.
    char shortIp[4] = "1.2";
    trimIpAddressLeadingZero(shortIp);
    EXPECT_EQ(std::strlen(shortIp), 3u);
    char roomy[16] = "1.2";
    trimIpAddressLeadingZero(roomy, sizeof roomy);
    EXPECT_STREQ(roomy, "1.2.0.0");
}

TEST(Reversal, BytesOfAnyLength)
{
    std::string s;
    for (int i = 0; i < 600; ++i) // well past the old 199-byte limit
        s.push_back(static_cast<char>('a' + i % 26));
    const std::string expected(s.rbegin(), s.rend());
    strReverse(s.data());
    EXPECT_EQ(s, expected);

    char out[8];
    reverseStr("abc", out);
    EXPECT_STREQ(out, "cba");
    EXPECT_EQ(reverseStr("abcdefgh", out, sizeof out), -1);
}

TEST(Reversal, SegmentsOfDatesTimesAndAmounts)
{
    const struct {
        const char *in, *out;
    } cases[] = {{"1403/05/12", "12/05/1403"}, {"12:30:05", "05:30:12"}, {"1,234,567", "567,234,1"},
                 {"10:05", "05:10"},           {"123456", "123456"},     {"1403/01/01-10:15", "15:10-01/01/1403"}};
    for (const auto &c : cases) {
        char out[32];
        reverseSeparatedStr(c.in, '/', out); // any of the five separators counts
        EXPECT_STREQ(out, c.out);
    }
}

TEST(Reversal, NormalizeStrMakesReversedLittleEndianUnits)
{
    unsigned char out[16];
    std::memset(out, 0xAA, sizeof out);
    NormalizeStr("a\xF9z", reinterpret_cast<char *>(out));
    const unsigned char expected[] = {'z', 0, 0xCA, 0, 'a', 0, 0, 0};
    EXPECT_EQ(std::memcmp(out, expected, sizeof expected), 0);
    EXPECT_EQ(out[8], 0xAA);
}

TEST(Splitting, Track2SubStringAndPrefix)
{
    char out[40];
    EXPECT_EQ(strSplit("6037991234567890=2512", '=', out), 16);
    EXPECT_STREQ(out, "6037991234567890");
    EXPECT_EQ(strSplit("12345", '=', out), 5);
    char small[5];
    EXPECT_EQ(strSplit("6037991234567890=2512", '=', small, sizeof small), 4);
    EXPECT_STREQ(small, "6037");

    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(subString("20240320", 4, 2, out), 2);
    EXPECT_EQ(std::string(out, 3), "03x"); // no terminator written
    EXPECT_EQ(subString("abc", 1, 6, out), 2); // stops at the text's end
    EXPECT_EQ(subString("abc", 9, 2, out), 0);

    EXPECT_EQ(startsWith("6037", "603799"), 0);
    EXPECT_NE(startsWith("62", "6037"), 0);
    EXPECT_EQ(startsWith("62", "6"), -1000);
}

TEST(Hex, RoundTripOfEveryByte)
{
    uint8_t bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<uint8_t>(i);
    char hex[513];
    bytesToHexString(bytes, 256, hex);
    EXPECT_EQ(std::string(hex + 500), "FAFBFCFDFEFF");
    uint8_t back[256] = {};
    EXPECT_EQ(hexStringToBytes(hex, back), 256);
    EXPECT_EQ(std::memcmp(bytes, back, 256), 0);
    uint8_t back2[256] = {};
    EXPECT_EQ(hex2data(back2, hex, 256), 0);
    EXPECT_EQ(std::memcmp(bytes, back2, 256), 0);
}

TEST(Hex, ConversionStopsAtTextEndAndBuffer)
{
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(hexStringToBytes("ABC", out), 1); // odd last character ignored
    EXPECT_EQ(out[1], 0xEE);
    EXPECT_EQ(hexStringToBytesEx("0102", 4, out), 2); // more asked than the text holds
    EXPECT_EQ(out[2], 0xEE);
    uint8_t two[2] = {};
    EXPECT_EQ(hexStringToBytes("0102030405", two, sizeof two), 2);
    char hex[5];
    const uint8_t b[3] = {1, 2, 3};
    EXPECT_EQ(bytesToHexString(b, 3, hex, sizeof hex), -1);
}

TEST(Hex, Hex2dataValidates)
{
    uint8_t out[4] = {};
    EXPECT_EQ(hex2data(out, "1G", 1), -1);
    EXPECT_EQ(hex2data(out, "ABC", 1), -1);
    EXPECT_EQ(hex2data(out, "", 0), -1);
    EXPECT_EQ(hex2data(out, nullptr, 0), -1);
    EXPECT_EQ(hex2data(out, "0a1B", 2), 0);
    EXPECT_EQ(out[0], 0x0A);
    EXPECT_EQ(out[1], 0x1B);
    EXPECT_EQ(hex2data(out, "0a1B", 3), -1);    // more pairs asked than given
    EXPECT_EQ(hex2data(out, 1, "0a1B", 2), -1); // destination too small
}

std::string decode(const std::string &bytes, int first = 0, int end = 6)
{
    char out[2 * CONVERT_MAX_SOURCE + 1] = {};
    convertStr(bytes.data(), static_cast<int>(bytes.size()), 0, first, end, out);
    return out;
}

TEST(CodePage, Windows1256AndIranSystemInOnePass)
{
    EXPECT_EQ(decode("\xC8\xD1"), "\xD8\xA8\xD8\xB1");     // بر
    EXPECT_EQ(decode("\xC8\x01\xD1"), "\xD8\xA8\xD8\xB1"); // unknown byte dropped
    EXPECT_EQ(decode("123"), "\xDB\xB1\xDB\xB2\xDB\xB3");  // Persian digits
    EXPECT_EQ(decode("\x2D"), " ");
    EXPECT_EQ(decode("\xDF\x98"), "\xDA\xA9\xDA\xA9"); // both forms of ک
    // Where a code stands in several rows the lowest row wins.
    EXPECT_EQ(decode("\x82"), "\xDB\xB1");             // ۱, not ۲
    EXPECT_EQ(decode("\xEE"), "\xD9\x82");             // ق
    EXPECT_EQ(decode("\x8F"), "\xD8\xA2");             // آ
    EXPECT_EQ(decode("\xFE\xFC"), "\xDB\x8C\xDB\x8C"); // first ی row
}

TEST(CodePage, ColumnRangeLimitsTheLookup)
{
    EXPECT_EQ(decode("\xC8", 2, 6), "");          // Windows-1256 columns excluded
    EXPECT_EQ(decode("\x93", 2, 6), "\xD8\xA8");  // Iran System ب
    EXPECT_EQ(decode("\x93", 0, 2), "");
    EXPECT_EQ(decode("\xC8", 0, 99), "\xD8\xA8"); // columns past the table are ignored
    EXPECT_EQ(decode("\xC8", 5, 2), "");
}

TEST(CodePage, HexSourceAppendingAndBounds)
{
    char out[64] = {};
    convertStr("C8D1", 2, 1, 0, 6, out);
    EXPECT_STREQ(out, "\xD8\xA8\xD8\xB1");
    convertStr("\xC7", 1, 0, 0, 6, out); // appended to what is there
    EXPECT_STREQ(out, "\xD8\xA8\xD8\xB1\xD8\xA7");

    const std::string src(1000, '\xC8'); // past the 256-byte work buffer
    char full[2 * CONVERT_MAX_SOURCE + 1] = {};
    EXPECT_EQ(convertStr(src.data(), static_cast<int>(src.size()), 0, 0, 6, full),
              static_cast<int>(2 * CONVERT_MAX_SOURCE));
    char small[8] = {};
    EXPECT_EQ(convertStr(src.data(), 10, 0, 0, 6, small, sizeof small), 6); // whole letters only
}

} // namespace
