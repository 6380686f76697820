// The report menu over a real journal: reprint searches (switch trace number
// only, reference numbers with spaces, the newest of a kind), statement and
// totals ranges ("to" excluded, charges, inquiries never listed), the prompts
// driven by keys, and the record dump kept free of card secrets.
#include "journal/Reports.h"

#include "../print/print_test_util.h"
#include "core/time.h"
#include "print/Statements.h"
#include "ui/Menu.h"

namespace {

using ReportsTest = PrintTest;

constexpr const char *TODAY_FROM = "1405/09/16-00:00:00";
constexpr const char *TODAY_TO = "1405/09/17-00:00:00";

void keys(const std::string &script) {
  std::string error;
  ASSERT_TRUE(sim::loadScript("wait 100\n" + script + "\nwait 6000000\n", &error)) << error;
}

// A reference number as a printed row or receipt shows it: reversed, Persian digits.
std::string shown(const std::string &digits) {
  std::string out;
  for (auto c = digits.rbegin(); c != digits.rend(); ++c) {
    out += '\xDB';
    out += static_cast<char>(0xB0 + (*c - '0'));
  }
  return out;
}

void journal(const TransactionRecord &t) { ASSERT_EQ(writeTransaction2File(t), 320); }

TEST_F(ReportsTest, TraceNumberSearchesTheSwitchTraceOnly) {
  TransactionRecord own = makeRecord("000000", "555555", "000000000001", "1000");
  put(own.STAN, "000123");  // the terminal's own trace number is not what the merchant quotes
  journal(own);
  journal(makeRecord("000000", "000123", "000000000002", "2000"));
  keys("type 123\nkey ENTER");
  EXPECT_EQ(MerchantMenuReportsRePrintByStan(), 0);
  ASSERT_EQ(sim::pagesPrinted(), 1);
  EXPECT_NE(lastPage().find(shown("000000000002")), std::string::npos);
  EXPECT_NE(lastPage().find(msg(3) + "-" + msg(237)), std::string::npos);  // a reprint

  keys("type 999\nkey ENTER");
  EXPECT_EQ(MerchantMenuReportsRePrintByStan(), -1);
  EXPECT_TRUE(sim::screenContains(msg(125)));
  EXPECT_EQ(sim::pagesPrinted(), 1);
}

TEST_F(ReportsTest, ReferenceNumberWithSpacesIsFound) {
  journal(makeRecord("000000", "000001", "000000999999", "1000"));
  journal(makeRecord("170000", "000002", " 00000112345", "000000070000"));
  keys("type 112345\nkey ENTER");
  EXPECT_EQ(MerchantMenuReportsRePrintByRrn(), 0);
  ASSERT_EQ(sim::pagesPrinted(), 1);
  EXPECT_NE(lastPage().find(msg(144)), std::string::npos);  // the bill payment's receipt
  EXPECT_NE(lastPage().find(msg(237)), std::string::npos);
}

TEST_F(ReportsTest, CancelledNumberPromptPrintsNothing) {
  journal(makeRecord("000000", "000123", "000000000002", "2000"));
  keys("key CANCEL");
  EXPECT_EQ(MerchantMenuReportsRePrintByRrn(), -1);
  EXPECT_EQ(sim::pagesPrinted(), 0);
}

TEST_F(ReportsTest, NewestOfAKindIsReprintedWithoutThePin) {
  TransactionRecord older = makeRecord("180000", "000010", "000000000010", "10000");
  put(older.PaymentId, "1111222233");
  journal(older);
  TransactionRecord voucher = makeRecord("180000", "000011", "000000000011", "20000");
  put(voucher.PaymentId, "4444555566");
  put(voucher.BillId, "778899");
  journal(voucher);
  journal(makeRecord("000000", "000012", "000000000012", "30000"));  // a newer purchase
  keys("type 3");
  EXPECT_EQ(MerchantMenuReportsRePrintByLast(), 0);
  ASSERT_EQ(sim::pagesPrinted(), 1);
  const std::string page = lastPage();
  EXPECT_NE(page.find(shown("000000000011")), std::string::npos);
  EXPECT_NE(page.find(shown("778899")), std::string::npos);
  EXPECT_EQ(page.find(shown("4444555566")), std::string::npos);
  EXPECT_EQ(page.find(msg(123)), std::string::npos);

  keys("type 4");  // no top-up in the journal
  EXPECT_EQ(MerchantMenuReportsRePrintByLast(), -1);
  EXPECT_TRUE(sim::screenContains(msg(178) + " - " + msg(65)));
  EXPECT_TRUE(sim::screenContains(msg(125)));

  keys("key CANCEL");
  EXPECT_EQ(MerchantMenuReportsRePrintByLast(), -1);
  EXPECT_TRUE(sim::screenContains(msg(103)));
  EXPECT_EQ(sim::pagesPrinted(), 1);
}

TEST_F(ReportsTest, TheEndOfARangeIsExcluded) {
  journal(makeRecord("000000", "000001", "000000000001", "1000", "1207", "101502"));
  journal(makeRecord("000000", "000002", "000000000002", "2000", "1207", "102000"));
  EXPECT_EQ(getDetailedStatement(TRX_FILTER_PURCHASE, TODAY_FROM, "1405/09/16-10:20:00", TITLE_DETAILED_STATEMENT), 0);
  const std::string page = lastPage();
  EXPECT_NE(page.find(shown("000000000001")), std::string::npos);
  EXPECT_EQ(page.find(shown("000000000002")), std::string::npos);
}

TEST_F(ReportsTest, ChargesListVouchersAndTopupsAndInquiriesNeverAppear) {
  journal(makeRecord("000000", "000001", "000000000001", "1000"));
  journal(makeRecord("180000", "000002", "000000000002", "2000"));
  journal(makeRecord("220000", "000003", "000000000003", "3000"));
  journal(makeRecord("310000", "000004", "000000000004", "4000"));  // balance inquiry
  journal(makeRecord("190000", "000005", "000000000005", "5000"));  // bill inquiry
  journal(makeRecord("170000", "000006", "000000000006", "6000"));
  ASSERT_EQ(getDetailedStatement(TRX_FILTER_CHARGE, TODAY_FROM, TODAY_TO, TITLE_DETAILED_STATEMENT), 0);
  std::string page = lastPage();
  for (const char *rrn : {"000000000002", "000000000003"}) EXPECT_NE(page.find(shown(rrn)), std::string::npos) << rrn;
  for (const char *rrn : {"000000000001", "000000000004", "000000000005", "000000000006"})
    EXPECT_EQ(page.find(shown(rrn)), std::string::npos) << rrn;
  EXPECT_NE(page.find(msg(94) + "-" + msg(57)), std::string::npos);

  ASSERT_EQ(getDetailedStatement(TRX_FILTER_ALL, TODAY_FROM, TODAY_TO, TITLE_DETAILED_STATEMENT), 0);
  page = lastPage();
  EXPECT_EQ(page.find(shown("000000000004")), std::string::npos);
  EXPECT_EQ(page.find(shown("000000000005")), std::string::npos);
  EXPECT_NE(page.find(shown("000000000006")), std::string::npos);
}

TEST_F(ReportsTest, StatementThroughTheMenuAndItsPrompts) {
  journal(makeRecord("220000", "000003", "000000000003", "3000"));
  // Charges; today from 00:00:00 to 23:59:59 as the editors offer them.
  keys("type 3\nkey ENTER\nkey ENTER\nkey ENTER\nkey ENTER");
  EXPECT_EQ(MerchantMenuReportsTransactions(), 0);
  ASSERT_EQ(sim::pagesPrinted(), 1);
  const std::string page = lastPage();
  EXPECT_NE(page.find(shown("000000000003")), std::string::npos);
  EXPECT_NE(page.find(msg(94) + "-" + msg(57)), std::string::npos);
  EXPECT_TRUE(sim::screenContains("در حال آماده سازی"));  // "preparing" while it prints

  keys("type 1\nkey ENTER\nkey CANCEL");  // the merchant gives up at the first time
  EXPECT_EQ(MerchantMenuReportsTransactions(), -1);
  EXPECT_EQ(sim::pagesPrinted(), 1);

  keys("type 1\nkey ENTER\nkey ENTER\nkey ENTER\nkey ENTER");  // no purchase today
  EXPECT_EQ(MerchantMenuReportsTransactions(), -1);
  EXPECT_TRUE(sim::screenContains(msg(125)));
  EXPECT_EQ(sim::pagesPrinted(), 1);
}

TEST_F(ReportsTest, CashierTotalsOfOnlyInquiriesPrintZeros) {
  journal(makeRecord("310000", "000004", "000000000004", "4000"));
  keys("key ENTER\nkey ENTER\nkey ENTER\nkey ENTER");
  EXPECT_EQ(MerchantMenuReportsCashierTotal(), 0);
  ASSERT_EQ(sim::pagesPrinted(), 1);
  const std::string page = lastPage();
  for (int label : {216, 217, 218, 219, 220, 221})
    EXPECT_NE(page.find("left=\"۰\" right=\"" + msg(label) + "\""), std::string::npos) << label;

  EXPECT_EQ(getTotalStatement(TRX_FILTER_ALL, "1405/10/01-00:00:00", "1405/10/02-00:00:00", TITLE_CASHIER_TOTALS), -1);
  EXPECT_TRUE(sim::screenContains(msg(125)));
  EXPECT_EQ(sim::pagesPrinted(), 1);
}

TEST_F(ReportsTest, ReportMenuDispatchesAndReturnsOnCancel) {
  keys("type 4\nkey CANCEL");
  EXPECT_EQ(MerchantMenuReports(), MENU_CANCEL);
  ASSERT_EQ(sim::pagesPrinted(), 1);
  EXPECT_NE(lastPage().find(msg(211)), std::string::npos);  // the hardware report
}

TEST_F(ReportsTest, RecordDumpKeepsCardSecretsOut) {
  TransactionRecord t = makeRecord("180000", "000011", "000000000011", "20000");
  put(t.Track2, "6037991234567890=21121011234567890123");
  put(t.PaymentId, "4444555566");
  char out[TRX_DUMP_SIZE];
  hasDebug = 1;
  testing::internal::CaptureStdout();
  const int n = trxToString(&t, out, sizeof out);
  const std::string port = testing::internal::GetCapturedStdout();
  hasDebug = 0;
  EXPECT_GT(n, 0);
  const std::string dump = out;
  EXPECT_NE(dump.find("trx.PAN:603799***7890, trx.Track2:,"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("1234567890"), std::string::npos);
  EXPECT_EQ(dump.find("4444555566"), std::string::npos);
  EXPECT_NE(dump.find("trx.Status:100"), std::string::npos);
  EXPECT_NE(port.find(dump), std::string::npos);  // the debug port gets the same line
  EXPECT_EQ(port.find("=2112"), std::string::npos);
}

}  // namespace
