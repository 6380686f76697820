// Field encoders: length prefixes, packed digits, characters, raw bytes and
// the three bitmaps, each on the wire byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "codec_test_util.h"
#include "iso8583/tul_iso8583_fields.h"

namespace {

// Writes one prefix into a fresh buffer; returns the bytes or "FAIL".
std::string putPrefix(std::uint8_t form, std::uint32_t length, std::uint32_t *limitOut = nullptr,
                      std::size_t room = 8) {
  unsigned char buf[8] = {};
  unsigned char *cursor = buf;
  std::uint32_t limit = 999;
  if (_TUL_VarLen_Put(form, length, &limit, &cursor, buf + room) != 0) {
    EXPECT_EQ(cursor, buf) << "a failed prefix must not move the cursor";
    return "FAIL";
  }
  if (limitOut) *limitOut = limit;
  return hexOf(buf, static_cast<std::size_t>(cursor - buf));
}

// Reads one prefix; returns the length or -1.
long getPrefix(std::uint8_t form, const Bytes &in, std::uint32_t maxLen = 9999, std::size_t *consumed = nullptr) {
  const unsigned char *cursor = in.data();
  std::uint32_t len = 0;
  if (_TUL_VarLen_Get(&cursor, in.data() + in.size(), form, maxLen, &len) != 0) return -1;
  if (consumed) *consumed = static_cast<std::size_t>(cursor - in.data());
  return len;
}

// Packs one field of the dictionary on its own.
std::string packField(unsigned field, const Bytes &value, std::size_t room = 2048) {
  TestMsg m;
  EXPECT_EQ(m.set(field, value), 0);
  Bytes out(room);
  unsigned char *cursor = out.data();
  if (_TUL_ISO8583_FIELD_Pack(field, &m.msg, &m.handler, &cursor, out.data() + room) != 0) return "FAIL";
  return hexOf(out.data(), static_cast<std::size_t>(cursor - out.data()));
}
std::string packField(unsigned field, const std::string &value) { return packField(field, textBytes(value)); }

// Unpacks one field of the dictionary from exactly `in`; returns its value or "FAIL".
std::string unpackField(unsigned field, const Bytes &in, std::size_t *consumed = nullptr) {
  TestMsg m;
  Bytes copy(in);
  const unsigned char *cursor = copy.data();
  if (_TUL_ISO8583_FIELD_Unpack(field, &m.msg, &m.handler, &cursor, copy.data() + copy.size()) != 0) return "FAIL";
  if (consumed) *consumed = static_cast<std::size_t>(cursor - copy.data());
  return m.str(field);
}

} // namespace

TEST(LengthPrefix, EachFormWritesItsWireForm) {
  EXPECT_EQ(putPrefix(TUL_LF_BCD1, 16), "16");
  EXPECT_EQ(putPrefix(TUL_LF_BCD1, 19), "19");
  EXPECT_EQ(putPrefix(TUL_LF_BCD1, 20), "19");  // the switch's 19 digits + F pad
  EXPECT_EQ(putPrefix(TUL_LF_BCD_H3, 260), "02 60");
  EXPECT_EQ(putPrefix(TUL_LF_BCD_H3, 999), "09 99");
  EXPECT_EQ(putPrefix(TUL_LF_BCD2, 1234), "12 34");
  EXPECT_EQ(putPrefix(TUL_LF_BIN1, 200), "C8");
  EXPECT_EQ(putPrefix(TUL_LF_BIN2, 0x1234), "12 34");
  EXPECT_EQ(putPrefix(TUL_LF_TRACK2, 19), "37");
  EXPECT_EQ(putPrefix(TUL_LF_TRACK2, 15), "29");
  EXPECT_EQ(putPrefix(TUL_LF_TRACK2, 50), "99");
  EXPECT_EQ(putPrefix(TUL_LF_ASC2, 7), "30 37");
  EXPECT_EQ(putPrefix(TUL_LF_ASC3, 123), "31 32 33");
  EXPECT_EQ(putPrefix(TUL_LF_ASC4, 42), "30 30 34 32");
  EXPECT_EQ(putPrefix(TUL_LF_BCD1_PLAIN, 20), "20");
  EXPECT_EQ(putPrefix(TUL_LF_FIXED, 5), "");
}

TEST(LengthPrefix, LimitComesBackReducedToWhatTheFormExpresses) {
  std::uint32_t limit = 0;
  putPrefix(TUL_LF_BIN1, 256, &limit);
  EXPECT_EQ(limit, 0u);
  putPrefix(TUL_LF_BCD_H3, 1000, &limit);
  EXPECT_EQ(limit, 0u);
  putPrefix(TUL_LF_BCD1, 120, &limit);
  EXPECT_EQ(limit, 20u);
  putPrefix(TUL_LF_BIN2, 70000, &limit);
  EXPECT_EQ(limit, 70000u & 0xFFFFu);
  putPrefix(TUL_LF_FIXED, 5, &limit);
  EXPECT_EQ(limit, 999u) << "a fixed field keeps maxLen";
}

TEST(LengthPrefix, InvalidFormsTrackTwoOutOfRangeAndNoRoomFail) {
  EXPECT_EQ(putPrefix(1, 5), "FAIL");
  EXPECT_EQ(putPrefix(12, 5), "FAIL");
  EXPECT_EQ(putPrefix(255, 5), "FAIL");
  EXPECT_EQ(putPrefix(TUL_LF_TRACK2, 0), "FAIL");   // digit count -1
  EXPECT_EQ(putPrefix(TUL_LF_TRACK2, 51), "FAIL");  // digit count 101
  EXPECT_EQ(putPrefix(TUL_LF_TRACK2, 119), "FAIL");
  EXPECT_EQ(putPrefix(TUL_LF_BCD_H3, 5, nullptr, 1), "FAIL");
  EXPECT_EQ(putPrefix(TUL_LF_BCD1, 5, nullptr, 0), "FAIL");
}

TEST(LengthPrefix, ReaderDecodesEachFormAndCutsToMaxLen) {
  std::size_t used = 0;
  EXPECT_EQ(getPrefix(TUL_LF_FIXED, {}, 15, &used), 15);
  EXPECT_EQ(used, 0u);
  EXPECT_EQ(getPrefix(TUL_LF_BCD1, hexBytes("19")), 19);
  EXPECT_EQ(getPrefix(TUL_LF_BCD_H3, hexBytes("02 60"), 999, &used), 260);
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(getPrefix(TUL_LF_BCD2, hexBytes("12 34")), 1234);
  EXPECT_EQ(getPrefix(TUL_LF_BIN1, hexBytes("FF")), 255);
  EXPECT_EQ(getPrefix(TUL_LF_BIN2, hexBytes("01 02")), 258);
  EXPECT_EQ(getPrefix(TUL_LF_TRACK2, hexBytes("37")), 19);
  EXPECT_EQ(getPrefix(TUL_LF_TRACK2, hexBytes("29")), 15);
  EXPECT_EQ(getPrefix(TUL_LF_ASC3, textBytes("042")), 42);
  EXPECT_EQ(getPrefix(TUL_LF_BCD1_PLAIN, hexBytes("20")), 20);
  EXPECT_EQ(getPrefix(TUL_LF_BIN1, hexBytes("C8"), 100), 100);
  EXPECT_EQ(getPrefix(TUL_LF_BCD_H3, hexBytes("09 99"), 120), 120);
}

TEST(LengthPrefix, ReaderRejectsShortInputBadDigitsAndInvalidForms) {
  EXPECT_EQ(getPrefix(TUL_LF_BCD_H3, hexBytes("02")), -1);
  EXPECT_EQ(getPrefix(TUL_LF_BIN1, {}), -1);
  EXPECT_EQ(getPrefix(TUL_LF_ASC2, textBytes("1")), -1);
  EXPECT_EQ(getPrefix(TUL_LF_ASC2, textBytes("1x")), -1);
  EXPECT_EQ(getPrefix(1, hexBytes("05")), -1);
  EXPECT_EQ(getPrefix(12, hexBytes("05")), -1);
}

TEST(PackedDigits, FixedFieldsAreRightAlignedWithLeadingZeros) {
  EXPECT_EQ(packField(22, "021"), "00 21");
  EXPECT_EQ(packField(22, "21"), "00 21");
  EXPECT_EQ(packField(4, "1000"), "00 00 00 00 10 00");
  EXPECT_EQ(packField(4, "000000150000"), "00 00 00 15 00 00");
  EXPECT_EQ(packField(0, "0200"), "02 00");
  EXPECT_EQ(packField(66, "7"), "07");
  EXPECT_EQ(packField(97, "12345678901234567"), "01 23 45 67 89 01 23 45 67");
  EXPECT_EQ(packField(25, ""), "00");
}

TEST(PackedDigits, FixedFieldsComeBackAtFullWidth) {
  EXPECT_EQ(unpackField(22, hexBytes("00 21")), "021");
  EXPECT_EQ(unpackField(4, hexBytes("00 00 00 00 10 00")), "000000001000");
  EXPECT_EQ(unpackField(97, hexBytes("01 23 45 67 89 01 23 45 6F")), "1234567890123456F");
  EXPECT_EQ(unpackField(3, hexBytes("9A bc DE")), "9ABCDE") << "nibbles above 9 read as upper-case letters";
}

TEST(PackedDigits, AccountNumberLengthBytes) {
  EXPECT_EQ(packField(2, "6037991234567890"), "16 60 37 99 12 34 56 78 90");
  // 19 digits: one leading zero nibble.
  EXPECT_EQ(packField(2, "6037991234567890123"), "19 06 03 79 91 23 45 67 89 01 23");
  // 19 digits with the F pad the builders add: announced as 19.
  EXPECT_EQ(packField(2, "6037991234567890123F"), "19 60 37 99 12 34 56 78 90 12 3F");
  EXPECT_EQ(packField(2, "6037991234567890123f"), "19 60 37 99 12 34 56 78 90 12 3F");
}

TEST(PackedDigits, VariableFieldsRoundTripAndThePaddedAccountLosesItsFirstNibble) {
  std::size_t used = 0;
  EXPECT_EQ(unpackField(2, hexBytes("16 60 37 99 12 34 56 78 90"), &used), "6037991234567890");
  EXPECT_EQ(used, 9u);
  EXPECT_EQ(unpackField(2, hexBytes("19 06 03 79 91 23 45 67 89 01 23")), "6037991234567890123");
  // The 20-nibble form is read as 19 right-aligned digits: the last 19 characters.
  EXPECT_EQ(unpackField(2, hexBytes("19 60 37 99 12 34 56 78 90 12 3F"), &used), "037991234567890123F");
  EXPECT_EQ(used, 11u);
  EXPECT_EQ(unpackField(99, hexBytes("05 01 23 45")), "12345");
}

TEST(PackedDigits, TooLongOrNonHexValuesFail) {
  EXPECT_EQ(packField(3, "1234567"), "FAIL");  // fixed 6
  EXPECT_EQ(packField(99, std::string(100, '1')), "FAIL"); // form 2 expresses 0..99
  EXPECT_EQ(packField(11, "12 456"), "FAIL");
  EXPECT_EQ(packField(11, "12=456"), "FAIL");
}

TEST(Characters, FixedFieldsArePaddedWithSpacesAndComeBackPadded) {
  EXPECT_EQ(packField(42, "123456789012"), hexOf(textBytes("123456789012   ")));
  EXPECT_EQ(unpackField(42, textBytes("123456789012   ")), "123456789012   ");
  EXPECT_EQ(packField(41, "12345678"), hexOf(textBytes("12345678")));
  EXPECT_EQ(packField(41, "123456789"), "FAIL");
}

TEST(Characters, TwoByteBcdPrefixCarriesUpTo999) {
  std::string s260(260, 'x');
  EXPECT_EQ(packField(48, s260).substr(0, 11), "02 60 78 78");
  EXPECT_EQ(packField(48, std::string(999, 'x')).substr(0, 5), "09 99");
  EXPECT_EQ(packField(48, std::string(1000, 'x')), "FAIL");
  // maxLen 120 is not enforced when packing, only when reading back.
  EXPECT_NE(packField(54, std::string(121, 'x')), "FAIL");
  std::size_t used = 0;
  Bytes wire = hexBytes("01 21");
  wire.resize(2 + 121, 'x');
  EXPECT_EQ(unpackField(54, wire, &used), std::string(120, 'x'));
  EXPECT_EQ(used, 122u) << "the cut leaves the last byte unconsumed";
}

TEST(Characters, OneBinaryBytePrefixStopsAt255) {
  EXPECT_EQ(packField(8, std::string(255, 'a')).substr(0, 5), "FF 61");
  EXPECT_EQ(packField(8, std::string(256, 'a')), "FAIL") << "256 under form 5 fails though maxLen is 256";
  EXPECT_EQ(packField(8, ""), "00");
  EXPECT_EQ(unpackField(8, hexBytes("03 41 42 43")), "ABC");
}

TEST(Characters, TwentyCharactersUnderFormTwoAreAnnouncedAsTwenty) {
  // Announcing 19 here would leave a byte the receiver takes for the next field.
  std::string v(20, 'K');
  std::string wire = packField(102, v);
  EXPECT_EQ(wire.substr(0, 2), "20");
  EXPECT_EQ(unpackField(102, hexBytes(wire)), v);
}

TEST(RawBytes, FixedFieldsArePaddedWithZeroBytes) {
  EXPECT_EQ(packField(52, hexBytes("01 02 03 04 05 06")), "01 02 03 04 05 06 00 00");
  EXPECT_EQ(unpackField(52, hexBytes("01 02 03 04 05 06 00 00")), std::string("\x01\x02\x03\x04\x05\x06\0\0", 8));
  EXPECT_EQ(packField(64, hexBytes("00 00 00 00 00 00 00 00 00")), "FAIL");
}

TEST(RawBytes, TrackTwoCarriesItsDigitCount) {
  Bytes t19 = hexBytes("60 37 99 12 34 56 78 90 12 3D 25 12 10 11 23 45 67 89 0F");
  ASSERT_EQ(t19.size(), 19u);
  EXPECT_EQ(packField(35, t19), "37 " + hexOf(t19));
  Bytes t15(t19.begin(), t19.begin() + 15);
  EXPECT_EQ(packField(35, t15), "29 " + hexOf(t15));
  std::size_t used = 0;
  Bytes wire = hexBytes("37");
  wire.insert(wire.end(), t19.begin(), t19.end());
  EXPECT_EQ(unpackField(35, wire, &used), std::string(t19.begin(), t19.end()));
  EXPECT_EQ(used, 20u);
  EXPECT_EQ(packField(35, Bytes(51, 0x11)), "FAIL");
  EXPECT_EQ(packField(35, Bytes()), "FAIL");
  // A count above maxLen 39 bytes is cut to 39.
  wire = hexBytes("99");
  wire.resize(1 + 50, 0x22);
  EXPECT_EQ(unpackField(35, wire, &used), std::string(39, '\x22'));
  EXPECT_EQ(used, 40u);
}

/* ---- bitmaps ---------------------------------------------------------- */

namespace {

// A three-row dictionary with the bitmap type under test at position 1.
struct BitmapDict {
  TUL_ISO8583_FIELD_SPEC rows[TUL_ISO8583_FIELD_COUNT];
  TUL_ISO8583_HANDLER handler{};
  explicit BitmapDict(std::uint8_t bitmapType) {
    std::memcpy(rows, _iso8583_tuliso_fields, sizeof rows);
    rows[1].type = bitmapType;
    TUL_ISO8583_COMMON_SetHandler(rows, TUL_ISO8583_FIELD_COUNT, &handler);
  }
};

std::string packBitmap(std::uint8_t type, std::initializer_list<unsigned> present) {
  BitmapDict d(type);
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  for (unsigned f : present) TUL_ISO8583_MSG_SetField_Str(f, "1", &msg);
  unsigned char out[64];
  unsigned char *cursor = out;
  int status = _TUL_ISO8583_FIELD_Pack(1, &msg, &d.handler, &cursor, out + sizeof out);
  TUL_ISO8583_MSG_Free(&msg);
  return status ? "FAIL" : hexOf(out, static_cast<std::size_t>(cursor - out));
}

// Unpacks a bitmap and lists the marked positions, or "FAIL".
std::string markedBy(std::uint8_t type, const Bytes &in, std::size_t *consumed = nullptr) {
  BitmapDict d(type);
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  Bytes copy(in);
  const unsigned char *cursor = copy.data();
  int status = _TUL_ISO8583_FIELD_Unpack(1, &msg, &d.handler, &cursor, copy.data() + copy.size());
  std::string marks;
  for (unsigned p = 2; p < TUL_ISO8583_FIELD_COUNT; ++p)
    if (msg.fields[p].length == 1 && msg.fields[p].value == nullptr) marks += std::to_string(p) + " ";
  if (consumed) *consumed = static_cast<std::size_t>(cursor - copy.data());
  TUL_ISO8583_MSG_Free(&msg);
  return status ? "FAIL" : marks;
}

} // namespace

TEST(BinaryBitmap, EightBytesUnlessAFieldAbove65IsPresent) {
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP, {0, 2, 3, 11, 41}), "60 20 00 00 00 80 00 00");
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP, {0, 1}), "00 00 00 00 00 00 00 00") << "the bitmap's own slot is not a bit";
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP, {64}), "00 00 00 00 00 00 00 01");
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP, {3, 66}), "A0 00 00 00 00 00 00 00 40 00 00 00 00 00 00 00");
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP, {128}), "80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01");
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP, {90}), "80 00 00 00 00 00 00 00 00 00 00 40 00 00 00 00");
}

TEST(BinaryBitmap, FieldSixtyFiveHasNoBitSoItCannotBeSent) {
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP, {65}), "FAIL");
}

TEST(BinaryBitmap, UnpackMarksPositionsAndFollowsTheContinuationFlag) {
  std::size_t used = 0;
  EXPECT_EQ(markedBy(TUL_FT_BITMAP, hexBytes("60 20 00 00 00 80 00 00"), &used), "2 3 11 41 ");
  EXPECT_EQ(used, 8u);
  EXPECT_EQ(markedBy(TUL_FT_BITMAP, hexBytes("A0 00 00 00 00 00 00 01 40 00 00 00 00 00 00 01"), &used),
            "3 64 66 128 ");
  EXPECT_EQ(used, 16u);
}

TEST(BinaryBitmap, UnpackRejectsBitsPast128AndCutBlocks) {
  // Third block: only its continuation flag may be set... and even a clear
  // third block is fine; a set data bit names position 130+.
  EXPECT_EQ(markedBy(TUL_FT_BITMAP, hexBytes("80 00 00 00 00 00 00 00 80 00 00 00 00 00 00 00 "
                                             "00 00 00 00 00 00 00 00")),
            "");
  EXPECT_EQ(markedBy(TUL_FT_BITMAP, hexBytes("80 00 00 00 00 00 00 00 80 00 00 00 00 00 00 00 "
                                             "40 00 00 00 00 00 00 00")),
            "FAIL");
  EXPECT_EQ(markedBy(TUL_FT_BITMAP, hexBytes("80 00 00 00 00 00 00 00 00 00 00")), "FAIL");
  EXPECT_EQ(markedBy(TUL_FT_BITMAP, hexBytes("60 20 00 00 00 80 00")), "FAIL");
  // Endless continuation flags run into the end of input, not past it.
  EXPECT_EQ(markedBy(TUL_FT_BITMAP, Bytes(8 * 40, 0x80)), "FAIL");
}

TEST(FiveByteBitmap, CoversFortyPositionsFromItsOwn) {
  // Bit 0 is the bitmap's own position 1, so its placeholder sets it.
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP_5, {1, 2, 40}), "C0 00 00 00 01");
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP_5, {33}), "00 00 00 00 80");
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP_5, {41}), "FAIL");
  std::size_t used = 0;
  EXPECT_EQ(markedBy(TUL_FT_BITMAP_5, hexBytes("C0 00 00 00 01"), &used), "2 40 ");
  EXPECT_EQ(used, 5u);
  EXPECT_EQ(markedBy(TUL_FT_BITMAP_5, hexBytes("C0 00 00 00")), "FAIL");
}

TEST(HexBitmap, SameBlocksAsHexadecimalText) {
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP_HEX, {0, 2, 3, 11, 41}), hexOf(textBytes("6020000000800000")));
  EXPECT_EQ(packBitmap(TUL_FT_BITMAP_HEX, {3, 66}), hexOf(textBytes("A0000000000000004000000000000000")));
  std::size_t used = 0;
  EXPECT_EQ(markedBy(TUL_FT_BITMAP_HEX, textBytes("a0000000000000014000000000000001"), &used), "3 64 66 128 ");
  EXPECT_EQ(used, 32u);
  EXPECT_EQ(markedBy(TUL_FT_BITMAP_HEX, textBytes("60200000008000G0")), "FAIL");
  EXPECT_EQ(markedBy(TUL_FT_BITMAP_HEX, textBytes("602000000080000")), "FAIL");
  EXPECT_EQ(markedBy(TUL_FT_BITMAP_HEX, textBytes("80000000000000008000000000000000"
                                                 "8000000000000000800000000000000000000000000000FF")),
            "FAIL") << "a fourth block with a bit set names a position past 128";
}
