// The process's readings on Windows: the probe takes neither there.
#include "bench/process_readings.h"

namespace bench {

long minorFaults()
{
    return -1;
}

double threadSeconds()
{
    return -1;
}

} // namespace bench
