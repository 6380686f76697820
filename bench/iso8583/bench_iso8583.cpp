// bench_iso8583 - a purchase request and its response through the codec, the
// way the message builders and parsers use it: build (set every field, pack,
// set the MAC, pack again) and parse (unpack, read the fields, free).
// Counters: messages per second, and heap allocations per message as counted
// by the codec's allocator.
// The round trip (BM_RoundTrip*) is the one compared with the npm package by
// compare.sh: set the request's fields, pack once, free; unpack into a fresh
// message, read every field, free.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "iso8583/iso_mem.h"
#include "iso8583/tul_iso8583.h"

namespace {

struct Field {
  unsigned number;
  std::string value;
};

// A literal that may hold zero bytes, at its full length.
template <std::size_t N>
std::string lit(const char (&text)[N]) { return std::string(text, N - 1); }

const Field PURCHASE[] = {
    {0, "0200"}, {1, "3038058020C19001"}, {2, "6037991234567890123F"}, {3, "000000"}, {4, "000000150000"},
    {11, "000123"}, {12, "101500"}, {13, "0615"}, {22, "021"}, {24, "006"}, {25, "00"},
    {35, lit("\x60\x37\x99\x12\x34\x56\x78\x90\x12\x3D\x25\x12\x10\x11\x23\x45\x67\x89\x0F")},
    {41, "12345678"}, {42, "1234567        "},
    {48, lit("\x11\x01" "0123456789" "\x12\x02" "14012406005" "\x02\x03" "1" "\x02\x15" "7" "\x02\x22" "1")},
    {49, "364"}, {52, lit("\x8A\x1F\x02\x3C\x44\x90\xEE\x17")}, {64, std::string(8, '\0')}};

const Field RESPONSE[] = {
    {0, "0210"}, {1, "0"}, {3, "000000"}, {4, "000000150000"}, {11, "000123"}, {12, "101502"}, {13, "0615"},
    {24, "006"}, {37, "612345678901"}, {38, "654321"}, {39, "00"}, {41, "12345678"}, {42, "1234567        "},
    {48, lit("\x12\x40" "98765432101" "\x15\x50" "14050610150012")}, {64, "5E1A09C3"}};

constexpr unsigned PARSED[] = {4, 11, 37, 38, 39, 48};

template <std::size_t N>
std::uint32_t buildAndPack(const Field (&fields)[N], const TUL_ISO8583_HANDLER &handler, unsigned char *out,
                           std::uint32_t size) {
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  for (const Field &f : fields)
    TUL_ISO8583_MSG_SetField_Bin(f.number, f.value.data(), static_cast<std::uint32_t>(f.value.size()), &msg);
  std::uint32_t len = 0;
  TUL_ISO8583_MSG_Pack(&handler, &msg, out, size, &len);
  TUL_ISO8583_MSG_SetField_Bin(64, "5E1A09C3", 8, &msg); // the MAC replaces its placeholder
  TUL_ISO8583_MSG_Pack(&handler, &msg, out, size, &len);
  TUL_ISO8583_MSG_Free(&msg);
  return len;
}

void unpackAndRead(const TUL_ISO8583_HANDLER &handler, const unsigned char *in, std::uint32_t len) {
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  TUL_ISO8583_MSG_Unpack(&handler, in, len, &msg);
  for (unsigned f : PARSED) {
    char *text = nullptr;
    if (TUL_ISO8583_MSG_HaveField(f, &msg)) TUL_ISO8583_MSG_GetField_Str(f, &msg, &text);
    benchmark::DoNotOptimize(text);
  }
  TUL_ISO8583_MSG_Free(&msg);
}

template <std::size_t N>
void benchPack(benchmark::State &state, const Field (&fields)[N]) {
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  unsigned char out[1024];
  unsigned long before = ISO_MEM_GetAllocCount();
  for (auto _ : state) {
    std::uint32_t len = buildAndPack(fields, handler, out, sizeof out);
    benchmark::DoNotOptimize(len);
    benchmark::ClobberMemory();
  }
  double allocs = static_cast<double>(ISO_MEM_GetAllocCount() - before);
  state.SetItemsProcessed(state.iterations());
  state.counters["msgs_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["allocs_per_msg"] = allocs / static_cast<double>(state.iterations());
}

template <std::size_t N>
void benchUnpack(benchmark::State &state, const Field (&fields)[N]) {
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  unsigned char wire[1024];
  std::uint32_t len = buildAndPack(fields, handler, wire, sizeof wire);
  if (len == 0) {
    state.SkipWithError("pack failed");
    return;
  }
  state.counters["bytes"] = len;
  unsigned long before = ISO_MEM_GetAllocCount();
  for (auto _ : state) {
    unpackAndRead(handler, wire, len);
    benchmark::ClobberMemory();
  }
  double allocs = static_cast<double>(ISO_MEM_GetAllocCount() - before);
  state.SetItemsProcessed(state.iterations());
  state.counters["msgs_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["allocs_per_msg"] = allocs / static_cast<double>(state.iterations());
}

void BM_PackPurchaseRequest(benchmark::State &state) { benchPack(state, PURCHASE); }
void BM_UnpackPurchaseRequest(benchmark::State &state) { benchUnpack(state, PURCHASE); }
void BM_PackPurchaseResponse(benchmark::State &state) { benchPack(state, RESPONSE); }
void BM_UnpackPurchaseResponse(benchmark::State &state) { benchUnpack(state, RESPONSE); }

// The round trip's halves, on the purchase request without field 1 (the bitmap is computed).
constexpr std::size_t ROUND_TRIP_FIELDS = sizeof PURCHASE / sizeof PURCHASE[0];

std::uint32_t packOnce(const TUL_ISO8583_HANDLER &handler, unsigned char *out, std::uint32_t size) {
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  for (const Field &f : PURCHASE)
    if (f.number != 1)
      TUL_ISO8583_MSG_SetField_Bin(f.number, f.value.data(), static_cast<std::uint32_t>(f.value.size()), &msg);
  std::uint32_t len = 0;
  TUL_ISO8583_MSG_Pack(&handler, &msg, out, size, &len);
  TUL_ISO8583_MSG_Free(&msg);
  return len;
}

// The number of fields read back; every byte of each is touched.
std::uint32_t unpackReadAll(const TUL_ISO8583_HANDLER &handler, const unsigned char *in, std::uint32_t len) {
  TUL_ISO8583_MSG msg;
  TUL_ISO8583_MSG_Init(nullptr, 0, &msg);
  TUL_ISO8583_MSG_Unpack(&handler, in, len, &msg);
  std::uint32_t found = 0;
  for (const Field &f : PURCHASE) {
    unsigned char *data = nullptr;
    std::uint32_t n = 0;
    if (f.number == 1 || TUL_ISO8583_MSG_GetField_Bin(f.number, &msg, &data, &n) != 0) continue;
    unsigned char sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) sum = static_cast<unsigned char>(sum + data[i]);
    benchmark::DoNotOptimize(sum);
    ++found;
  }
  TUL_ISO8583_MSG_Free(&msg);
  return found;
}

void reportRate(benchmark::State &state, unsigned long before) {
  state.SetItemsProcessed(state.iterations());
  state.counters["per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["allocs"] =
      static_cast<double>(ISO_MEM_GetAllocCount() - before) / static_cast<double>(state.iterations());
}

void BM_RoundTripPack(benchmark::State &state) {
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  unsigned char out[1024];
  unsigned long before = ISO_MEM_GetAllocCount();
  for (auto _ : state) benchmark::DoNotOptimize(packOnce(handler, out, sizeof out));
  reportRate(state, before);
}

void BM_RoundTripUnpack(benchmark::State &state) {
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  unsigned char wire[1024];
  std::uint32_t len = packOnce(handler, wire, sizeof wire);
  // Every field must come back, or the figure would flatter a failing decoder.
  if (len == 0 || unpackReadAll(handler, wire, len) != ROUND_TRIP_FIELDS - 1) {
    state.SkipWithError("the purchase does not survive the round trip");
    return;
  }
  unsigned long before = ISO_MEM_GetAllocCount();
  for (auto _ : state) benchmark::DoNotOptimize(unpackReadAll(handler, wire, len));
  reportRate(state, before);
}

void BM_RoundTrip(benchmark::State &state) {
  TUL_ISO8583_HANDLER handler;
  TUL_ISO8583_DEFS_GetHandler(&handler);
  unsigned char wire[1024];
  unsigned long before = ISO_MEM_GetAllocCount();
  for (auto _ : state) {
    std::uint32_t len = packOnce(handler, wire, sizeof wire);
    benchmark::DoNotOptimize(unpackReadAll(handler, wire, len));
  }
  reportRate(state, before);
}

BENCHMARK(BM_RoundTripPack);
BENCHMARK(BM_RoundTripUnpack);
BENCHMARK(BM_RoundTrip);
BENCHMARK(BM_PackPurchaseRequest);
BENCHMARK(BM_UnpackPurchaseRequest);
BENCHMARK(BM_PackPurchaseResponse);
BENCHMARK(BM_UnpackPurchaseResponse);

} // namespace

BENCHMARK_MAIN();
