/*
 * Helper.cpp - the numeric editors (amounts, plain numbers, mobile numbers,
 * digit strings), masked password entry and the confirmation beeps.
 */
#include "ui/Helper.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "libapi.h"
#include "ui/Display.h"

namespace {
constexpr int EDIT_FOOTER_Y = 200; // the footer image sits under the last message row
constexpr int PASS_MAX = 32;
constexpr int VALUE_DIGITS_MAX = 18;  // a 64-bit value holds them with room to spare
constexpr std::size_t VALUE_TEXT_SIZE = 48; // the longest rendered value and its NUL
constexpr int NUMBER_TEXT_MAX = 64;
constexpr const char *MOBILE_PREFIX = "09";
constexpr const char *MOBILE_PREFIX_LONG = "090";
constexpr int MOBILE_LONG_DIGITS = 8; // typed after "090" for an 11-digit number

void refusedKeyTone() { DLL_SysBeef(6, 300); }
void tooShortTone() { DLL_SysBeef(4, 300); }

// The waiting key, or KEY_NONE once the editor's slot has run out; polls
// the keypad meanwhile.
int nextKeyOrTimeout(int slot, bool *timedOut) {
  for (;;) {
    const int key = mid_kbGetKey();
    if (key != KEY_NONE) return key;
    if (mid_sysTimerCheck(slot) == 0) {
      *timedOut = true;
      return KEY_NONE;
    }
    mid_sleepMs(KEY_POLL_MS);
  }
}

void showMasked(int row, int count) {
  char stars[PASS_MAX + 1] = {};
  std::memset(stars, '*', static_cast<std::size_t>(count));
  showInputData(row, stars, static_cast<std::size_t>(count));
}

/* ---- getInputData's state ------------------------------------------------------------- */

struct NumberEntry {
  int mode;
  long long value;
  int count;       // digits typed since the editor opened
  bool longPrefix; // mobile number under "090" rather than "09"
};

void groupThousands(long long value, char *out, std::size_t outSize) {
  if (value < 1000) {
    std::snprintf(out, outSize, "%lld", value);
    return;
  }
  char head[VALUE_TEXT_SIZE] = {};
  groupThousands(value / 1000, head, sizeof head);
  std::snprintf(out, outSize, "%s,%03lld", head, value % 1000);
}

// The text shown for the entry (and, but for mode 3, the text written back).
void renderEntry(const NumberEntry &e, char *out, std::size_t outSize) {
  out[0] = '\0';
  switch (e.mode) {
  case INPUT_MODE_AMOUNT:
    if (e.value != 0) groupThousands(e.value, out, outSize);
    break;
  case INPUT_MODE_MOBILE:
    if (e.value != 0) {
      std::snprintf(out, outSize, "%s%lld", e.longPrefix ? MOBILE_PREFIX_LONG : MOBILE_PREFIX, e.value);
    } else {
      std::snprintf(out, outSize, "%s", e.longPrefix ? MOBILE_PREFIX_LONG : MOBILE_PREFIX);
    }
    break;
  case INPUT_MODE_HIDDEN: {
    const int n = e.count < static_cast<int>(outSize) - 1 ? e.count : static_cast<int>(outSize) - 1;
    std::memset(out, '*', static_cast<std::size_t>(n));
    out[n] = '\0';
    break;
  }
  default:
    std::snprintf(out, outSize, "%lld", e.value);
    break;
  }
}

void resultText(const NumberEntry &e, char *out, std::size_t outSize) {
  if (e.mode == INPUT_MODE_HIDDEN) {
    out[0] = '\0';
    if (e.count > 0) std::snprintf(out, outSize, "%0*lld", e.count, e.value);
    return;
  }
  renderEntry(e, out, outSize);
}

bool fitsBuffer(const NumberEntry &e, std::size_t bufferSize) {
  char text[VALUE_TEXT_SIZE] = {};
  resultText(e, text, sizeof text);
  return std::strlen(text) < bufferSize;
}

// Reads the starting value of the entry from the caller's text.
void readEntry(NumberEntry *e, const char *buffer, std::size_t bufferSize) {
  char text[VALUE_TEXT_SIZE] = {};
  std::memcpy(text, buffer, strnlen(buffer, bufferSize < sizeof text ? bufferSize : sizeof text - 1));
  const char *digits = text;
  if (e->mode == INPUT_MODE_MOBILE) {
    if (std::strncmp(text, MOBILE_PREFIX_LONG, 3) == 0) {
      e->longPrefix = true;
      digits += 3;
    } else if (std::strncmp(text, MOBILE_PREFIX, 2) == 0) {
      digits += 2;
    }
  }
  long long value = 0;
  int taken = 0;
  for (const char *p = digits; *p != '\0' && taken < VALUE_DIGITS_MAX; ++p) {
    if (*p == ',') continue; // a grouped amount reads back as its value
    if (*p < '0' || *p > '9') break;
    value = value * 10 + (*p - '0');
    ++taken;
  }
  e->value = value;
}

bool enterAccepted(const NumberEntry &e, int minLen) {
  switch (e.mode) {
  case INPUT_MODE_AMOUNT: return e.value <= AMOUNT_LIMIT && e.count >= minLen;
  case INPUT_MODE_NUMBER: return true;
  case INPUT_MODE_MOBILE: return (e.longPrefix && e.count == MOBILE_LONG_DIGITS) || e.count >= minLen;
  default: return e.count >= minLen;
  }
}
} // namespace

/* ---- numeric editors ------------------------------------------------------------------- */

int getInputData(int mode, int, int row, int minLen, int maxLen, char *buffer, std::size_t bufferSize, int timeout) {
  if (buffer == nullptr || bufferSize == 0) return INPUT_CANCELLED;
  if (maxLen > VALUE_DIGITS_MAX) maxLen = VALUE_DIGITS_MAX;
  NumberEntry entry = {mode, 0, 0, false};
  readEntry(&entry, buffer, bufferSize);
  char text[VALUE_TEXT_SIZE] = {};
  if (mode == INPUT_MODE_AMOUNT) {
    renderEntry(entry, text, sizeof text);
  } else {
    std::memcpy(text, buffer, strnlen(buffer, bufferSize < sizeof text ? bufferSize : sizeof text - 1));
  }
  mid_lcdDrawPicture2(0, EDIT_FOOTER_Y, EDIT_FOOTER_IMAGE);
  showInputData(row, text, sizeof text);
  mid_sysTimerSet(INPUT_SLOT, timeout);
  int result = INPUT_ACCEPTED;
  for (;;) {
    bool timedOut = false;
    const int key = nextKeyOrTimeout(INPUT_SLOT, &timedOut);
    if (timedOut) {
      result = INPUT_TIMED_OUT;
      break;
    }
    mid_sysTimerSet(INPUT_SLOT, timeout);
    NumberEntry next = entry;
    if (key >= '0' && key <= '9') {
      // Under "090" one digit of the number is already shown.
      const int limit = entry.longPrefix ? maxLen - 1 : maxLen;
      if (key == '0' && entry.value == 0) {
        if (mode == INPUT_MODE_MOBILE && entry.count == 0) next.longPrefix = true;
      } else if (entry.count < limit) {
        next.value = entry.value * 10 + (key - '0');
        next.count = entry.count + 1;
      }
    } else if (mode == INPUT_MODE_AMOUNT && key == KEY_F21) {
      // Zeros after nothing are still nothing: the multipliers need a value.
      if (entry.value != 0 && entry.count + 1 < maxLen) {
        next.value = entry.value * 100;
        next.count = entry.count + 2;
      }
    } else if (mode == INPUT_MODE_AMOUNT && key == KEY_F7) {
      if (entry.value != 0 && entry.count + 2 < maxLen) {
        next.value = entry.value * 1000;
        next.count = entry.count + 3;
      }
    } else if (key == KEY_CLEAR) {
      if (entry.value == 0 && entry.count == 0) next.longPrefix = false;
      next.count = entry.count > 0 ? entry.count - 1 : 0;
      next.value = entry.value / 10;
    } else if (key == KEY_CANCEL) {
      result = INPUT_CANCELLED;
      break;
    } else if (key == KEY_ENTER) {
      if (enterAccepted(entry, minLen)) break;
      tooShortTone();
      continue;
    } else {
      continue;
    }
    if (!fitsBuffer(next, bufferSize)) {
      refusedKeyTone();
      continue;
    }
    entry = next;
    renderEntry(entry, text, sizeof text);
    showInputData(row, text, sizeof text);
  }
  char out[VALUE_TEXT_SIZE] = {};
  resultText(entry, out, sizeof out);
  std::memset(buffer, 0, bufferSize);
  std::memcpy(buffer, out, strnlen(out, bufferSize - 1));
  mid_lcdClrLine(row, row + 1);
  return result;
}

int getInputNumber(int timeout, char *buffer, std::size_t bufferSize, int row, int maxLen, int allowEmpty,
                   int masked) {
  if (buffer == nullptr || bufferSize == 0) return NUMBER_CANCELLED;
  if (maxLen > NUMBER_TEXT_MAX) maxLen = NUMBER_TEXT_MAX;
  if (maxLen > static_cast<int>(bufferSize) - 1) maxLen = static_cast<int>(bufferSize) - 1;
  char digits[NUMBER_TEXT_MAX + 1] = {};
  int count = 0;
  bool full = maxLen <= 0;
  auto draw = [&] {
    char shown[NUMBER_TEXT_MAX + 1] = {};
    if (masked == 1) {
      std::memset(shown, '*', static_cast<std::size_t>(count));
    } else {
      std::memcpy(shown, digits, static_cast<std::size_t>(count));
    }
    showInputData(row, shown, static_cast<std::size_t>(count));
  };
  mid_lcdClrLine(row - 1, row);
  mid_sysTimerSet(INPUT_SLOT, timeout);
  for (;;) {
    bool timedOut = false;
    const int key = nextKeyOrTimeout(INPUT_SLOT, &timedOut);
    if (timedOut) return NUMBER_TIMED_OUT;
    mid_sysTimerSet(INPUT_SLOT, timeout);
    if (key >= '0' && key <= '9') {
      if (full || (key == '0' && count == 0)) continue;
      digits[count++] = static_cast<char>(key);
      full = count >= maxLen;
    } else if (key == KEY_CLEAR) {
      if (count > 0) digits[--count] = '\0';
      full = false;
    } else if (key == KEY_ENTER) {
      if (count > 0) {
        std::memcpy(buffer, digits, static_cast<std::size_t>(count));
        buffer[count] = '\0';
        return INPUT_ACCEPTED;
      }
      if (allowEmpty) return INPUT_ACCEPTED;
      continue;
    } else if (key == KEY_CANCEL) {
      return NUMBER_CANCELLED;
    } else {
      continue;
    }
    draw();
  }
}

/* ---- passwords ------------------------------------------------------------------------------ */

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
    bool timedOut = false;
    const int key = nextKeyOrTimeout(INPUT_SLOT, &timedOut);
    if (timedOut) return INPUT_TIMED_OUT;
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

/* ---- beeps ------------------------------------------------------------------------------------ */

void beepOK() {
  DLL_SysBeef(4, 200);
  DLL_SysBeef(1, 300);
  DLL_SysBeef(4, 200);
}

void beepFail() { DLL_SysBeef(5, 700); }
