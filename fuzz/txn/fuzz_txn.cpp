/*
 * fuzz_txn.cpp - the answer parsers and the field-48 walk on arbitrary bytes.
 *
 * The first byte picks the parser; the rest is the frame (or field 48) as the
 * link would deliver it, copied into a block of exactly its size so that any
 * read past it is caught. The terminal lives in a temporary folder with keys
 * loaded, so tags that decipher or save settings run their whole path.
 */
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/Filing.h"
#include "journal/Journal.h"
#include "pinpad.h"
#include "security/Injection.h"
#include "sim.h"
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

// The terminal's files go to a folder of their own, so the fuzzer's working
// folder changes: crash files and relative corpus paths stay where the caller
// meant them.
void keepCallerPaths(int *argc, char ***argv) {
  static std::vector<std::string> args;
  static std::vector<char *> pointers;
  char cwd[4096];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return;
  bool prefixGiven = false;
  for (int i = 0; i < *argc; ++i) {
    std::string a = (*argv)[i];
    if (a.rfind("-artifact_prefix=", 0) == 0) prefixGiven = true;
    if (i > 0 && !a.empty() && a[0] != '-' && a[0] != '/') a = std::string(cwd) + "/" + a;
    args.push_back(a);
  }
  if (!prefixGiven) args.push_back(std::string("-artifact_prefix=") + cwd + "/");
  for (std::string &a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(args.size());
  *argv = pointers.data();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  keepCallerPaths(argc, argv);
  static std::string dir = "/tmp/fuzz_txn_" + std::to_string(getpid());
  sim::resetForTest(dir.c_str());
  std::atexit([] { std::filesystem::remove_all(dir); });
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
  return 0;
}
