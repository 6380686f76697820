// Injection.cpp - key loading, PIN entry, MAC and track-2 packing. Everything
// secret stays in the PIN pad; this side only moves enciphered bytes.
//
// Sections: keys, PIN entry, MAC, track 2.
#include "security/Injection.h"

#include <cstring>

#include "core/securePed.h"
#include "libapi.h"
#include "util/Strings.h"

namespace {

constexpr int PED_KEY_INDEX = 0;
constexpr int MASTER_KEY_BUFFER = 24;  // the PIN pad takes the master key in a 24-byte buffer
constexpr int MASTER_CHECK_LEN = 16;   // a block of zero bytes goes with it
constexpr int PIN_PROMPT_X = 110;
constexpr int PIN_PROMPT_Y = 150;
constexpr int PIN_MIN_DIGITS = 4;
constexpr int PIN_MAX_DIGITS = 4;
constexpr int PIN_PAN_DIGITS = 16;
constexpr int PIN_PROMPT_FLAGS = 64;
constexpr int PIN_TIMEOUT_SEC = 45;
constexpr int MAC_MODE = 2;
constexpr int MAC_BLOCK = 8;
constexpr int MAC_TEXT_BYTES = 4;      // the MAC field carries the first 4 MAC bytes as hex

// Clears key material in a way the compiler does not drop.
void wipe(void *p, std::size_t n) {
  volatile unsigned char *v = static_cast<volatile unsigned char *>(p);
  while (n-- > 0) *v++ = 0;
}

}  // namespace

// ---- keys ---------------------------------------------------------------------------

int loadTerminalMasterKey() {
  static const char hex[] = TERMINAL_MASTER_KEY_HEX;
  static_assert(sizeof hex == 2 * MASTER_KEY_LEN + 1, "TERMINAL_MASTER_KEY must be 32 hex digits");
  unsigned char key[MASTER_KEY_LEN];
  // Checks every digit before writing a byte.
  if (hex2data(key, sizeof key, hex, MASTER_KEY_LEN) != 0) return -1;
  const int result = writeMasterKey(MASTER_KEY_LEN, key);
  wipe(key, sizeof key);
  return result;
}

int writeMasterKey(int len, const unsigned char *key) {
  if (key == nullptr || len <= 0 || len > MASTER_KEY_BUFFER) return -1;
  unsigned char buffer[MASTER_KEY_BUFFER] = {};
  const unsigned char check[MASTER_CHECK_LEN] = {};
  std::memcpy(buffer, key, static_cast<std::size_t>(len));
  const int result = DLL_PciWriteMKey(PED_KEY_INDEX, buffer, len, check, MASTER_CHECK_LEN, 0);
  wipe(buffer, sizeof buffer);
  return result;
}

int writePinKey(int len, const unsigned char *key) { return mid_ped_write_pin_key(len, key); }
int writeMacKey(int len, const unsigned char *key) { return mid_ped_write_mac_key(len, key); }
int writeAccKey(int len, const unsigned char *key) { return mid_ped_write_Acc_key(len, key); }

// ---- PIN entry ------------------------------------------------------------------------

int enterPin(const char *pan, unsigned char *pinBlock, std::size_t pinBlockSize) {
  if (pan == nullptr || pinBlock == nullptr || pinBlockSize < PIN_BLOCK_SIZE) return -1;
  DLL_PciSetPinXY(PIN_PROMPT_X, PIN_PROMPT_Y);
  std::memset(pinBlock, 0, pinBlockSize);
  return DLL_PciGetPin(PED_KEY_INDEX, PIN_MIN_DIGITS, PIN_MAX_DIGITS, PIN_PAN_DIGITS, pan, PIN_PROMPT_FLAGS,
                       pinBlock, PIN_TIMEOUT_SEC);
}

// ---- MAC ---------------------------------------------------------------------------------

int getMac(unsigned char *data, int len, std::size_t dataSize, unsigned char *mac) {
  if (data == nullptr || mac == nullptr || len <= 0) return -1;
  const std::size_t n = (static_cast<std::size_t>(len) + MAC_BLOCK - 1) / MAC_BLOCK * MAC_BLOCK;
  if (n > dataSize) return -1;
  std::memset(data + len, 0, n - static_cast<std::size_t>(len));
  std::memset(mac, 0, MAC_BLOCK);
  // A PIN pad failure leaves the MAC zero and is reported, so a message is not
  // sent with a MAC that was never made.
  return DLL_PciGetMac(PED_KEY_INDEX, static_cast<int>(n), data, mac, MAC_MODE);
}

int getMacAscii(unsigned char *data, int len, std::size_t dataSize, char *out, std::size_t outSize) {
  if (out == nullptr || outSize < MAC_TEXT_LEN + 1) return -1;
  out[0] = '\0';
  unsigned char mac[MAC_BLOCK] = {};
  const int status = getMac(data, len, dataSize, mac);
  bytesToHexString(mac, MAC_TEXT_BYTES, out, outSize);
  return status;
}

// ---- track 2 --------------------------------------------------------------------------------

int packetConvertTrack2(const char *track2, unsigned char *out, std::size_t outSize, int *length) {
  if (track2 == nullptr || out == nullptr || length == nullptr || *length < 0) return -1;
  int count = static_cast<int>(strnlen(track2, TRACK2_WORK_SIZE));
  if (*length < count) count = *length;
  // Room for a padding '0' and the terminator in the working buffer.
  if (count > TRACK2_WORK_SIZE - 2) return -1;

  char work[TRACK2_WORK_SIZE] = {};
  std::memcpy(work, track2, static_cast<std::size_t>(count));
  char head[TRACK2_WORK_SIZE];
  const int separator = strSplit(work, '=', head, sizeof head);
  if (separator < count) work[separator] = 'D';
  if (count % 2 != 0) work[count++] = '0';

  const std::size_t bytes = static_cast<std::size_t>(count) / 2;
  if (bytes + 1 > outSize) return -1;
  // work holds exactly count digits; an empty track packs to no bytes.
  if (bytes > 0 && hex2data(out, outSize, work, static_cast<int>(bytes)) != 0) return -1;
  out[bytes] = 0;
  *length = count;
  return 0;
}
