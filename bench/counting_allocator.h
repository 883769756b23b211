// A counting replacement for the global allocator, linked into the benchmarks
// only: how many allocations a piece of code makes, and its peak heap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

struct HeapCounters {
    std::uint64_t allocations = 0;
    std::size_t liveBytes = 0;
    std::size_t peakBytes = 0;
};

// The counters as they stand now.
HeapCounters heapCounters();
// Makes the current live size the new peak, so a later peak is measured from here.
void resetHeapPeak();

} // namespace bench
