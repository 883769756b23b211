// The counted-string allocator. Each block is laid out as
//   [uint32 byte length][content][two zero bytes]
// and the caller sees the address of the content.
#include "platform/sysstring.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);
constexpr std::size_t kTerminator = 2;
// Keeps prefix, content and terminator addressable by 32-bit offsets.
constexpr std::uint32_t kMaxBytes = UINT32_MAX - kPrefix - kTerminator;

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
    if (bstr)
        std::free(blockOf(bstr));
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

} // extern "C"
