// fuzz_switchsim_request - request messages from a terminal through the whole
// request path: decoding, the dump, the MAC check, routing, every handler and
// the answer. The first byte chooses whether the harness MACs the message as
// the keyed terminal or as a key exchange would, so the fuzzer gets past the
// MAC check into the handlers; the rest is the message after the TPDU.
// Whatever comes in, an answer the switch sends must decode.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "switch_client.h"

namespace {

struct Harness {
  std::FILE *dump = std::fopen("/dev/null", "w");
  std::unique_ptr<switchsim::Switch> sw;
  std::unique_ptr<switchsim_test::Client> term;
  std::uint8_t provisional[switchsim::KEY_LEN]{};
  long runs = 0;

  // A fresh switch now and then, so its books stay small over millions of runs.
  void renew() {
    switchsim::Options o;
    switchsim::fromHex(switchsim_test::DEV_MASTER_KEY, o.masterKey, switchsim::KEY_LEN);
    o.cards = switchsim::defaultCards();
    o.dump = dump;
    sw = std::make_unique<switchsim::Switch>(o);
    term = std::make_unique<switchsim_test::Client>(sw.get());
    if (!term->keyExchange()) std::abort();
    std::uint8_t zeros[switchsim::KEY_LEN] = {0};
    switchsim::tdesEcb(o.masterKey, zeros, provisional, switchsim::KEY_LEN, false);
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static Harness h;
  if (size < 1 || size > 4000) return 0;
  if (h.runs++ % 20000 == 0) h.renew();
  const std::uint8_t flags = data[0];
  std::vector<std::uint8_t> msg(data + 1, data + size);
  if ((flags & 3) != 0 && msg.size() >= 8) {
    const bool keyExchange = (flags & 2) != 0;
    std::string mac = switchsim::macText(keyExchange ? h.provisional : h.term->macKey, msg.data(), msg.size(),
                                         keyExchange ? 4 : 8);
    if (mac.size() == 8) std::copy(mac.begin(), mac.end(), msg.end() - 8);
  }
  std::size_t n = msg.size() + 5;
  std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n), 0x60, 0x00,
                                     0x06, 0x00, 0x80};
  frame.insert(frame.end(), msg.begin(), msg.end());
  switchsim::Reply reply = h.sw->handle(frame, "127.0.0.1:1");
  if (!reply.frame.empty()) {
    std::size_t said = static_cast<std::size_t>(reply.frame[0]) << 8 | reply.frame[1];
    if (said + 2 != reply.frame.size()) std::abort();
    switchsim_test::Fields answer = switchsim_test::unpackFrame(reply.frame);
    if (answer[39].size() != 2) std::abort(); // every answer says how it went
  }
  return 0;
}
