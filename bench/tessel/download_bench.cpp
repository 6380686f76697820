// Download throughput through bootsim paced at 115200 baud, as a share of the
// ideal stop-and-wait rate: 512 image bytes per block over the bytes on the
// wire for the block packet and its reply, 10 bits a byte. Reports figures;
// it asserts nothing about time.
//
//   bench_tessel_download                    48 KiB image (about 5 s a framing; CI)
//   bench_tessel_download --image-kib 1024   the 1 MiB measure (about 95 s a framing)
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "bootsim.h"
#include "download.h"
#include "packet.h"

namespace {

constexpr unsigned kBaud = 115200;
size_t g_imageBytes = 48 * 1024;  // 96 blocks, about 4.5 s a run; --image-kib changes it
constexpr size_t kReplyPayload = 2;        // status and detail bytes of bootsim's replies

using Clock = std::chrono::steady_clock;

// Notes when the first block starts and when the last one is accepted.
class TimingSink final : public DownloadSink {
 public:
  void status(const char*) override {}
  void box(const char* text) override { std::fprintf(stderr, "box: %s\n", text); }
  void progress(int percent) override {
    if (percent == 0 && !started) {
      first = Clock::now();
      started = true;
    }
    if (percent == 100) last = Clock::now();
  }
  bool started = false;
  Clock::time_point first, last;
};

void BM_DownloadPaced(benchmark::State& state) {
  const int framing = static_cast<int>(state.range(0));
  char dir[] = "/tmp/tessel-bench-XXXXXX";
  if (!mkdtemp(dir)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string image = std::string(dir) + "/app.bin";
  {
    FILE* f = std::fopen(image.c_str(), "wb");
    for (size_t i = 0; i < g_imageBytes; ++i) std::fputc(static_cast<int>((i * 31 + 7) & 0xFF), f);
    std::fclose(f);
  }
  BootSimOptions o;
  o.baud = kBaud;
  o.tReply = framing == kFramingXor ? 'R' : 'S';
  o.qReply = framing == kFramingXor ? 'R' : 'P';
  BootSim sim(o);
  if (!sim.open()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  sim.start();

  DownloadJob job;
  std::snprintf(job.device, sizeof job.device, "%s", sim.devicePath().c_str());
  job.app = true;
  std::snprintf(job.appPath, sizeof job.appPath, "%s", image.c_str());

  const double wireBytes = static_cast<double>(packetSize(framing, kBlockHeader + kBlockData) +
                                               packetSize(framing, kReplyPayload));
  const double idealRate = kBlockData / (wireBytes * 10.0 / kBaud);  // image bytes per second
  double blockRate = 0, wholeRate = 0;
  for (auto _ : state) {
    TimingSink sink;
    downloadSetSink(&sink);
    const auto t0 = Clock::now();
    const DownloadOutcome r = firmwareWorker(job);
    const auto t1 = Clock::now();
    downloadSetSink(nullptr);
    if (r != DL_SUCCESS) {
      state.SkipWithError("download failed");
      break;
    }
    blockRate = g_imageBytes / std::chrono::duration<double>(sink.last - sink.first).count();
    wholeRate = g_imageBytes / std::chrono::duration<double>(t1 - t0).count();
  }
  sim.stop();
  if (sim.report().appImage.size() != g_imageBytes) state.SkipWithError("image did not arrive whole");
  state.counters["ideal_Bps"] = idealRate;
  state.counters["blocks_Bps"] = blockRate;
  state.counters["share_pct"] = 100.0 * blockRate / idealRate;
  state.counters["whole_run_share_pct"] = 100.0 * wholeRate / idealRate;
  state.counters["image_KiB"] = static_cast<double>(g_imageBytes / 1024);
  std::remove(image.c_str());
  rmdir(dir);
}

BENCHMARK(BM_DownloadPaced)->Arg(kFramingXor)->Arg(kFramingCrc)->ArgNames({"framing"})->Iterations(1)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Our own option first; the rest belongs to the benchmark library.
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--image-kib" && i + 1 < argc) {
      const long kib = std::strtol(argv[++i], nullptr, 10);
      if (kib < 1 || kib > 64 * 1024) {
        std::fprintf(stderr, "--image-kib takes 1 to 65536\n");
        return 2;
      }
      g_imageBytes = static_cast<size_t>(kib) * 1024;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
