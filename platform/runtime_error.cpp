// Numbered run-time errors: construction and the two errors the arithmetic
// and the array checks raise.
#include "platform/runtime_error.h"

#include <utility>

namespace platform {

RuntimeError::RuntimeError(ErrorNumber number, std::string description)
    : number_(number), description_(std::move(description))
{
}

void raiseOverflow()
{
    throw RuntimeError(kOverflow, "Overflow: il risultato non sta in un intero a 32 bit");
}

void raiseOutOfMemory()
{
    throw RuntimeError(kOutOfMemory, kOutOfMemoryDescription);
}

void raiseSubscriptOutOfRange()
{
    throw RuntimeError(kSubscriptOutOfRange, "Indice non compreso nei limiti della matrice");
}

} // namespace platform
