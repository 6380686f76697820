/*
 * Strings.h - string, number, hexadecimal and code-page helpers used by every
 * part of the terminal.
 *
 * Free functions over NUL-terminated byte strings and byte buffers. None of
 * them allocates: every output buffer belongs to the caller. Each function
 * that writes into a caller's buffer has two forms: the classic one, whose
 * caller guarantees room (see each comment for how much), and a bounded one
 * that takes the buffer's size and never writes past it.
 *
 * Sections: numbers and amounts, padding, trimming and filtering, reversal
 * for right-to-left output, splitting and comparing, hexadecimal, code-page
 * decoding.
 */
#ifndef SAFFRON_UTIL_STRINGS_H
#define SAFFRON_UTIL_STRINGS_H

#include <cstddef>
#include <cstdint>

// ---- numbers and amounts -------------------------------------------------

// Room for the longest grouped 64-bit value: 20 digits, 6 commas, NUL.
constexpr std::size_t GROUPED_NUMBER_SIZE = 27;

// Copies n bytes of src and a NUL when they fit in dstSize; else writes "" (when
// it can) and gives -1. 0 on success.
int putText(const char *src, std::size_t n, char *dst, std::size_t dstSize);

// Decimal text with "," before every group of three digits from the right:
// 1234567 -> "1,234,567", 999 -> "999", 0 -> "0". out holds GROUPED_NUMBER_SIZE.
void numberToString(uint64_t value, char *out);
// Bounded form: returns 0, or -1 (out = "") when out is too small.
int numberToString(uint64_t value, char *out, std::size_t outSize);
// The same grouping for report totals; a negative value gives "0".
void IntToString(int64_t value, char *out);
int IntToString(int64_t value, char *out, std::size_t outSize);

// Copies src without its leading '0' characters. Classic form: dst must be
// zero-filled by the caller, nothing is terminated. Bounded form: copies at
// most dstSize-1 bytes and terminates. Returns the number of bytes copied.
int removeLeadingZero(const char *src, char *dst);
int removeLeadingZero(const char *src, char *dst, std::size_t dstSize);

// ---- padding ---------------------------------------------------------------

// Writes (width - length) fill bytes, then text, then NUL at dst[width]; dst
// holds width+1 bytes. A text longer than width keeps its first width bytes
// and gives -1; otherwise 0.
int padLeft(const char *text, int width, char *dst, char fill);
int padLeft(const char *text, int width, char *dst, std::size_t dstSize, char fill);
// Copies text, fills up to width with fill, NUL at dst[width]; same results.
int padRight(const char *text, int width, char *dst, char fill);
int padRight(const char *text, int width, char *dst, std::size_t dstSize, char fill);

// ---- trimming and filtering (in place) -------------------------------------

// Space, tab, line feed, vertical tab, form feed and carriage return.
extern const char DEFAULT_TRIM_SET[];

// Remove leading / trailing / both bytes of set (DEFAULT_TRIM_SET when null).
// Return text; a null text is returned as is.
char *ltrim(char *text, const char *set = nullptr);
char *rtrim(char *text, const char *set = nullptr);
char *trim(char *text, const char *set = nullptr);
// Keeps only the decimal digits, in order.
void removeSpaces(char *text);
// Removes every occurrence of ch.
void removeChars(char *text, char ch);
// "010.001.002.003" -> "10.1.2.3": four dot-separated parts of at most three
// characters, each rewritten as a decimal integer (a missing part counts 0).
// An empty text is left alone. The classic form never makes the text longer
// than it was; the bounded form may use up to textSize bytes.
void trimIpAddressLeadingZero(char *text);
void trimIpAddressLeadingZero(char *text, std::size_t textSize);

// ---- reversal for right-to-left output -------------------------------------

// Reverses the bytes of text in place, whatever its length.
void strReverse(char *text);
// dst = the bytes of src in reverse order, terminated; dst holds strlen(src)+1.
void reverseStr(const char *src, char *dst);
int reverseStr(const char *src, char *dst, std::size_t dstSize);
// Reverses the order of the segments of src separated by any of ":/-,.",
// keeping each segment's bytes and the separators' places: "1403/05/12" ->
// "12/05/1403". separator is not read (any of the five separates). dst holds
// strlen(src)+1.
void reverseSeparatedStr(const char *src, char separator, char *dst);
int reverseSeparatedStr(const char *src, char separator, char *dst, std::size_t dstSize);
// The bytes of src in reverse order as 16-bit little-endian units (byte F9
// becomes CA), then two zero bytes; dst holds 2*strlen(src)+2 bytes.
void NormalizeStr(const char *src, char *dst);
int NormalizeStr(const char *src, char *dst, std::size_t dstSize);

// ---- splitting and comparing ----------------------------------------------

// Copies text up to (not including) the first separator, or all of it,
// terminates, and returns the number of bytes copied.
int strSplit(const char *text, char separator, char *dst);
int strSplit(const char *text, char separator, char *dst, std::size_t dstSize);
// Copies count bytes of text from position start, stopping at the end of the
// text; writes no terminator. Returns the number of bytes copied.
int subString(const char *text, int start, int count, char *dst);
int subString(const char *text, int start, int count, char *dst, std::size_t dstSize);
// 0 when text begins with prefix; -1000 when text is shorter than prefix;
// otherwise the (non-zero) byte comparison result.
int startsWith(const char *prefix, const char *text);

// ---- hexadecimal -------------------------------------------------------------

// '0'-'9' -> 0-9, 'a'-'f' / 'A'-'F' -> 10-15, anything else 0xFF.
uint8_t nibbleFromChar(char c);
// Converts strlen(hex)/2 pairs, high nibble first; an odd last character is
// ignored, nothing is validated. Returns the number of bytes written.
int hexStringToBytes(const char *hex, uint8_t *dst);
int hexStringToBytes(const char *hex, uint8_t *dst, std::size_t dstSize);
// The same for count output bytes (fewer when the text ends first).
int hexStringToBytesEx(const char *hex, int count, uint8_t *dst);
int hexStringToBytesEx(const char *hex, int count, uint8_t *dst, std::size_t dstSize);
// Two upper-case hex digits per byte, terminated; dst holds 2*count+1.
void bytesToHexString(const uint8_t *bytes, int count, char *dst);
int bytesToHexString(const uint8_t *bytes, int count, char *dst, std::size_t dstSize);
// -1 for an empty text, a text of odd length, a pair that is not entirely
// hexadecimal or fewer than count pairs; else converts count pairs, 0.
int hex2data(uint8_t *dst, const char *hex, int count);
int hex2data(uint8_t *dst, std::size_t dstSize, const char *hex, int count);

// ---- code-page decoding --------------------------------------------------------

constexpr int CODEPAGE_ROWS = 52;
constexpr int CODEPAGE_COLUMNS = 8;
constexpr std::size_t CONVERT_MAX_SOURCE = 256; // bytes decoded per call

// One decodable character: its UTF-8 text and its codes. Columns 0-1:
// Windows-1256; 2-5: the four contextual forms of the Iran System encoding;
// 6: Unicode code point; 7: joining class 0-3.
struct CodePageRow {
    char text[5];                     // UTF-8, at most 4 bytes, NUL-terminated
    uint32_t code[CODEPAGE_COLUMNS];
};
extern const CodePageRow codePageTable[CODEPAGE_ROWS];

// Decodes length single-byte characters of src (hex text when isHex, length
// then counting decoded bytes) into UTF-8 appended to dst, which the caller
// zero-fills. For each byte the first row holding it in columns
// [firstColumn, endColumn) wins; an unknown byte is dropped. At most
// CONVERT_MAX_SOURCE bytes are decoded. The classic form's dst holds
// 2*CONVERT_MAX_SOURCE+1 bytes. Returns the length of dst.
int convertStr(const char *src, int length, int isHex, int firstColumn, int endColumn, char *dst);
int convertStr(const char *src, int length, int isHex, int firstColumn, int endColumn, char *dst,
               std::size_t dstSize);

#endif
