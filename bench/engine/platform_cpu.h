/*
 * platform_cpu.h - CPU time the benchmarks spend inside the platform
 * library's drawing (LCD text, logos and clears; the printer turning a
 * composed page into dots), so that the application's own share can be told
 * apart from the simulator's rasterising. On the terminal that work is the
 * platform's, not ours.
 *
 * Linking bench_platform_cpu wraps those DLL_ calls (the linker's --wrap),
 * so the application is measured unchanged.
 */
#ifndef BENCH_PLATFORM_CPU_H
#define BENCH_PLATFORM_CPU_H

namespace benchcpu {

// This thread's CPU time in milliseconds.
double threadCpuMs();
// CPU milliseconds spent in the wrapped drawing calls since the process began.
double drawingCpuMs();
// How many pages the printer was asked to print.
long pagesStarted();

}  // namespace benchcpu

#endif
