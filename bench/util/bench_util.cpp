// Gregorian-to-Shamsi conversion (every receipt, report line and idle-screen
// tick) and the code-page decoder (merchant names from the switch).
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "util/DateTime.h"
#include "util/Strings.h"

namespace {

// One date of each month across the accepted span, so the conversion's
// year loop runs over short and long distances from its base.
std::vector<std::array<int, 3>> sampleDates(int firstYear, int lastYear)
{
    std::vector<std::array<int, 3>> dates;
    for (int y = firstYear; y <= lastYear; ++y)
        for (int m = 1; m <= 12; ++m)
            dates.push_back({y - 2000, m, 1 + (y * 7 + m * 3) % 28});
    return dates;
}

void BM_miladyToShamsi(benchmark::State &state)
{
    const auto dates = sampleDates(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::size_t i = 0;
    int out[3];
    for (auto _ : state) {
        benchmark::DoNotOptimize(miladyToShamsi(dates[i].data(), out));
        benchmark::DoNotOptimize(out);
        if (++i == dates.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_miladyToShamsi)->Args({2020, 2030})->Args({1900, 2040});

// A merchant name as the switch sends it: Windows-1256 letters and spaces,
// some Iran System bytes and digits.
std::string merchantName(std::size_t length)
{
    const std::string pattern = "\xC8\xD1\xC7\x20\xE3\xCA\x93\xA4\x20\x31\x32\x33\xEE\x8F\xFE\xC1\x01";
    std::string s;
    while (s.size() < length)
        s += pattern;
    s.resize(length);
    return s;
}

void BM_convertStr(benchmark::State &state)
{
    const std::string src = merchantName(static_cast<std::size_t>(state.range(0)));
    char out[2 * CONVERT_MAX_SOURCE + 1];
    for (auto _ : state) {
        out[0] = '\0';
        benchmark::DoNotOptimize(convertStr(src.data(), static_cast<int>(src.size()), 0, 0, 6, out, sizeof out));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_convertStr)->Arg(32)->Arg(256);

void BM_convertStrHex(benchmark::State &state)
{
    const std::string raw = merchantName(static_cast<std::size_t>(state.range(0)));
    char hex[2 * CONVERT_MAX_SOURCE + 1];
    bytesToHexString(reinterpret_cast<const uint8_t *>(raw.data()), static_cast<int>(raw.size()), hex, sizeof hex);
    char out[2 * CONVERT_MAX_SOURCE + 1];
    for (auto _ : state) {
        out[0] = '\0';
        benchmark::DoNotOptimize(convertStr(hex, static_cast<int>(raw.size()), 1, 0, 6, out, sizeof out));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_convertStrHex)->Arg(32)->Arg(256);

} // namespace

BENCHMARK_MAIN();
