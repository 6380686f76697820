// fuzz_journal: the journal, pending and last-record files hold arbitrary bytes
// (a damaged flash, a torn write); every reader and the start-up housekeeping
// must cope. The input is split into the three files at two cut points.
#include <cstddef>
#include <cstdint>

#include "journal/Journal.h"
#include "sim.h"
#include "support/scratch.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  fuzzsupport::keepCallerPaths(argc, argv);
  sim::resetForTest(fuzzsupport::scratchDir("fuzz_journal").c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  // Records are 320 bytes: scale the cut points so whole records are reachable.
  const size_t body = size - 2;
  const size_t cut1 = body * data[0] / 255;
  const size_t cut2 = cut1 + (body - cut1) * data[1] / 255;
  const uint8_t *p = data + 2;
  fuzzsupport::writeFile(TRX_FILE, p, cut1);
  fuzzsupport::writeFile(TEMP_FILE, p + cut1, cut2 - cut1);
  fuzzsupport::writeFile(LAST_TRX_FILE, p + cut2, body - cut2);

  TransactionRecord trx;
  clearTransaction(&trx);
  int type = 0;
  isTempExist();
  readTempFile(&trx);
  for (int t : {0, TT_PURCHASE, TT_BILL_PAYMENT, TT_VOUCHER, TT_TOPUP}) readLastTransaction(t, &trx);
  readTransactionByRrn("12345", &trx, &type);
  readTransactionByOrigStan("000777", &trx, &type);
  TransactionRecord out[4];
  readTransactions(TRX_FILTER_ALL, "0000/00/00-00:00:00", "9999/99/99-99:99:99", out, 4);
  int64_t totals[8];
  readTransactionsTotally("0000/00/00-00:00:00", "9999/99/99-99:99:99", totals);
  writeLastTransaction2File(trx);
  checkTransactionCount(TRX_FILE);
  trimTransactionFile(TRX_FILE);
  return 0;
}
