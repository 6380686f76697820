// iso_mem.cpp - zero-filled allocation for the codec, with a counter and a
// swappable allocator so failures can be forced in tests.
//
// Field values are small and short-lived (a message is built, packed and freed
// within one exchange), so freed blocks of up to 256 bytes are kept per thread
// and handed out again: after the first messages a build or parse takes no heap
// block at all. Each block carries a 16-byte header naming its size class, so
// a block freed on another thread simply joins that thread's cache. The cache
// is bypassed while a test's allocator is installed (so failures are still
// forced) and in AddressSanitizer builds (so use after free is still caught).
#include "iso8583/iso_mem.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

ISO_MEM_CallocFn ISO_MEM_callocHook = std::calloc;

namespace {

std::atomic<unsigned long> allocCount{0};

constexpr bool CACHE_ENABLED = !ISO_MEM_SANITIZED;

constexpr std::size_t HEADER = 16; // keeps the value as aligned as calloc's block
constexpr std::size_t CLASS_BYTES[] = {32, 64, 128, 256};
constexpr std::uint32_t CLASS_COUNT = sizeof CLASS_BYTES / sizeof CLASS_BYTES[0];
constexpr std::uint32_t UNCACHED = 0xFFFFFFFFu;
constexpr std::size_t CACHE_DEPTH = 256; // blocks kept per class and thread

struct Header {
  std::uint32_t sizeClass; // index into CLASS_BYTES, or UNCACHED
};
static_assert(sizeof(Header) <= HEADER);

// The blocks themselves live in plain thread-local storage (no guard on each
// use); an owner object, made when the first block is kept, hands them back to
// the heap at thread exit. After that, cacheAlive is false and a block freed
// later by another destructor goes straight back to the heap.
struct CacheData {
  void *blocks[CLASS_COUNT][CACHE_DEPTH];
  std::size_t depth[CLASS_COUNT];
};
thread_local CacheData cacheData;
thread_local bool cacheAlive = true;
thread_local bool cacheOwned = false;

struct CacheOwner {
  ~CacheOwner() {
    cacheAlive = false;
    for (std::uint32_t c = 0; c < CLASS_COUNT; ++c)
      for (std::size_t i = 0; i < cacheData.depth[c]; ++i) std::free(cacheData.blocks[c][i]);
  }
};

void ownCache() {
  thread_local CacheOwner owner;
  cacheOwned = true;
}

// Clears a whole block of its class: constant sizes become a few vector
// stores, where a variable-length clear of a small block costs a string
// instruction's start-up.
void zeroClass(unsigned char *block, std::uint32_t sizeClass) {
  switch (sizeClass) {
  case 0: std::memset(block, 0, CLASS_BYTES[0]); break;
  case 1: std::memset(block, 0, CLASS_BYTES[1]); break;
  case 2: std::memset(block, 0, CLASS_BYTES[2]); break;
  default: std::memset(block, 0, CLASS_BYTES[3]); break;
  }
}

std::uint32_t classFor(std::size_t bytes) {
  for (std::uint32_t c = 0; c < CLASS_COUNT; ++c)
    if (bytes <= CLASS_BYTES[c]) return c;
  return UNCACHED;
}

} // namespace

int ISO_MEM_callocWithInit(std::size_t count, std::size_t size, void **pointer) {
  *pointer = nullptr;
  if (count == 0) return 0;
  if (size != 0 && count > SIZE_MAX / size) return 1000;
  std::size_t bytes = count * size;
  if (bytes > SIZE_MAX - HEADER - CLASS_BYTES[CLASS_COUNT - 1]) return 1000;
  bool cached = cacheAlive && ISO_MEM_MayBypassHeap();
  std::uint32_t sizeClass = cached ? classFor(bytes) : UNCACHED;

  unsigned char *raw = nullptr;
  if (sizeClass != UNCACHED) {
    CacheData &c = cacheData;
    if (c.depth[sizeClass] > 0) {
      raw = static_cast<unsigned char *>(c.blocks[sizeClass][--c.depth[sizeClass]]);
      zeroClass(raw + HEADER, sizeClass);
      *pointer = raw + HEADER;
      return 0;
    }
    bytes = CLASS_BYTES[sizeClass]; // so the block can serve any request of its class later
  }
  raw = static_cast<unsigned char *>(ISO_MEM_callocHook(1, HEADER + bytes));
  if (raw == nullptr) return 1000;
  allocCount.fetch_add(1, std::memory_order_relaxed);
  Header h{sizeClass};
  std::memcpy(raw, &h, sizeof h);
  *pointer = raw + HEADER;
  return 0;
}

int ISO_MEM_malloc(std::size_t size, void **pointer) { return ISO_MEM_callocWithInit(1, size, pointer); }

void ISO_MEM_free(void *pointer) {
  if (pointer == nullptr) return;
  unsigned char *raw = static_cast<unsigned char *>(pointer) - HEADER;
  Header h;
  std::memcpy(&h, raw, sizeof h);
  if (CACHE_ENABLED && cacheAlive && h.sizeClass < CLASS_COUNT) {
    if (!cacheOwned) ownCache();
    CacheData &c = cacheData;
    if (c.depth[h.sizeClass] < CACHE_DEPTH) {
      c.blocks[h.sizeClass][c.depth[h.sizeClass]++] = raw;
      return;
    }
  }
  std::free(raw);
}

unsigned long ISO_MEM_GetAllocCount() { return allocCount.load(std::memory_order_relaxed); }
