/* An independent timing of xrQuendril for the measuring study, sharing no
 * code with misura-libreria: each library named is loaded with dlopen, and in
 * each of ROUNDS rounds every library in turn makes CALLS calls, each as a
 * press of the window makes it: on a fresh zeroed block of 50001 bytes
 * converting 50000 of them, timed alone between two clock readings, its string
 * then widened to 16-bit characters as the program reads it, and freed; all on
 * the processor the timer started on, with the heap keeping freed memory as
 * the programs set it. Prints each
 * library's median nanoseconds per call over the rounds, and the median over
 * rounds of each library's round time over the first library's.
 * Usage: call_timer ROUNDS CALLS LIBRARY... */
#define _GNU_SOURCE
#include "contract/quendril.h"

#include <dlfcn.h>
#include <malloc.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { kBytes = 50000, kMostLibraries = 8, kMostCalls = 1000 };

typedef BSTR(QUENDRIL_CALL* Convert)(const uint8_t*, int32_t);

/* What the widened texts held, kept so that the widening is never left out. */
volatile unsigned widened;

static double nowNs(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

static int byValue(const void* a, const void* b)
{
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double medianOf(double* values, size_t n)
{
    qsort(values, n, sizeof *values, byValue);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

/* The nanoseconds per call of calls conversions by convert, each timed alone on a fresh block. */
static double timed(Convert convert, int calls)
{
    double total = 0;
    for (int i = 0; i < calls; ++i) {
        uint8_t* block = calloc(kBytes + 1, 1);
        const double start = nowNs();
        BSTR made = convert(block, kBytes);
        total += nowNs() - start;
        uint16_t* text = malloc(sizeof *text * kBytes);
        const uint8_t* bytes = (const uint8_t*)made;
        for (int k = 0; k < kBytes; ++k)
            text[k] = bytes[k];
        widened += text[kBytes - 1];
        free(text);
        SysFreeString(made);
        free(block);
    }
    return total / calls;
}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? atoi(argv[1]) : 0, calls = argc > 2 ? atoi(argv[2]) : 0, n = argc - 3;
    if (rounds < 1 || calls < 1 || calls > kMostCalls || n < 1 || n > kMostLibraries) {
        fprintf(stderr, "usage: call_timer ROUNDS CALLS(1-%d) LIBRARY...\n", kMostCalls);
        return 2;
    }
    mallopt(M_MMAP_THRESHOLD, 512 << 10);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof one, &one);
    Convert convert[kMostLibraries];
    for (int k = 0; k < n; ++k) {
        void* library = dlopen(argv[3 + k], RTLD_NOW | RTLD_LOCAL);
        convert[k] = NULL;
        /* The form POSIX gives for a function's address from dlsym. */
        if (library)
            *(void**)(&convert[k]) = dlsym(library, "xrQuendril");
        if (!convert[k]) {
            fprintf(stderr, "call_timer: cannot load %s: %s\n", argv[3 + k], dlerror());
            return 1;
        }
    }
    double* ns = malloc(sizeof *ns * (size_t)rounds * (size_t)n);
    double* ratio = malloc(sizeof *ratio * (size_t)rounds * (size_t)n);
    for (int r = 0; r < rounds; ++r)
        for (int j = 0; j < n; ++j) {
            const int k = r % 2 ? n - 1 - j : j; /* every other round in reverse order */
            ns[k * rounds + r] = timed(convert[k], calls);
        }
    for (int k = 0; k < n; ++k)
        for (int r = 0; r < rounds; ++r)
            ratio[k * rounds + r] = ns[k * rounds + r] / ns[r];
    for (int k = 0; k < n; ++k)
        printf("%s %.2f ns %.5f\n", argv[3 + k], medianOf(ns + k * rounds, (size_t)rounds),
               medianOf(ratio + k * rounds, (size_t)rounds));
    return 0;
}
