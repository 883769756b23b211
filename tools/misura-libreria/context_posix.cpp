// The context on POSIX systems: the processor's name from /proc/cpuinfo, the
// system's load average.
#include "tools/misura-libreria/context.h"

#include <cstdlib>
#include <fstream>

namespace misura {

std::string processorName()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line))
        if (line.starts_with("model name") && line.find(':') != std::string::npos)
            return line.substr(line.find_first_not_of(" \t", line.find(':') + 1));
    return {};
}

std::optional<std::array<double, 3>> loadAverage()
{
    double load[3];
    if (getloadavg(load, 3) != 3)
        return std::nullopt;
    return std::array<double, 3>{load[0], load[1], load[2]};
}


} // namespace misura
