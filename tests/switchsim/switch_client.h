/*
 * switch_client.h - a terminal double for driving a Switch in-process: it packs
 * requests with the codec, MACs them with keys it learnt from its own key
 * exchange, and decodes the answer frames. Being on the terminal's side it may
 * decipher what the switch sends (working keys, a voucher's charge PIN), which
 * is how tests see secrets the switch never writes down.
 */
#ifndef TESTS_SWITCHSIM_SWITCH_CLIENT_H
#define TESTS_SWITCHSIM_SWITCH_CLIENT_H

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crypto.h"
#include "iso8583/tul_iso8583.h"
#include "switch.h"

namespace switchsim_test {

using Fields = std::map<unsigned, std::string>;

constexpr const char *DEV_MASTER_KEY = "0123456789ABCDEFFEDCBA9876543210";

inline std::string bcdTag(int tag, const std::string &value) {
  auto bcd = [](int v) { return static_cast<char>(((v / 10) << 4) | (v % 10)); };
  return std::string{bcd(static_cast<int>(value.size()) + 1), bcd(tag)} + value;
}

// Packs fields into a whole frame (length word, TPDU, message). With a key the
// MAC field (64, or 128 when present) gets the MAC the terminal would send.
inline std::vector<std::uint8_t> packFrame(Fields fields, const std::uint8_t *macKey, std::size_t macExclude = 8) {
  unsigned macField = fields.count(128) ? 128 : 64;
  fields[1] = std::string(8, '\0');
  if (!fields.count(macField)) fields[macField] = std::string(8, '\0');
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  std::uint8_t packed[2048];
  std::uint32_t len = 0;
  for (int pass = 0; pass < 2; ++pass) {
    TUL_ISO8583_MSG msg;
    TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
    for (const auto &[f, v] : fields)
      TUL_ISO8583_MSG_SetField_Bin(f, v.data(), static_cast<std::uint32_t>(v.size()), &msg);
    len = 0;
    int status = TUL_ISO8583_MSG_Pack(&handler, &msg, packed, sizeof packed, &len);
    TUL_ISO8583_MSG_Free(&msg);
    if (status != 0) return {};
    if (macKey == nullptr) break;
    if (pass == 0) fields[macField] = switchsim::macText(macKey, packed, len, macExclude);
  }
  std::size_t n = len + 5;
  std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n), 0x60, 0x00,
                                     0x06, 0x00, 0x80};
  frame.insert(frame.end(), packed, packed + len);
  return frame;
}

// The fields of an answer frame; empty when it does not decode.
inline Fields unpackFrame(const std::vector<std::uint8_t> &frame) {
  Fields out;
  if (frame.size() < 7) return out;
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  if (TUL_ISO8583_MSG_Unpack(&handler, frame.data() + 7, static_cast<std::uint32_t>(frame.size() - 7), &msg) == 0) {
    for (unsigned f = 0; f < TUL_ISO8583_FIELD_COUNT; ++f) {
      unsigned char *data = nullptr;
      std::uint32_t len = 0;
      if (f != 1 && TUL_ISO8583_MSG_GetField_Bin(f, &msg, &data, &len) == 0)
        out[f] = std::string(reinterpret_cast<char *>(data), len);
    }
  }
  TUL_ISO8583_MSG_Free(&msg);
  return out;
}

// Field-48 tags of a value.
inline std::map<int, std::string> tagsOf(const std::string &f48) {
  std::map<int, std::string> tags;
  auto bcd = [](unsigned char b) { return (b >> 4) * 10 + (b & 0x0F); };
  for (std::size_t pos = 0; pos + 2 <= f48.size();) {
    std::size_t l = static_cast<std::size_t>(bcd(static_cast<unsigned char>(f48[pos])));
    if (l == 0 || l - 1 > f48.size() - pos - 2) break;
    tags[bcd(static_cast<unsigned char>(f48[pos + 1]))] = f48.substr(pos + 2, l - 1);
    pos += 2 + l - 1;
  }
  return tags;
}

// One terminal: a serial number, and after keyExchange() its identifier and keys.
struct Client {
  switchsim::Switch *sw;
  std::string serial = "SN00112233";
  std::string terminalId;
  std::uint8_t master[switchsim::KEY_LEN]{}, pinKey[switchsim::KEY_LEN]{}, macKey[switchsim::KEY_LEN]{},
      dataKey[switchsim::KEY_LEN]{};
  long stan = 0;
  std::string peer = "127.0.0.1:5000";

  explicit Client(switchsim::Switch *s) : sw(s) { switchsim::fromHex(DEV_MASTER_KEY, master, switchsim::KEY_LEN); }

  std::string nextStan() {
    char buf[24];  // room for any long, so the compiler sees no truncation
    std::snprintf(buf, sizeof buf, "%06ld", ++stan);
    return buf;
  }

  switchsim::Reply send(const std::vector<std::uint8_t> &frame) { return sw->handle(frame, peer); }

  // The key exchange; false when the switch did not approve it.
  bool keyExchange() {
    std::uint8_t zeros[switchsim::KEY_LEN] = {0}, provisional[switchsim::KEY_LEN];
    switchsim::tdesEcb(master, zeros, provisional, switchsim::KEY_LEN, false);
    Fields rq = {{0, "0800"}, {3, "920000"}, {11, nextStan()}, {24, "006"}, {48, bcdTag(1, serial)}};
    Fields an = unpackFrame(send(packFrame(rq, provisional, 4)).frame);
    if (an[39] != "00" || an[62].size() != 3 * switchsim::KEY_LEN) return false;
    std::uint8_t clear[3 * switchsim::KEY_LEN];
    switchsim::tdesEcb(master, reinterpret_cast<const std::uint8_t *>(an[62].data()), clear, sizeof clear, false);
    std::memcpy(pinKey, clear, switchsim::KEY_LEN);
    std::memcpy(macKey, clear + switchsim::KEY_LEN, switchsim::KEY_LEN);
    std::memcpy(dataKey, clear + 2 * switchsim::KEY_LEN, switchsim::KEY_LEN);
    terminalId = an[41];
    return true;
  }

  // A card request's fields: card number, PIN block and the common ones.
  Fields cardRequest(const std::string &mti, const std::string &pc, const std::string &pan, const std::string &pin,
                     long long amount = -1) {
    Fields f = {{0, mti}, {3, pc}, {11, nextStan()}, {22, "021"}, {24, "006"}, {25, "00"}, {41, terminalId},
                {42, "123456789012   "}, {2, pan}};
    std::uint8_t block[8];
    if (switchsim::pinBlockFor(pinKey, pin, pan, block)) f[52] = std::string(reinterpret_cast<char *>(block), 8);
    if (amount >= 0) {
      char a[24];
      std::snprintf(a, sizeof a, "%012lld", amount);
      f[4] = a;
    }
    return f;
  }

  // Sends fields MACed with this terminal's key and decodes the answer.
  Fields exchange(const Fields &fields) { return unpackFrame(send(packFrame(fields, macKey)).frame); }
};

} // namespace switchsim_test

#endif
