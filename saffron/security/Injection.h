/*
 * Injection.h - keys, PIN block and MAC, all made inside the PIN pad.
 *
 * saffron never holds a PIN or a working key in clear: the working keys arrive
 * enciphered under the terminal master key and go to the PIN pad as received;
 * the PIN pad returns the enciphered PIN block and the MAC. This module also
 * packs track-2 text into the bytes of field 35.
 *
 * Key writers return the PIN pad's status (0 success).
 */
#ifndef SAFFRON_SECURITY_INJECTION_H
#define SAFFRON_SECURITY_INJECTION_H

#include <cstddef>

constexpr int MASTER_KEY_LEN = 16;
constexpr int MAC_TEXT_LEN = 8;        // hex characters of the MAC field
constexpr int TRACK2_WORK_SIZE = 128;  // working buffer of packetConvertTrack2

// The terminal master key (16 bytes, from the build's configuration) into the PIN pad.
// Never logged.
int loadTerminalMasterKey();
// Master key into the PIN pad (len <= 24). -1 when len is out of range.
int writeMasterKey(int len, const unsigned char *key);
// Working keys, enciphered under the master key, as received from the switch.
int writePinKey(int len, const unsigned char *key);
int writeMacKey(int len, const unsigned char *key);
int writeAccKey(int len, const unsigned char *key);

constexpr std::size_t PIN_BLOCK_SIZE = 8;
// PIN entry on the PIN pad for a card number (NUL-terminated): the pad writes
// the enciphered 8-byte PIN block into pinBlock, which is cleared first (all
// pinBlockSize bytes). 0 = PIN block made, -1 = cancelled / timed out or
// pinBlockSize below PIN_BLOCK_SIZE, other values = PIN pad failure.
int enterPin(const char *pan, unsigned char *pinBlock, std::size_t pinBlockSize);

// MAC over data[0..len): the bytes from len up to the next multiple of 8 are set
// to zero in data (so dataSize must reach that multiple), then the PIN pad MACs
// them. getMac writes 8 bytes into mac; getMacAscii writes the first 4 as 8
// upper-case hex characters and a NUL into out (outSize >= 9). 0, or -1 when a
// buffer is too small.
int getMac(unsigned char *data, int len, std::size_t dataSize, unsigned char *mac);
int getMacAscii(unsigned char *data, int len, std::size_t dataSize, char *out, std::size_t outSize);

// Packs track-2 text for field 35: the first '=' becomes 'D', an odd count gets a
// trailing '0', then two hex characters a byte, a zero byte after them.
// In: *length = character count of track2. Out: *length = the (even) count, so
// *length / 2 bytes are written (+ the zero byte; outSize must hold them).
// 0, or -1 for a count out of range, a non-hex character or a small buffer.
int packetConvertTrack2(const char *track2, unsigned char *out, std::size_t outSize, int *length);

#endif
