// Report printouts: the detailed statement's pages, day lines and 64-bit total,
// the cashier totals (vouchers and top-ups on the charge lines, sums past 2^31
// from the journal), and the settings and hardware printouts.
#include "print/Statements.h"

#include "print/Printer.h"
#include "print_test_util.h"

namespace {

using StatementTest = PrintTest;

int count(const std::string &hay, const std::string &needle) {
  int n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + needle.size())) ++n;
  return n;
}

// How a reference number stands in a row: reversed, in Arabic-Indic digits.
std::string rowMark(const std::string &rrn) {
  std::string out;
  for (auto c = rrn.rbegin(); c != rrn.rend(); ++c) {
    out += '\xDB';
    out += static_cast<char>(0xB0 + (*c - '0'));
  }
  return out;
}

const char *FROM = "1405/09/01-00:00:00";
const char *TO = "1405/10/01-00:00:00";
const char *PRINTED = "1405/09/20 12:00:00";

TEST_F(StatementTest, TwentyFiveRowsPrintAsThreePages) {
  std::vector<TransactionRecord> rows;
  for (int i = 0; i < 25; ++i) {
    char rrn[16], stan[8];
    snprintf(rrn, sizeof rrn, "%012d", 500000 + i);
    snprintf(stan, sizeof stan, "%06d", i);
    rows.push_back(makeRecord("000000", stan, rrn, "000000001000", i < 12 ? "1207" : "1208"));
  }
  EXPECT_EQ(printDetailedStatement(TRX_FILTER_PURCHASE, rows.data(), 25, FROM, TO, PRINTED, TITLE_DETAILED_STATEMENT),
            25000);
  auto p = pages();
  ASSERT_EQ(p.size(), 3u);
  // Every row is on its page, in order: rows 1-10, 11-20, 21-25.
  for (int i = 0; i < 25; ++i)
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(count(p[k], rowMark(rows[i].RRN)), k == i / 10 ? 1 : 0) << "row " << i << " page " << k;
  EXPECT_EQ(count(p[0], "pair "), 6 + 10);  // merchant, terminal, shop, from, to, printed; 10 rows
  EXPECT_EQ(count(p[1], "pair "), 10);
  EXPECT_EQ(count(p[2], "pair "), 5 + 1);   // 5 rows and the total
  EXPECT_NE(p[2].find(msg(72)), std::string::npos);
  EXPECT_EQ(p[0].find("logo"), std::string::npos);
  EXPECT_NE(p[2].find("logo"), std::string::npos);
  expectGolden("statement-page1", p[0]);
  expectGolden("statement-page3", p[2]);
  // The title names the filter.
  EXPECT_NE(p[0].find(msg(94) + "-" + msg(3)), std::string::npos);
}

TEST_F(StatementTest, ADayLineWheneverTheDateChanges) {
  std::vector<TransactionRecord> rows = {
      makeRecord("000000", "000001", "000000000001", "100", "1207", "090000"),
      makeRecord("000000", "000002", "000000000002", "100", "1207", "100000"),
      makeRecord("000000", "000003", "000000000003", "100", "1208", "080000"),
  };
  printDetailedStatement(TRX_FILTER_ALL, rows.data(), 3, FROM, TO, PRINTED, TITLE_DETAILED_STATEMENT);
  const std::string page = lastPage();
  // 7 and 8 December 2026 are 16 and 17 Azar 1405; printed right to left.
  EXPECT_EQ(count(page, "\"۶۱/۹۰/۵۰۴۱\""), 1);
  EXPECT_EQ(count(page, "\"۷۱/۹۰/۵۰۴۱\""), 1);
  EXPECT_LT(page.find("\"۶۱/۹۰/۵۰۴۱\""), page.find("۲۰۰۰۰۰۰۰۰۰۰۰"));
  EXPECT_GT(page.find("\"۷۱/۹۰/۵۰۴۱\""), page.find("۲۰۰۰۰۰۰۰۰۰۰۰"));
  EXPECT_LT(page.find("\"۷۱/۹۰/۵۰۴۱\""), page.find("۳۰۰۰۰۰۰۰۰۰۰۰"));
}

TEST_F(StatementTest, TotalPastTwoToTheThirtyOne) {
  std::vector<TransactionRecord> rows = {
      makeRecord("000000", "000001", "000000000001", "001500000000"),
      makeRecord("000000", "000002", "000000000002", "001500000000"),
      makeRecord("000000", "000003", "000000000003", "000000000007"),
  };
  EXPECT_EQ(printDetailedStatement(TRX_FILTER_PURCHASE, rows.data(), 3, FROM, TO, PRINTED, TITLE_DETAILED_STATEMENT),
            3000000007LL);
  const std::string page = lastPage();
  // 3,000,000,007 grouped, reversed for the line.
  EXPECT_NE(page.find("left=\"۷۰۰,۰۰۰,۰۰۰,۳\" right=\"" + msg(72) + "\""), std::string::npos) << page;
}

TEST_F(StatementTest, CashierTotalsWithOnlyVouchers) {
  int64_t totals[8] = {};
  totals[TOTAL_VOUCHER_AMOUNT] = 60000;
  totals[TOTAL_VOUCHER_COUNT] = 3;
  printTotallyStatement(totals, FROM, TO, PRINTED, TITLE_CASHIER_TOTALS);
  const std::string page = lastPage();
  expectGolden("cashier-vouchers", page);
  auto value = [&](int label) {
    size_t at = page.find("right=\"" + msg(label) + "\"");
    size_t start = page.rfind("left=\"", at) + 6;
    return page.substr(start, page.find('"', start) - start);
  };
  EXPECT_EQ(value(216), "۰");
  EXPECT_EQ(value(217), "۰");
  EXPECT_EQ(value(218), "۰");
  EXPECT_EQ(value(219), "۰");
  EXPECT_EQ(value(220), "۳");
  EXPECT_EQ(value(221), "۰۰۰,۰۶");
}

TEST_F(StatementTest, CashierTotalsFromTheJournalPastTwoToTheThirtyOne) {
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", "000001", "000000000001", "002000000000")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("000000", "000002", "000000000002", "001500000000")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("220000", "000003", "000000000003", "000000050000")), 320);
  ASSERT_EQ(writeTransaction2File(makeRecord("180000", "000004", "000000000004", "000000020000")), 320);
  int64_t totals[8];
  ASSERT_EQ(readTransactionsTotally(FROM, TO, totals), 4);
  printTotallyStatement(totals, FROM, TO, PRINTED, TITLE_CASHIER_TOTALS);
  const std::string page = lastPage();
  EXPECT_NE(page.find("left=\"۰۰۰,۰۰۰,۰۰۵,۳\" right=\"" + msg(217) + "\""), std::string::npos) << page;
  EXPECT_NE(page.find("left=\"۲\" right=\"" + msg(220) + "\""), std::string::npos) << page;
  EXPECT_NE(page.find("left=\"۰۰۰,۰۷\" right=\"" + msg(221) + "\""), std::string::npos) << page;
}

TEST_F(StatementTest, SettingsAndHardwarePrintouts) {
  config.connectionType = 1;
  printSetting();
  std::string page = lastPage();
  expectGolden("settings", page);
  EXPECT_NE(page.find("left=\"۱.۰.۰.۷۲۱\" right=\"" + msg(50) + "\""), std::string::npos);  // leading zeros gone
  EXPECT_NE(page.find("left=\"Wifi\""), std::string::npos);
  EXPECT_NE(page.find("left=\"tms.saffron.invalid\""), std::string::npos);
  printHardware();
  page = lastPage();
  expectGolden("hardware", page);
  EXPECT_NE(page.find(msg(211)), std::string::npos);
  EXPECT_EQ(page.find(msg(324)), std::string::npos);
}

}  // namespace
