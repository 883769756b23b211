// Processor affinity on POSIX systems: the calling thread kept on one
// processor, and the processors this process may use, from its own mask.
#include "tools/misura-libreria/measure.h"

#include <sched.h>

namespace misura {

bool keepOnCore(int core)
{
    if (core < 0 || core >= CPU_SETSIZE)
        return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
}

std::vector<int> usableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cores;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        for (int core = 0; core < CPU_SETSIZE; ++core)
            if (CPU_ISSET(core, &set))
                cores.push_back(core);
    if (cores.empty())
        cores.push_back(0);
    return cores;
}

} // namespace misura
