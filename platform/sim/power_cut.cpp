/*
 * power_cut.cpp - the simulated power loss: every DLL_ operation counts itself
 * here, and with --sim-power-cut N the Nth one ends the process on the spot
 * (status 99), before it acts and without flushing anything, as a terminal
 * whose power fails does. The count of a run that ends normally goes into
 * events.txt, so a harness knows how many cut points a run has.
 */
#include <unistd.h>

#include <atomic>

#include "device.h"

namespace sim::detail {

namespace {
std::atomic<long long> calls{0};
std::atomic<long long> cutAt{0}; // 0: never
}  // namespace

void setPowerCut(long long nth) {
  calls = 0;
  cutAt = nth;
}

long long platformCalls() { return calls.load(); }

void powerCutPoint() {
  const long long n = ++calls;
  const long long at = cutAt.load();
  // _exit: no atexit handlers, no stream flush; files already written stay.
  if (at > 0 && n == at) _exit(kPowerCutStatus);
}

}  // namespace sim::detail
