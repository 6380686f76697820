/*
 * Strings.cpp - string, number, hexadecimal and code-page helpers.
 *
 * Sections (as in Strings.h): numbers and amounts, padding, trimming and
 * filtering, reversal, splitting and comparing, hexadecimal, code-page
 * decoding. The classic (unbounded) forms compute the room their contract
 * promises and call the bounded forms, so there is one implementation each.
 */
#include "util/Strings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/Debug.h"

int putText(const char *src, std::size_t n, char *dst, std::size_t dstSize)
{
    if (dst == nullptr || dstSize == 0)
        return -1;
    if (n + 1 > dstSize) {
        dst[0] = '\0';
        return -1;
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return 0;
}

namespace {

std::size_t safeLen(const char *s) { return s == nullptr ? 0 : std::strlen(s); }

// Grouped decimal text of value into a GROUPED_NUMBER_SIZE buffer; returns its length.
int groupDigits(uint64_t value, char *buf)
{
    if (value < 1000)
        return std::snprintf(buf, GROUPED_NUMBER_SIZE, "%llu", static_cast<unsigned long long>(value));
    int n = groupDigits(value / 1000, buf);
    n += std::snprintf(buf + n, GROUPED_NUMBER_SIZE - static_cast<std::size_t>(n), ",%03llu",
                       static_cast<unsigned long long>(value % 1000));
    return n;
}

} // namespace

// ---- numbers and amounts -------------------------------------------------

int numberToString(uint64_t value, char *out, std::size_t outSize)
{
    char buf[GROUPED_NUMBER_SIZE];
    int n = groupDigits(value, buf);
    return putText(buf, static_cast<std::size_t>(n), out, outSize);
}

void numberToString(uint64_t value, char *out) { numberToString(value, out, GROUPED_NUMBER_SIZE); }

int IntToString(int64_t value, char *out, std::size_t outSize)
{
    return numberToString(value < 0 ? 0u : static_cast<uint64_t>(value), out, outSize);
}

void IntToString(int64_t value, char *out) { IntToString(value, out, GROUPED_NUMBER_SIZE); }

int removeLeadingZero(const char *src, char *dst)
{
    if (src == nullptr || dst == nullptr)
        return 0;
    while (*src == '0')
        ++src;
    std::size_t n = std::strlen(src);
    std::memcpy(dst, src, n); // no terminator: the caller zero-filled dst
    return static_cast<int>(n);
}

int removeLeadingZero(const char *src, char *dst, std::size_t dstSize)
{
    if (dst == nullptr || dstSize == 0)
        return 0;
    dst[0] = '\0';
    if (src == nullptr)
        return 0;
    while (*src == '0')
        ++src;
    std::size_t n = strnlen(src, dstSize - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return static_cast<int>(n);
}

// ---- padding ---------------------------------------------------------------

namespace {

int pad(const char *text, int width, char *dst, std::size_t dstSize, char fill, bool left)
{
    if (dst == nullptr || dstSize == 0)
        return -1;
    if (width < 0)
        width = 0;
    int result = 0;
    std::size_t w = static_cast<std::size_t>(width);
    if (w + 1 > dstSize) {
        w = dstSize - 1;
        result = -1;
    }
    std::size_t len = safeLen(text);
    if (len > w) {
        len = w;
        result = -1;
    }
    std::size_t fillCount = w - len;
    if (left) {
        std::memset(dst, static_cast<unsigned char>(fill), fillCount);
        if (len > 0)
            std::memmove(dst + fillCount, text, len);
    } else {
        if (len > 0)
            std::memmove(dst, text, len);
        std::memset(dst + len, static_cast<unsigned char>(fill), fillCount);
    }
    dst[w] = '\0';
    return result;
}

} // namespace

int padLeft(const char *text, int width, char *dst, std::size_t dstSize, char fill)
{
    return pad(text, width, dst, dstSize, fill, true);
}

int padLeft(const char *text, int width, char *dst, char fill)
{
    return pad(text, width, dst, width < 0 ? 1 : static_cast<std::size_t>(width) + 1, fill, true);
}

int padRight(const char *text, int width, char *dst, std::size_t dstSize, char fill)
{
    return pad(text, width, dst, dstSize, fill, false);
}

int padRight(const char *text, int width, char *dst, char fill)
{
    return pad(text, width, dst, width < 0 ? 1 : static_cast<std::size_t>(width) + 1, fill, false);
}

// ---- trimming and filtering ------------------------------------------------

const char DEFAULT_TRIM_SET[] = " \t\n\v\f\r";

namespace {

bool inSet(char c, const char *set) { return c != '\0' && std::strchr(set, c) != nullptr; }

} // namespace

char *ltrim(char *text, const char *set)
{
    if (text == nullptr)
        return text;
    if (set == nullptr)
        set = DEFAULT_TRIM_SET;
    std::size_t skip = 0;
    while (inSet(text[skip], set))
        ++skip;
    if (skip > 0)
        std::memmove(text, text + skip, std::strlen(text + skip) + 1);
    return text;
}

char *rtrim(char *text, const char *set)
{
    if (text == nullptr)
        return text;
    if (set == nullptr)
        set = DEFAULT_TRIM_SET;
    std::size_t n = std::strlen(text);
    while (n > 0 && inSet(text[n - 1], set))
        --n;
    text[n] = '\0';
    return text;
}

char *trim(char *text, const char *set) { return ltrim(rtrim(text, set), set); }

void removeSpaces(char *text)
{
    if (text == nullptr)
        return;
    char *out = text;
    for (const char *p = text; *p != '\0'; ++p)
        if (*p >= '0' && *p <= '9')
            *out++ = *p;
    *out = '\0';
}

void removeChars(char *text, char ch)
{
    if (text == nullptr || ch == '\0')
        return;
    char *out = text;
    for (const char *p = text; *p != '\0'; ++p)
        if (*p != ch)
            *out++ = *p;
    *out = '\0';
}

void trimIpAddressLeadingZero(char *text, std::size_t textSize)
{
    if (text == nullptr || text[0] == '\0' || textSize == 0)
        return;
    int part[4] = {0, 0, 0, 0};
    const char *p = text;
    for (int i = 0; i < 4; ++i) {
        char digits[4] = {0, 0, 0, 0};
        for (int k = 0; k < 3 && *p != '\0' && *p != '.'; ++k)
            digits[k] = *p++;
        while (*p != '\0' && *p != '.') // a part longer than three characters: rest ignored
            ++p;
        if (*p == '.')
            ++p;
        part[i] = std::atoi(digits);
    }
    char buf[48];
    int n = std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", part[0], part[1], part[2], part[3]);
    std::size_t len = static_cast<std::size_t>(n);
    if (len > textSize - 1)
        len = textSize - 1;
    std::memcpy(text, buf, len);
    text[len] = '\0';
}

void trimIpAddressLeadingZero(char *text)
{
    if (text != nullptr)
        trimIpAddressLeadingZero(text, std::strlen(text) + 1);
}

// ---- reversal ----------------------------------------------------------------

void strReverse(char *text)
{
    if (text == nullptr)
        return;
    std::size_t n = std::strlen(text);
    for (std::size_t i = 0; i < n / 2; ++i) {
        char t = text[i];
        text[i] = text[n - 1 - i];
        text[n - 1 - i] = t;
    }
}

int reverseStr(const char *src, char *dst, std::size_t dstSize)
{
    std::size_t n = safeLen(src);
    if (dst == nullptr || dstSize == 0)
        return -1;
    if (n + 1 > dstSize) {
        dst[0] = '\0';
        return -1;
    }
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = src[n - 1 - i];
    dst[n] = '\0';
    return 0;
}

void reverseStr(const char *src, char *dst) { reverseStr(src, dst, safeLen(src) + 1); }

namespace {

bool isSegmentSeparator(char c)
{
    return c == ':' || c == '/' || c == '-' || c == ',' || c == '.';
}

} // namespace

int reverseSeparatedStr(const char *src, char /*separator*/, char *dst, std::size_t dstSize)
{
    // Reversing all bytes and then each segment back keeps every separator
    // between the same two segments.
    if (reverseStr(src, dst, dstSize) != 0)
        return -1;
    std::size_t n = std::strlen(dst);
    std::size_t start = 0;
    while (start < n) {
        if (isSegmentSeparator(dst[start])) {
            ++start;
            continue;
        }
        std::size_t end = start;
        while (end < n && !isSegmentSeparator(dst[end]))
            ++end;
        std::reverse(dst + start, dst + end);
        start = end;
    }
    return 0;
}

void reverseSeparatedStr(const char *src, char separator, char *dst)
{
    reverseSeparatedStr(src, separator, dst, safeLen(src) + 1);
}

int NormalizeStr(const char *src, char *dst, std::size_t dstSize)
{
    std::size_t n = safeLen(src);
    if (dst == nullptr || dstSize < 2)
        return -1;
    if (2 * n + 2 > dstSize) {
        dst[0] = dst[1] = '\0';
        return -1;
    }
    std::size_t o = 0;
    for (std::size_t i = n; i > 0; --i) {
        unsigned char b = static_cast<unsigned char>(src[i - 1]);
        dst[o++] = static_cast<char>(b == 0xF9 ? 0xCA : b);
        dst[o++] = '\0';
    }
    dst[o++] = '\0';
    dst[o] = '\0';
    return 0;
}

void NormalizeStr(const char *src, char *dst) { NormalizeStr(src, dst, 2 * safeLen(src) + 2); }

// ---- splitting and comparing --------------------------------------------------

int strSplit(const char *text, char separator, char *dst, std::size_t dstSize)
{
    if (dst == nullptr || dstSize == 0)
        return 0;
    std::size_t n = 0;
    if (text != nullptr)
        while (text[n] != '\0' && text[n] != separator && n + 1 < dstSize)
            ++n;
    if (n > 0)
        std::memcpy(dst, text, n);
    dst[n] = '\0';
    return static_cast<int>(n);
}

int strSplit(const char *text, char separator, char *dst)
{
    std::size_t n = 0;
    if (text != nullptr)
        while (text[n] != '\0' && text[n] != separator)
            ++n;
    return strSplit(text, separator, dst, n + 1);
}

int subString(const char *text, int start, int count, char *dst, std::size_t dstSize)
{
    if (text == nullptr || dst == nullptr || start < 0 || count <= 0)
        return 0;
    std::size_t s = static_cast<std::size_t>(start);
    if (strnlen(text, s) < s) // start lies beyond the text
        return 0;
    std::size_t n = strnlen(text + s, static_cast<std::size_t>(count));
    if (n > dstSize)
        n = dstSize;
    std::memcpy(dst, text + s, n);
    return static_cast<int>(n);
}

int subString(const char *text, int start, int count, char *dst)
{
    return subString(text, start, count, dst, count <= 0 ? 0 : static_cast<std::size_t>(count));
}

int startsWith(const char *prefix, const char *text)
{
    std::size_t plen = safeLen(prefix);
    int result;
    if (safeLen(text) < plen)
        result = -1000;
    else
        result = plen == 0 ? 0 : std::strncmp(text, prefix, plen);
    USB_printf2("startsWith::result[%d]", result);
    return result;
}

// ---- hexadecimal -----------------------------------------------------------------

uint8_t nibbleFromChar(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    return 0xFF;
}

namespace {

uint8_t hexPair(const char *p)
{
    return static_cast<uint8_t>((nibbleFromChar(p[0]) << 4) | (nibbleFromChar(p[1]) & 0x0F));
}

} // namespace

int hexStringToBytesEx(const char *hex, int count, uint8_t *dst, std::size_t dstSize)
{
    if (hex == nullptr || dst == nullptr || count <= 0)
        return 0;
    std::size_t limit = static_cast<std::size_t>(count);
    if (limit > dstSize)
        limit = dstSize;
    std::size_t i = 0;
    for (; i < limit; ++i) {
        if (hex[2 * i] == '\0' || hex[2 * i + 1] == '\0')
            break;
        dst[i] = hexPair(hex + 2 * i);
    }
    return static_cast<int>(i);
}

int hexStringToBytesEx(const char *hex, int count, uint8_t *dst)
{
    return hexStringToBytesEx(hex, count, dst, count <= 0 ? 0 : static_cast<std::size_t>(count));
}

int hexStringToBytes(const char *hex, uint8_t *dst, std::size_t dstSize)
{
    std::size_t pairs = safeLen(hex) / 2;
    return hexStringToBytesEx(hex, static_cast<int>(pairs), dst, dstSize);
}

int hexStringToBytes(const char *hex, uint8_t *dst)
{
    return hexStringToBytes(hex, dst, safeLen(hex) / 2);
}

int bytesToHexString(const uint8_t *bytes, int count, char *dst, std::size_t dstSize)
{
    static const char digits[] = "0123456789ABCDEF";
    if (dst == nullptr || dstSize == 0)
        return -1;
    std::size_t n = count <= 0 || bytes == nullptr ? 0 : static_cast<std::size_t>(count);
    if (2 * n + 1 > dstSize) {
        dst[0] = '\0';
        return -1;
    }
    for (std::size_t i = 0; i < n; ++i) {
        dst[2 * i] = digits[bytes[i] >> 4];
        dst[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    dst[2 * n] = '\0';
    return 0;
}

void bytesToHexString(const uint8_t *bytes, int count, char *dst)
{
    bytesToHexString(bytes, count, dst, count <= 0 ? 1 : 2 * static_cast<std::size_t>(count) + 1);
}

int hex2data(uint8_t *dst, std::size_t dstSize, const char *hex, int count)
{
    std::size_t len = safeLen(hex);
    if (len == 0 || len % 2 != 0 || dst == nullptr || count < 0)
        return -1;
    for (std::size_t i = 0; i < len; ++i)
        if (nibbleFromChar(hex[i]) == 0xFF)
            return -1;
    std::size_t n = static_cast<std::size_t>(count);
    if (n > len / 2 || n > dstSize)
        return -1;
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = hexPair(hex + 2 * i);
    return 0;
}

int hex2data(uint8_t *dst, const char *hex, int count)
{
    return hex2data(dst, count < 0 ? 0 : static_cast<std::size_t>(count), hex, count);
}

// ---- code-page decoding --------------------------------------------------------------

constexpr CodePageRow codePageTable[CODEPAGE_ROWS] = {
    {" ", {0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x0020, 0}},
    {" ", {0x2D, 0x2D, 0xFF, 0xFF, 0xFF, 0xFF, 0x0020, 0}},
    {"\xDB\xB0", {0x30, 0x30, 0x80, 0x80, 0x80, 0x80, 0x0030, 0}},
    {"\xDB\xB1", {0x31, 0x31, 0x82, 0x82, 0x82, 0x82, 0x0031, 0}},
    {"\xDB\xB2", {0x32, 0x32, 0x82, 0x82, 0x82, 0x82, 0x0032, 0}},
    {"\xDB\xB3", {0x33, 0x33, 0x83, 0x83, 0x83, 0x83, 0x0033, 0}},
    {"\xDB\xB4", {0x34, 0x34, 0x84, 0x84, 0x84, 0x84, 0x0034, 0}},
    {"\xDB\xB5", {0x35, 0x35, 0x85, 0x85, 0x85, 0x85, 0x0035, 0}},
    {"\xDB\xB6", {0x36, 0x36, 0x86, 0x86, 0x86, 0x86, 0x0036, 0}},
    {"\xDB\xB7", {0x37, 0x37, 0x87, 0x87, 0x87, 0x87, 0x0037, 0}},
    {"\xDB\xB8", {0x38, 0x38, 0x88, 0x88, 0x88, 0x88, 0x0038, 0}},
    {"\xDB\xB9", {0x39, 0x39, 0x89, 0x89, 0x89, 0x89, 0x0039, 0}},
    {"\xD8\x8C", {0xA1, 0xA1, 0x8A, 0x8A, 0x8A, 0x8A, 0x060C, 0}},
    {"~", {0x2A, 0x2A, 0x8B, 0x8B, 0x8B, 0x8B, 0x0640, 2}},
    {"\xD8\x9F", {0x3F, 0x3F, 0x8C, 0x8C, 0x8C, 0x8C, 0x061F, 0}},
    {"\xD8\xA2", {0xC2, 0xC2, 0x8F, 0x8F, 0x8F, 0x8F, 0x0622, 1}},
    {"\xD8\xA6", {0xC6, 0xC6, 0x8F, 0x8F, 0x8F, 0x8F, 0x0626, 2}},
    {"\xD8\xA1", {0xC1, 0xC1, 0x8F, 0x8F, 0x8F, 0x8F, 0x0621, 0}},
    {"\xD8\xA7", {0xC7, 0xC7, 0xC7, 0x91, 0x91, 0x91, 0x0627, 1}},
    {"\xD8\xA8", {0xC8, 0xC8, 0x93, 0x92, 0x93, 0x92, 0x0628, 2}},
    {"\xD9\xBE", {0x81, 0x81, 0x95, 0x94, 0x95, 0x94, 0x067E, 2}},
    {"\xD8\xAA", {0xCA, 0xCA, 0x97, 0x96, 0x97, 0x96, 0x062A, 2}},
    {"\xD8\xAB", {0xCB, 0xCB, 0x99, 0x9A, 0x99, 0x9A, 0x062B, 2}},
    {"\xD8\xAC", {0xCC, 0xCC, 0x9B, 0x9A, 0x9B, 0x9A, 0x062C, 2}},
    {"\xDA\x86", {0x8D, 0x8D, 0x9D, 0x9C, 0x9D, 0x9C, 0x0686, 2}},
    {"\xD8\xAD", {0xCD, 0xCD, 0x9F, 0x9E, 0x9F, 0x9E, 0x062D, 2}},
    {"\xD8\xAE", {0xCE, 0xCE, 0xA1, 0xA0, 0xA1, 0xA0, 0x062E, 2}},
    {"\xD8\xAF", {0xCF, 0xCF, 0xA2, 0xA2, 0xA2, 0xA2, 0x062F, 1}},
    {"\xD8\xB0", {0xD0, 0xD0, 0xA3, 0xA3, 0xA3, 0xA3, 0x0630, 1}},
    {"\xD8\xB1", {0xD1, 0xD1, 0xA4, 0xA4, 0xA4, 0xA4, 0x0631, 1}},
    {"\xD8\xB2", {0xD2, 0xD2, 0xA5, 0xA5, 0xA5, 0xA5, 0x0632, 1}},
    {"\xDA\x98", {0x8E, 0x8E, 0xA6, 0xA6, 0xA6, 0xA6, 0x0698, 1}},
    {"\xD8\xB3", {0xD3, 0xD3, 0xA8, 0xA7, 0xA8, 0xA7, 0x0633, 2}},
    {"\xD8\xB4", {0xD4, 0xD4, 0xAA, 0xA9, 0xAA, 0xA9, 0x0634, 2}},
    {"\xD8\xB5", {0xD5, 0xD5, 0xAC, 0xAB, 0xAC, 0xAB, 0x0635, 2}},
    {"\xD8\xB6", {0xD6, 0xD6, 0xAE, 0xAD, 0xAE, 0xAD, 0x0636, 2}},
    {"\xD8\xB7", {0xD8, 0xD8, 0xAF, 0xAF, 0xAF, 0xAF, 0x0637, 3}},
    {"\xD8\xB8", {0xD9, 0xD9, 0xE0, 0xE0, 0xE0, 0xE0, 0x0638, 3}},
    {"\xD8\xB9", {0xDA, 0xDA, 0xF7, 0xE9, 0xE7, 0xEA, 0x0639, 3}},
    {"\xD8\xBA", {0xDB, 0xDB, 0xE8, 0xE9, 0xE7, 0xE9, 0x063A, 3}},
    {"\xD9\x81", {0xDD, 0xDD, 0xEA, 0xE9, 0xEA, 0xE9, 0x0641, 2}},
    {"\xD9\x82", {0xDE, 0xDE, 0xEE, 0xEB, 0xEE, 0xEB, 0x0642, 2}},
    {"\xDA\xA9", {0xDF, 0xDF, 0xEE, 0xEE, 0xEE, 0xEE, 0x06A9, 2}},
    {"\xDA\xA9", {0x98, 0x98, 0xEE, 0xEE, 0xEE, 0xEE, 0x06A9, 2}},
    {"\xDA\xAF", {0xF0, 0x90, 0x90, 0xEE, 0xF0, 0xEF, 0x06AF, 2}},
    {"\xD9\x84", {0xE1, 0xE1, 0xF3, 0xF1, 0xF3, 0xF1, 0x0644, 2}},
    {"\xD9\x85", {0xE3, 0xE3, 0xF5, 0xF4, 0xF5, 0xF4, 0x0645, 2}},
    {"\xD9\x86", {0xE4, 0xE4, 0xF7, 0xF6, 0xF7, 0xF6, 0x0646, 2}},
    {"\xD9\x88", {0xE6, 0xE6, 0xF8, 0xF8, 0xF8, 0xF8, 0x0648, 1}},
    {"\xD9\x87", {0xE5, 0xE5, 0xFB, 0xF9, 0xFA, 0xF9, 0x0647, 3}},
    {"\xDB\x8C", {0xEC, 0xEC, 0xFE, 0xFC, 0xFE, 0xFD, 0x06CC, 3}},
    {"\xDB\x8C", {0xED, 0xED, 0xFE, 0xFC, 0xFE, 0xFD, 0x06CC, 3}},
};

namespace {

constexpr uint8_t NO_ROW = 0xFF;

// The winning row of every byte for every column range [first, end), worked
// out once at compile time from the table, so decoding is one look-up a byte.
using RowIndex = std::array<std::array<std::array<uint8_t, 256>, CODEPAGE_COLUMNS + 1>, CODEPAGE_COLUMNS>;

constexpr RowIndex buildRowIndex()
{
    // First row holding each byte, column by column.
    std::array<std::array<uint8_t, 256>, CODEPAGE_COLUMNS> firstInColumn{};
    for (int col = 0; col < CODEPAGE_COLUMNS; ++col) {
        firstInColumn[col].fill(NO_ROW);
        for (int row = CODEPAGE_ROWS - 1; row >= 0; --row)
            if (codePageTable[row].code[col] < 256)
                firstInColumn[col][codePageTable[row].code[col]] = static_cast<uint8_t>(row);
    }
    // A range's winner is the lowest of its columns' first rows.
    RowIndex index{};
    for (int first = 0; first < CODEPAGE_COLUMNS; ++first) {
        index[first][first].fill(NO_ROW);
        for (int end = first + 1; end <= CODEPAGE_COLUMNS; ++end)
            for (int b = 0; b < 256; ++b) {
                const uint8_t prev = index[first][end - 1][b];
                const uint8_t here = firstInColumn[end - 1][b];
                index[first][end][b] = here < prev ? here : prev;
            }
    }
    return index;
}

constexpr RowIndex rowIndex = buildRowIndex();
static_assert(rowIndex[0][6][0x82] == 3, "82 decodes to the first row that holds it");
static_assert(rowIndex[0][6][0xEE] == 41, "EE decodes to the first row that holds it");

} // namespace

int convertStr(const char *src, int length, int isHex, int firstColumn, int endColumn, char *dst,
               std::size_t dstSize)
{
    if (dst == nullptr || dstSize == 0)
        return 0;
    std::size_t out = strnlen(dst, dstSize);
    if (out == dstSize) { // no terminator within the buffer: start it afresh
        out = 0;
        dst[0] = '\0';
    }
    if (src == nullptr || length <= 0)
        return static_cast<int>(out);

    uint8_t work[CONVERT_MAX_SOURCE] = {};
    std::size_t n = static_cast<std::size_t>(length);
    if (n > CONVERT_MAX_SOURCE)
        n = CONVERT_MAX_SOURCE; // longer sources are cut, never overrun
    if (isHex)
        hexStringToBytesEx(src, static_cast<int>(n), work, sizeof work);
    else
        std::memcpy(work, src, n);

    if (firstColumn < 0)
        firstColumn = 0;
    if (endColumn > CODEPAGE_COLUMNS)
        endColumn = CODEPAGE_COLUMNS;
    if (firstColumn >= CODEPAGE_COLUMNS || endColumn <= firstColumn)
        return static_cast<int>(out);

    const auto &lookup = rowIndex[firstColumn][endColumn];
    for (std::size_t i = 0; i < n; ++i) {
        uint8_t row = lookup[work[i]];
        if (row == NO_ROW)
            continue;
        const char *text = codePageTable[row].text;
        std::size_t len = std::strlen(text);
        if (out + len + 1 > dstSize)
            break; // only whole characters go in
        std::memcpy(dst + out, text, len);
        out += len;
        dst[out] = '\0';
    }
    return static_cast<int>(out);
}

int convertStr(const char *src, int length, int isHex, int firstColumn, int endColumn, char *dst)
{
    return convertStr(src, length, isHex, firstColumn, endColumn, dst, 2 * CONVERT_MAX_SOURCE + 1);
}
