// gen_corpus_switchsim DIR - writes the seed requests for fuzz_switchsim_request:
// one of each kind the terminal sends, from the keyed terminal 10000001. Each
// file is a flag byte (1: MAC as the terminal, 2: MAC as a key exchange) and
// the packed message.
#include <cstdio>
#include <string>

#include "switch_client.h"

namespace {

using switchsim_test::Fields;

int write(const char *dir, const char *name, int flag, const std::vector<std::uint8_t> &frame) {
  if (frame.size() < 7) return 1;
  std::string path = std::string(dir) + "/" + name;
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 1;
  bool ok = std::fputc(flag, f) != EOF && std::fwrite(frame.data() + 7, 1, frame.size() - 7, f) == frame.size() - 7;
  return std::fclose(f) == 0 && ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_corpus_switchsim DIR\n");
    return 2;
  }
  const char *dir = argv[1];
  switchsim::Options o;
  switchsim::fromHex(switchsim_test::DEV_MASTER_KEY, o.masterKey, switchsim::KEY_LEN);
  o.cards = switchsim::defaultCards();
  switchsim::Switch sw(o);
  switchsim_test::Client term(&sw);
  if (!term.keyExchange()) return 1;
  const std::uint8_t zero[16] = {0};
  auto pack = [&](Fields f) { return switchsim_test::packFrame(f, zero); };
  const std::string pan = "6037991234567890";
  int failures = 0;
  failures += write(dir, "key_exchange", 2,
                    switchsim_test::packFrame({{0, "0800"}, {3, "920000"}, {11, "000001"}, {24, "006"},
                                               {48, switchsim_test::bcdTag(1, "SN00112233")}},
                                              zero, 4));
  failures += write(dir, "merchant_info", 1,
                    pack({{0, "0100"}, {3, "930000"}, {11, "000002"}, {41, term.terminalId}}));
  failures += write(dir, "balance", 1, pack(term.cardRequest("0100", "310000", pan, "1234")));
  Fields bill = {{0, "0100"}, {3, "190000"}, {11, "000004"}, {41, term.terminalId},
                 {48, switchsim_test::bcdTag(6, "1234567890123") + switchsim_test::bcdTag(7, "1500012345")}};
  failures += write(dir, "bill_inquiry", 1, pack(bill));
  failures += write(dir, "purchase", 1, pack(term.cardRequest("0200", "000000", pan, "1234", 150000)));
  Fields voucher = term.cardRequest("0200", "180000", pan, "1234", 20000);
  voucher[48] = switchsim_test::bcdTag(14, "11");
  failures += write(dir, "voucher", 1, pack(voucher));
  failures += write(dir, "purchase_unknown_card", 1,
                    pack(term.cardRequest("0200", "000000", "6037990000000001", "1234", 1000)));
  failures += write(dir, "advice", 1,
                    pack({{0, "0220"}, {2, pan}, {3, "000000"}, {4, "000000150000"}, {11, "000009"},
                          {37, "610000000001"}, {41, term.terminalId}}));
  failures += write(dir, "reversal", 1,
                    pack({{0, "0420"}, {2, pan}, {3, "000000"}, {4, "000000150000"}, {11, "000010"},
                          {41, term.terminalId}, {90, "020000000506151015000058167205200000603799"},
                          {128, std::string(8, '\0')}}));
  failures += write(dir, "unmaced_purchase", 0, pack(term.cardRequest("0200", "000000", pan, "1234", 1)));
  return failures == 0 ? 0 : 1;
}
