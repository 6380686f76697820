/*
 * TextEntry.cpp - free text typed on the digit keys, several letters a key
 * (multi-tap), as for WiFi network names and pass phrases.
 */
#include <cstring>

#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "ui/Display.h"
#include "ui/Helper.h"

namespace {
constexpr int TEXT_SLOT = 1;
constexpr unsigned TEXT_POLL_MS = 200;
constexpr int TEXT_FLAGS = 0x20C1; // centred, drawn as typed: no digit conversion, no run reversal
constexpr std::size_t TEXT_MAX = 128;

// The characters of each digit key, in the order presses cycle through them.
constexpr const char *KEY_LETTERS[10] = {
    "/0! @#$%^&*()\"',|?><", "qz.1", "abc2", "def3", "ghi4", "jkl5", "mno6", "prs7", "tuv8", "wxy9",
};

char applyCase(char c, bool upper) { return (upper && c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void drawText(int row, const char *text, std::size_t len) {
  mid_lcdClrLine(row - 1, row);
  lcdPrint(1, row, TEXT_FLAGS, FONT_FILE, 3, text, len);
}
} // namespace

int kbGetText(char *buffer, std::size_t bufferSize, int maxLen, int row, int upperCase) {
  if (buffer == nullptr || bufferSize == 0) return -1;
  if (maxLen > static_cast<int>(bufferSize) - 1) maxLen = static_cast<int>(bufferSize) - 1;
  if (maxLen > static_cast<int>(TEXT_MAX)) maxLen = static_cast<int>(TEXT_MAX);
  std::size_t len = strnlen(buffer, bufferSize);
  if (len == bufferSize || static_cast<int>(len) > maxLen) return -1;
  bool upper = upperCase != 0;
  int lastKey = -1; // the digit key of the last character, while it may still cycle
  int64_t lastPressMs = 0;
  std::size_t cycle = 0;
  mid_kbFlush();
  mid_sysTimerSet(TEXT_SLOT, TEXT_TIMEOUT);
  drawText(row, buffer, len);
  for (;;) {
    const int key = mid_kbGetKey();
    if (key == KEY_NONE) {
      if (mid_sysTimerCheck(TEXT_SLOT) == 0) return -1;
      mid_sleepMs(TEXT_POLL_MS);
      continue;
    }
    mid_sysTimerSet(TEXT_SLOT, TEXT_TIMEOUT);
    const int64_t now = sys_clock();
    if (key >= '0' && key <= '9') {
      const int digit = key - '0';
      const char *letters = KEY_LETTERS[digit];
      // Only the key that typed the last character may cycle it.
      if (digit == lastKey && len > 0 && now - lastPressMs < MULTI_TAP_WINDOW_MS) {
        cycle = (cycle + 1) % std::strlen(letters);
        buffer[len - 1] = applyCase(letters[cycle], upper);
      } else if (static_cast<int>(len) < maxLen) {
        cycle = 0;
        buffer[len++] = applyCase(letters[0], upper);
        buffer[len] = '\0';
      } else {
        continue;
      }
      lastKey = digit;
      lastPressMs = now;
    } else if (key == KEY_F7) {
      upper = !upper;
      continue;
    } else if (key == KEY_CLEAR) {
      if (len > 0) buffer[--len] = '\0';
      lastKey = -1;
    } else if (key == KEY_ENTER) {
      return static_cast<int>(len);
    } else if (key == KEY_CANCEL) {
      return 0;
    } else {
      continue;
    }
    drawText(row, buffer, len);
  }
}

int getWiFiPass(char *buffer, std::size_t bufferSize) {
  if (buffer != nullptr && bufferSize > 0) buffer[0] = '\0';
  return 0;
}
