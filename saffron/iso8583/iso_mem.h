/*
 * iso_mem.h - the codec's allocation utilities. Every heap block the codec
 * takes goes through here, so the tests can make an allocation fail and the
 * benchmark can count allocations per message.
 */
#ifndef SAFFRON_ISO8583_ISO_MEM_H
#define SAFFRON_ISO8583_ISO_MEM_H

#include <cstddef>
#include <cstdlib>

// Allocates count*size zero-filled bytes into *pointer. Returns 0 (with a null
// pointer and no allocation when count is 0) or 1000 with a null pointer when
// the allocation fails or count*size overflows.
int ISO_MEM_callocWithInit(std::size_t count, std::size_t size, void **pointer);
// ISO_MEM_callocWithInit(1, size, pointer).
int ISO_MEM_malloc(std::size_t size, void **pointer);
// Releases a block from the two above; null is ignored.
void ISO_MEM_free(void *pointer);

// Seam for tests: the allocator the two above call (std::calloc by default).
using ISO_MEM_CallocFn = void *(*)(std::size_t count, std::size_t size);
extern ISO_MEM_CallocFn ISO_MEM_callocHook;

// True in AddressSanitizer builds, where every value must have a heap block of
// its own so that reads past it and uses after free are caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool ISO_MEM_SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool ISO_MEM_SANITIZED = true;
#else
constexpr bool ISO_MEM_SANITIZED = false;
#endif
#else
constexpr bool ISO_MEM_SANITIZED = false;
#endif

// Whether values may come from storage other than a fresh heap block (the
// thread's recycled blocks, a message's own store): not in sanitizer builds,
// and not while a test's allocator is installed, so that the failures it
// forces still reach the caller.
inline bool ISO_MEM_MayBypassHeap() { return !ISO_MEM_SANITIZED && ISO_MEM_callocHook == std::calloc; }

// Number of heap blocks taken since start-up (relaxed counter); blocks
// recycled from the thread's cache of freed ones are not counted.
unsigned long ISO_MEM_GetAllocCount();

#endif
