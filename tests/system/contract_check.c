/* An outside program in plain C, as another maker would write it: loads the
 * conversion library by path, finds its two functions and the counted-string
 * allocator by name, and checks the library's contract both ways.
 * Usage: contract_check PATH/libquendril.so */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef uint16_t* BSTR;
typedef BSTR (*XrQuendril)(const uint8_t*, int32_t);
typedef int32_t (*XrStringToArray)(BSTR*, uint8_t*);
typedef BSTR (*AllocByteLen)(const char*, uint32_t);
typedef void (*FreeString)(BSTR);
typedef uint32_t (*ByteLen)(BSTR);

static int failures;
static int checks;

static void check(int ok, const char* what)
{
    ++checks;
    if (!ok) {
        ++failures;
        printf("FAIL: %s\n", what);
    }
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        printf("FAIL: cannot load %s: %s\n", argv[1], dlerror());
        return 1;
    }
    /* POSIX's way of storing dlsym's answer in a function pointer. */
#define BIND(var, name) (*(void**)&(var) = dlsym(lib, name))
    XrQuendril xrQuendril;
    XrStringToArray xrStringToArray;
    AllocByteLen alloc;
    FreeString release;
    ByteLen byteLen;
    BIND(xrQuendril, "xrQuendril");
    BIND(xrStringToArray, "xrStringToArray");
    BIND(alloc, "SysAllocStringByteLen");
    BIND(release, "SysFreeString");
    BIND(byteLen, "SysStringByteLen");
    if (!xrQuendril || !xrStringToArray || !alloc || !release || !byteLen) {
        printf("FAIL: a function is not exported\n");
        return 1;
    }

    /* Bytes to a counted string: the first count bytes, zeros included. */
    uint8_t block[300];
    for (int i = 0; i < 300; ++i)
        block[i] = (uint8_t)(i * 13);
    BSTR s = xrQuendril(block, 256);
    check(s != NULL, "xrQuendril returns a string");
    check(byteLen(s) == 256, "its stored length is the count");
    check(s && memcmp(s, block, 256) == 0, "its content is the bytes");
    check(s && ((uint8_t*)s)[256] == 0 && ((uint8_t*)s)[257] == 0, "two zero bytes follow it");
    uint32_t prefix = 0;
    if (s)
        memcpy(&prefix, (char*)s - 4, 4);
    check(prefix == 256, "the length sits just before the content");
    release(s);

    BSTR empty = xrQuendril(block, 0);
    check(empty != NULL && byteLen(empty) == 0, "count 0 gives an empty string");
    release(empty);
    check(xrQuendril(block, -1) == NULL, "a negative count gives null");
    check(xrQuendril(NULL, 5) == NULL, "a null block gives null");

    /* A counted string to bytes: copied from element 0 on, the rest untouched. */
    uint8_t target[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    BSTR text = alloc("ab\0cd", 5);
    check(xrStringToArray(&text, target) == 5, "xrStringToArray returns the count copied");
    check(memcmp(target, "ab\0cd\x09\x09\x09", 8) == 0, "the bytes are stored and the rest kept");
    check(text != NULL && byteLen(text) == 5, "the caller's string is still its own");
    release(text);
    BSTR none = NULL;
    check(xrStringToArray(&none, target) == 0, "a null string copies nothing");

    printf("%d passed, %d failed\n", checks - failures, failures);
    dlclose(lib);
    return failures ? 1 : 0;
}
