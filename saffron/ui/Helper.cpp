// Helper.cpp - masked password entry.
#include "ui/Helper.h"

#include <cstring>

#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "libapi.h"
#include "ui/Display.h"

namespace {
constexpr int INPUT_SLOT = 3;
constexpr int EDIT_FOOTER_Y = 200; // the footer image sits under the last message row
constexpr int PASS_MAX = 32;

void refusedKeyTone() { DLL_SysBeef(6, 300); }
void tooShortTone() { DLL_SysBeef(4, 300); }

void showMasked(int row, int count) {
  char stars[PASS_MAX + 1] = {};
  std::memset(stars, '*', static_cast<std::size_t>(count));
  showInputData(row, stars, static_cast<std::size_t>(count));
}
} // namespace

int getInputDataPass(int, int row, int minLen, int maxLen, char *buffer, std::size_t bufferSize, int timeout) {
  if (buffer == nullptr || bufferSize == 0) return INPUT_CANCELLED;
  if (maxLen > PASS_MAX) maxLen = PASS_MAX;
  if (maxLen > static_cast<int>(bufferSize) - 1) maxLen = static_cast<int>(bufferSize) - 1;
  int count = static_cast<int>(strnlen(buffer, bufferSize - 1));
  if (count > maxLen) count = maxLen;
  buffer[count] = '\0';
  mid_lcdDrawPicture2(0, EDIT_FOOTER_Y, EDIT_FOOTER_IMAGE);
  showMasked(row, count);
  mid_sysTimerSet(INPUT_SLOT, timeout);
  for (;;) {
    const int key = mid_kbGetKey();
    if (key == KEY_NONE) {
      if (mid_sysTimerCheck(INPUT_SLOT) == 0) return INPUT_TIMED_OUT;
      mid_sleepMs(KEY_POLL_MS);
      continue;
    }
    mid_sysTimerSet(INPUT_SLOT, timeout);
    if (key >= '0' && key <= '9') {
      if (count < maxLen) {
        buffer[count++] = static_cast<char>(key);
        buffer[count] = '\0';
      } else {
        refusedKeyTone();
      }
    } else if (key == KEY_CLEAR) {
      if (count > 0) buffer[--count] = '\0';
    } else if (key == KEY_ENTER) {
      if (count >= minLen) return INPUT_ACCEPTED;
      tooShortTone();
    } else if (key == KEY_CANCEL) {
      return INPUT_CANCELLED;
    } else {
      refusedKeyTone();
    }
    showMasked(row, count);
  }
}

int mid_kbGetString(int minLen, int maxLen, char *buffer, std::size_t bufferSize, int timeout) {
  return getInputDataPass(0, 4, minLen, maxLen, buffer, bufferSize, timeout);
}

int getPass(int, int, int minLen, int maxLen, int timeout, char *buffer, std::size_t bufferSize) {
  return mid_kbGetString(minLen, maxLen, buffer, bufferSize, timeout);
}
