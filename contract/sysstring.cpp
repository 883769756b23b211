// The counted-string allocator. Each block is laid out as
//   [uint32 byte length][content][two zero bytes]
// and the caller sees the address of the content. The allocator keeps a
// registry of its live strings and the length each was made with, so that a
// pointer handed over by a library can be told from one of ours before it is
// read or freed.
#include "contract/sysstring.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
constexpr std::size_t kTerminator = 2;
// Keeps prefix, content and terminator addressable by 32-bit offsets.
constexpr std::uint32_t kMaxBytes = UINT32_MAX - kPrefix - kTerminator;

// Live strings and the byte length each was allocated with. Never destroyed,
// so that strings freed while the process ends still find it.
struct Registry {
    std::mutex lock;
    std::unordered_map<const void*, std::uint32_t> live;
};

Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

BSTR allocate(const void* source, std::uint32_t bytes)
{
    if (bytes > kMaxBytes)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + kTerminator));
    if (!block)
        return nullptr;
    std::memcpy(block, &bytes, kPrefix);
    unsigned char* content = block + kPrefix;
    if (source)
        std::memcpy(content, source, bytes);
    content[bytes] = 0;
    content[bytes + 1] = 0;
    try {
        Registry& r = registry();
        const std::lock_guard hold(r.lock);
        r.live.emplace(content, bytes);
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    return reinterpret_cast<BSTR>(content);
}

unsigned char* blockOf(BSTR bstr)
{
    return reinterpret_cast<unsigned char*>(bstr) - kPrefix;
}

} // namespace

extern "C" {

BSTR SysAllocStringByteLen(const char* psz, unsigned int len)
{
    return allocate(psz, len);
}

BSTR SysAllocStringLen(const OLECHAR* str, unsigned int len)
{
    if (len > kMaxBytes / sizeof(OLECHAR))
        return nullptr;
    return allocate(str, len * static_cast<std::uint32_t>(sizeof(OLECHAR)));
}

void SysFreeString(BSTR bstr)
{
    if (!bstr)
        return;
    Registry& r = registry();
    {
        const std::lock_guard hold(r.lock);
        if (r.live.erase(bstr) == 1) {
            std::free(blockOf(bstr));
            return;
        }
    }
    // Freed twice, or never ours: a fault of the caller, raised with no lock held.
    std::fputs("SysFreeString: not a live counted string\n", stderr);
    std::abort();
}

unsigned int SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    std::uint32_t bytes;
    std::memcpy(&bytes, blockOf(bstr), kPrefix);
    return bytes;
}

unsigned int SysStringLen(BSTR bstr)
{
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

int sysStringCheck(BSTR bstr)
{
    if (!bstr)
        return SYSSTRING_LIVE;
    Registry& r = registry();
    const std::lock_guard hold(r.lock);
    const auto found = r.live.find(bstr);
    if (found == r.live.end())
        return SYSSTRING_UNKNOWN;
    return SysStringByteLen(bstr) > found->second ? SYSSTRING_OVERLONG : SYSSTRING_LIVE;
}

} // extern "C"
