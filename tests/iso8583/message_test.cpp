// The message record and its walks: storage modes, set and get, whole
// messages packed and unpacked byte for byte, malformed input, and the dump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codec_test_util.h"
#include "iso8583/iso_mem.h"
#include "iso8583/tul_iso8583_fields.h"

namespace {

bool allZero(const TUL_ISO8583_MSG &msg) {
  const auto *p = reinterpret_cast<const unsigned char *>(&msg);
  for (std::size_t i = 0; i < sizeof msg; ++i)
    if (p[i] != 0) return false;
  return true;
}

const Bytes TRACK2 = hexBytes("60 37 99 12 34 56 78 90 12 3D 25 12 10 11 23 45 67 89 0F");
const std::string FIELD48_REQUEST = std::string("\x11\x01", 2) + "1234567890" + std::string("\x02\x03", 2) + "1";
const Bytes PIN_BLOCK = hexBytes("11 22 33 44 55 66 77 88");

void fillPurchase(TestMsg &m) {
  m.set(0, "0200");
  m.set(1, "3038058020C19001"); // placeholder: the bitmap is computed
  m.set(2, "6037991234567890");
  m.set(3, "000000");
  m.set(4, "000000150000");
  m.set(11, "000123");
  m.set(12, "101500");
  m.set(13, "0615");
  m.set(22, "021");
  m.set(24, "006");
  m.set(25, "00");
  m.set(35, TRACK2);
  m.set(41, "12345678");
  m.set(42, "123456789012   ");
  m.set(48, FIELD48_REQUEST);
  m.set(49, "364");
  m.set(52, PIN_BLOCK);
  m.set(64, "9A8B7C6D");
}

const Bytes PURCHASE_WIRE = hexBytes(
    "02 00"                                                  // MTI
    "70 38 05 80 20 C1 90 01"                                // 2 3 4 11 12 13 22 24 25 35 41 42 48 49 52 64
    "16 60 37 99 12 34 56 78 90"                             // 2
    "00 00 00"                                               // 3
    "00 00 00 15 00 00"                                      // 4
    "00 01 23"                                               // 11
    "10 15 00"                                               // 12
    "06 15"                                                  // 13
    "00 21"                                                  // 22
    "00 06"                                                  // 24
    "00"                                                     // 25
    "37 60 37 99 12 34 56 78 90 12 3D 25 12 10 11 23 45 67 89 0F" // 35
    "31 32 33 34 35 36 37 38"                                // 41
    "31 32 33 34 35 36 37 38 39 30 31 32 20 20 20"           // 42
    "00 15 11 01 31 32 33 34 35 36 37 38 39 30 02 03 31"     // 48
    "33 36 34"                                               // 49
    "11 22 33 44 55 66 77 88"                                // 52
    "39 41 38 42 37 43 36 44");                              // 64

const Bytes PURCHASE_RESPONSE_WIRE = hexBytes(
    "02 10"
    "30 38 01 00 0E C1 00 01"                                // 3 4 11 12 13 24 37 38 39 41 42 48 64
    "00 00 00"                                               // 3
    "00 00 00 15 00 00"                                      // 4
    "00 01 23"                                               // 11
    "10 15 02"                                               // 12
    "06 15"                                                  // 13
    "00 06"                                                  // 24
    "36 31 32 33 34 35 36 37 38 39 30 31"                    // 37
    "36 35 34 33 32 31"                                      // 38
    "30 30"                                                  // 39
    "31 32 33 34 35 36 37 38"                                // 41
    "31 32 33 34 35 36 37 38 39 30 31 32 20 20 20"           // 42
    "00 06 05 34 31 32 33 34"                                // 48
    "01 02 03 04 05 06 07 08");                              // 64

} // namespace

/* ---- storage and access ----------------------------------------------- */

TEST(MessageStorage, FreeOnFreshOrFreedMessageLeavesItZeroed) {
  TUL_ISO8583_MSG msg;
  std::memset(&msg, 0xAB, sizeof msg);
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  EXPECT_TRUE(allZero(msg));
  TUL_ISO8583_MSG_Free(&msg);
  EXPECT_TRUE(allZero(msg));
  ASSERT_EQ(TUL_ISO8583_MSG_SetField_Str(3, "000000", &msg), 0);
  TUL_ISO8583_MSG_Free(&msg);
  EXPECT_TRUE(allZero(msg));
  TUL_ISO8583_MSG_Free(&msg);
  EXPECT_TRUE(allZero(msg));
  TUL_ISO8583_MSG_Free(nullptr);
}

TEST(MessageStorage, MallocModeKeepsTheSecondValue) {
  TestMsg m;
  ASSERT_EQ(m.set(41, "AAAAAAAA"), 0);
  ASSERT_EQ(m.set(41, "BBB"), 0);
  EXPECT_EQ(m.str(41), "BBB");
  char *text = nullptr;
  ASSERT_EQ(TUL_ISO8583_MSG_GetField_Str(41, &m.msg, &text), 0);
  EXPECT_STREQ(text, "BBB") << "values are NUL-terminated";
}

TEST(MessageStorage, ValuesMayHoldZeroBytesAndBeEmpty) {
  TestMsg m;
  ASSERT_EQ(m.set(52, hexBytes("00 01 00 02")), 0);
  EXPECT_EQ(m.str(52), std::string("\0\x01\0\x02", 4));
  ASSERT_EQ(TUL_ISO8583_MSG_SetField_Str(48, nullptr, &m.msg), 0);
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(48, &m.msg), 1);
  EXPECT_EQ(m.str(48), "");
  EXPECT_NE(TUL_ISO8583_MSG_SetField_Bin(48, nullptr, 3, &m.msg), 0);
}

TEST(MessageStorage, SettingAFieldFromItsOwnValueIsSafe) {
  TestMsg m;
  ASSERT_EQ(m.set(48, "HELLO WORLD"), 0);
  char *own = nullptr;
  ASSERT_EQ(TUL_ISO8583_MSG_GetField_Str(48, &m.msg, &own), 0);
  ASSERT_EQ(TUL_ISO8583_MSG_SetField_Bin(48, own + 6, 5, &m.msg), 0);
  EXPECT_EQ(m.str(48), "WORLD");
}

TEST(MessageStorage, FieldNumbersFrom129AreRejectedEverywhere) {
  TestMsg m;
  EXPECT_EQ(m.set(129, "x"), 1);
  EXPECT_EQ(m.set(1000, "x"), 1);
  EXPECT_EQ(TUL_ISO8583_MSG_SetField(0, 129, "x", &m.msg), 1);
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(129, &m.msg), 0);
  char *text = reinterpret_cast<char *>(&m);
  EXPECT_EQ(TUL_ISO8583_MSG_GetField_Str(129, &m.msg, &text), 1);
  EXPECT_EQ(text, nullptr);
  unsigned char *data = nullptr;
  std::uint32_t len = 77;
  EXPECT_EQ(TUL_ISO8583_MSG_GetField_Bin(200, &m.msg, &data, &len), 1);
  unsigned char *out = reinterpret_cast<unsigned char *>(&m);
  EXPECT_EQ(_TUL_ISO8583_MSG_AllocField(129, 4, &m.msg, &out), 1);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(allZero(m.msg));
}

TEST(MessageStorage, SetFieldStoresTextOnlyInModesZeroAndOne) {
  TestMsg m;
  EXPECT_EQ(TUL_ISO8583_MSG_SetField(1, 12, "101500", &m.msg), 0);
  EXPECT_EQ(TUL_ISO8583_MSG_SetField(2, 13, "0615", &m.msg), 0);
  EXPECT_EQ(m.str(12), "101500");
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(13, &m.msg), 0);
}

TEST(ArenaMode, ValuesAreCarvedOnceAndTheArenaBounds) {
  unsigned char arena[16];
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(arena, sizeof arena, &msg);
  ASSERT_EQ(TUL_ISO8583_MSG_SetField_Str(3, "000000", &msg), 0); // 7 bytes
  EXPECT_EQ(msg.fields[3].value, arena);
  EXPECT_EQ(TUL_ISO8583_MSG_SetField_Str(3, "111111", &msg), 1) << "set once only";
  EXPECT_STREQ(reinterpret_cast<char *>(msg.fields[3].value), "000000");
  unsigned char *cursorBefore = msg.arenaCursor;
  EXPECT_EQ(TUL_ISO8583_MSG_SetField_Str(41, "123456789", &msg), 1) << "10 bytes do not fit in 9";
  EXPECT_EQ(msg.arenaCursor, cursorBefore);
  EXPECT_EQ(msg.fields[41].value, nullptr);
  EXPECT_EQ(TUL_ISO8583_MSG_SetField_Str(41, "12345678", &msg), 0) << "exactly fills the arena";
  EXPECT_EQ(msg.arenaCursor, arena + sizeof arena);
  EXPECT_EQ(TUL_ISO8583_MSG_SetField_Str(2, "", &msg), 1);
  TUL_ISO8583_MSG_Free(&msg);
  EXPECT_TRUE(allZero(msg));
}

TEST(ArenaMode, UnpacksAWholeMessage) {
  unsigned char arena[512];
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(arena, sizeof arena, &msg);
  ASSERT_EQ(TUL_ISO8583_MSG_Unpack(&handler, PURCHASE_RESPONSE_WIRE.data(),
                                   static_cast<std::uint32_t>(PURCHASE_RESPONSE_WIRE.size()), &msg), 0);
  char *rc = nullptr;
  ASSERT_EQ(TUL_ISO8583_MSG_GetField_Str(39, &msg, &rc), 0);
  EXPECT_STREQ(rc, "00");
  TUL_ISO8583_MSG_Init(arena, 40, &msg);
  EXPECT_EQ(TUL_ISO8583_MSG_Unpack(&handler, PURCHASE_RESPONSE_WIRE.data(),
                                   static_cast<std::uint32_t>(PURCHASE_RESPONSE_WIRE.size()), &msg), 1)
      << "a small arena fails the unpack instead of overrunning";
  TUL_ISO8583_MSG_Free(&msg);
}

namespace {
void *failingCalloc(std::size_t, std::size_t) { return nullptr; }
struct FailAllocations {
  FailAllocations() { ISO_MEM_callocHook = failingCalloc; }
  ~FailAllocations() { ISO_MEM_callocHook = std::calloc; }
};
} // namespace

TEST(OutOfMemory, SetKeepsThePreviousValueAndUnpackReports1000) {
  TestMsg m;
  ASSERT_EQ(m.set(41, "OLDVALUE"), 0);
  {
    FailAllocations fail;
    EXPECT_EQ(m.set(41, "NEWVALUE"), 1000);
    void *p = &m;
    EXPECT_EQ(ISO_MEM_malloc(8, &p), 1000);
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(m.str(41), "OLDVALUE");
  TestMsg r;
  {
    FailAllocations fail;
    EXPECT_EQ(r.unpack(PURCHASE_RESPONSE_WIRE), 1000);
  }
  void *p = &m;
  EXPECT_EQ(ISO_MEM_callocWithInit(0, 8, &p), 0);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(ISO_MEM_callocWithInit(SIZE_MAX / 2, 4, &p), 1000) << "count*size overflow";
}

/* ---- reuse: the record tracks the slots it uses and keeps small values itself */

TEST(MessageReuse, ValuesPastTheRecordsOwnRoomAndReplacedOnesStayIntact) {
  TestMsg m;
  ASSERT_EQ(m.set(48, std::string(400, 'a')), 0);
  ASSERT_EQ(m.set(55, std::string(300, 'b')), 0);
  for (int i = 0; i < 60; ++i) ASSERT_EQ(m.set(41, std::to_string(10000000 + i)), 0);
  ASSERT_EQ(m.set(0, "0200"), 0);
  EXPECT_EQ(m.str(48), std::string(400, 'a'));
  EXPECT_EQ(m.str(55), std::string(300, 'b'));
  EXPECT_EQ(m.str(41), "10000059");
  char *text = nullptr;
  ASSERT_EQ(TUL_ISO8583_MSG_GetField_Str(55, &m.msg, &text), 0);
  EXPECT_EQ(std::strlen(text), 300u);
  Bytes wire;
  ASSERT_EQ(m.pack(wire), 0);
  TestMsg back;
  ASSERT_EQ(back.unpack(wire), 0);
  EXPECT_EQ(back.str(48), std::string(400, 'a'));
  EXPECT_EQ(back.str(55), std::string(300, 'b'));
  EXPECT_EQ(back.str(41), "10000059");
  TUL_ISO8583_MSG_Free(&m.msg);
  EXPECT_TRUE(allZero(m.msg));
  TUL_ISO8583_MSG_Free(&back.msg);
  EXPECT_TRUE(allZero(back.msg));
}

TEST(MessageReuse, AFreedRecordCarriesNothingIntoTheNextMessage) {
  TestMsg m;
  fillPurchase(m);
  Bytes out;
  ASSERT_EQ(m.pack(out), 0);
  TUL_ISO8583_MSG_Free(&m.msg);
  ASSERT_EQ(m.unpack(PURCHASE_RESPONSE_WIRE), 0) << "a freed record is empty";
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(2, &m.msg), 0);
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(35, &m.msg), 0);
  ASSERT_EQ(m.pack(out), 0);
  EXPECT_EQ(hexOf(out), hexOf(PURCHASE_RESPONSE_WIRE));

  // A cut input leaves presence markers behind; Free must clear them too.
  TUL_ISO8583_MSG_Free(&m.msg);
  ASSERT_EQ(m.unpack(Bytes(PURCHASE_WIRE.begin(), PURCHASE_WIRE.begin() + 20)), 1);
  TUL_ISO8583_MSG_Free(&m.msg);
  EXPECT_TRUE(allZero(m.msg));
  ASSERT_EQ(m.unpack(PURCHASE_RESPONSE_WIRE), 0);
  ASSERT_EQ(m.pack(out), 0);
  EXPECT_EQ(hexOf(out), hexOf(PURCHASE_RESPONSE_WIRE));
}

/* ---- whole messages --------------------------------------------------- */

TEST(Pack, MtiBitmapThenFieldsInOrder) {
  TestMsg m;
  m.set(0, "0200");
  m.set(2, "6037991234567890");
  m.set(3, "000000");
  m.set(11, "000123");
  m.set(41, "12345678");
  Bytes out;
  ASSERT_EQ(m.pack(out), 0);
  EXPECT_EQ(hexOf(out), hexOf(hexBytes("02 00  60 20 00 00 00 80 00 00  16 60 37 99 12 34 56 78 90  00 00 00"
                                       "00 01 23  31 32 33 34 35 36 37 38")));
}

TEST(Pack, PurchaseRequestGoldenBytes) {
  TestMsg m;
  fillPurchase(m);
  Bytes out;
  ASSERT_EQ(m.pack(out), 0);
  EXPECT_EQ(hexOf(out), hexOf(PURCHASE_WIRE));
}

TEST(Pack, KeyExchangeRequestGoldenBytes) {
  TestMsg m;
  m.set(0, "0800");
  m.set(1, "2038010000010000");
  m.set(3, "920000");
  m.set(11, "000001");
  m.set(12, "101500");
  m.set(13, "0615");
  m.set(24, "006");
  m.set(48, std::string("\x11\x01", 2) + "0123456789");
  m.set(64, "ABCDEF01");
  Bytes out;
  ASSERT_EQ(m.pack(out), 0);
  EXPECT_EQ(hexOf(out), hexOf(hexBytes("08 00  20 38 01 00 00 01 00 01  92 00 00  00 00 01  10 15 00  06 15  00 06"
                                       "00 12 11 01 30 31 32 33 34 35 36 37 38 39  41 42 43 44 45 46 30 31")));
}

TEST(Pack, ReversalCarriesTheSecondaryBitmap) {
  TestMsg m;
  m.set(0, "0420");
  m.set(3, "000000");
  m.set(90, "020000012306151015000058167205200000603799");
  m.set(128, "ABCDEFGH");
  Bytes out;
  ASSERT_EQ(m.pack(out), 0);
  EXPECT_EQ(hexOf(out), hexOf(hexBytes("04 20  A0 00 00 00 00 00 00 00  00 00 00 40 00 00 00 01  00 00 00"
                                       "02 00 00 01 23 06 15 10 15 00 00 58 16 72 05 20 00 00 60 37 99"
                                       "41 42 43 44 45 46 47 48")));
  TestMsg back;
  ASSERT_EQ(back.unpack(out), 0);
  EXPECT_EQ(back.str(90), "020000012306151015000058167205200000603799");
  EXPECT_EQ(back.str(128), "ABCDEFGH");
}

TEST(Pack, TooSmallABufferFailsWithoutWritingPastIt) {
  TestMsg m;
  fillPurchase(m);
  for (std::uint32_t room = 0; room < PURCHASE_WIRE.size(); ++room) {
    Bytes out(room + 16, 0xEE);
    std::uint32_t len = 99;
    ASSERT_EQ(TUL_ISO8583_MSG_Pack(&m.handler, &m.msg, out.data(), room, &len), 1) << "room " << room;
    EXPECT_EQ(len, 0u);
    for (std::size_t i = room; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "room " << room;
  }
  Bytes exact;
  EXPECT_EQ(m.pack(exact, static_cast<std::uint32_t>(PURCHASE_WIRE.size())), 0);
}

TEST(Pack, AFieldTooLongFailsTheWholePack) {
  TestMsg m;
  fillPurchase(m);
  m.set(49, "3640");
  Bytes out;
  EXPECT_EQ(m.pack(out), 1);
  EXPECT_TRUE(out.empty());
}

TEST(Unpack, PurchaseResponseGoldenBytes) {
  TestMsg m;
  ASSERT_EQ(m.unpack(PURCHASE_RESPONSE_WIRE), 0);
  EXPECT_EQ(m.str(0), "0210");
  EXPECT_EQ(m.str(3), "000000");
  EXPECT_EQ(m.str(4), "000000150000");
  EXPECT_EQ(m.str(11), "000123");
  EXPECT_EQ(m.str(12), "101502");
  EXPECT_EQ(m.str(24), "006");
  EXPECT_EQ(m.str(37), "612345678901");
  EXPECT_EQ(m.str(38), "654321");
  EXPECT_EQ(m.str(39), "00");
  EXPECT_EQ(m.str(42), "123456789012   ");
  EXPECT_EQ(m.str(48), std::string("\x05\x34", 2) + "1234");
  EXPECT_EQ(m.str(64), "\x01\x02\x03\x04\x05\x06\x07\x08");
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(2, &m.msg), 0);
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(35, &m.msg), 0);
  // The same response packs back to the same bytes.
  Bytes again;
  ASSERT_EQ(m.pack(again), 0);
  EXPECT_EQ(hexOf(again), hexOf(PURCHASE_RESPONSE_WIRE));
}

TEST(Unpack, RoundTripRestoresValuesUnderThePaddingRules) {
  TestMsg m;
  m.set(0, "0200");
  m.set(2, "6037991234567890123F");   // 20 characters: comes back as the last 19
  m.set(4, "150000");                 // fixed digits: leading zeros
  m.set(22, "21");
  m.set(35, TRACK2);
  m.set(42, "12345");                 // fixed characters: trailing spaces
  m.set(48, std::string(300, 'z'));
  m.set(52, hexBytes("AA BB CC DD EE FF")); // fixed bytes: trailing zero bytes
  m.set(99, "12345");
  m.set(102, "ACCOUNT-0000000000000");
  Bytes wire;
  ASSERT_EQ(m.pack(wire), 0);
  TestMsg back;
  ASSERT_EQ(back.unpack(wire), 0);
  EXPECT_EQ(back.str(0), "0200");
  EXPECT_EQ(back.str(2), "037991234567890123F");
  EXPECT_EQ(back.str(4), "000000150000");
  EXPECT_EQ(back.str(22), "021");
  EXPECT_EQ(back.str(35), std::string(TRACK2.begin(), TRACK2.end()));
  EXPECT_EQ(back.str(42), "12345          ");
  EXPECT_EQ(back.str(48), std::string(300, 'z'));
  EXPECT_EQ(back.str(52), std::string("\xAA\xBB\xCC\xDD\xEE\xFF\0\0", 8));
  EXPECT_EQ(back.str(99), "12345");
  EXPECT_EQ(back.str(102), "ACCOUNT-0000000000000");
  EXPECT_EQ(back.str(1), std::string("\xD0\x00\x04\x00\x20\x41\x10\x00\x00\x00\x00\x00\x24\x00\x00\x00", 16))
      << "the received bitmap is kept as field 1";
}

TEST(Unpack, OneTrailingByteFails) {
  Bytes wire = PURCHASE_RESPONSE_WIRE;
  wire.push_back(0x00);
  TestMsg m;
  EXPECT_EQ(m.unpack(wire), 1);
  EXPECT_EQ(m.str(39), "00") << "fields decoded so far stay";
}

TEST(Unpack, InputEndingBeforeAMarkedFieldFails) {
  // Cut right after field 39: 41, 42, 48 and 64 are marked but missing.
  std::size_t cut = 2 + 8 + 3 + 6 + 3 + 3 + 2 + 2 + 12 + 6 + 2;
  Bytes wire(PURCHASE_RESPONSE_WIRE.begin(), PURCHASE_RESPONSE_WIRE.begin() + static_cast<long>(cut));
  TestMsg m;
  EXPECT_EQ(m.unpack(wire), 1);
  EXPECT_EQ(m.str(39), "00");
  char *text = reinterpret_cast<char *>(&m);
  EXPECT_EQ(TUL_ISO8583_MSG_GetField_Str(41, &m.msg, &text), 1);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(TUL_ISO8583_MSG_HaveField(48, &m.msg), 0);
}

TEST(Unpack, EveryTruncationFailsWithoutReadingPastTheEnd) {
  for (const Bytes *full : {&PURCHASE_WIRE, &PURCHASE_RESPONSE_WIRE}) {
    for (std::size_t cut = 0; cut < full->size(); ++cut) {
      TestMsg m;
      EXPECT_EQ(m.unpack(Bytes(full->begin(), full->begin() + static_cast<long>(cut))), 1) << "cut " << cut;
    }
  }
}

TEST(Unpack, AVariableFieldAboveItsMaxIsCutAndLeavesBytesOver) {
  // Field 54 (max 120) announcing 121 characters.
  Bytes wire = hexBytes("02 10  00 00 00 00 00 00 04 00  01 21");
  wire.resize(wire.size() + 121, 'x');
  TestMsg m;
  EXPECT_EQ(m.unpack(wire), 1);
  EXPECT_EQ(m.str(54), std::string(120, 'x'));
}

TEST(Unpack, BitmapBitsPast128OrABadLengthFail) {
  TestMsg a;
  EXPECT_EQ(a.unpack(hexBytes("02 10  80 00 00 00 00 00 00 00  80 00 00 00 00 00 00 00  40 00 00 00 00 00 00 00")),
            1);
  TestMsg b;
  EXPECT_EQ(b.unpack(hexBytes("02 10  40 00 00 00 00 00 00 00  FF 11")), 1) << "field 2 claims 99 digits";
}

TEST(Unpack, OnlyIntoAnEmptyMessage) {
  TestMsg m;
  m.set(39, "05");
  EXPECT_EQ(m.unpack(PURCHASE_RESPONSE_WIRE), 1);
  EXPECT_EQ(m.str(39), "05");
  TestMsg empty;
  EXPECT_EQ(empty.unpack(Bytes()), 1) << "no MTI, no bitmap";
}

/* ---- dump --------------------------------------------------------------- */

TEST(Dump, ExactListing) {
  TestMsg m;
  m.set(0, "0200");
  m.set(11, "000123");
  m.set(52, hexBytes("00 AB"));
  char text[512];
  EXPECT_EQ(TUL_ISO8583_MSG_Dump(&m.handler, &m.msg, text, sizeof text), text);
  EXPECT_STREQ(text,
               "\r\n--------------- ISO8583 MSG DUMP ---------------\r\n"
               "[000] [04] 30323030\r\n"
               "[011] [06] 303030313233\r\n"
               "[052] [02] 00AB\r\n"
               "------------------------------------------------\r\n\r\n");
  EXPECT_EQ(TUL_ISO8583_MSG_DumpSize(&m.handler, &m.msg), std::strlen(text) + 1);
}

TEST(Dump, LongValuesAndSmallBuffers) {
  TestMsg m;
  m.set(48, std::string(260, '\x01'));
  std::size_t need = TUL_ISO8583_MSG_DumpSize(&m.handler, &m.msg);
  std::string full(need, '\0');
  TUL_ISO8583_MSG_Dump(&m.handler, &m.msg, full.data(), need);
  EXPECT_NE(full.find("[048] [260] 010101"), std::string::npos);
  EXPECT_EQ(std::strlen(full.c_str()), need - 1);
  for (std::size_t size : {std::size_t{1}, std::size_t{10}, need - 1}) {
    std::string cut(size + 8, '#');
    TUL_ISO8583_MSG_Dump(&m.handler, &m.msg, cut.data(), size);
    EXPECT_EQ(std::strlen(cut.c_str()), size - 1);
    EXPECT_EQ(cut.compare(0, size - 1, full, 0, size - 1), 0);
    EXPECT_EQ(cut.substr(size), std::string(8, '#'));
  }
}

/* ---- where a failure stopped ------------------------------------------ */

namespace {

TUL_ISO8583_ERROR fresh() { return {12345, 12345}; }

// Field 37 of PURCHASE_RESPONSE_WIRE begins after MTI, bitmap, 3, 4, 11, 12, 13 and 24.
constexpr std::uint32_t RESPONSE_FIELD_37_AT = 2 + 8 + 3 + 6 + 3 + 3 + 2 + 2;

} // namespace

TEST(ErrorRecord, PackNamesTheFieldThatDidNotFit) {
  TestMsg m;
  fillPurchase(m);
  std::vector<unsigned char> out(4096);
  std::uint32_t len = 0;
  TUL_ISO8583_ERROR error = fresh();
  ASSERT_EQ(TUL_ISO8583_MSG_Pack(&m.handler, &m.msg, out.data(), 4096, &len, &error), 0);
  EXPECT_EQ(error.field, TUL_ISO8583_NO_FIELD);
  EXPECT_EQ(error.offset, len);

  // Too long for its row: the error names field 49 where it would have begun.
  m.set(49, "3640");
  error = fresh();
  ASSERT_EQ(TUL_ISO8583_MSG_Pack(&m.handler, &m.msg, out.data(), 4096, &len, &error), 1);
  EXPECT_EQ(error.field, 49u);
  EXPECT_EQ(error.offset, PURCHASE_WIRE.size() - 8 - 8 - 3); // 49, 52 and 64 are the last three
}

TEST(ErrorRecord, PackIntoTooSmallABufferStopsAtOrBeforeItsEnd) {
  TestMsg m;
  fillPurchase(m);
  for (std::uint32_t room = 0; room < PURCHASE_WIRE.size(); ++room) {
    Bytes out(room + 1);
    std::uint32_t len = 0;
    TUL_ISO8583_ERROR error = fresh();
    ASSERT_EQ(TUL_ISO8583_MSG_Pack(&m.handler, &m.msg, out.data(), room, &len, &error), 1);
    EXPECT_LT(error.field, TUL_ISO8583_FIELD_COUNT) << "room " << room;
    EXPECT_LE(error.offset, room) << "room " << room;
    EXPECT_TRUE(TUL_ISO8583_MSG_HaveField(error.field, &m.msg) || error.field == 1) << "room " << room;
  }
}

TEST(ErrorRecord, UnpackNamesTheFieldAndWhereItBegan) {
  const Bytes &wire = PURCHASE_RESPONSE_WIRE;
  {
    TestMsg m;
    TUL_ISO8583_ERROR error = fresh();
    ASSERT_EQ(TUL_ISO8583_MSG_Unpack(&m.handler, wire.data(), static_cast<std::uint32_t>(wire.size()), &m.msg, &error), 0);
    EXPECT_EQ(error.field, TUL_ISO8583_NO_FIELD);
    EXPECT_EQ(error.offset, wire.size());
  }
  {
    // Cut inside field 37: the failure is field 37, at its first byte.
    TestMsg m;
    TUL_ISO8583_ERROR error = fresh();
    EXPECT_EQ(TUL_ISO8583_MSG_Unpack(&m.handler, wire.data(), RESPONSE_FIELD_37_AT + 5, &m.msg, &error), 1);
    EXPECT_EQ(error.field, 37u);
    EXPECT_EQ(error.offset, RESPONSE_FIELD_37_AT);
  }
  {
    // Cut just before field 37: nothing of it arrived, so it is missing at the end.
    TestMsg m;
    TUL_ISO8583_ERROR error = fresh();
    EXPECT_EQ(TUL_ISO8583_MSG_Unpack(&m.handler, wire.data(), RESPONSE_FIELD_37_AT, &m.msg, &error), 1);
    EXPECT_EQ(error.field, 37u);
    EXPECT_EQ(error.offset, RESPONSE_FIELD_37_AT);
  }
  {
    // A byte past the last field belongs to no field.
    Bytes longer = wire;
    longer.push_back(0);
    TestMsg m;
    TUL_ISO8583_ERROR error = fresh();
    EXPECT_EQ(m.unpack(longer), 1);
    EXPECT_EQ(TUL_ISO8583_MSG_Unpack(&m.handler, longer.data(), static_cast<std::uint32_t>(longer.size()),
                                     &m.msg, &error),
              1); // not empty any more: no field to blame either
    EXPECT_EQ(error.field, TUL_ISO8583_NO_FIELD);
    TestMsg n;
    error = fresh();
    EXPECT_EQ(TUL_ISO8583_MSG_Unpack(&n.handler, longer.data(), static_cast<std::uint32_t>(longer.size()), &n.msg,
                                     &error),
              1);
    EXPECT_EQ(error.field, TUL_ISO8583_NO_FIELD);
    EXPECT_EQ(error.offset, wire.size());
  }
  {
    // A short MTI fails at field 0.
    TestMsg m;
    TUL_ISO8583_ERROR error = fresh();
    EXPECT_EQ(TUL_ISO8583_MSG_Unpack(&m.handler, wire.data(), 1, &m.msg, &error), 1);
    EXPECT_EQ(error.field, 0u);
    EXPECT_EQ(error.offset, 0u);
  }
}

TEST(ErrorRecord, EveryTruncationIsPlacedWithinTheInput) {
  const Bytes &wire = PURCHASE_WIRE;
  for (std::uint32_t cut = 0; cut < wire.size(); ++cut) {
    TestMsg m;
    TUL_ISO8583_ERROR error = fresh();
    ASSERT_EQ(TUL_ISO8583_MSG_Unpack(&m.handler, wire.data(), cut, &m.msg, &error), 1);
    EXPECT_LE(error.offset, cut) << "cut " << cut;
    EXPECT_LT(error.field, TUL_ISO8583_FIELD_COUNT) << "cut " << cut;
  }
}
