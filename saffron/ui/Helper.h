/*
 * Helper.h - the input editors: numbers and amounts, mobile numbers, masked
 * passwords, IP addresses, dates and times, free text typed with multi-tap
 * letters, and the two confirmation beeps.
 *
 * Sections: results and tunables, numeric editors, passwords, fixed-format
 * editors and date pickers, multi-tap text, beeps.
 *
 * Every editor runs its own key loop on one screen row, keeps its timeout on
 * the terminal's clock (slot INPUT_SLOT of the timer service, units of 100 ms)
 * and writes only within the buffer size it is given: a key whose result would
 * not fit is refused.
 */
#ifndef SAFFRON_UI_HELPER_H
#define SAFFRON_UI_HELPER_H

#include <cstddef>

/* ---- results and tunables --------------------------------------------------------- */

constexpr const char *EDIT_FOOTER_IMAGE = "downEdit.bmp";

constexpr int INPUT_ACCEPTED = 0;
constexpr int INPUT_CANCELLED = -1;
constexpr int INPUT_TIMED_OUT = -2;

constexpr int INPUT_SLOT = 3;          // timer slot of the editors
constexpr int PASSWORD_TIMEOUT = 30000; // what the password screens pass (3000 s)

// getInputData's modes.
constexpr int INPUT_MODE_AMOUNT = 0; // grouped by "," ; keys 21 (x100) and 7 (x1000)
constexpr int INPUT_MODE_NUMBER = 1; // plain decimal
constexpr int INPUT_MODE_MOBILE = 2; // "09" or "090" and the digits typed
constexpr int INPUT_MODE_HIDDEN = 3; // '*' per digit; zero-padded to the typed length
constexpr long long AMOUNT_LIMIT = 2000000000; // largest amount Enter accepts, Rials

// getInputNumber's results besides INPUT_ACCEPTED.
constexpr int NUMBER_CANCELLED = 27;
constexpr int NUMBER_TIMED_OUT = -1;

/* ---- numeric editors ----------------------------------------------------------------- */

// The general numeric editor on row (x is not used): minLen..maxLen digits
// typed (prefilled digits are not counted), no leading zero. The value is
// read from buffer on entry and its text written back on leaving, also on
// Cancel and timeout. Mode 0 refuses Enter above AMOUNT_LIMIT; mode 2
// accepts 8 digits after "090" or minLen after "09". Returns INPUT_ACCEPTED,
// INPUT_CANCELLED or INPUT_TIMED_OUT.
int getInputData(int mode, int x, int row, int minLen, int maxLen, char *buffer, std::size_t bufferSize,
                 int timeout);
// Digit-string editor: up to maxLen digits, no leading zero, '*' per digit
// when masked is 1. Enter with no digit is ignored unless allowEmpty. Returns
// INPUT_ACCEPTED (the digits copied into buffer), NUMBER_CANCELLED or
// NUMBER_TIMED_OUT.
int getInputNumber(int timeout, char *buffer, std::size_t bufferSize, int row, int maxLen, int allowEmpty,
                   int masked);

/* ---- passwords ------------------------------------------------------------------------- */

// Masked digit entry on row: minLen..maxLen digits, Clear erases, Enter
// accepts once minLen digits are typed. timeout in units of 100 ms, restarted
// by every key. buffer receives the digits exactly as typed (leading zeros
// kept) and a NUL; it holds bufferSize bytes, and at most bufferSize - 1 digits
// are taken. Returns INPUT_ACCEPTED, INPUT_CANCELLED or INPUT_TIMED_OUT.
int getInputDataPass(int x, int row, int minLen, int maxLen, char *buffer, std::size_t bufferSize, int timeout);
int mid_kbGetString(int minLen, int maxLen, char *buffer, std::size_t bufferSize, int timeout);
// Password entry on row 4; x and y are not used.
int getPass(int x, int y, int minLen, int maxLen, int timeout, char *buffer, std::size_t bufferSize);

/* ---- fixed-format editors and date pickers ------------------------------------------------- */

// Each starts from current (cursor at its end), inserts the separators
// itself, refuses a digit that cannot begin a valid value, and on Enter
// writes the text and a NUL into out. Keys are awaited up to a second at a
// time; the timeout runs from the start and keys do not restart it.
// "087.107.134.151": three digits a group, each group 0..254; Enter only
// when all four groups are typed.
int editIpAddress(int row, const char *current, char *out, std::size_t outSize);
// "YYYY/MM/DD" (Solar Hijri), month 01..12, day 01..31; 30 seconds.
int editDate(int row, const char *current, char *out, std::size_t outSize);
// "hh:mm:ss", hour 00..23.
int editTime(int row, const char *current, char *out, std::size_t outSize);
// Date (from today) and time: out = "YYYY/MM/DD-hh:mm:ss". The time starts
// at "00:00:00" (mode 0), "23:59:59" (mode 1) or the current time.
int getDateTimeFromUser(int mode, int promptId, int timePromptId, char *out, std::size_t outSize);
// A day as a period: from = "date-00:00:00", to = "date-23:59:59" (mode 0)
// or the date and the current time (mode 1).
int getDateFromUser(int mode, int promptId, char *from, std::size_t fromSize, char *to, std::size_t toSize);

constexpr std::size_t IP_TEXT_LEN = 15;
constexpr std::size_t DATE_TEXT_LEN = 10;
constexpr std::size_t TIME_TEXT_LEN = 8;
constexpr std::size_t DATE_TIME_TEXT_SIZE = DATE_TEXT_LEN + 1 + TIME_TEXT_LEN + 1;

/* ---- multi-tap text --------------------------------------------------------------------------- */

constexpr int MULTI_TAP_WINDOW_MS = 2000; // a second press of a key within this cycles its letter
constexpr int TEXT_TIMEOUT = 600;         // 60 s, restarted by every key

// Free text on row: digit keys type letters (pressing a key again within
// MULTI_TAP_WINDOW_MS cycles through its letters), key 7 toggles upper case
// (upperCase gives the initial state), Clear erases. At most maxLen
// characters, and never more than bufferSize - 1. Returns the length on
// Enter, 0 on Cancel, -1 on timeout or when buffer already holds more than
// maxLen characters.
int kbGetText(char *buffer, std::size_t bufferSize, int maxLen, int row, int upperCase);
// Kept for the WiFi screens' old entry point: an empty text and 0.
int getWiFiPass(char *buffer, std::size_t bufferSize);

/* ---- beeps ----------------------------------------------------------------------------------- */

void beepOK();
void beepFail();

#endif
