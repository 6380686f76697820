// gen_corpus_iso8583 DIR - writes the seed frames for fuzz_iso8583: requests
// and responses of every exchange the terminal makes, built with the codec.
// Each file is one packed message (no length word or TPDU).
#include <cstdio>
#include <string>
#include <vector>

#include "iso8583/tul_iso8583.h"

namespace {

struct Field {
  unsigned number;
  std::string value;
};

std::string ltv(int tag, const std::string &value) {
  auto bcd = [](int v) { return static_cast<char>(((v / 10) << 4) | (v % 10)); };
  return std::string{bcd(static_cast<int>(value.size()) + 1), bcd(tag)} + value;
}

const std::string REQUEST_TAGS =
    ltv(1, "0123456789") + ltv(2, "14012406005") + ltv(3, "1") + ltv(15, "7") + ltv(22, "1");
const std::string TRACK2("\x60\x37\x99\x12\x34\x56\x78\x90\xD2\x51\x21\x01\x12\x34\x56\x78\x9F", 17);
const std::string PIN_BLOCK("\x8A\x1F\x02\x3C\x44\x90\xEE\x17", 8);
const std::string MAC = "5E1A09C3";

int write(const char *dir, const char *name, const std::vector<Field> &fields) {
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  for (const Field &f : fields)
    TUL_ISO8583_MSG_SetField_Bin(f.number, f.value.data(), static_cast<std::uint32_t>(f.value.size()), &msg);
  unsigned char out[4096];
  std::uint32_t len = 0;
  int status = TUL_ISO8583_MSG_Pack(&handler, &msg, out, sizeof out, &len);
  TUL_ISO8583_MSG_Free(&msg);
  if (status != 0) {
    std::fprintf(stderr, "%s: pack failed (%d)\n", name, status);
    return 1;
  }
  std::string path = std::string(dir) + "/" + name;
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 1;
  bool ok = std::fwrite(out, 1, len, file) == len;
  ok = std::fclose(file) == 0 && ok;
  return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_corpus_iso8583 DIR\n");
    return 2;
  }
  const char *dir = argv[1];
  int failures = 0;
  const std::vector<Field> common = {{12, "101500"}, {13, "0615"}, {24, "006"}};
  auto with = [&](std::vector<Field> fields) {
    fields.insert(fields.end(), common.begin(), common.end());
    return fields;
  };

  failures += write(dir, "key_exchange_request", with({{0, "0800"}, {1, "2038010000010000"}, {3, "920000"},
                                                      {11, "000001"}, {48, REQUEST_TAGS}, {64, MAC}}));
  failures += write(dir, "key_exchange_response",
                    with({{0, "0810"}, {3, "920000"}, {11, "000001"}, {37, "000000123456"}, {39, "00"},
                          {41, "12345678"}, {42, "000000001234567"},
                          {48, ltv(50, "1405061015001200")},
                          {62, "0123456789ABCDEFFEDCBA98765432100011223344556677"}, {64, MAC}}));
  failures += write(dir, "merchant_info_request",
                    with({{0, "0100"}, {3, "930000"}, {11, "000002"}, {41, "12345678"}, {48, REQUEST_TAGS},
                          {64, MAC}}));
  failures += write(dir, "merchant_info_response",
                    with({{0, "0110"}, {3, "930000"}, {11, "000002"}, {39, "00"}, {42, "000000001234567"},
                          {48, ltv(31, "SHOP\\") + ltv(34, "02188776655") + ltv(49, "12") + ltv(98, "TAX0123456789ABC")},
                          {64, MAC}}));
  failures += write(dir, "balance_request",
                    with({{0, "0100"}, {1, "2038018020C11001"}, {2, "6037991234567890"}, {3, "310000"},
                          {11, "000003"}, {22, "021"}, {25, "00"}, {35, TRACK2}, {41, "12345678"},
                          {42, "1234567        "}, {48, REQUEST_TAGS + ltv(95, "356938035643809")},
                          {52, PIN_BLOCK}, {64, MAC}}));
  failures += write(dir, "balance_response",
                    with({{0, "0110"}, {3, "310000"}, {4, "000012345000"}, {11, "000003"}, {37, "612345678901"},
                          {38, "654321"}, {39, "00"}, {41, "12345678"},
                          {54, "1001364C0000123450001002364C000012345000"}, {64, MAC}}));
  failures += write(dir, "purchase_request",
                    with({{0, "0200"}, {2, "6037991234567890123F"}, {3, "000000"}, {4, "000000150000"},
                          {11, "000004"}, {22, "021"}, {25, "00"}, {35, TRACK2}, {41, "12345678"},
                          {42, "1234567        "}, {48, REQUEST_TAGS}, {49, "364"}, {52, PIN_BLOCK}, {64, MAC}}));
  failures += write(dir, "purchase_response",
                    with({{0, "0210"}, {3, "000000"}, {4, "000000150000"}, {11, "000004"}, {37, "612345678902"},
                          {38, "654322"}, {39, "00"}, {41, "12345678"}, {42, "1234567        "}, {64, MAC}}));
  failures += write(dir, "purchase_declined",
                    with({{0, "0210"}, {3, "000000"}, {11, "000004"}, {39, "51"}, {41, "12345678"}, {64, MAC}}));
  failures += write(dir, "bill_inquiry_request",
                    with({{0, "0100"}, {3, "190000"}, {11, "000005"}, {22, "021"}, {25, "00"}, {41, "12345678"},
                          {42, "1234567        "},
                          {48, REQUEST_TAGS + ltv(6, "1234567890123") + ltv(7, "12000160")}, {64, MAC}}));
  failures += write(dir, "charge_response",
                    with({{0, "0210"}, {3, "180000"}, {4, "000000020000"}, {11, "000006"}, {37, "612345678903"},
                          {39, "00"}, {48, ltv(40, "987654321") + ltv(41, "00112233445566778899AABBCCDDEEFF")},
                          {64, MAC}}));
  failures += write(dir, "advice_request",
                    with({{0, "0220"}, {2, "6037991234567890"}, {3, "000000"}, {4, "000000150000"}, {11, "000007"},
                          {22, "021"}, {25, "00"}, {37, "612345678902"}, {41, "12345678"},
                          {42, "1234567        "}, {49, "364"}, {64, MAC}}));
  failures += write(dir, "reversal_request",
                    with({{0, "0420"}, {2, "6037991234567890"}, {3, "000000"}, {4, "000000150000"}, {11, "000008"},
                          {22, "021"}, {25, "00"}, {41, "12345678"}, {42, "1234567        "}, {49, "364"},
                          {90, "020000012306151015000058167205200000603799"}, {128, MAC}}));
  failures += write(dir, "reversal_response",
                    with({{0, "0430"}, {3, "000000"}, {11, "000008"}, {39, "00"}, {41, "12345678"}, {128, MAC}}));
  return failures == 0 ? 0 : 1;
}
