/*
 * FixedEditors.cpp - the fixed-format editors (IP address, date, time) and
 * the date pickers of the reports.
 *
 * The three editors share one key loop: the separators are put in by the
 * editor, and each format says which digit may stand at which place.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/clock.h"
#include "core/key.h"
#include "core/screen.h"
#include "core/time.h"
#include "ui/Display.h"
#include "ui/Helper.h"
#include "ui/Messages.h"

namespace {
constexpr int KEY_WAIT_MS = 1000; // keys are awaited a second at a time
constexpr int DATE_TIMEOUT = 300;  // 30 s from the start
constexpr int DATE_PICKER_TITLE = 417;
constexpr int DAY_PICKER_TITLE = 124;
constexpr int PROMPT_ROW = 2;
constexpr int EDIT_ROW = 4;
constexpr std::size_t FIXED_TEXT_MAX = 16;

int digitAt(const char *text, std::size_t pos) { return text[pos] - '0'; }

struct FixedFormat {
  std::size_t length;
  char separator;
  std::size_t separators[3]; // positions; unused entries are 0
  int timeout;               // units of 100 ms, from the start
  bool needsComplete;        // Enter only once every place is typed
  // May digit d stand at pos of text (text holds the pos characters before it)?
  bool (*accepts)(const char *text, std::size_t pos, int d);
};

bool isSeparatorPlace(const FixedFormat &f, std::size_t pos) {
  for (std::size_t s : f.separators)
    if (s != 0 && s == pos) return true;
  return false;
}

bool ipAccepts(const char *text, std::size_t pos, int d) {
  const std::size_t group = pos - pos % 4; // first place of the group
  switch (pos - group) {
  case 0: return d <= 2;
  case 1: return digitAt(text, group) * 100 + d * 10 < 251;
  default: return digitAt(text, group) * 100 + digitAt(text, group + 1) * 10 + d < 255;
  }
}

bool dateAccepts(const char *text, std::size_t pos, int d) {
  switch (pos) {
  case 0: return d <= 1;
  case 5: return d <= 1;
  case 6: {
    const int month = digitAt(text, 5) * 10 + d;
    return month >= 1 && month < 13;
  }
  case 8: return d <= 3;
  case 9: {
    const int day = digitAt(text, 8) * 10 + d;
    return day >= 1 && day < 32;
  }
  default: return true;
  }
}

bool timeAccepts(const char *text, std::size_t pos, int d) {
  switch (pos) {
  case 0: return d <= 2;
  case 1: return digitAt(text, 0) * 10 + d < 24;
  case 3:
  case 6: return d <= 5;
  default: return true;
  }
}

constexpr FixedFormat IP_FORMAT = {IP_TEXT_LEN, '.', {3, 7, 11}, INPUT_TIMEOUT, true, ipAccepts};
constexpr FixedFormat DATE_FORMAT = {DATE_TEXT_LEN, '/', {4, 7, 0}, DATE_TIMEOUT, false, dateAccepts};
constexpr FixedFormat TIME_FORMAT = {TIME_TEXT_LEN, ':', {2, 5, 0}, INPUT_TIMEOUT, false, timeAccepts};

int editFixed(const FixedFormat &f, int row, const char *current, char *out, std::size_t outSize) {
  // A buffer that cannot take a whole value would get a cut one.
  if (out == nullptr || outSize < f.length + 1) return INPUT_CANCELLED;
  char text[FIXED_TEXT_MAX + 1] = {};
  if (current != nullptr) std::memcpy(text, current, strnlen(current, f.length));
  std::size_t len = std::strlen(text);
  showInputData1(row, text, len);
  mid_sysTimerSet(INPUT_SLOT, f.timeout);
  for (;;) {
    if (mid_sysTimerCheck(INPUT_SLOT) == 0) return INPUT_TIMED_OUT;
    const int key = mid_kbGetKeyMs(KEY_WAIT_MS);
    if (key >= '0' && key <= '9') {
      if (len >= f.length) continue;
      std::size_t pos = len;
      if (isSeparatorPlace(f, pos)) ++pos;
      if (pos >= f.length || !f.accepts(text, pos, key - '0')) continue;
      if (pos != len) text[len] = f.separator;
      text[pos] = static_cast<char>(key);
      len = pos + 1;
    } else if (key == KEY_CLEAR) {
      if (len == 0) continue;
      text[--len] = '\0';
      if (len > 0 && text[len - 1] == f.separator) text[--len] = '\0';
    } else if (key == KEY_ENTER) {
      if (f.needsComplete && len != f.length) continue;
      std::memset(out, 0, outSize);
      std::memcpy(out, text, len);
      return INPUT_ACCEPTED;
    } else if (key == KEY_CANCEL) {
      return INPUT_CANCELLED;
    } else {
      continue;
    }
    showInputData1(row, text, len);
  }
}

// "87.107.134.151" or a part of it in the editor's three-digit form; anything
// that is not a dotted number (a host name, say) starts the editor empty.
void ipEditorForm(const char *current, char *out, std::size_t outSize) {
  out[0] = '\0';
  if (current == nullptr) return;
  std::size_t used = 0;
  int groups = 0;
  const char *p = current;
  while (*p != '\0') {
    char group[4] = {};
    std::size_t n = 0;
    while (*p >= '0' && *p <= '9') {
      if (n == 3) {
        out[0] = '\0';
        return;
      }
      group[n++] = *p++;
    }
    if (n == 0 || ++groups > 4 || (*p != '\0' && *p != '.')) {
      out[0] = '\0';
      return;
    }
    const int written = std::snprintf(out + used, outSize - used, "%s%03d", used ? "." : "", std::atoi(group));
    if (written < 0 || static_cast<std::size_t>(written) >= outSize - used) {
      out[0] = '\0';
      return;
    }
    used += static_cast<std::size_t>(written);
    if (*p == '.') ++p;
  }
}

void todayShamsi(char *date, std::size_t dateSize, char *time, std::size_t timeSize) {
  int dt[DATE_TIME_FIELDS] = {};
  getDateTime(dt);
  const int miladi[3] = {dt[DT_YEAR], dt[DT_MONTH], dt[DT_DAY]};
  int shamsi[3] = {0, 0, 0};
  miladyToShamsi(miladi, shamsi);
  std::snprintf(date, dateSize, "%04d/%02d/%02d", shamsi[0], shamsi[1], shamsi[2]);
  std::snprintf(time, timeSize, "%02d:%02d:%02d", dt[DT_HOUR], dt[DT_MINUTE], dt[DT_SECOND]);
}

void showPrompt(int promptId) {
  char prompt[UI_MESSAGE_BUFFER_SIZE] = {};
  mid_lcdClrLine(PROMPT_ROW - 1, PROMPT_ROW);
  lcdPrint(1, PROMPT_ROW, LINE_CENTER, FONT_FILE, 3, getUiMessage(promptId, prompt, sizeof prompt), LCD_LINE_MAX);
}
} // namespace

int editIpAddress(int row, const char *current, char *out, std::size_t outSize) {
  char start[IP_TEXT_LEN + 1] = {};
  ipEditorForm(current, start, sizeof start);
  return editFixed(IP_FORMAT, row, start, out, outSize);
}

int editDate(int row, const char *current, char *out, std::size_t outSize) {
  return editFixed(DATE_FORMAT, row, current, out, outSize);
}

int editTime(int row, const char *current, char *out, std::size_t outSize) {
  return editFixed(TIME_FORMAT, row, current, out, outSize);
}

int getDateTimeFromUser(int mode, int promptId, int timePromptId, char *out, std::size_t outSize) {
  if (out == nullptr || outSize < DATE_TIME_TEXT_SIZE) return INPUT_CANCELLED;
  char today[DATE_TEXT_LEN + 1] = {};
  char now[TIME_TEXT_LEN + 1] = {};
  todayShamsi(today, sizeof today, now, sizeof now);
  drawHeader(DATE_PICKER_TITLE);
  showPrompt(promptId);
  char date[DATE_TEXT_LEN + 1] = {};
  int result = editDate(EDIT_ROW, today, date, sizeof date);
  if (result != INPUT_ACCEPTED) return result;
  showPrompt(timePromptId);
  const char *start = mode == 0 ? "00:00:00" : mode == 1 ? "23:59:59" : now;
  char time[TIME_TEXT_LEN + 1] = {};
  result = editTime(EDIT_ROW, start, time, sizeof time);
  if (result != INPUT_ACCEPTED) return result;
  std::snprintf(out, outSize, "%s-%s", date, time);
  return INPUT_ACCEPTED;
}

int getDateFromUser(int mode, int promptId, char *from, std::size_t fromSize, char *to, std::size_t toSize) {
  if (from == nullptr || to == nullptr || fromSize < DATE_TIME_TEXT_SIZE || toSize < DATE_TIME_TEXT_SIZE)
    return INPUT_CANCELLED;
  char today[DATE_TEXT_LEN + 1] = {};
  char now[TIME_TEXT_LEN + 1] = {};
  todayShamsi(today, sizeof today, now, sizeof now);
  drawHeader(DAY_PICKER_TITLE);
  showPrompt(promptId);
  char date[DATE_TEXT_LEN + 1] = {};
  const int result = editDate(EDIT_ROW, today, date, sizeof date);
  if (result != INPUT_ACCEPTED) return result;
  std::snprintf(from, fromSize, "%s-00:00:00", date);
  std::snprintf(to, toSize, "%s-%s", date, mode == 0 ? "23:59:59" : now);
  return INPUT_ACCEPTED;
}
