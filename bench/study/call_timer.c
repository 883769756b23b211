/* An independent timing of xrQuendril for the measuring study, sharing no
 * code with misura-libreria: each library named is loaded with dlopen, and in
 * each of ROUNDS rounds every library in turn converts a zeroed 50000-byte
 * block CALLS times back to back between two clock readings (the strings are
 * freed after the second), on the processor the timer started on, with the
 * heap keeping freed memory as the programs set it. Prints each
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

enum { kBytes = 50000, kMostLibraries = 8, kMostCalls = 256 };

typedef BSTR(QUENDRIL_CALL* Convert)(const uint8_t*, int32_t);

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

/* The nanoseconds per call of calls conversions of block by convert, timed together. */
static double timed(Convert convert, const uint8_t* block, int calls)
{
    BSTR made[kMostCalls];
    const double start = nowNs();
    for (int i = 0; i < calls; ++i)
        made[i] = convert(block, kBytes);
    const double end = nowNs();
    for (int i = 0; i < calls; ++i)
        SysFreeString(made[i]);
    return (end - start) / calls;
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
    uint8_t* block = calloc(kBytes + 1, 1);
    double* ns = malloc(sizeof *ns * (size_t)rounds * (size_t)n);
    double* ratio = malloc(sizeof *ratio * (size_t)rounds * (size_t)n);
    for (int r = 0; r < rounds; ++r)
        for (int j = 0; j < n; ++j) {
            const int k = r % 2 ? n - 1 - j : j; /* every other round in reverse order */
            ns[k * rounds + r] = timed(convert[k], block, calls);
        }
    for (int k = 0; k < n; ++k)
        for (int r = 0; r < rounds; ++r)
            ratio[k * rounds + r] = ns[k * rounds + r] / ns[r];
    for (int k = 0; k < n; ++k)
        printf("%s %.2f ns %.5f\n", argv[3 + k], medianOf(ns + k * rounds, (size_t)rounds),
               medianOf(ratio + k * rounds, (size_t)rounds));
    return 0;
}
