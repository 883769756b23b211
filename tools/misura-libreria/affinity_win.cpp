// Processor affinity on Windows: the calling thread kept on one processor,
// and the processors this process may use, from its own mask.
#include "tools/misura-libreria/measure.h"

#include <windows.h>

namespace misura {

bool keepOnCore(int core)
{
    constexpr int kBits = static_cast<int>(sizeof(DWORD_PTR) * 8);
    if (core < 0 || core >= kBits)
        return false;
    return SetThreadAffinityMask(GetCurrentThread(), DWORD_PTR{1} << core) != 0;
}

std::vector<int> usableCores()
{
    DWORD_PTR process = 0, system = 0;
    std::vector<int> cores;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system))
        for (int core = 0; core < static_cast<int>(sizeof(DWORD_PTR) * 8); ++core)
            if (process & (DWORD_PTR{1} << core))
                cores.push_back(core);
    if (cores.empty())
        cores.push_back(0);
    return cores;
}

} // namespace misura
