// Receipts: every kind and copy as the paper shows it (golden listings), the
// lines that differ between copies and results, the merchant header's length
// rules, the card mask, and the status of a printed voucher or top-up.
#include "print/Receipts.h"

#include "print_test_util.h"

namespace {

using ReceiptTest = PrintTest;

// The listing's lines whose label (the right-hand text) is exactly label.
std::vector<std::string> pairsLabelled(const std::string &listing, const std::string &label) {
  std::vector<std::string> out;
  std::string needle = "right=\"" + label + "\"";
  size_t at = 0;
  while ((at = listing.find(needle, at)) != std::string::npos) {
    size_t start = listing.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    out.push_back(listing.substr(start, listing.find('\n', at) - start));
    at += needle.size();
  }
  return out;
}

int count(const std::string &hay, const std::string &needle) {
  int n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + needle.size())) ++n;
  return n;
}

TEST_F(ReceiptTest, PurchaseCopiesDifferInTitleAndSignatureOnly) {
  TransactionRecord t = makeRecord("000000", "000123", "000000654321", "000001500000");
  EXPECT_EQ(printPurchaseTicket(&t, COPY_CUSTOMER), 0);
  EXPECT_EQ(printPurchaseTicket(&t, COPY_MERCHANT), 0);
  EXPECT_EQ(printPurchaseTicket(&t, COPY_REPRINT), 0);
  auto p = pages();
  ASSERT_EQ(p.size(), 3u);
  expectGolden("purchase-customer", p[0]);
  expectGolden("purchase-merchant", p[1]);
  expectGolden("purchase-reprint", p[2]);
  EXPECT_NE(p[0].find(msg(3) + "-" + msg(60)), std::string::npos);
  EXPECT_NE(p[1].find(msg(3) + "-" + msg(61)), std::string::npos);
  EXPECT_NE(p[2].find(msg(3) + "-" + msg(237)), std::string::npos);
  EXPECT_EQ(count(p[0], msg(289)), 0);
  EXPECT_EQ(count(p[1], msg(289)), 1);
  EXPECT_EQ(count(p[2], msg(289)), 0);
  // The amount, grouped and without its leading zeros, in the success line.
  EXPECT_NE(p[0].find(msg(0) + ":۰۰۰,۰۰۵,۱ " + msg(5)), std::string::npos);
}

TEST_F(ReceiptTest, DeclinedPurchaseShowsTheReasonInsteadOfTheAmount) {
  TransactionRecord t = makeRecord("000000", "000124", "000000654322", "000001500000", "1207", "101502", "51");
  EXPECT_EQ(printPurchaseTicket(&t, COPY_CUSTOMER), 51);
  const std::string page = lastPage();
  expectGolden("purchase-declined", page);
  EXPECT_NE(page.find("***" + msg(1) + "***"), std::string::npos);
  EXPECT_NE(page.find("موجودی ناکافی-۱۵"), std::string::npos);  // "-51" read right to left
  EXPECT_EQ(page.find(msg(0)), std::string::npos);
}

TEST_F(ReceiptTest, BalanceWithTwoBalancesLabelsEachAmount) {
  TransactionRecord t = makeRecord("310000", "000125", "000000654323", "000000500000");
  put(t.BillId, "000000300000");  // withdrawable balance, as the balance answer fills it
  EXPECT_EQ(printBalanceTicket(&t), 0);
  const std::string page = lastPage();
  expectGolden("balance-two", page);
  auto actual = pairsLabelled(page, msg(348));
  auto withdrawable = pairsLabelled(page, msg(349));
  ASSERT_EQ(actual.size(), 1u);
  ASSERT_EQ(withdrawable.size(), 1u);
  EXPECT_NE(actual[0].find("left=\"۰۰۰,۰۰۵ " + msg(5) + "\""), std::string::npos) << actual[0];
  EXPECT_NE(withdrawable[0].find("left=\"۰۰۰,۰۰۳ " + msg(5) + "\""), std::string::npos) << withdrawable[0];
  // One fee line, under the withdrawable balance.
  EXPECT_EQ(count(page, "کارمزد"), 1);
  EXPECT_GT(page.find("کارمزد"), page.find(withdrawable[0]));
  EXPECT_EQ(pairsLabelled(page, msg(2)).size(), 0u);
}

TEST_F(ReceiptTest, BalanceWithOneBalance) {
  TransactionRecord t = makeRecord("310000", "000126", "000000654324", "000000500000");
  EXPECT_EQ(printBalanceTicket(&t), 0);
  const std::string page = lastPage();
  ASSERT_EQ(pairsLabelled(page, msg(2)).size(), 1u);
  EXPECT_EQ(count(page, "کارمزد"), 1);
  EXPECT_EQ(pairsLabelled(page, msg(348)).size(), 0u);
}

TEST_F(ReceiptTest, VoucherPinOnlyOnTheCustomerCopyAndStatusMovesOn) {
  TransactionRecord t = makeRecord("180000", "000127", "000000654325", "20000");
  t.companyId = 12;
  put(t.companyName, "همراه");
  put(t.BillId, "11223344");       // serial
  put(t.PaymentId, "9876543210");  // PIN
  t.Status = TS_ANSWERED;
  EXPECT_EQ(printVoucherTicket(&t, COPY_CUSTOMER), 0);
  EXPECT_EQ(t.Status, TS_RECEIPT_PRINTED);
  TransactionRecord pending;
  clearTransaction(&pending);
  ASSERT_EQ(readTempFile(&pending), 320);
  EXPECT_EQ(pending.Status, TS_RECEIPT_PRINTED);

  // The journal's copy, reprinted: no PIN, and a completed record stays completed.
  t.Status = TS_COMPLETED;
  EXPECT_EQ(printVoucherTicket(&t, COPY_REPRINT), 0);
  EXPECT_EQ(t.Status, TS_COMPLETED);
  auto p = pages();
  ASSERT_EQ(p.size(), 2u);
  expectGolden("voucher-customer", p[0]);
  expectGolden("voucher-reprint", p[1]);
  EXPECT_EQ(pairsLabelled(p[0], msg(123)).size(), 1u);
  EXPECT_EQ(pairsLabelled(p[1], msg(123)).size(), 0u);
  for (const std::string &page : p) {  // the serial on both
    auto serial = pairsLabelled(page, msg(122));
    ASSERT_EQ(serial.size(), 1u);
    EXPECT_NE(serial[0].find("left=\"۴۴۳۳۲۲۱۱\""), std::string::npos) << serial[0];
  }
  EXPECT_NE(p[0].find("۰۱۲۳۴۵۶۷۸۹"), std::string::npos);  // the PIN, reversed for the line
  EXPECT_EQ(p[1].find("۰۱۲۳۴۵۶۷۸۹"), std::string::npos);
}

TEST_F(ReceiptTest, DeclinedVoucherKeepsItsStatus) {
  TransactionRecord t = makeRecord("180000", "000128", "000000654326", "20000", "1207", "101502", "05");
  t.Status = TS_ANSWERED;
  EXPECT_EQ(printVoucherTicket(&t, COPY_CUSTOMER), 5);
  EXPECT_EQ(t.Status, TS_ANSWERED);
  EXPECT_EQ(pairsLabelled(lastPage(), msg(123)).size(), 0u);
}

TEST_F(ReceiptTest, TopupPrintsOperatorAndNumber) {
  TransactionRecord t = makeRecord("220000", "000129", "000000654327", "50000");
  t.companyId = 11;
  put(t.companyName, "ایرانسل");
  put(t.CellphonNumber, "09351234567");
  t.Status = TS_ANSWERED;
  EXPECT_EQ(printTopupTicket(&t, COPY_MERCHANT), 0);
  EXPECT_EQ(t.Status, TS_RECEIPT_PRINTED);
  const std::string page = lastPage();
  expectGolden("topup-merchant", page);
  auto line = pairsLabelled(page, "ایرانسل");
  ASSERT_EQ(line.size(), 1u);
  EXPECT_NE(line[0].find("left=\"۷۶۵۴۳۲۱۵۳۹۰\""), std::string::npos) << line[0];
}

TEST_F(ReceiptTest, BillPaymentNamesTheCompany) {
  TransactionRecord t = makeRecord("170000", "000130", "000000654328", "000000150000");
  put(t.BillId, "1234567");
  put(t.PaymentId, "15012345");
  put(t.description, "\x93\xA4\xEB");  // the electricity company, as the bill tables store it
  EXPECT_EQ(printBillPaymentTicket(&t, COPY_CUSTOMER), 0);
  const std::string page = lastPage();
  expectGolden("bill-customer", page);
  EXPECT_NE(page.find(msg(144) + " برق-" + msg(60)), std::string::npos);
  EXPECT_EQ(pairsLabelled(page, msg(41)).size(), 1u);
  EXPECT_EQ(pairsLabelled(page, msg(90)).size(), 1u);
}

TEST_F(ReceiptTest, ReversalNoticeWithoutACode) {
  TransactionRecord t = makeRecord("000000", "", "", "000001500000", "1207", "101502", "");
  EXPECT_EQ(printReverseTicket(&t, REVERSE_PURCHASE), 0);
  const std::string page = lastPage();
  expectGolden("reversal-purchase", page);
  EXPECT_NE(page.find("***" + msg(3) + "-" + msg(60) + "***"), std::string::npos);
  EXPECT_NE(page.find("\"خطادرانجام تراکنش\""), std::string::npos);  // code 100: the text alone
  for (int id : {276, 341}) EXPECT_NE(page.find(msg(id)), std::string::npos) << id;
  EXPECT_NE(page.find("size=20"), std::string::npos);  // the notice is in the small font
  EXPECT_NE(page.find("۰۰۰۰۰۰۰۰۰۰۰۰"), std::string::npos);  // no reference number yet: zeros
}

TEST_F(ReceiptTest, MerchantNameLengthsDecideTheHeaderLines) {
  TransactionRecord t = makeRecord("000000", "000131", "000000654329", "1000");
  auto nameOf = [](size_t bytes) {  // Persian letters (2 bytes), an ASCII space for an odd count
    std::string s = bytes % 2 ? " " : "";
    while (s.size() < bytes) s += "ز";
    return s;
  };
  put(config.MerchantName, nameOf(59));
  printPurchaseTicket(&t, COPY_CUSTOMER);
  std::string page = lastPage();
  EXPECT_EQ(page.rfind("pair y=0 ", 0), 0u) << page;  // name and phone share the first line
  EXPECT_EQ(pairsLabelled(page, msg(113)).size(), 0u);

  put(config.MerchantName, nameOf(60));
  printPurchaseTicket(&t, COPY_CUSTOMER);
  page = lastPage();
  EXPECT_EQ(page.rfind("text y=0 x=380 align=right size=26 \"" + nameOf(60) + "\"", 0), 0u) << page;
  auto phone = pairsLabelled(page, msg(113));
  ASSERT_EQ(phone.size(), 1u);
  EXPECT_EQ(phone[0].rfind("pair y=20 ", 0), 0u) << phone[0];

  // 120 bytes: 90 and 30; the title comes under all three lines.
  put(config.MerchantName, nameOf(120));
  printPurchaseTicket(&t, COPY_CUSTOMER);
  page = lastPage();
  expectGolden("merchant-name-120", page);
  EXPECT_NE(page.find("text y=0 x=380 align=right size=26 \"" + nameOf(120).substr(0, 90) + "\""), std::string::npos);
  EXPECT_NE(page.find("text y=20 x=380 align=right size=26 \"" + nameOf(120).substr(90) + "\""), std::string::npos);
  EXPECT_EQ(pairsLabelled(page, msg(113))[0].rfind("pair y=40 ", 0), 0u);
  EXPECT_NE(page.find("text y=74 x=380 align=right size=26 \"" + msg(3)), std::string::npos) << page;

  // An odd byte count would put the cut inside a letter: it moves back to the letter's start.
  put(config.MerchantName, nameOf(121));
  printPurchaseTicket(&t, COPY_CUSTOMER);
  page = lastPage();
  EXPECT_NE(page.find("\"" + nameOf(121).substr(0, 89) + "\""), std::string::npos);
  EXPECT_NE(page.find("\"" + nameOf(121).substr(89) + "\""), std::string::npos);
}

TEST_F(ReceiptTest, NoMerchantNameNoHeaderAndTheTitleStaysOnThePage) {
  config.MerchantName[0] = '\0';
  TransactionRecord t = makeRecord("000000", "000132", "000000654330", "1000");
  printPurchaseTicket(&t, COPY_CUSTOMER);
  const std::string page = lastPage();
  EXPECT_EQ(page.rfind("text y=0 x=380 align=right size=26 \"" + msg(3) + "-" + msg(60) + "\"", 0), 0u) << page;
  EXPECT_EQ(pairsLabelled(page, msg(113)).size(), 0u);
}

TEST_F(ReceiptTest, TaxCodeLineOnlyWhenConfigured) {
  TransactionRecord t = makeRecord("000000", "000133", "000000654331", "1000");
  printPurchaseTicket(&t, COPY_CUSTOMER);
  EXPECT_EQ(pairsLabelled(lastPage(), msg(419)).size(), 0u);
  put(config.taxCode, "AB12CD34EF56GH78");
  printPurchaseTicket(&t, COPY_CUSTOMER);
  auto tax = pairsLabelled(lastPage(), msg(419));
  ASSERT_EQ(tax.size(), 1u);
  EXPECT_NE(tax[0].find("left=\"۸۷HG۶۵FE۴۳DC۲۱BA\""), std::string::npos) << tax[0];
}

TEST(CardMask, FirstSixAndLastFourForEveryLength) {
  char out[32];
  maskCardNumber("6037991234567890", out, sizeof out);
  EXPECT_STREQ(out, "603799***7890");
  maskCardNumber("6037991234567890123", out, sizeof out);
  EXPECT_STREQ(out, "603799***0123");
  maskCardNumber("60379912345678", out, sizeof out);
  EXPECT_STREQ(out, "603799***5678");
  maskCardNumber("60379912", out, sizeof out);  // too short to hide anything more
  EXPECT_STREQ(out, "603799***12");
  maskCardNumber("", out, sizeof out);
  EXPECT_STREQ(out, "***");
}

TEST_F(ReceiptTest, NineteenDigitCardShowsItsLastFourDigits) {
  TransactionRecord t = makeRecord("000000", "000134", "000000654332", "1000");
  put(t.PAN, "6037991234567890123");
  printPurchaseTicket(&t, COPY_CUSTOMER);
  auto bank = pairsLabelled(lastPage(), msg(148) + " ملی");
  ASSERT_EQ(bank.size(), 1u);
  EXPECT_NE(bank[0].find("left=\"۳۲۱۰***۹۹۷۳۰۶\""), std::string::npos) << bank[0];
}

TEST_F(ReceiptTest, FailureLinesForLocalAndSwitchCodes) {
  openPrinter();
  EXPECT_EQ(printFailed(PRN_FONT_RECEIPT, 100, PRN_RIGHT_X, 0, 0), 20);
  EXPECT_EQ(printFailed(PRN_FONT_RECEIPT, 7, PRN_RIGHT_X, 20, 1), 35);
  ASSERT_EQ(startPrint(80), 0);
  const std::string page = lastPage();
  EXPECT_NE(page.find("\"خطادرانجام تراکنش\""), std::string::npos);
  EXPECT_NE(page.find("\"خطاي ناشناخته-۷\""), std::string::npos);
}

}  // namespace
