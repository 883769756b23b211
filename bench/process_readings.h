// What the press probe reads of its own process besides the clock: the
// processor time of the calling thread and the minor page faults taken so far.
#pragma once

namespace bench {

// The calling thread's processor time in seconds; -1 where the system keeps none.
double threadSeconds();
// The process's minor page faults so far; -1 where the system counts none.
long minorFaults();

} // namespace bench
