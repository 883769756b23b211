/* An outside program in plain C, as another maker would write it: loads the
 * conversion library by path, finds its two functions and the counted-string
 * allocator by name, and checks the library's contract both ways. On 32-bit
 * Windows it also checks that each call leaves the stack as the standard
 * calling convention requires (the callee removes its arguments).
 * Usage: contract_check PATH/libquendril.so (or PATH\quendril.dll) */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#define CALL __stdcall
#else
#include <dlfcn.h>
#define CALL
#endif

typedef uint16_t* BSTR;
typedef BSTR(CALL* XrQuendril)(const uint8_t*, int32_t);
typedef int32_t(CALL* XrStringToArray)(BSTR*, uint8_t*);
typedef BSTR(CALL* AllocByteLen)(const char*, uint32_t);
typedef void(CALL* FreeString)(BSTR);
typedef uint32_t(CALL* ByteLen)(BSTR);

#if defined(_WIN32) && defined(__i386__)
/* Calls fn(a, b) with two 32-bit arguments and stores in *imbalance how far
 * the stack pointer moved across the call: 0 when the callee removed its
 * arguments, -8 when it left them to the caller. */
typedef void (*AnyFunction)(void);
uint32_t callTwo(AnyFunction fn, uint32_t a, uint32_t b, int32_t* imbalance);
__asm__(".text\n"
        ".globl _callTwo\n"
        "_callTwo:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  pushl %esi\n"
        "  movl %esp, %esi\n"
        "  pushl 16(%ebp)\n"
        "  pushl 12(%ebp)\n"
        "  call *8(%ebp)\n"
        "  movl %esp, %ecx\n"
        "  subl %esi, %ecx\n"
        "  movl 20(%ebp), %edx\n"
        "  movl %ecx, (%edx)\n"
        "  movl %esi, %esp\n"
        "  popl %esi\n"
        "  popl %ebp\n"
        "  ret\n");
#endif

static int failures;
static int checks;

static void check(int ok, const char* what)
{
    ++checks;
    if (!ok)
        ++failures;
    printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
#ifdef _WIN32
    HMODULE lib = LoadLibraryA(argv[1]);
    HMODULE allocator = LoadLibraryA("oleaut32.dll");
    if (!lib || !allocator) {
        printf("FAIL: cannot load %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
/* A function's address copied into a typed function pointer, bit for bit. */
#define BIND(var, from, name)                                                                        \
    do {                                                                                             \
        FARPROC address_ = GetProcAddress(from, name);                                               \
        memcpy(&(var), &address_, sizeof address_);                                                  \
    } while (0)
#else
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        printf("FAIL: cannot load %s: %s\n", argv[1], dlerror());
        return 1;
    }
    void* allocator = lib; /* the library brings the shared allocator with it */
    /* POSIX's way of storing dlsym's answer in a function pointer. */
#define BIND(var, from, name) (*(void**)&(var) = dlsym(from, name))
#endif
    XrQuendril xrQuendril;
    XrStringToArray xrStringToArray;
    AllocByteLen alloc;
    FreeString release;
    ByteLen byteLen;
    BIND(xrQuendril, lib, "xrQuendril");
    BIND(xrStringToArray, lib, "xrStringToArray");
    BIND(alloc, allocator, "SysAllocStringByteLen");
    BIND(release, allocator, "SysFreeString");
    BIND(byteLen, allocator, "SysStringByteLen");
    check(xrQuendril != NULL, "xrQuendril is exported");
    check(xrStringToArray != NULL, "xrStringToArray is exported");
    check(alloc && release && byteLen, "the counted-string allocator is reachable");
    if (!xrQuendril || !xrStringToArray || !alloc || !release || !byteLen) {
        printf("%d passed, %d failed\n", checks - failures, failures);
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

#if defined(_WIN32) && defined(__i386__)
    /* The standard calling convention: the callee removes its two arguments. */
    int32_t imbalance = 1;
    BSTR probe = (BSTR)(uintptr_t)callTwo((AnyFunction)xrQuendril, (uint32_t)(uintptr_t)block, 4, &imbalance);
    check(imbalance == 0, "xrQuendril removes its arguments from the stack");
    release(probe);
    BSTR again = alloc("xy", 2);
    imbalance = 1;
    callTwo((AnyFunction)xrStringToArray, (uint32_t)(uintptr_t)&again, (uint32_t)(uintptr_t)target, &imbalance);
    check(imbalance == 0, "xrStringToArray removes its arguments from the stack");
    release(again);
#endif

    printf("%d passed, %d failed\n", checks - failures, failures);
#ifdef _WIN32
    FreeLibrary(lib);
#else
    dlclose(lib);
#endif
    return failures ? 1 : 0;
}
