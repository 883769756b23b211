// The heap keeps freed memory: blocks of the conversions' sizes come from the
// heap and stay there when freed, so a conversion run again, or after the
// library's path, takes no fresh page.
#include "platform/heap.h"

#include "core/conversions.h"
#include "core/runs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
#define VC_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VC_OWN_ALLOCATOR 1
#endif
#endif

namespace {

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

class KeptHeap : public testing::Test {
protected:
    void SetUp() override
    {
#ifdef VC_OWN_ALLOCATOR
        GTEST_SKIP() << "the sanitizer's allocator takes no setting";
#endif
        ASSERT_TRUE(platform::keepFreedMemory());
    }
};

} // namespace

// First, before any large block of this suite's own has moved the C library's limits.
TEST_F(KeptHeap, RepeatedConversionTakesNoFreshPages)
{
    const core::ByteArray mat(0, core::kBlockElements);
    core::Quendril(mat, core::kBlockBytes);
    // Blocks freed before the conversion, as another run or the library's path leaves them.
    struct Step {
        const char* what;
        std::size_t blockBytes;
    };
    for (const Step& step : {Step{"in-program again", 0}, Step{"after a library-sized block", 300 << 10},
                             Step{"after a large text", 2 * core::kBlockBytes + 6}}) {
        if (step.blockBytes)
            std::free(std::memset(std::malloc(step.blockBytes), 0, step.blockBytes));
        const long before = minorFaults();
        const std::u16string s = core::Quendril(mat, core::kBlockBytes);
        const long faults = minorFaults() - before;
        ASSERT_EQ(s.size(), static_cast<std::size_t>(core::kBlockBytes));
        // Fresh pages for every step's block would be thousands of faults.
        EXPECT_LT(faults, 64) << step.what;
    }
}

TEST_F(KeptHeap, FreedBlocksStayInTheHeap)
{
    // Beyond the default limits of 128 KiB; the largest text is 100000 bytes.
    for (const std::size_t size : {std::size_t{100000}, std::size_t{200 << 10}, std::size_t{500 << 10}}) {
        const struct mallinfo2 before = mallinfo2();
        void* block = std::malloc(size);
        ASSERT_NE(block, nullptr);
        std::memset(block, 1, size);
        const struct mallinfo2 held = mallinfo2();
        std::free(block);
        const struct mallinfo2 after = mallinfo2();
        EXPECT_EQ(held.hblks, before.hblks) << size << " bytes came from a fresh mapping";
        EXPECT_EQ(after.arena, held.arena) << size << " bytes were given back to the system";
    }
}

#endif
