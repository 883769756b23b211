// The rounds' schedule: which core a round keeps every participant on, and in
// which order they take their turns, balanced so that neither the core nor
// the order favours one participant over another.
#pragma once

#include <cstddef>
#include <vector>

namespace misura {

// The core of round of process: the next of cores every second round and with each process.
int roundCore(std::size_t process, std::size_t round, const std::vector<int>& cores);

// The participant, of n, who takes turn k of round of process: in order, or in reverse every other round.
std::size_t roundTurn(std::size_t process, std::size_t round, std::size_t k, std::size_t n);

} // namespace misura
