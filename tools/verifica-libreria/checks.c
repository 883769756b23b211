/* The contract's checks, the same on every system: the exports, and both
 * functions where the programs use them (50000 bytes of a block of 50001),
 * around that size, well above it and at the smallest sizes, each size on
 * repeated calls with content holding every byte value in several orders.
 * A check that fails says what was expected and what the library did. */
#include "tools/verifica-libreria/checker.h"

#include <stdlib.h>
#include <string.h>

/* Calls per size, each with the bytes in another order. */
enum { kCalls = 3 };
/* Bytes past the text (past the block's spare element for xrQuendril) that
 * neither function may change. */
enum { kGuardBytes = 16 };
/* How long after its calls a group looks at their blocks again, for writes
 * the library makes late, from a thread of its own. */
enum { kWatchMs = 300 };
/* How long threads the library left running after its calls are given to
 * fault, the process then ending in the check that watches them. */
enum { kThreadWatchMs = 5000 };

int threadsBeforeLoading;

/* The address a function pointer holds, bit for bit. */
static void* addressOf(const void* pointer)
{
    void* address;
    memcpy(&address, pointer, sizeof address);
    return address;
}

int usable(const struct Library* lib)
{
    return isFunction(lib, addressOf(&lib->xrQuendril)) && isFunction(lib, addressOf(&lib->xrStringToArray))
           && lib->alloc && lib->release && lib->byteLen;
}

/* Whether the export at address is a function; what it is instead in why. */
static int isExportedFunction(const struct Library* lib, void* address, char* why, size_t size)
{
    if (isFunction(lib, address))
        return 1;
    snprintf(why, size, "expected a function, got %s", address ? "data under that name" : "no such export");
    return 0;
}

static int quendrilExported(struct Library* lib, size_t bytes, char* why, size_t size)
{
    (void)bytes;
    return isExportedFunction(lib, addressOf(&lib->xrQuendril), why, size);
}

static int stringToArrayExported(struct Library* lib, size_t bytes, char* why, size_t size)
{
    (void)bytes;
    return isExportedFunction(lib, addressOf(&lib->xrStringToArray), why, size);
}

static int allocatorReachable(struct Library* lib, size_t bytes, char* why, size_t size)
{
    (void)bytes;
    if (lib->alloc && lib->release && lib->byteLen)
        return 1;
    snprintf(why, size, "expected SysAllocStringByteLen, SysFreeString and SysStringByteLen, got %s; %s",
             lib->alloc || lib->release || lib->byteLen ? "only some of them" : "none of them", allocatorHint());
    return 0;
}

/* Fills n bytes with the test content in one of kCalls orders: each run of
 * 256 bytes holds every value 0-255 once. */
static void fillPattern(uint8_t* bytes, size_t n, int order)
{
    for (size_t i = 0; i < n; ++i)
        bytes[i] = order == 0 ? (uint8_t)i : order == 1 ? (uint8_t)(255 - i) : (uint8_t)(i * 167 + (i >> 8) + 89);
}

/* What the allocator makes of s, for a FAIL line; null when s is null or live. */
static const char* stringProblem(const struct Library* lib, BSTR s)
{
    const int found = lib->stringCheck ? lib->stringCheck(s) : 0;
    if (found == 0)
        return NULL;
    return found == 2 ? "a string whose length exceeds its allocation"
                      : "a pointer the allocator did not make, or has freed";
}

/* Whether got holds the n expected bytes; the first difference in why when not. */
static int sameBytes(const uint8_t* expected, const uint8_t* got, size_t n, char* why, size_t size)
{
    for (size_t i = 0; i < n; ++i)
        if (got[i] != expected[i]) {
            snprintf(why, size, "expected byte 0x%02x at offset %zu, got 0x%02x", expected[i], i, got[i]);
            return 0;
        }
    return 1;
}

/* Whether s is the live counted string of the n bytes in expected; why not in why. Frees s when live. */
static int isStringOf(const struct Library* lib, BSTR s, const uint8_t* expected, size_t n, char* why, size_t size)
{
    const char* problem = stringProblem(lib, s);
    if (!s || problem) {
        snprintf(why, size, "expected a live counted string, got %s", s ? problem : "null");
        return 0; /* neither read nor freed, as the programs do */
    }
    const uint8_t* got = (const uint8_t*)s;
    const size_t length = lib->byteLen(s);
    int held = 0;
    if (length != n)
        snprintf(why, size, "expected %zu %s, got %zu", n, n == 1 ? "byte" : "bytes", length);
    else if (!sameBytes(expected, got, n, why, size))
        held = 0;
    else if (got[n] != 0 || got[n + 1] != 0)
        snprintf(why, size, "expected two zero bytes after the text, got 0x%02x 0x%02x", got[n], got[n + 1]);
    else
        held = 1;
    lib->release(s);
    return held;
}

/* Whether the caller's block of n bytes is as it was; the first change in why when not. */
static int untouched(const uint8_t* before, const uint8_t* after, size_t n, char* why, size_t size)
{
    for (size_t i = 0; i < n; ++i)
        if (after[i] != before[i]) {
            snprintf(why, size, "expected the block untouched, got byte %zu changed from 0x%02x to 0x%02x", i,
                     before[i], after[i]);
            return 0;
        }
    return 1;
}

/* The blocks of calls that went right, each with what it must still hold,
 * kept to be looked at again after kWatchMs. */
enum { kKeptMost = 64 };
static struct Kept {
    uint8_t* block;
    uint8_t* expected;
    size_t length;
    size_t bytes;
    int call;
} kept[kKeptMost];
static size_t keptCount;

/* Keeps block and what it must hold, or frees both when there is no room. */
static void keep(uint8_t* block, uint8_t* expected, size_t length, size_t bytes, int call)
{
    if (keptCount == kKeptMost) {
        free(block);
        free(expected);
        return;
    }
    const struct Kept k = {block, expected, length, bytes, call};
    kept[keptCount++] = k;
}

/* Whether every kept block still holds what it held when its call returned,
 * kWatchMs later; the first change in why when not. Frees them all. */
static int keptUntouched(struct Library* lib, size_t bytes, char* why, size_t size)
{
    (void)lib;
    (void)bytes;
    pauseMilliseconds(kWatchMs);
    int held = 1;
    for (size_t k = 0; k < keptCount; ++k) {
        for (size_t i = 0; held && i < kept[k].length; ++i)
            if (kept[k].block[i] != kept[k].expected[i]) {
                snprintf(why, size,
                         "expected the blocks untouched %d ms after the calls, got byte %zu of the block of the "
                         "%zu-byte call %d changed from 0x%02x to 0x%02x",
                         kWatchMs, i, kept[k].bytes, kept[k].call + 1, kept[k].expected[i], kept[k].block[i]);
                held = 0;
            }
        free(kept[k].block);
        free(kept[k].expected);
    }
    keptCount = 0;
    return held;
}

/* Whether the library left threads running after its calls: if so, they are
 * watched for kThreadWatchMs, and a fault of theirs ends the process in this check. */
static int threadsWatched(struct Library* lib, size_t bytes, char* why, size_t size)
{
    (void)lib;
    (void)bytes;
    (void)why;
    (void)size;
    if (threadCount() > threadsBeforeLoading)
        pauseMilliseconds(kThreadWatchMs);
    return 1;
}

/* One call of xrQuendril on the first n bytes of a block of n + 1, as the
 * programs make it, with guard bytes after it. */
static int quendrilOnce(struct Library* lib, size_t n, int order, char* why, size_t size)
{
    const size_t length = n + 1 + kGuardBytes;
    uint8_t* block = malloc(length);
    uint8_t* before = malloc(length);
    int held = 0;
    if (!block || !before) {
        snprintf(why, size, "expected memory for a block of %zu bytes, got none", length);
    } else {
        fillPattern(block, length, order);
        memcpy(before, block, length);
        BSTR s = lib->xrQuendril(block, (int32_t)n);
        held = isStringOf(lib, s, before, n, why, size) && untouched(before, block, length, why, size);
    }
    if (held) {
        keep(block, before, length, n, order);
        return 1;
    }
    free(block);
    free(before);
    return 0;
}

/* What xrStringToArray did with a string of the n bytes in expected (and
 * kGuardBytes after them) stored into target; why it is wrong in why. */
static int storedRight(const struct Library* lib, const uint8_t* expected, const uint8_t* target, size_t n,
                       int32_t count, BSTR left, char* why, size_t size)
{
    char where[96];
    const char* problem = stringProblem(lib, left);
    if (!sameBytes(expected, target, n, why, size))
        return 0;
    for (size_t i = n; i < n + kGuardBytes; ++i)
        if (target[i] != expected[i]) {
            snprintf(where, sizeof where, "byte 0x%02x at offset %zu", target[i], i);
            snprintf(why, size, "expected nothing stored past the text, got %s", where);
            return 0;
        }
    if (count < 0 || (size_t)count != n)
        snprintf(why, size, "expected the count %zu, got %ld", n, (long)count);
    else if (problem)
        snprintf(why, size, "expected a live counted string left in the caller's variable, got %s", problem);
    return count >= 0 && (size_t)count == n && !problem;
}

/* One call of xrStringToArray storing a string of n bytes into a block with guard bytes after it. */
static int storeOnce(struct Library* lib, size_t n, int order, char* why, size_t size)
{
    uint8_t* expected = malloc(n + kGuardBytes);
    uint8_t* target = malloc(n + kGuardBytes);
    BSTR text = NULL;
    int held = 0;
    if (expected && target) {
        fillPattern(expected, n, order);
        memset(expected + n, order == 1 ? 0x5a : 0xa5, kGuardBytes);
        for (size_t i = 0; i < n; ++i)
            target[i] = (uint8_t)~expected[i];
        memcpy(target + n, expected + n, kGuardBytes);
        text = lib->alloc((const char*)expected, (uint32_t)n);
    }
    if (!text) {
        snprintf(why, size, "expected memory for a string of %zu bytes, got none", n);
    } else {
        const int32_t count = lib->xrStringToArray(&text, target);
        held = storedRight(lib, expected, target, n, count, text, why, size);
        if (!stringProblem(lib, text))
            lib->release(text);
    }
    if (held) {
        keep(target, expected, n + kGuardBytes, n, order);
        return 1;
    }
    free(expected);
    free(target);
    return held;
}

/* Runs one of kCalls calls at n bytes each, in turn, until one goes wrong; says which in why. */
static int repeated(int (*once)(struct Library*, size_t, int, char*, size_t), struct Library* lib, size_t n,
                    char* why, size_t size)
{
    for (int call = 0; call < kCalls; ++call)
        if (!once(lib, n, call, why, size)) {
            const size_t used = strlen(why);
            snprintf(why + used, size - used, " (call %d of %d)", call + 1, kCalls);
            return 0;
        }
    return 1;
}

static int quendrilAt(struct Library* lib, size_t bytes, char* why, size_t size)
{
    return repeated(quendrilOnce, lib, bytes, why, size);
}

static int storeAt(struct Library* lib, size_t bytes, char* why, size_t size)
{
    return repeated(storeOnce, lib, bytes, why, size);
}

/* Whether s is null, as a refused call's result must be; what it is instead in why. */
static int isNull(const struct Library* lib, BSTR s, char* why, size_t size)
{
    if (!s)
        return 1;
    if (stringProblem(lib, s)) {
        snprintf(why, size, "expected null, got %s", stringProblem(lib, s));
        return 0;
    }
    snprintf(why, size, "expected null, got a string of %lu bytes", (unsigned long)lib->byteLen(s));
    lib->release(s);
    return 0;
}

static int quendrilNegative(struct Library* lib, size_t bytes, char* why, size_t size)
{
    uint8_t block[8] = {0};
    (void)bytes;
    return isNull(lib, lib->xrQuendril(block, -1), why, size);
}

static int quendrilNullBlock(struct Library* lib, size_t bytes, char* why, size_t size)
{
    (void)bytes;
    return isNull(lib, lib->xrQuendril(NULL, 5), why, size);
}

static int storeNull(struct Library* lib, size_t bytes, char* why, size_t size)
{
    uint8_t target[kGuardBytes];
    uint8_t before[kGuardBytes];
    BSTR none = NULL;
    (void)bytes;
    memset(target, 0xa5, sizeof target);
    memcpy(before, target, sizeof target);
    const int32_t count = lib->xrStringToArray(&none, target);
    const char* problem = stringProblem(lib, none);
    if (!problem)
        lib->release(none);
    if (count != 0)
        snprintf(why, size, "expected the count 0, got %ld", (long)count);
    else if (problem)
        snprintf(why, size, "expected a live counted string or null left in the caller's variable, got %s", problem);
    return count == 0 && !problem && untouched(before, target, sizeof target, why, size);
}

/* The sizes both functions are tried at: the programs' own first. */
#define AT_EVERY_SIZE(name, run)                                                                               \
    {name, 50000, run}, {name, 49999, run}, {name, 50001, run}, {name, 0, run}, {name, 1, run}, {name, 2, run}, \
        {name, 255, run}, {name, 256, run}, {name, 257, run}, {name, 4096, run}, {name, 40000, run},            \
        {name, 40001, run}, {name, 65536, run}, {name, 1L << 20, run}

static const struct Check kExports[] = {
    {"xrQuendril is exported as a function", kNoSize, quendrilExported},
    {"xrStringToArray is exported as a function", kNoSize, stringToArrayExported},
    {"the counted-string allocator is reachable", kNoSize, allocatorReachable},
};
static const struct Check kQuendril[] = {
    AT_EVERY_SIZE("xrQuendril", quendrilAt),
    {"xrQuendril with a negative count", kNoSize, quendrilNegative},
    {"xrQuendril with a null block", kNoSize, quendrilNullBlock},
    {"xrQuendril's blocks after the calls", kNoSize, keptUntouched},
    {"xrQuendril's threads after the calls", kNoSize, threadsWatched},
};
static const struct Check kStringToArray[] = {
    AT_EVERY_SIZE("xrStringToArray", storeAt),
    {"xrStringToArray with a null string", kNoSize, storeNull},
    {"xrStringToArray's blocks after the calls", kNoSize, keptUntouched},
    {"xrStringToArray's threads after the calls", kNoSize, threadsWatched},
};

#define GROUP(name, checks, needsBoth) {name, checks, sizeof checks / sizeof checks[0], needsBoth}
static const struct Group groups[] = {
    GROUP("the exports", kExports, 0),
    GROUP("xrQuendril", kQuendril, 1),
    GROUP("xrStringToArray", kStringToArray, 1),
};

const struct Group* contractGroups(size_t* count)
{
    *count = sizeof groups / sizeof groups[0];
    return groups;
}
