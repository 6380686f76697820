/*
 * txn_support.h - what the message tests share: a fresh terminal in a temporary
 * folder, answer frames built with the codec, and frames taken apart again.
 */
#ifndef TESTS_TXN_SUPPORT_H
#define TESTS_TXN_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "reset.h"
#include "core/Filing.h"
#include "iso8583/tul_iso8583.h"
#include "journal/Journal.h"
#include "pinpad.h"
#include "sim.h"

namespace txntest {

using Bytes = std::vector<std::uint8_t>;

// A terminal with no files, serial 1234567890, NII 0006, clock 2026-06-15 10:15:00.
class TxnTerminal : public ::testing::Test {
protected:
  std::filesystem::path dir;
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("txn_test_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    testsupport::resetAll(dir.c_str());
    sim::setVirtualTime(2026, 6, 15, 10, 15, 0);
    std::strcpy(config.SerialNo, "1234567890");
    std::strcpy(config.NII, "0006");
    std::strcpy(config.TerminalNo, "10000001");
    std::strcpy(config.MerchantNo, "123456789012");
    writeConfig2File();
    std::strcpy(turnRow.batchNo, "000001");
    std::strcpy(turnRow.stanNo, "000000");
    writeTurnRow2File();
  }
  void TearDown() override {
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::filesystem::remove_all(dir);
  }
};

// An answer frame: TPDU and the packed fields (field 1 is computed).
inline Bytes answerFrame(const std::map<unsigned, std::string> &fields) {
  TUL_ISO8583_HANDLER h;
  TUL_ISO8583_DEFS_GetHandler(&h);
  TUL_ISO8583_MSG m;
  TUL_ISO8583_MSG_Init(nullptr, 0, &m);
  TUL_ISO8583_MSG_SetField_Bin(1, "\0\0\0\0\0\0\0\0", 8, &m);
  for (const auto &[f, v] : fields) TUL_ISO8583_MSG_SetField_Bin(f, v.data(), static_cast<std::uint32_t>(v.size()), &m);
  std::uint8_t packed[2048];
  std::uint32_t len = 0;
  EXPECT_EQ(TUL_ISO8583_MSG_Pack(&h, &m, packed, sizeof(packed), &len), 0);
  TUL_ISO8583_MSG_Free(&m);
  const std::uint8_t header[7] = {static_cast<std::uint8_t>((len + 5) >> 8),
                                  static_cast<std::uint8_t>((len + 5) & 0xFF), 0x60, 0x00, 0x80, 0x00, 0x06};
  // Sized once and copied into: GCC 12's optimiser misreads an insert after a
  // seven-byte initializer list as a copy past its end (-Warray-bounds).
  Bytes frame(sizeof header + len);
  std::memcpy(frame.data(), header, sizeof header);
  std::memcpy(frame.data() + sizeof header, packed, len);
  return frame;
}

// The fields of a request frame, as the codec reads them back.
inline std::map<unsigned, std::string> fieldsOf(const std::uint8_t *frame, int len) {
  std::map<unsigned, std::string> out;
  EXPECT_GE(len, 7);
  if (len < 7) return out;
  TUL_ISO8583_HANDLER h;
  TUL_ISO8583_DEFS_GetHandler(&h);
  TUL_ISO8583_MSG m;
  TUL_ISO8583_MSG_Init(nullptr, 0, &m);
  EXPECT_EQ(TUL_ISO8583_MSG_Unpack(&h, frame + 7, static_cast<std::uint32_t>(len - 7), &m), 0);
  for (unsigned f = 0; f < TUL_ISO8583_FIELD_COUNT; ++f) {
    unsigned char *d = nullptr;
    std::uint32_t n = 0;
    if (f != 1 && TUL_ISO8583_MSG_GetField_Bin(f, &m, &d, &n) == 0 && d != nullptr)
      out[f] = std::string(reinterpret_cast<char *>(d), n);
  }
  TUL_ISO8583_MSG_Free(&m);
  return out;
}

inline std::string hexOf(const std::uint8_t *d, std::size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[d[i] >> 4];
    s += digits[d[i] & 15];
  }
  return s;
}

} // namespace txntest

#endif
