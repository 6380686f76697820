/*
 * fuzz_txn.cpp - the answer parsers and the field-48 walk on arbitrary bytes.
 *
 * The first byte picks the parser; the rest is the frame (or field 48) as the
 * link would deliver it, copied into a block of exactly its size so that any
 * read past it is caught. The terminal lives in a temporary folder with keys
 * loaded, so tags that decipher or save settings run their whole path.
 */
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/Filing.h"
#include "journal/Journal.h"
#include "pinpad.h"
#include "security/Injection.h"
#include "sim.h"
#include "support/scratch.h"
#include "txn/Transactions.h"

namespace {

constexpr int PARSERS = 10;

int parse(int which, const unsigned char *frame, std::size_t len) {
  switch (which) {
  case 0: return parseLogonKeyExchangeTransaction(frame, len);
  case 1: return parseLogonMercInfoTransaction(frame, len);
  case 2: return parseBalanceTransaction(frame, len);
  case 3: return parseBillInqTransaction(frame, len);
  case 4: return parsePurchaseTransaction(frame, len);
  case 5: return parseBillPaymentTransaction(frame, len);
  case 6: return parseChargeTransaction(frame, len, TT_VOUCHER);
  case 7: return parseApproveTransaction(frame, len);
  case 8: return parseReverseTransaction(frame, len);
  default: ParseField48Velbor(reinterpret_cast<const char *>(frame), len); return 0;
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  fuzzsupport::keepCallerPaths(argc, argv);
  sim::resetForTest(fuzzsupport::scratchDir("fuzz_txn").c_str());
  sim::resetPinPadForTest();
  loadTerminalMasterKey();
  const unsigned char zeros[16] = {0};
  writePinKey(16, zeros);
  writeMacKey(16, zeros);
  writeAccKey(16, zeros);
  std::strcpy(config.NII, "0006");
  std::strcpy(config.TerminalNo, "10000001");
  writeConfig2File();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  const int which = data[0] % PARSERS;
  const std::size_t len = size - 1;
  std::unique_ptr<unsigned char[]> exact(new unsigned char[len == 0 ? 1 : len]);
  if (len > 0) std::memcpy(exact.get(), data + 1, len);
  clearTransaction(&currentTransaction);
  std::strcpy(currentTransaction.STAN, "000001");
  int status = parse(which, exact.get(), len);
  // Every slot the parsers fill must still be terminated.
  if (currentTransaction.ResponseCode[sizeof(currentTransaction.ResponseCode) - 1] != '\0' ||
      currentTransaction.RRN[sizeof(currentTransaction.RRN) - 1] != '\0' ||
      currentTransaction.BillId[sizeof(currentTransaction.BillId) - 1] != '\0' ||
      currentTransaction.PaymentId[sizeof(currentTransaction.PaymentId) - 1] != '\0' ||
      config.merchantPhone[sizeof(config.merchantPhone) - 1] != '\0' ||
      config.MerchantName[sizeof(config.MerchantName) - 1] != '\0')
    std::abort();
  (void)status;
  fuzzsupport::dropEvents(); // the answers set the clock, which notes an event
  return 0;
}
