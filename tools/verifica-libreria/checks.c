/* The contract's checks, the same on every system: the exports, bytes to a
 * counted string and a counted string to bytes. Each group runs against a
 * freshly loaded library and writes one line per check to out. */
#include "tools/verifica-libreria/checker.h"

#include <string.h>

/* Whether s is null or a live string of the allocator whose length fits its allocation. */
static int isLiveString(const struct Library* lib, BSTR s)
{
    return !lib->stringCheck || lib->stringCheck(s) == 0;
}

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

static void checkExports(struct Library* lib)
{
    check(isFunction(lib, addressOf(&lib->xrQuendril)), "xrQuendril is exported as a function");
    check(isFunction(lib, addressOf(&lib->xrStringToArray)), "xrStringToArray is exported as a function");
    check(lib->alloc && lib->release && lib->byteLen, "the counted-string allocator is reachable");
}

/* Bytes to a counted string: the first count bytes, zeros included. */
static void checkQuendril(struct Library* lib)
{
    uint8_t block[300];
    for (int i = 0; i < 300; ++i)
        block[i] = (uint8_t)(i * 13);
    BSTR s = lib->xrQuendril(block, 256);
    check(s != NULL, "xrQuendril returns a string");
    const int live = isLiveString(lib, s);
    check(live, "it is a live counted string whose length fits its allocation");
    if (!live)
        return; /* neither read nor freed, as the programs do */
    check(lib->byteLen(s) == 256, "its stored length is the count");
    check(s && memcmp(s, block, 256) == 0, "its content is the bytes");
    check(s && ((uint8_t*)s)[256] == 0 && ((uint8_t*)s)[257] == 0, "two zero bytes follow it");
    uint32_t prefix = 0;
    if (s)
        memcpy(&prefix, (char*)s - 4, 4);
    check(prefix == 256, "the length sits just before the content");
    lib->release(s);

    BSTR empty = lib->xrQuendril(block, 0);
    check(empty != NULL && isLiveString(lib, empty) && lib->byteLen(empty) == 0, "count 0 gives an empty string");
    if (isLiveString(lib, empty))
        lib->release(empty);
    check(lib->xrQuendril(block, -1) == NULL, "a negative count gives null");
    check(lib->xrQuendril(NULL, 5) == NULL, "a null block gives null");
}

/* A counted string to bytes: copied from element 0 on, the rest untouched. */
static void checkStringToArray(struct Library* lib)
{
    uint8_t target[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    BSTR text = lib->alloc("ab\0cd", 5);
    check(lib->xrStringToArray(&text, target) == 5, "xrStringToArray returns the count copied");
    check(memcmp(target, "ab\0cd\x09\x09\x09", 8) == 0, "the bytes are stored and the rest kept");
    const int live = isLiveString(lib, text);
    check(live, "what it leaves in the caller's variable is a live counted string");
    check(live && text != NULL && lib->byteLen(text) == 5, "the caller's string is still its own");
    if (live)
        lib->release(text);
    BSTR none = NULL;
    check(lib->xrStringToArray(&none, target) == 0, "a null string copies nothing");
    if (isLiveString(lib, none))
        lib->release(none);
}

static const struct Group groups[] = {
    {"the exports", checkExports, 0},
    {"xrQuendril", checkQuendril, 1},
    {"xrStringToArray", checkStringToArray, 1},
};

const struct Group* contractGroups(size_t* count)
{
    *count = sizeof groups / sizeof groups[0];
    return groups;
}
