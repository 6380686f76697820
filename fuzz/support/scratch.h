/*
 * scratch.h - what the targets that run the terminal on the simulator share:
 * the folder they keep the terminal's files in, and dropping what a run left.
 *
 * The terminal syncs every settings and journal write. On a disk each sync
 * waits for the device, and the fuzzer would measure the disk instead of the
 * readers, so the folder lives in memory (/dev/shm) where the machine has it.
 * The simulator changes into that folder; keepCallerPaths makes relative
 * corpus and crash paths on the command line absolute first, so they still
 * mean what the caller meant.
 */
#ifndef FUZZ_SUPPORT_SCRATCH_H
#define FUZZ_SUPPORT_SCRATCH_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "device.h"

namespace fuzzsupport {

// A fresh folder named after the target, removed when the run ends normally.
inline const std::string &scratchDir(const char *target) {
  static const std::string dir = [target] {
    std::error_code ec;
    const bool shm = std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0;
    std::string pattern = std::string(shm ? "/dev/shm/" : "/tmp/") + target + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  static const bool cleanup = std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }) == 0;
  (void)cleanup;
  return dir;
}

// For LLVMFuzzerInitialize: relative paths among the arguments become
// absolute, and crash files go to the caller's folder unless told otherwise.
inline void keepCallerPaths(int *argc, char ***argv) {
  static std::vector<std::string> args;
  static std::vector<char *> pointers;
  char cwd[4096];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return;
  bool prefixGiven = false;
  for (int i = 0; i < *argc; ++i) {
    std::string a = (*argv)[i];
    const std::string flag = "-artifact_prefix=";
    if (a.rfind(flag, 0) == 0) {
      prefixGiven = true;
      if (a.size() > flag.size() && a[flag.size()] != '/') a = flag + cwd + "/" + a.substr(flag.size());
    } else if (i > 0 && !a.empty() && a[0] != '-' && a[0] != '/') a = std::string(cwd) + "/" + a;
    args.push_back(a);
  }
  if (!prefixGiven) args.push_back(std::string("-artifact_prefix=") + cwd + "/");
  for (std::string &a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(args.size());
  *argv = pointers.data();
}

// One of the terminal's files with exactly the given bytes.
inline void writeFile(const char *path, const unsigned char *data, std::size_t size) {
  std::FILE *f = std::fopen(path, "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// The simulator's event list (beeps, clock and settings changes) grows with
// the inputs. Memory held over to the next input looks like a leak to libFuzzer:
// it scans the whole heap each time, and after a thousand scans gives up
// looking for leaks at all. So a run drops the list before it ends.
inline void dropEvents() {
  std::lock_guard<std::recursive_mutex> lock(sim::detail::mutex());
  std::vector<std::string>().swap(sim::detail::dev().events);
}

} // namespace fuzzsupport

#endif
