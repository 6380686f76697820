// startup_bench.cpp - how long a headless saffron takes from exec to its first
// idle screen on an empty folder, and its peak memory. Each run boots the
// program with a script that waits for the idle screen's text and quits.
//   bench_startup [RUNS]      (default 20; prints median, fastest and slowest)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A line of the idle screen (the merchant-information prompt of a fresh terminal).
constexpr const char *IDLE_TEXT = "اطلاعات پذیرنده را دریافت نمایید";

struct Run {
  double wallMs;
  double cpuMs;  // user + system: what the start costs, whatever else the machine runs
  double peakMiB;
};

bool bootOnce(const std::filesystem::path &root, Run *run) {
  const std::filesystem::path data = root / "data", out = root / "out", script = root / "script.txt";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(data);
  std::ofstream(script) << "expect " << IDLE_TEXT << "\nquit\n";

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    // No display: a headless run must never reach for the window front end.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execl(SAFFRON_PROGRAM, SAFFRON_PROGRAM, "--sim-headless", "--sim-time", "20240320101500", "--sim-script",
          script.c_str(), "--sim-out", out.c_str(), "--sim-data", data.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "bench_startup: saffron ended with status %d (3: the idle screen never came)\n",
                 WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return false;
  }
  run->wallMs = std::chrono::duration<double, std::milli>(end - start).count();
  const auto ms = [](const timeval &t) { return static_cast<double>(t.tv_sec) * 1000 + t.tv_usec / 1000.0; };
  run->cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
  run->peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
  return true;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  if (runs < 1 || runs > 10000) {
    std::fprintf(stderr, "usage: bench_startup [RUNS 1..10000]\n");
    return 2;
  }
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("bench_startup_" + std::to_string(getpid()));
  std::vector<double> wall, cpu, peak;
  for (int i = 0; i < runs; ++i) {
    Run r{};
    if (!bootOnce(root, &r)) {
      std::filesystem::remove_all(root);
      return 1;
    }
    wall.push_back(r.wallMs);
    cpu.push_back(r.cpuMs);
    peak.push_back(r.peakMiB);
  }
  std::filesystem::remove_all(root);
  std::printf("headless start to the first idle screen, empty folder, %d runs\n", runs);
  std::printf("  wall time   median %.1f ms  (fastest %.1f, slowest %.1f)\n", median(wall),
              *std::min_element(wall.begin(), wall.end()), *std::max_element(wall.begin(), wall.end()));
  std::printf("  CPU time    median %.1f ms  (user + system)\n", median(cpu));
  std::printf("  peak memory median %.1f MiB (largest %.1f)\n", median(peak), *std::max_element(peak.begin(), peak.end()));
  return 0;
}
