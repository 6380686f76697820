// Journal files: record layout on disk, the writers and readers, the start-up
// housekeeping, card secrets kept off the disk, and crash safety of every file
// that is replaced.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "reset.h"
#include "core/file.h"
#include "journal/Journal.h"
#include "sim.h"

namespace {

constexpr std::size_t REC = sizeof(TransactionRecord);
const char *TRACK2 = "6037991234567890=21121011234567890123";

template <std::size_t N>
void put(char (&slot)[N], const std::string &text) {
  std::memset(slot, 0, N);
  std::memcpy(slot, text.data(), std::min(text.size(), N - 1));
}

// A record of the kind given, with its card secrets filled in.
TransactionRecord makeRecord(const char *processCode, int stan, const char *date = "1207",
                             const char *price = "1000") {
  TransactionRecord t;
  clearTransaction(&t);
  put(t.MTI, "0200");
  put(t.ProcessCode, processCode);
  put(t.PAN, "6037991234567890");
  std::memset(t.pinBlock, 0xA5, 8);
  put(t.Track2, TRACK2);
  put(t.Price, price);
  char buf[16];
  snprintf(buf, sizeof buf, "%06d", stan % 1000000);
  put(t.STAN, buf);
  put(t.Date, date);
  put(t.Time, "101502");
  put(t.DateTime, "2612071015");
  snprintf(buf, sizeof buf, "%012d", stan);
  put(t.RRN, buf);
  snprintf(buf, sizeof buf, "%06d", 900000 + stan % 100000);
  put(t.SwitchSTAN, buf);
  put(t.ResponseCode, "00");
  t.Status = 100;
  return t;
}

std::string readFile(const char *path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeRaw(const char *path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string raw(const TransactionRecord &t) { return std::string(reinterpret_cast<const char *>(&t), REC); }

TransactionRecord recordAt(const std::string &file, std::size_t index) {
  TransactionRecord t;
  std::memcpy(&t, file.data() + index * REC, REC);
  return t;
}

// A journal of count records; record i gets STAN i and the date dateOf(i).
template <typename DateOf>
void writeJournal(int count, DateOf dateOf) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(count) * REC);
  for (int i = 0; i < count; ++i) bytes += raw(makeRecord("000000", i, dateOf(i)));
  writeRaw(TRX_FILE, bytes);
}

int stanOf(const TransactionRecord &t) { return atoi(t.STAN); }

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/journal_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    testsupport::resetAll(dir_.c_str());
  }
  void TearDown() override {
    DIR *d = opendir(dir_.c_str());
    if (d != nullptr) {
      while (dirent *e = readdir(d))
        if (e->d_name[0] != '.') unlink((dir_ + "/" + e->d_name).c_str());
      closedir(d);
    }
    if (chdir("/tmp") == 0) rmdir(dir_.c_str());
  }
  std::vector<std::string> filesInDir() const {
    std::vector<std::string> names;
    DIR *d = opendir(dir_.c_str());
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    return names;
  }
  std::string dir_;
};

// ---- the record on disk -------------------------------------------------------------

TEST_F(JournalTest, AppendedRecordKeepsEveryFieldAtItsOffsetWithSecretsZeroed) {
  TransactionRecord t = makeRecord("170000", 42);
  t.companyId = 12;
  put(t.BillId, "1234567890123");
  put(t.description, "BILLCO");
  t.Status = 99;
  ASSERT_EQ(writeTransaction2File(t), 320);

  const std::string f = readFile(TRX_FILE);
  ASSERT_EQ(f.size(), 320u);
  EXPECT_EQ(std::string(f.data() + 0, 5), std::string("0200\0", 5));
  EXPECT_EQ(std::string(f.data() + 5, 7), std::string("170000\0", 7));
  EXPECT_EQ(std::string(f.data() + 12, 17), std::string("603799******7890\0", 17)); // masked for good
  EXPECT_EQ(f.substr(32, 9 + 64), std::string(73, '\0'));  // PIN block and track 2
  EXPECT_EQ(std::string(f.data() + 105, 5), std::string("1000\0", 5));
  EXPECT_EQ(std::string(f.data() + 118, 6), "000042");
  EXPECT_EQ(std::string(f.data() + 125, 4), "1207");
  EXPECT_EQ(std::string(f.data() + 130, 6), "101502");
  EXPECT_EQ(std::string(f.data() + 148, 12), "000000000042");
  EXPECT_EQ(static_cast<unsigned char>(f[161]), 12);
  EXPECT_EQ(std::string(f.data() + 162, 13), "1234567890123");
  EXPECT_EQ(std::string(f.data() + 272, 2), "00");
  EXPECT_EQ(std::string(f.data() + 275, 6), "BILLCO");
  int32_t status;
  std::memcpy(&status, f.data() + 308, 4);
  EXPECT_EQ(status, 99);
  EXPECT_EQ(std::string(f.data() + 312, 6), "900042");
  EXPECT_EQ(f[319], '\0');
}

TEST_F(JournalTest, OnlyStatusesBelow101AreAppended) {
  TransactionRecord t = makeRecord("000000", 1);
  t.Status = 101;
  EXPECT_EQ(writeTransaction2File(t), 0);
  t.Status = 110;
  EXPECT_EQ(writeTransaction2File(t), 0);
  t.Status = 100;
  EXPECT_EQ(writeTransaction2File(t), 320);
  EXPECT_EQ(mid_fileSize(TRX_FILE), 320);
}

TEST_F(JournalTest, CopyTransactionCopiesTextsUpToTheirEndAndClearsTheRest) {
  TransactionRecord src = makeRecord("180000", 7);
  src.companyId = 16;
  src.Status = 3;
  TransactionRecord dst;
  std::memset(&dst, 0x5A, sizeof dst);
  copyTransaction(&dst, &src);
  EXPECT_STREQ(dst.PAN, "6037991234567890");
  EXPECT_STREQ(dst.Track2, TRACK2);
  EXPECT_EQ(std::memcmp(dst.pinBlock, src.pinBlock, 8), 0);
  EXPECT_EQ(dst.pinBlock[8], 0);
  EXPECT_EQ(dst.companyId, 16);
  EXPECT_EQ(dst.Status, 3);
  EXPECT_EQ(dst.PAN[17], '\0');  // cleared past the text, not left at 0x5A
  EXPECT_EQ(dst.padding, 0);
}

// ---- the pending file ----------------------------------------------------------------

TEST_F(JournalTest, PendingFileHoldsOneRecordRewrittenInPlace) {
  TransactionRecord t = makeRecord("000000", 5);
  t.Status = 1;
  ASSERT_EQ(writeTempFile(t), 320);
  t.Status = 2;
  ASSERT_EQ(writeTempFile(t), 320);
  EXPECT_EQ(mid_fileSize(TEMP_FILE), 320);
  EXPECT_EQ(isTempExist(), 1);
  TransactionRecord back;
  clearTransaction(&back);
  EXPECT_EQ(readTempFile(&back), 320);
  EXPECT_EQ(back.Status, 2);
  EXPECT_STREQ(back.STAN, "000005");
  EXPECT_EQ(back.Track2[0], '\0');
  EXPECT_EQ(removeTempFile(), 0);
  EXPECT_EQ(isTempExist(), 0);
}

TEST_F(JournalTest, EmptyPendingFileExistsButHoldsNoRecord) {
  EXPECT_EQ(isTempExist(), 0);
  TransactionRecord back = makeRecord("000000", 9);
  EXPECT_EQ(readTempFile(&back), 0);  // creates the file empty
  EXPECT_EQ(isTempExist(), 1);
  EXPECT_EQ(readTempFile(&back), 0);
  EXPECT_STREQ(back.STAN, "000009");  // left as it was
}

TEST_F(JournalTest, TornPendingRecordReadsAsNoRecord) {
  writeRaw(TEMP_FILE, raw(makeRecord("000000", 3)).substr(0, 200));
  TransactionRecord back = makeRecord("000000", 9);
  EXPECT_EQ(readTempFile(&back), 0);
  EXPECT_STREQ(back.STAN, "000009");
}

// ---- the last-record file ------------------------------------------------------------

TEST_F(JournalTest, LastRecordFileKeepsNewestOfEachKindNewestFirst) {
  ASSERT_EQ(writeLastTransaction2File(makeRecord("000000", 1)), 0);
  ASSERT_EQ(writeLastTransaction2File(makeRecord("170000", 2)), 0);
  ASSERT_EQ(writeLastTransaction2File(makeRecord("180000", 3)), 0);
  ASSERT_EQ(writeLastTransaction2File(makeRecord("000000", 4)), 0);  // replaces purchase 1
  ASSERT_EQ(writeLastTransaction2File(makeRecord("220000", 5)), 0);
  ASSERT_EQ(writeLastTransaction2File(makeRecord("310000", 6)), 0);  // a fifth kind pushes the oldest out

  const std::string f = readFile(LAST_TRX_FILE);
  ASSERT_EQ(f.size(), 4 * REC);
  std::vector<int> stans;
  for (std::size_t i = 0; i < 4; ++i) stans.push_back(stanOf(recordAt(f, i)));
  EXPECT_EQ(stans, (std::vector<int>{6, 5, 4, 3}));
}

// ---- lookups --------------------------------------------------------------------------

TEST_F(JournalTest, ReadLastTransactionFindsNewestOfAKindPastNewerOthers) {
  TransactionRecord back;
  EXPECT_EQ(readLastTransaction(0, &back), -1);  // empty journal
  ASSERT_EQ(writeTransaction2File(makeRecord("180000", 1)), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("180000", 2)), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 3)), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("310000", 4)), 320);

  EXPECT_EQ(readLastTransaction(TT_VOUCHER, &back), 1);
  EXPECT_EQ(stanOf(back), 2);
  EXPECT_EQ(readLastTransaction(0, &back), 1);  // any of the four kinds; balance is not one
  EXPECT_EQ(stanOf(back), 3);
  EXPECT_EQ(readLastTransaction(TT_TOPUP, &back), 0);
}

TEST_F(JournalTest, RrnLookupMatchesTheEnteredNumberPaddedTo12And11) {
  TransactionRecord a = makeRecord("000000", 1);
  put(a.RRN, "111111111111");
  TransactionRecord b = makeRecord("170000", 2);
  put(b.RRN, "000000012345");
  TransactionRecord c = makeRecord("220000", 3);
  put(c.RRN, "00000012346");
  TransactionRecord d = makeRecord("180000", 4);
  put(d.RRN, " 00000012347");  // spaces in the stored number are ignored
  for (const auto &t : {a, b, c, d}) ASSERT_EQ(writeTransaction2File(t), 320);

  TransactionRecord back;
  int type = -1;
  EXPECT_EQ(readTransactionByRrn("12345", &back, &type), 0);
  EXPECT_EQ(stanOf(back), 2);
  EXPECT_EQ(type, TT_BILL_PAYMENT);
  EXPECT_EQ(readTransactionByRrn("12346", &back, &type), 0);
  EXPECT_EQ(stanOf(back), 3);
  EXPECT_EQ(type, TT_TOPUP);
  EXPECT_EQ(readTransactionByRrn("12347", &back, &type), 0);
  EXPECT_EQ(type, TT_VOUCHER);
  EXPECT_EQ(readTransactionByRrn("99999", &back, &type), 1);
  EXPECT_EQ(readTransactionByRrn("1234567890123456789012345678901234567890", &back, &type), 1);
}

TEST_F(JournalTest, SwitchStanLookupTakesTheFirstMatch) {
  TransactionRecord a = makeRecord("000000", 1);
  TransactionRecord b = makeRecord("170000", 2);
  put(b.SwitchSTAN, "000777");
  TransactionRecord c = makeRecord("000000", 3);
  put(c.SwitchSTAN, "000777");
  for (const auto &t : {a, b, c}) ASSERT_EQ(writeTransaction2File(t), 320);
  TransactionRecord back;
  int type = 0;
  EXPECT_EQ(readTransactionByOrigStan("000777", &back, &type), 0);
  EXPECT_EQ(stanOf(back), 2);
  EXPECT_EQ(type, TT_BILL_PAYMENT);
  EXPECT_NE(readTransactionByOrigStan("000778", &back, &type), 0);
}

TEST_F(JournalTest, ATornJournalTailIsIgnoredAndOverwrittenByTheNextAppend) {
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 1)), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("180000", 2)), 320);
  // A power loss in the middle of the third append.
  std::string f = readFile(TRX_FILE) + raw(makeRecord("000000", 3)).substr(0, 150);
  writeRaw(TRX_FILE, f);

  TransactionRecord back;
  EXPECT_EQ(readLastTransaction(0, &back), 1);
  EXPECT_EQ(stanOf(back), 2);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 4)), 320);
  EXPECT_EQ(mid_fileSize(TRX_FILE), static_cast<long>(3 * REC));
  EXPECT_EQ(readLastTransaction(0, &back), 1);
  EXPECT_EQ(stanOf(back), 4);
}

// ---- range readers ---------------------------------------------------------------------

TEST_F(JournalTest, ReadTransactionsSelectsByRangeAndKindUpToCapacity) {
  sim::setVirtualTime(2024, 6, 1, 12, 0, 0);
  // 0320 in 2024 is 1403/01/01 (Nowruz); 0321 is 1403/01/02.
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 1, "0319")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 2, "0320")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("170000", 3, "0320")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("180000", 4, "0320")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("220000", 5, "0320")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("310000", 6, "0320")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 7, "0321")), 320);

  TransactionRecord out[8];
  const char *from = "1403/01/01-00:00:00";
  const char *to = "1403/01/02-00:00:00";
  ASSERT_EQ(readTransactions(TRX_FILTER_ALL, from, to, out, 8), 4);
  EXPECT_EQ(stanOf(out[0]), 2);
  EXPECT_EQ(stanOf(out[3]), 5);
  ASSERT_EQ(readTransactions(TRX_FILTER_PURCHASE, from, to, out, 8), 1);
  EXPECT_EQ(stanOf(out[0]), 2);
  ASSERT_EQ(readTransactions(TRX_FILTER_BILL, from, to, out, 8), 1);
  EXPECT_EQ(stanOf(out[0]), 3);
  ASSERT_EQ(readTransactions(TRX_FILTER_CHARGE, from, to, out, 8), 2);
  EXPECT_EQ(readTransactions(9, from, to, out, 8), 0);

  // Capacity bounds the copy: the slot after it stays untouched.
  TransactionRecord small[3];
  clearTransaction(&small[2]);
  put(small[2].STAN, "sentinel");
  EXPECT_EQ(readTransactions(TRX_FILTER_ALL, "1403/01/01-00:00:00", "1403/12/29-00:00:00", small, 2), 2);
  EXPECT_STREQ(small[2].STAN, "sentin");
}

TEST_F(JournalTest, DecemberRecordReadInJanuaryTakesTheCurrentYear) {
  sim::setVirtualTime(2027, 1, 5, 9, 0, 0);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 1, "1225")), 320);
  TransactionRecord out[2];
  // Stored without its year, 25 December is read as 2027-12-25 (1406/10/04),
  // not as the 2026 day it was made (1405/10/04).
  EXPECT_EQ(readTransactions(TRX_FILTER_ALL, "1405/10/01-00:00:00", "1405/11/01-00:00:00", out, 2), 0);
  EXPECT_EQ(readTransactions(TRX_FILTER_ALL, "1406/10/04-00:00:00", "1406/10/05-00:00:00", out, 2), 1);
}

TEST_F(JournalTest, TotalsCountABalanceInquiryOnlyInTheResult) {
  sim::setVirtualTime(2024, 6, 1, 12, 0, 0);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 1, "0320", "000000001500")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 2, "0320", "2500")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("170000", 3, "0320", "000000070000")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("180000", 4, "0320", "20000")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("220000", 5, "0320", "50000")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("310000", 6, "0320", "999")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 7, "0401", "1")), 320);  // out of range

  int64_t totals[8];
  EXPECT_EQ(readTransactionsTotally("1403/01/01-00:00:00", "1403/01/02-00:00:00", totals), 6);
  EXPECT_EQ(totals[TOTAL_PURCHASE_AMOUNT], 4000);
  EXPECT_EQ(totals[TOTAL_PURCHASE_COUNT], 2);
  EXPECT_EQ(totals[TOTAL_BILL_AMOUNT], 70000);
  EXPECT_EQ(totals[TOTAL_BILL_COUNT], 1);
  EXPECT_EQ(totals[TOTAL_VOUCHER_AMOUNT], 20000);
  EXPECT_EQ(totals[TOTAL_VOUCHER_COUNT], 1);
  EXPECT_EQ(totals[TOTAL_TOPUP_AMOUNT], 50000);
  EXPECT_EQ(totals[TOTAL_TOPUP_COUNT], 1);
}

TEST_F(JournalTest, TotalsPastTwoToTheThirtyOneAreExact) {
  sim::setVirtualTime(2024, 6, 1, 12, 0, 0);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 1, "0320", "999999999999")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 2, "0320", "2000000000")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", 3, "0320", "000150000000")), 320);
  int64_t totals[8];
  EXPECT_EQ(readTransactionsTotally("1403/01/01-00:00:00", "1403/01/02-00:00:00", totals), 3);
  EXPECT_EQ(totals[TOTAL_PURCHASE_AMOUNT], 999999999999LL + 2000000000LL + 150000000LL);
  EXPECT_EQ(totals[TOTAL_PURCHASE_COUNT], 3);
}

TEST_F(JournalTest, RangeReadersAndSearchesWalkALongJournalToItsLastWholeRecord) {
  sim::setVirtualTime(2026, 12, 7, 12, 0, 0);
  // More records than one read takes (16), not a multiple of it, then a torn append.
  writeJournal(37, [](int) { return "1207"; });
  writeRaw(TRX_FILE, readFile(TRX_FILE) + raw(makeRecord("000000", 99, "1207")).substr(0, 150));
  const char *from = "1405/09/16-00:00:00", *to = "1405/09/17-00:00:00";

  TransactionRecord out[64];
  ASSERT_EQ(readTransactions(TRX_FILTER_ALL, from, to, out, 64), 37);
  for (int i = 0; i < 37; ++i) EXPECT_EQ(stanOf(out[i]), i) << "record " << i;
  int64_t totals[8];
  EXPECT_EQ(readTransactionsTotally(from, to, totals), 37);
  EXPECT_EQ(totals[TOTAL_PURCHASE_AMOUNT], 37 * 1000);

  // The last whole record is found; the torn one never is.
  TransactionRecord back;
  int type = 0;
  EXPECT_EQ(readTransactionByRrn("36", &back, &type), 0);
  EXPECT_EQ(stanOf(back), 36);
  EXPECT_EQ(readTransactionByOrigStan("900016", &back, &type), 0);
  EXPECT_EQ(stanOf(back), 16);
  EXPECT_NE(readTransactionByRrn("99", &back, &type), 0);
  EXPECT_NE(readTransactionByOrigStan("900099", &back, &type), 0);
}

// ---- start-up housekeeping -----------------------------------------------------------

TEST_F(JournalTest, TrimLeaves499RecordsAlone) {
  writeJournal(499, [](int) { return "1207"; });
  const std::string before = readFile(TRX_FILE);
  EXPECT_EQ(trimTransactionFile(TRX_FILE), 0);
  EXPECT_EQ(readFile(TRX_FILE), before);
}

TEST_F(JournalTest, TrimCuts500RecordsToTheNewest400) {
  writeJournal(500, [](int) { return "1207"; });
  const std::string before = readFile(TRX_FILE);
  EXPECT_GT(trimTransactionFile(TRX_FILE), 0);
  const std::string after = readFile(TRX_FILE);
  ASSERT_EQ(after.size(), 400 * REC);
  EXPECT_EQ(after, before.substr(100 * REC));
  EXPECT_EQ(mid_fileExist(TRIM_WORK_FILE), 0);
}

TEST_F(JournalTest, PurgeOf1000RecordsOverSeveralDaysDropsTheOldestDayThenTrimCutsTo400) {
  // 250 records a day over four days, oldest first.
  const char *days[] = {"1201", "1202", "1203", "1204"};
  writeJournal(1000, [&](int i) { return days[i / 250]; });
  EXPECT_EQ(checkTransactionCount(TRX_FILE), 320);
  std::string f = readFile(TRX_FILE);
  ASSERT_EQ(f.size(), 750 * REC);
  EXPECT_EQ(stanOf(recordAt(f, 0)), 250);
  EXPECT_STREQ(recordAt(f, 0).Date, "1202");
  EXPECT_EQ(mid_fileExist(PURGE_WORK_FILE), 0);

  EXPECT_GT(trimTransactionFile(TRX_FILE), 0);
  f = readFile(TRX_FILE);
  ASSERT_EQ(f.size(), 400 * REC);
  EXPECT_EQ(stanOf(recordAt(f, 0)), 600);
  EXPECT_EQ(stanOf(recordAt(f, 399)), 999);
}

TEST_F(JournalTest, PurgeLeavesAJournalOfOneDayUnchanged) {
  writeJournal(1000, [](int) { return "1207"; });
  const std::string before = readFile(TRX_FILE);
  checkTransactionCount(TRX_FILE);
  EXPECT_EQ(readFile(TRX_FILE), before);
  EXPECT_EQ(mid_fileExist(PURGE_WORK_FILE), 0);
  EXPECT_GT(trimTransactionFile(TRX_FILE), 0);
  EXPECT_EQ(mid_fileSize(TRX_FILE), static_cast<long>(400 * REC));
}

TEST_F(JournalTest, PurgeBelow1000RecordsDoesNothing) {
  const char *days[] = {"1201", "1202"};
  writeJournal(999, [&](int i) { return days[i / 500]; });
  EXPECT_EQ(checkTransactionCount(TRX_FILE), 0);
  EXPECT_EQ(mid_fileSize(TRX_FILE), static_cast<long>(999 * REC));
}

TEST_F(JournalTest, HousekeepingStartsItsWorkFilesAfresh) {
  // Work files left behind by a power loss in an earlier start-up.
  writeRaw(PURGE_WORK_FILE, std::string(5 * REC, 'x'));
  writeRaw(TRIM_WORK_FILE, std::string(700 * REC, 'y'));
  const char *days[] = {"1201", "1202"};
  writeJournal(1000, [&](int i) { return days[i / 500]; });
  checkTransactionCount(TRX_FILE);
  std::string f = readFile(TRX_FILE);
  ASSERT_EQ(f.size(), 500 * REC);
  EXPECT_EQ(stanOf(recordAt(f, 0)), 500);
  trimTransactionFile(TRX_FILE);
  f = readFile(TRX_FILE);
  ASSERT_EQ(f.size(), 400 * REC);
  EXPECT_EQ(stanOf(recordAt(f, 0)), 600);
}

// ---- card secrets never reach a file ---------------------------------------------------------

TEST_F(JournalTest, NoFileEverHoldsTrack2OrThePinBlock) {
  for (int i = 0; i < 6; ++i) {
    TransactionRecord t = makeRecord(i % 2 ? "000000" : "180000", i);
    t.Status = 1;
    ASSERT_EQ(writeTempFile(t), 320);
    t.Status = 100;
    ASSERT_EQ(writeTransaction2File(t), 320);
    ASSERT_EQ(writeLastTransaction2File(t), 0);
  }
  TransactionRecord pending = makeRecord("220000", 99);
  pending.Status = 2;
  ASSERT_EQ(writeTempFile(pending), 320);

  std::vector<std::string> names = filesInDir();
  int recordFiles = 0;
  for (const std::string &name : names) {
    const std::string f = readFile(name.c_str());
    EXPECT_EQ(f.find("1234567890=2112"), std::string::npos) << name;
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".dat") != 0) continue;  // the simulator's own files
    ++recordFiles;
    ASSERT_EQ(f.size() % REC, 0u) << name;
    for (std::size_t i = 0; i < f.size() / REC; ++i) {
      EXPECT_EQ(f.substr(i * REC + 32, 73), std::string(73, '\0')) << name << " record " << i;
    }
  }
  EXPECT_EQ(recordFiles, 3);  // journal, pending and last-record files
}

// ---- crash safety of replaced files ---------------------------------------------------------

// Runs writer in a child killed at some instant of its work, many times over;
// after each kill the file must hold exactly one of the contents the writer
// alternates between (never a mix, never a short file).
template <typename Writer>
void killAtRandomInstants(const char *path, const std::vector<std::string> &allowed, Writer writer) {
  for (int round = 0; round < 30; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) writer(i);
    }
    usleep(static_cast<useconds_t>(200 + (round * 397) % 3000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    if (mid_fileExist(path) == 0) continue;  // before the first write finished
    const std::string f = readFile(path);
    bool ok = false;
    for (const std::string &a : allowed) ok = ok || f == a;
    ASSERT_TRUE(ok) << path << " holds " << f.size() << " bytes of neither content after round " << round;
  }
}

TEST_F(JournalTest, PendingFileSurvivesAKillAtAnyInstant) {
  TransactionRecord a = makeRecord("000000", 1);
  a.Status = 1;
  TransactionRecord b = makeRecord("000000", 2);
  b.Status = 2;
  ASSERT_EQ(writeTempFile(a), 320);
  TransactionRecord sa = a, sb = b;
  std::memset(sa.Track2, 0, sizeof sa.Track2);
  std::memset(sa.pinBlock, 0, sizeof sa.pinBlock);
  std::memset(sb.Track2, 0, sizeof sb.Track2);
  std::memset(sb.pinBlock, 0, sizeof sb.pinBlock);
  killAtRandomInstants(TEMP_FILE, {raw(sa), raw(sb)}, [&](int i) { writeTempFile(i % 2 ? a : b); });
}

TEST_F(JournalTest, LastRecordFileSurvivesAKillAtAnyInstant) {
  TransactionRecord p1 = makeRecord("000000", 1), p2 = makeRecord("000000", 2);
  TransactionRecord v = makeRecord("180000", 3);
  ASSERT_EQ(writeLastTransaction2File(v), 0);
  ASSERT_EQ(writeLastTransaction2File(p1), 0);
  const std::string withP1 = readFile(LAST_TRX_FILE);
  ASSERT_EQ(writeLastTransaction2File(p2), 0);
  const std::string withP2 = readFile(LAST_TRX_FILE);
  killAtRandomInstants(LAST_TRX_FILE, {withP1, withP2},
                       [&](int i) { writeLastTransaction2File(i % 2 ? p1 : p2); });
}

// Kills op at instants spread over its run; the journal must then be whole,
// either as it was or as op leaves it.
template <typename Op>
void killDuringHousekeeping(const std::string &before, const std::string &after, Op op) {
  for (int round = 0; round < 20; ++round) {
    writeRaw(TRX_FILE, before);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      op();
      _exit(0);
    }
    usleep(static_cast<useconds_t>((round * 211) % 2500));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const std::string f = readFile(TRX_FILE);
    ASSERT_TRUE(f == before || f == after) << "round " << round << ": " << f.size() << " bytes";
  }
}

TEST_F(JournalTest, JournalSurvivesAKillDuringTheTrim) {
  writeJournal(600, [](int) { return "1207"; });
  const std::string before = readFile(TRX_FILE);
  killDuringHousekeeping(before, before.substr(200 * REC), [] { trimTransactionFile(TRX_FILE); });
}

TEST_F(JournalTest, JournalSurvivesAKillDuringThePurge) {
  const char *days[] = {"1201", "1202"};
  writeJournal(1000, [&](int i) { return days[i / 300 == 0 ? 0 : 1]; });
  const std::string before = readFile(TRX_FILE);
  killDuringHousekeeping(before, before.substr(300 * REC), [] { checkTransactionCount(TRX_FILE); });
}

}  // namespace

namespace {

// The journal and the last-record file are kept for months: they hold the card
// number masked at its own length, never whole; the pending file, whose advice
// or reversal sends it, holds it whole until the transaction is settled.
TEST_F(JournalTest, OnlyThePendingFileHoldsTheWholeCardNumber) {
  TransactionRecord t = makeRecord("000000", 5);
  ASSERT_EQ(writeTempFile(t), REC);
  EXPECT_STREQ(recordAt(readFile(TEMP_FILE), 0).PAN, "6037991234567890");
  ASSERT_EQ(writeTransaction2File(t), REC);
  ASSERT_EQ(writeLastTransaction2File(t), 0);
  for (const char *file : {TRX_FILE, LAST_TRX_FILE}) {
    const std::string bytes = readFile(file);
    EXPECT_EQ(bytes.find("6037991234567890"), std::string::npos) << file;
    EXPECT_STREQ(recordAt(bytes, 0).PAN, "603799******7890") << file;
  }
  TransactionRecord back;
  ASSERT_EQ(readLastTransaction(TT_PURCHASE, &back), 1);
  EXPECT_EQ(std::strlen(back.PAN), 16u); // same length: masks made from it come out alike
}

} // namespace
