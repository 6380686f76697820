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

TEST(NumberGrouping, GroupsOfThreeFromTheRight)
{
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(1000), "1,000");
    EXPECT_EQ(grouped(1000000), "1,000,000");
    EXPECT_EQ(grouped(1234567), "1,234,567");
    EXPECT_EQ(grouped(1002003), "1,002,003"); // inner groups keep their zeros
    EXPECT_EQ(grouped(UINT64_MAX), "18,446,744,073,709,551,615");
}

TEST(NumberGrouping, NegativeTotalsShowZero)
{
    char out[GROUPED_NUMBER_SIZE];
    IntToString(-5, out);
    EXPECT_STREQ(out, "0");
    IntToString(INT64_MIN, out);
    EXPECT_STREQ(out, "0");
    IntToString(25000, out);
    EXPECT_STREQ(out, "25,000");
}

TEST(NumberGrouping, BoundedFormRefusesShortBuffer)
{
    char out[6];
    EXPECT_EQ(numberToString(1234567, out, sizeof out), -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(numberToString(1234, out, sizeof out), 0);
    EXPECT_STREQ(out, "1,234");
}

TEST(LeadingZeros, StrippedFromAmountFields)
{
    char out[16] = {};
    EXPECT_EQ(removeLeadingZero("000000012000", out), 5);
    EXPECT_STREQ(out, "12000");

    char none[16] = {};
    EXPECT_EQ(removeLeadingZero("000000000000", none), 0);
    EXPECT_STREQ(none, "");

    char small[4];
    std::memset(small, 'x', sizeof small);
    removeLeadingZero("00123456", small, sizeof small);
    EXPECT_STREQ(small, "123");
}

TEST(Padding, FixedWidthFields)
{
    char out[16];
    EXPECT_EQ(padLeft("123", 6, out, '0'), 0);
    EXPECT_STREQ(out, "000123");
    EXPECT_EQ(padRight("12", 4, out, 'F'), 0);
    EXPECT_STREQ(out, "12FF");
    EXPECT_EQ(padLeft("", 3, out, '0'), 0);
    EXPECT_STREQ(out, "000");
}

TEST(Padding, OverlongTextNeverWritesPastWidth)
{
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(padLeft("1234567", 4, out, '0'), -1);
    EXPECT_STREQ(out, "1234");
    EXPECT_EQ(out[5], '#');

    // Bounded form: a width beyond the buffer is cut to the buffer.
    char tiny[4];
    EXPECT_EQ(padLeft("1", 12, tiny, sizeof tiny, '0'), -1);
    EXPECT_STREQ(tiny, "001");
}

TEST(Trimming, DefaultSetIsWhitespaceOnly)
{
    char t[] = " \t\r\n 12 34\v\f ";
    trim(t);
    EXPECT_STREQ(t, "12 34");

    char keep[] = "_x_";
    trim(keep);
    EXPECT_STREQ(keep, "_x_");

    char all[] = " \t \n";
    ltrim(all);
    EXPECT_STREQ(all, "");
}

TEST(Trimming, CustomSet)
{
    char t[] = "00120";
    ltrim(t, "0");
    EXPECT_STREQ(t, "120");
    char u[] = "AB--";
    rtrim(u, "-");
    EXPECT_STREQ(u, "AB");
}

TEST(Filtering, DigitsOnlyAndRemovedBytes)
{
    char t[] = "12 34-5a";
    removeSpaces(t);
    EXPECT_STREQ(t, "12345");

    char u[] = "1,234,567";
    removeChars(u, ',');
    EXPECT_STREQ(u, "1234567");
}

TEST(IpAddress, LeadingZerosDropped)
{
    char ip[16] = "010.001.002.003";
    trimIpAddressLeadingZero(ip);
    EXPECT_STREQ(ip, "10.1.2.3");

    char empty[4] = "";
    trimIpAddressLeadingZero(empty);
    EXPECT_STREQ(empty, "");
}

TEST(IpAddress, ShortTextNeverGrowsPastItsBuffer)
{
    // "1.2" becomes "1.2.0.0" in principle; in a 4-byte buffer it must stay inside.
    char ip[4] = "1.2";
    trimIpAddressLeadingZero(ip);
    EXPECT_EQ(std::strlen(ip), 3u);

    char roomy[16] = "1.2";
    trimIpAddressLeadingZero(roomy, sizeof roomy);
    EXPECT_STREQ(roomy, "1.2.0.0");
}

TEST(Reversal, BytesReversed)
{
    char t[] = "12345";
    strReverse(t);
    EXPECT_STREQ(t, "54321");
    char e[] = "";
    strReverse(e);
    EXPECT_STREQ(e, "");

    char out[8];
    reverseStr("abc", out);
    EXPECT_STREQ(out, "cba");
    EXPECT_EQ(reverseStr("abcdefgh", out, sizeof out), -1);
}

TEST(Reversal, LongTextReversedWhole)
{
    std::string s;
    for (int i = 0; i < 600; ++i)
        s.push_back(static_cast<char>('a' + i % 26));
    std::string expected(s.rbegin(), s.rend());
    strReverse(s.data());
    EXPECT_EQ(s, expected);
}

TEST(Reversal, SegmentsOfDatesTimesAndAmounts)
{
    char out[32];
    reverseSeparatedStr("1403/05/12", '/', out);
    EXPECT_STREQ(out, "12/05/1403");
    reverseSeparatedStr("12:30:05", ':', out);
    EXPECT_STREQ(out, "05:30:12");
    reverseSeparatedStr("1,234,567", ',', out);
    EXPECT_STREQ(out, "567,234,1");
    reverseSeparatedStr("10:05", ':', out);
    EXPECT_STREQ(out, "05:10");
    reverseSeparatedStr("123456", ':', out);
    EXPECT_STREQ(out, "123456");
    // Any of the five separators counts, whichever is named.
    reverseSeparatedStr("1403/01/01-10:15", '/', out);
    EXPECT_STREQ(out, "15:10-01/01/1403");
    EXPECT_EQ(std::strlen(out), std::strlen("1403/01/01-10:15"));
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

TEST(Splitting, Track2AtSeparator)
{
    char out[40];
    EXPECT_EQ(strSplit("6037991234567890=2512", '=', out), 16);
    EXPECT_STREQ(out, "6037991234567890");
    EXPECT_EQ(strSplit("12345", '=', out), 5);
    EXPECT_STREQ(out, "12345");

    char small[5];
    EXPECT_EQ(strSplit("6037991234567890=2512", '=', small, sizeof small), 4);
    EXPECT_STREQ(small, "6037");
}

TEST(Splitting, SubStringStopsAtTheTextEnd)
{
    char out[8];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(subString("20240320", 4, 2, out), 2);
    EXPECT_EQ(std::string(out, 3), "03x"); // no terminator written

    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(subString("abc", 1, 6, out), 2);
    EXPECT_EQ(std::string(out, 3), "bcx");
    EXPECT_EQ(subString("abc", 9, 2, out), 0);
}

TEST(Comparing, StartsWith)
{
    EXPECT_EQ(startsWith("6037", "603799"), 0);
    EXPECT_NE(startsWith("62", "6037"), 0);
    EXPECT_EQ(startsWith("62", "6"), -1000);
    EXPECT_EQ(startsWith("", "6"), 0);
}

TEST(Hex, Nibbles)
{
    EXPECT_EQ(nibbleFromChar('0'), 0);
    EXPECT_EQ(nibbleFromChar('9'), 9);
    EXPECT_EQ(nibbleFromChar('a'), 10);
    EXPECT_EQ(nibbleFromChar('F'), 15);
    EXPECT_EQ(nibbleFromChar('g'), 0xFF);
    EXPECT_EQ(nibbleFromChar('\0'), 0xFF);
}

TEST(Hex, RoundTripOfEveryByte)
{
    uint8_t bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<uint8_t>(i);
    char hex[513];
    bytesToHexString(bytes, 256, hex);
    EXPECT_EQ(std::string(hex, 6), "000102");
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
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(out[1], 0xEE);

    uint8_t ex[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(hexStringToBytesEx("0102", 4, ex), 2); // asks for more than the text holds
    EXPECT_EQ(ex[1], 0x02);
    EXPECT_EQ(ex[2], 0xEE);

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
    EXPECT_EQ(hex2data(out, "0a1B", 3), -1); // more pairs asked than given
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
    EXPECT_EQ(decode("\xC8\xD1"), "\xD8\xA8\xD8\xB1"); // بر
    EXPECT_EQ(decode("\x01"), "");
    EXPECT_EQ(decode("\xC8\x01\xD1"), "\xD8\xA8\xD8\xB1"); // unknown byte dropped
    EXPECT_EQ(decode("123"), "\xDB\xB1\xDB\xB2\xDB\xB3");    // Persian digits
    EXPECT_EQ(decode("\x2D"), " ");
    EXPECT_EQ(decode("\xDF\x98"), "\xDA\xA9\xDA\xA9"); // both forms of ک
    EXPECT_EQ(decode("\xEC\xED"), "\xDB\x8C\xDB\x8C"); // both forms of ی
}

TEST(CodePage, LowestRowWinsForSharedCodes)
{
    EXPECT_EQ(decode("\x82"), "\xDB\xB1");          // ۱, not ۲
    EXPECT_EQ(decode("\xEE"), "\xD9\x82");          // ق
    EXPECT_EQ(decode("\x8F"), "\xD8\xA2");          // آ
    EXPECT_EQ(decode("\xFE\xFC"), "\xDB\x8C\xDB\x8C"); // first ی row
}

TEST(CodePage, ColumnRangeLimitsTheLookup)
{
    EXPECT_EQ(decode("\xC8", 2, 6), "");                // Windows-1256 columns excluded
    EXPECT_EQ(decode("\x93", 2, 6), "\xD8\xA8");        // Iran System ب
    EXPECT_EQ(decode("\x93", 0, 2), "");
    EXPECT_EQ(decode("\xC8", 0, 99), "\xD8\xA8");       // columns past the table are ignored
    EXPECT_EQ(decode("\xC8", 5, 2), "");
}

TEST(CodePage, HexSourceAndAppending)
{
    char out[64] = {};
    convertStr("C8D1", 2, 1, 0, 6, out);
    EXPECT_STREQ(out, "\xD8\xA8\xD8\xB1");
    convertStr("\xC7", 1, 0, 0, 6, out); // appended to what is there
    EXPECT_STREQ(out, "\xD8\xA8\xD8\xB1\xD8\xA7");
}

TEST(CodePage, LongSourceIsCutAndOutputBounded)
{
    std::string src(1000, '\xC8');
    char out[2 * CONVERT_MAX_SOURCE + 1] = {};
    EXPECT_EQ(convertStr(src.data(), static_cast<int>(src.size()), 0, 0, 6, out),
              static_cast<int>(2 * CONVERT_MAX_SOURCE));

    char small[8];
    std::memset(small, 0, sizeof small);
    EXPECT_EQ(convertStr(src.data(), 10, 0, 0, 6, small, sizeof small), 6); // three whole letters
    EXPECT_STREQ(small, "\xD8\xA8\xD8\xA8\xD8\xA8");
}

} // namespace
