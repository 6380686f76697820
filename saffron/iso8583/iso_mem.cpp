// iso_mem.cpp - zero-filled allocation for the codec, with a counter and a
// swappable allocator so failures can be forced in tests.
#include "iso8583/iso_mem.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

ISO_MEM_CallocFn ISO_MEM_callocHook = std::calloc;

namespace {
std::atomic<unsigned long> allocCount{0};
}

int ISO_MEM_callocWithInit(std::size_t count, std::size_t size, void **pointer) {
  *pointer = nullptr;
  if (count == 0) return 0;
  if (size != 0 && count > SIZE_MAX / size) return 1000;
  void *block = ISO_MEM_callocHook(count, size);
  if (block == nullptr) return 1000;
  allocCount.fetch_add(1, std::memory_order_relaxed);
  *pointer = block;
  return 0;
}

int ISO_MEM_malloc(std::size_t size, void **pointer) { return ISO_MEM_callocWithInit(1, size, pointer); }

void ISO_MEM_free(void *pointer) { std::free(pointer); }

unsigned long ISO_MEM_GetAllocCount() { return allocCount.load(std::memory_order_relaxed); }
