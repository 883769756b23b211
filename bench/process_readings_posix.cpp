// The process's readings on POSIX systems, from getrusage and the thread's
// processor-time clock.
#include "bench/process_readings.h"

#include <sys/resource.h>
#include <time.h>

namespace bench {

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

} // namespace bench
