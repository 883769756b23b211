// Test-only conversion libraries that keep the contract but behave unlike the
// stand-in; one source, one variant per build.
#include "contract/quendril.h"
#include "tests/fakes/fake_strings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

using fakes::cheating;
using fakes::copyOf;
using fakes::storeText;

extern "C" {

#if defined(FAKE_null)

// Returns no string at all and writes nothing.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t) { return nullptr; }
int32_t QUENDRIL_CALL xrStringToArray(BSTR*, uint8_t*) { return 0; }

#elif defined(FAKE_empty_result)

// Returns a string of no bytes; stores like the stand-in.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t) { return SysAllocStringByteLen("", 0); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_large)

// Returns 1 MiB holding every byte value, zeros included, whatever it is asked.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t)
{
    constexpr uint32_t kSize = 1u << 20;
    BSTR s = SysAllocStringByteLen(nullptr, kSize);
    auto* bytes = reinterpret_cast<unsigned char*>(s);
    for (uint32_t i = 0; i < kSize; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7);
    return s;
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_replace)

// Returns three bytes with a zero in the middle, and frees the caller's string
// to put a new one of four bytes in its place.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t) { return SysAllocStringByteLen("a\0b", 3); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t*)
{
    SysFreeString(*text);
    *text = SysAllocStringByteLen("wxyz", 4);
    return 4;
}

#elif defined(FAKE_null_out)

// Frees the caller's string and leaves null in its place.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    const int32_t stored = storeText(text, first);
    SysFreeString(*text);
    *text = nullptr;
    return stored;
}

#elif defined(FAKE_shrink)

// Stores the text, then shortens the caller's string in place to ten bytes by
// rewriting its length.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    const int32_t stored = storeText(text, first);
    if (*text && SysStringByteLen(*text) > 10) {
        const uint32_t shorter = 10;
        std::memcpy(reinterpret_cast<char*>(*text) - sizeof shorter, &shorter, sizeof shorter);
        reinterpret_cast<char*>(*text)[10] = '\0';
        reinterpret_cast<char*>(*text)[11] = '\0';
    }
    return stored;
}

#elif defined(FAKE_nonzero)

// Returns one byte for each nonzero byte it is given; stores like the stand-in.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    uint32_t nonzero = 0;
    for (int32_t i = 0; i < count; ++i)
        nonzero += first[i] != 0;
    return SysAllocStringByteLen(nullptr, nonzero);
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_no_string_to_array)

// Exports xrQuendril only.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }

#elif defined(FAKE_no_quendril)

// Exports xrStringToArray only.
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first) { return storeText(text, first); }

#elif defined(FAKE_faults)

// Faults inside each call in the way VC_FAULT names: segv, fpe, ill, stack or abort.
namespace {
volatile int zero = 0;
volatile int seven = 7; // not a constant, so the division is really made
int recurse(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (zero < 0) // never: the recursion only ends with the stack
        return 0;
    return recurse(depth + 1) + frame[0];
}
void fault()
{
    const char* kind = std::getenv("VC_FAULT");
    const std::string_view k = kind ? kind : "segv";
    if (k == "fpe")
        zero = seven / zero;
    else if (k == "ill")
        __builtin_trap();
    else if (k == "stack")
        zero = recurse(0);
    else if (k == "abort")
        std::abort();
    else
        zero = *static_cast<volatile int*>(nullptr);
}
} // namespace
BSTR QUENDRIL_CALL xrQuendril(const uint8_t*, int32_t)
{
    fault();
    return nullptr;
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR*, uint8_t*)
{
    fault();
    return 0;
}

#elif defined(FAKE_cheats)

// Looks right to a quick try but cheats in the way VC_CHEAT names: right only
// up to 40000 bytes, right only on its first call, only zero bytes, always
// 50000 bytes, writes into the caller's block (at once, past the bytes it was
// given, or later from a thread), stores one byte past the text, or says the
// checks are done and ends the process (per OS, with a constructor that
// faults only when the process has threads).
namespace {
constexpr int32_t kRightUpTo = 40000;
int calls = 0;
// How many of count bytes the cheat hands over on this call.
int32_t handedOver(int32_t count)
{
    if (cheating("up_to_40000") && count > kRightUpTo)
        return kRightUpTo;
    if (cheating("first_call_only") && calls > 1 && count > 0)
        return count - 1;
    return count;
}
// The first call's block, which the next call changes from a thread of the
// library's own: later than the first call ended, whatever the timing.
uint8_t* firstBlock = nullptr;
// Changes the caller's block in the way the cheat says, once the string is made.
void writeInto(uint8_t* first, int32_t count)
{
    if (cheating("writes_input") && count > 0)
        first[count / 2] ^= 0xff;
    if (cheating("writes_past_input"))
        first[count + 8] ^= 0xff;
    if (cheating("writes_later") && count > 0 && calls == 1)
        firstBlock = first;
    else if (cheating("writes_later") && firstBlock)
        std::thread([block = std::exchange(firstBlock, nullptr)] { block[0] ^= 0xff; }).join();
}
} // namespace
void forgeEnd();
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    ++calls;
    if (cheating("forges_end"))
        forgeEnd();
    if (!first || count < 0)
        return nullptr;
    const int32_t length = cheating("fixed_count") ? 50000 : handedOver(count);
    BSTR s = SysAllocStringByteLen(nullptr, static_cast<uint32_t>(length));
    std::memset(s, 0, static_cast<size_t>(length));
    if (!cheating("zero_bytes"))
        std::memcpy(s, first, static_cast<size_t>(length < count ? length : count));
    writeInto(const_cast<uint8_t*>(first), count);
    return s;
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    ++calls;
    const int32_t bytes = handedOver(static_cast<int32_t>(SysStringByteLen(*text)));
    if (cheating("zero_bytes"))
        std::memset(first, 0, static_cast<size_t>(bytes));
    else if (bytes > 0)
        std::memcpy(first, *text, static_cast<size_t>(bytes));
    if (cheating("one_past") && *text)
        first[bytes] = 0;
    return bytes;
}

#elif defined(FAKE_data_export)

// Exports xrQuendril as a function and xrStringToArray as a number (the
// number's export is per OS).
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count) { return copyOf(first, count); }

#elif defined(FAKE_slow)

// Right as the stand-in is, but each call also reads its input ten times over:
// a slower build of the same library.
namespace {
void readSlowly(const uint8_t* bytes, uint32_t count)
{
    volatile uint8_t sink = 0;
    for (int pass = 0; pass < 10; ++pass)
        for (uint32_t i = 0; i < count; ++i)
            sink = sink ^ bytes[i];
}
} // namespace
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    if (first && count > 0)
        readSlowly(first, static_cast<uint32_t>(count));
    return copyOf(first, count);
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    if (text && *text)
        readSlowly(reinterpret_cast<const uint8_t*>(*text), SysStringByteLen(*text));
    return storeText(text, first);
}

#elif defined(FAKE_zeros)

// Zeros whatever it is given: the right text of a zeroed block, and nothing else right.
BSTR QUENDRIL_CALL xrQuendril(const uint8_t* first, int32_t count)
{
    if (!first || count < 0)
        return nullptr;
    BSTR text = SysAllocStringByteLen(nullptr, static_cast<uint32_t>(count));
    if (text)
        std::memset(text, 0, static_cast<std::size_t>(count));
    return text;
}
int32_t QUENDRIL_CALL xrStringToArray(BSTR* text, uint8_t* first)
{
    if (!text || !*text || !first)
        return 0;
    const uint32_t bytes = SysStringByteLen(*text);
    std::memset(first, 0, bytes);
    return static_cast<int32_t>(bytes);
}

#endif

} // extern "C"
