// editors_test.cpp - the input editors driven by scripted keys on the
// simulated terminal: amounts and their limit, plain and mobile numbers,
// digit strings, passwords, IP addresses, dates and times, multi-tap text.
#include "core/key.h"
#include "core/time.h"
#include "ui/Helper.h"
#include "ui_test_util.h"

namespace {

class EditorTest : public UiTest {
protected:
  // Runs getInputData on row 4 with the usual timeout over keys given as a script.
  int numberEntry(int mode, int minLen, int maxLen, const std::string &keys, char *buffer, std::size_t size) {
    script(keys);
    return getInputData(mode, 0, 4, minLen, maxLen, buffer, size, INPUT_TIMEOUT);
  }
  bool toneSounded(int tone) const {
    for (const auto &b : sim::beeps())
      if (b.tone == tone) return true;
    return false;
  }
};

/* ---- amounts --------------------------------------------------------------------------- */

TEST_F(EditorTest, KeySevenAddsThreeZerosAndKey21Two) {
  char buffer[32] = {};
  EXPECT_EQ(numberEntry(INPUT_MODE_AMOUNT, 1, 12, "type 1\nkey 7\nkey 21\nkey ENTER\n", buffer, sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "100,000");
}

TEST_F(EditorTest, TheMultipliersStayWithinTheDigitLimitAndNeedAValue) {
  char buffer[32] = {};
  // Three digits at most: "1" then x1000 would be four, x100 is three.
  EXPECT_EQ(numberEntry(INPUT_MODE_AMOUNT, 1, 3, "type 1\nkey 7\nkey 21\nkey ENTER\n", buffer, sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "100");
  // Nothing typed: the multipliers add no digits, so Enter still wants one.
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(numberEntry(INPUT_MODE_AMOUNT, 1, 12, "key 7\nkey 21\nkey ENTER\nkey CANCEL\n", buffer, sizeof buffer),
            INPUT_CANCELLED);
  EXPECT_STREQ(buffer, "");
}

TEST_F(EditorTest, AnAmountAboveTwoBillionCannotBeConfirmed) {
  char buffer[32] = {};
  EXPECT_EQ(numberEntry(INPUT_MODE_AMOUNT, 1, 12, "type 2000000001\nkey ENTER\nkey CLEAR\nkey ENTER\n", buffer,
                        sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "200,000,000");
  EXPECT_TRUE(toneSounded(4)); // the refused Enter
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(numberEntry(INPUT_MODE_AMOUNT, 1, 12, "type 2000000000\nkey ENTER\n", buffer, sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "2,000,000,000");
}

TEST_F(EditorTest, TheAmountIsShownGroupedWhileTyping) {
  char buffer[32] = {};
  script("type 12345\nkey CANCEL\n");
  EXPECT_EQ(getInputData(INPUT_MODE_AMOUNT, 0, 4, 1, 12, buffer, sizeof buffer, INPUT_TIMEOUT), INPUT_CANCELLED);
  EXPECT_STREQ(buffer, "12,345"); // written back on Cancel too
  EXPECT_TRUE(shown(",")); // the grouped text is on row 4
  EXPECT_EQ(rowY(","), 45 + 3 * 34);
}

TEST_F(EditorTest, AValueThatWouldNotFitTheBufferIsRefused) {
  char buffer[8] = {}; // "123,456" and its NUL fill it
  EXPECT_EQ(numberEntry(INPUT_MODE_AMOUNT, 1, 12, "type 1234567\nkey ENTER\n", buffer, sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "123,456");
  char tiny[3] = {};
  EXPECT_EQ(numberEntry(INPUT_MODE_NUMBER, 1, 9, "type 987\nkey ENTER\n", tiny, sizeof tiny), INPUT_ACCEPTED);
  EXPECT_STREQ(tiny, "98");
}

TEST_F(EditorTest, TheEditorTimesOutOnTheTerminalClockAndKeysRestartIt) {
  char buffer[16] = {};
  script("wait 40000\ntype 5\nwait 3600000\n");
  const long long start = sim::virtualNowMs();
  EXPECT_EQ(getInputData(INPUT_MODE_NUMBER, 0, 4, 1, 5, buffer, sizeof buffer, INPUT_TIMEOUT), INPUT_TIMED_OUT);
  const long long elapsed = sim::virtualNowMs() - start;
  EXPECT_GE(elapsed, 85000);
  EXPECT_LT(elapsed, 86000);
  EXPECT_STREQ(buffer, "5");
}

/* ---- plain and mobile numbers -------------------------------------------------------------- */

TEST_F(EditorTest, APlainNumberCannotStartWithZero) {
  char buffer[16] = {};
  EXPECT_EQ(numberEntry(INPUT_MODE_NUMBER, 1, 9, "type 0123\nkey ENTER\n", buffer, sizeof buffer), INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "123");
}

TEST_F(EditorTest, APrefilledNumberIsEditedFromItsValue) {
  char buffer[16] = "4080";
  EXPECT_EQ(numberEntry(INPUT_MODE_NUMBER, 3, 5, "key CLEAR\ntype 1\nkey ENTER\n", buffer, sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "4081");
}

TEST_F(EditorTest, MobileNumbersTakeNineDigitsAfter09OrEightAfter090) {
  char buffer[16] = {};
  EXPECT_EQ(numberEntry(INPUT_MODE_MOBILE, 9, 9, "type 12345678\nkey ENTER\ntype 9\nkey ENTER\n", buffer,
                        sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "09123456789");
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(numberEntry(INPUT_MODE_MOBILE, 9, 9, "type 0\ntype 12345678\nkey ENTER\n", buffer, sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "09012345678");
}

TEST_F(EditorTest, A090NumberStopsAtElevenDigits) {
  char buffer[16] = {};
  // A ninth digit after "090" would make twelve; Clear back past the first digit drops the "0".
  EXPECT_EQ(numberEntry(INPUT_MODE_MOBILE, 9, 9, "type 0123456789\nkey CANCEL\n", buffer, sizeof buffer),
            INPUT_CANCELLED);
  EXPECT_STREQ(buffer, "09012345678");
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(numberEntry(INPUT_MODE_MOBILE, 9, 9, "type 01\nkey CLEAR\nkey CLEAR\ntype 123456789\nkey ENTER\n",
                        buffer, sizeof buffer),
            INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "09123456789");
}

TEST_F(EditorTest, HiddenDigitsAreShownAsStars) {
  char buffer[16] = {};
  script("type 705\nkey ENTER\n");
  EXPECT_EQ(getInputData(INPUT_MODE_HIDDEN, 0, 4, 3, 4, buffer, sizeof buffer, INPUT_TIMEOUT), INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "705");
  EXPECT_TRUE(shown("***"));
  EXPECT_FALSE(shown("705"));
}

/* ---- digit strings ------------------------------------------------------------------------------ */

TEST_F(EditorTest, ADigitStringHasNoLeadingZeroAndStopsWhenFull) {
  char buffer[16] = {};
  script("type 01234\nkey ENTER\n");
  EXPECT_EQ(getInputNumber(INPUT_TIMEOUT, buffer, sizeof buffer, 4, 3, 0, 0), INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "123");
  char masked[16] = {};
  script("type 42\nkey CLEAR\ntype 7\nkey ENTER\n");
  EXPECT_EQ(getInputNumber(INPUT_TIMEOUT, masked, sizeof masked, 4, 13, 0, 1), INPUT_ACCEPTED);
  EXPECT_STREQ(masked, "47");
  EXPECT_TRUE(shown("**"));
}

TEST_F(EditorTest, AnEmptyDigitStringNeedsPermission) {
  char buffer[16] = {};
  script("key ENTER\nkey CANCEL\n");
  EXPECT_EQ(getInputNumber(INPUT_TIMEOUT, buffer, sizeof buffer, 4, 13, 0, 0), NUMBER_CANCELLED);
  script("key ENTER\n");
  EXPECT_EQ(getInputNumber(INPUT_TIMEOUT, buffer, sizeof buffer, 4, 13, 1, 0), INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "");
  script("wait 3600000\n");
  EXPECT_EQ(getInputNumber(INPUT_TIMEOUT, buffer, sizeof buffer, 4, 13, 0, 0), NUMBER_TIMED_OUT);
}

TEST_F(EditorTest, ADigitStringIsCutToTheBuffer) {
  char buffer[5] = {};
  script("type 123456789\nkey ENTER\n");
  EXPECT_EQ(getInputNumber(INPUT_TIMEOUT, buffer, sizeof buffer, 4, 13, 0, 0), INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "1234");
}

/* ---- passwords ------------------------------------------------------------------------------------ */

TEST_F(EditorTest, APasswordKeepsItsLeadingZeros) {
  char buffer[8] = {};
  script("type 0012\nkey ENTER\n");
  EXPECT_EQ(getPass(0, 0, 4, 4, PASSWORD_TIMEOUT, buffer, sizeof buffer), INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "0012");
  EXPECT_TRUE(shown("****"));
}

TEST_F(EditorTest, APasswordTooShortOrTooLongBeeps) {
  char buffer[8] = {};
  script("type 12\nkey ENTER\ntype 345\nkey ENTER\n");
  EXPECT_EQ(getPass(0, 0, 4, 4, PASSWORD_TIMEOUT, buffer, sizeof buffer), INPUT_ACCEPTED);
  EXPECT_STREQ(buffer, "1234");
  EXPECT_TRUE(toneSounded(4)); // Enter after two digits
  EXPECT_TRUE(toneSounded(6)); // the fifth digit
}

/* ---- IP address ------------------------------------------------------------------------------------ */

TEST_F(EditorTest, AnIpGroupStaysBelow255) {
  char out[16] = {};
  // "26" refused at the second place, "255" at the third; 254 taken.
  script("type 26\ntype 55\ntype 4\ntype 010000001\nkey ENTER\n");
  EXPECT_EQ(editIpAddress(4, "", out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "254.010.000.001");
}

TEST_F(EditorTest, AGroupCannotStartAboveTwo) {
  char out[16] = {};
  script("type 3\ntype 1\ntype 92\ntype 168001001\nkey ENTER\n");
  EXPECT_EQ(editIpAddress(4, "", out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "192.168.001.001");
}

TEST_F(EditorTest, AnIncompleteAddressCannotBeConfirmed) {
  char out[16] = {};
  script("type 127\nkey ENTER\nkey CANCEL\n");
  EXPECT_EQ(editIpAddress(4, "", out, sizeof out), INPUT_CANCELLED);
  EXPECT_STREQ(out, "");
}

TEST_F(EditorTest, TheAddressIsEditedFromTheCurrentOneAndClearTakesTheDot) {
  char out[16] = {};
  // "87.107.134.151" in three-digit groups; three Clears take "151" and its dot.
  script("key CLEAR\nkey CLEAR\nkey CLEAR\ntype 002\nkey ENTER\n");
  EXPECT_EQ(editIpAddress(4, "87.107.134.151", out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "087.107.134.002");
  // A host name is no address to edit: the editor starts empty.
  std::memset(out, 0, sizeof out);
  script("type 127000000001\nkey ENTER\n");
  EXPECT_EQ(editIpAddress(4, "tms.example.invalid", out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "127.000.000.001");
}

TEST_F(EditorTest, TheAddressTimeoutIsNotRestartedByKeys) {
  char out[16] = {};
  script("wait 30000\ntype 1\nwait 3600000\n");
  const long long start = sim::virtualNowMs();
  EXPECT_EQ(editIpAddress(4, "", out, sizeof out), INPUT_TIMED_OUT);
  const long long elapsed = sim::virtualNowMs() - start;
  EXPECT_GE(elapsed, 45000);
  EXPECT_LE(elapsed, 46000);
}

TEST_F(EditorTest, AFixedEditorRefusesABufferTooSmallForItsValue) {
  char out[10] = {};
  EXPECT_EQ(editIpAddress(4, "", out, sizeof out), INPUT_CANCELLED);
  EXPECT_EQ(editDate(4, "", out, sizeof out), INPUT_CANCELLED);
  EXPECT_EQ(sim::pendingKeys(), 0u);
}

/* ---- date and time ---------------------------------------------------------------------------------- */

TEST_F(EditorTest, MonthThirteenAndAMonthStartingWithTwoCannotBeTyped) {
  char out[16] = {};
  script("type 1403\ntype 2\ntype 1\ntype 3\ntype 2\ntype 4\ntype 05\nkey ENTER\n");
  EXPECT_EQ(editDate(4, "", out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "1403/12/05");
}

TEST_F(EditorTest, ADateMayBeLeftIncompleteAndClearTakesTheSeparator) {
  char out[16] = {};
  script("key CLEAR\nkey CLEAR\nkey CLEAR\nkey ENTER\n");
  EXPECT_EQ(editDate(4, "1405/09/16", out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "1405/0");
}

TEST_F(EditorTest, TimesStayWithinTheDay) {
  char out[16] = {};
  // Hour 24 and minute 60 refused.
  script("type 24\ntype 3\ntype 6\ntype 59\ntype 6\ntype 59\nkey ENTER\n");
  EXPECT_EQ(editTime(4, "", out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "23:59:59");
}

TEST_F(EditorTest, TheDatePickerStartsFromTodayInTheSolarCalendar) {
  sim::setVirtualTime(2026, 12, 7, 14, 5, 9);
  char out[DATE_TIME_TEXT_SIZE] = {};
  script("key ENTER\nkey ENTER\n");
  EXPECT_EQ(getDateTimeFromUser(1, 13, 13, out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "1405/09/16-23:59:59");
  script("key ENTER\nkey ENTER\n");
  EXPECT_EQ(getDateTimeFromUser(2, 13, 13, out, sizeof out), INPUT_ACCEPTED);
  EXPECT_STREQ(out, "1405/09/16-14:05:09");
  char from[DATE_TIME_TEXT_SIZE] = {};
  char to[DATE_TIME_TEXT_SIZE] = {};
  script("key CLEAR\ntype 5\nkey ENTER\n");
  EXPECT_EQ(getDateFromUser(0, 13, from, sizeof from, to, sizeof to), INPUT_ACCEPTED);
  EXPECT_STREQ(from, "1405/09/15-00:00:00");
  EXPECT_STREQ(to, "1405/09/15-23:59:59");
  script("key CANCEL\n");
  EXPECT_EQ(getDateTimeFromUser(0, 13, 13, out, sizeof out), INPUT_CANCELLED);
}

/* ---- multi-tap text ----------------------------------------------------------------------------------- */

TEST_F(EditorTest, PressingAKeyAgainQuicklyCyclesItsLetters) {
  char text[32] = {};
  script("type 222\nkey ENTER\n");
  EXPECT_EQ(kbGetText(text, sizeof text, 20, 4, 0), 1);
  EXPECT_STREQ(text, "c");
}

TEST_F(EditorTest, TheSecondPressCyclesOnlyWithinTwoSeconds) {
  char text[32] = {};
  script("type 2\nwait 1700\ntype 2\nkey ENTER\n");
  EXPECT_EQ(kbGetText(text, sizeof text, 20, 4, 0), 1);
  EXPECT_STREQ(text, "b");
  std::memset(text, 0, sizeof text);
  script("type 2\nwait 2000\ntype 2\nkey ENTER\n");
  EXPECT_EQ(kbGetText(text, sizeof text, 20, 4, 0), 2);
  EXPECT_STREQ(text, "aa");
}

TEST_F(EditorTest, AnotherKeyStartsANewLetterAndOnlyItsOwnKeyCyclesIt) {
  char text[32] = {};
  script("type 0\ntype 2\ntype 0\ntype 0\ntype 0\ntype 0\nkey ENTER\n");
  EXPECT_EQ(kbGetText(text, sizeof text, 20, 4, 0), 3);
  EXPECT_STREQ(text, "/a ");
}

TEST_F(EditorTest, KeySevenTogglesUpperCaseAndTheKeyCycleWraps) {
  char text[32] = {};
  script("key 7\ntype 22222\nkey 7\nkey CLEAR\ntype 1\ntype 1\nkey ENTER\n");
  EXPECT_EQ(kbGetText(text, sizeof text, 20, 4, 0), 1);
  EXPECT_STREQ(text, "z");
  std::memset(text, 0, sizeof text);
  script("type 22222\nkey ENTER\n");
  EXPECT_EQ(kbGetText(text, sizeof text, 20, 4, 1), 1);
  EXPECT_STREQ(text, "A"); // a b c 2 then a again
}

TEST_F(EditorTest, TextStopsAtItsLimitAndAnOverlongStartIsRefused) {
  char text[4] = {};
  script("type 2\nwait 2000\ntype 3\nwait 2000\ntype 4\nwait 2000\ntype 5\nkey ENTER\n");
  EXPECT_EQ(kbGetText(text, sizeof text, 20, 4, 0), 3); // the buffer holds three
  EXPECT_STREQ(text, "adg");
  char longer[16] = "abcdef";
  EXPECT_EQ(kbGetText(longer, sizeof longer, 5, 4, 0), -1);
  EXPECT_STREQ(longer, "abcdef");
  script("key CANCEL\n");
  char kept[16] = "net";
  EXPECT_EQ(kbGetText(kept, sizeof kept, 10, 4, 0), 0);
  EXPECT_TRUE(shown("net"));
}

TEST_F(EditorTest, TextTimesOutAfterAMinuteWithoutAKey) {
  char text[16] = {};
  script("wait 3600000\n");
  const long long start = sim::virtualNowMs();
  EXPECT_EQ(kbGetText(text, sizeof text, 10, 4, 0), -1);
  EXPECT_GE(sim::virtualNowMs() - start, 60000);
  EXPECT_LT(sim::virtualNowMs() - start, 61000);
}

} // namespace
