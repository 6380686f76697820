// Receipts: every kind and copy as the paper shows it (golden listings), the
// lines that differ between copies and results, and the pending record's status.
#include "print/Receipts.h"

#include "print_test_util.h"

namespace {

using ReceiptTest = PrintTest;

TEST_F(ReceiptTest, PurchaseCustomerCopy) {
  TransactionRecord t = makeRecord("000000", "000123", "000000654321", "000001500000");
  EXPECT_EQ(printPurchaseTicket(&t, COPY_CUSTOMER), 0);
  ASSERT_EQ(sim::pagesPrinted(), 1);
  auto p = sim::printedPages().back();
  std::ofstream("/tmp/receipt.png.txt") << p.listing;
  expectGolden("purchase-customer", lastPage());
}

}  // namespace
