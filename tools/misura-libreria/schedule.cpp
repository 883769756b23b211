// The rounds' schedule. The core changes every second round, and the order
// every round, so that each pair of rounds on a core has each order once.
#include "tools/misura-libreria/schedule.h"

namespace misura {

int roundCore(std::size_t process, std::size_t round, const std::vector<int>& cores)
{
    return cores[(round / 2 + process) % cores.size()];
}

std::size_t roundTurn(std::size_t process, std::size_t round, std::size_t k, std::size_t n)
{
    return (round + process) % 2 ? n - 1 - k : k;
}

} // namespace misura
