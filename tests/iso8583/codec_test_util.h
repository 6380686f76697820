// codec_test_util.h - helpers shared by the codec tests: hex literals for
// wire bytes and a message that frees itself.
#ifndef TESTS_ISO8583_CODEC_TEST_UTIL_H
#define TESTS_ISO8583_CODEC_TEST_UTIL_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "iso8583/tul_iso8583.h"

using Bytes = std::vector<unsigned char>;

// "02 00 70 38" -> bytes; spaces are ignored.
inline Bytes hexBytes(const std::string &text) {
  Bytes out;
  int pending = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else continue;
    if (pending < 0) {
      pending = v;
    } else {
      out.push_back(static_cast<unsigned char>(pending << 4 | v));
      pending = -1;
    }
  }
  return out;
}

inline std::string hexOf(const unsigned char *data, std::size_t len) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < len; ++i) {
    std::snprintf(b, sizeof b, "%s%02X", i ? " " : "", data[i]);
    s += b;
  }
  return s;
}
inline std::string hexOf(const Bytes &b) { return hexOf(b.data(), b.size()); }

inline Bytes textBytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

// A malloc-mode message with the dictionary, freed on scope exit.
struct TestMsg {
  TUL_ISO8583_HANDLER handler{};
  TUL_ISO8583_MSG msg{};
  TestMsg() {
    TUL_ISO8583_DEFS_GetHandler(&handler);
    TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  }
  ~TestMsg() { TUL_ISO8583_MSG_Free(&msg); }
  TestMsg(const TestMsg &) = delete;
  TestMsg &operator=(const TestMsg &) = delete;

  int set(unsigned field, const std::string &text) { return TUL_ISO8583_MSG_SetField_Str(field, text.c_str(), &msg); }
  int set(unsigned field, const Bytes &b) {
    return TUL_ISO8583_MSG_SetField_Bin(field, b.data(), static_cast<std::uint32_t>(b.size()), &msg);
  }
  std::string str(unsigned field) const {
    unsigned char *data = nullptr;
    std::uint32_t len = 0;
    if (TUL_ISO8583_MSG_GetField_Bin(field, &msg, &data, &len) != 0) return "<absent>";
    return std::string(reinterpret_cast<char *>(data), len);
  }
  // Packs into a buffer of exactly `room` bytes; returns the status.
  int pack(Bytes &out, std::uint32_t room = 4096) {
    out.assign(room, 0);
    std::uint32_t len = 0;
    int status = TUL_ISO8583_MSG_Pack(&handler, &msg, out.data(), room, &len);
    out.resize(len);
    return status;
  }
  // Unpacks from a heap copy of exactly the input's size, so a read past the
  // end trips the address sanitizer.
  int unpack(const Bytes &in) {
    auto *copy = new unsigned char[in.size() ? in.size() : 1];
    if (!in.empty()) std::copy(in.begin(), in.end(), copy);
    int status = TUL_ISO8583_MSG_Unpack(&handler, copy, static_cast<std::uint32_t>(in.size()), &msg);
    delete[] copy;
    return status;
  }
};

#endif
