// Global operator new and delete that count. Each block carries its requested
// size in a header, so live and peak bytes are exact. Single-threaded use only.
#include "bench/counting_allocator.h"

#include <cstdlib>
#include <new>

namespace bench {

namespace {

HeapCounters counters;
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* allocate(std::size_t size)
{
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block)
        throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(block) = size;
    ++counters.allocations;
    counters.liveBytes += size;
    if (counters.liveBytes > counters.peakBytes)
        counters.peakBytes = counters.liveBytes;
    return block + kHeader;
}

void release(void* p) noexcept
{
    if (!p)
        return;
    auto* block = static_cast<unsigned char*>(p) - kHeader;
    counters.liveBytes -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}

} // namespace

HeapCounters heapCounters()
{
    return counters;
}

void resetHeapPeak()
{
    counters.peakBytes = counters.liveBytes;
}

} // namespace bench

void* operator new(std::size_t size) { return bench::allocate(size); }
void* operator new[](std::size_t size) { return bench::allocate(size); }
void operator delete(void* p) noexcept { bench::release(p); }
void operator delete[](void* p) noexcept { bench::release(p); }
void operator delete(void* p, std::size_t) noexcept { bench::release(p); }
void operator delete[](void* p, std::size_t) noexcept { bench::release(p); }
