// Numbered run-time errors: construction, the report's wording, and the
// errors the arithmetic, the allocations and the array checks raise.
#include "platform/runtime_error.h"

#include "platform/fault_report.h"

#include <utility>

namespace platform {

RuntimeError::RuntimeError(ErrorNumber number, std::string description)
    : number_(number), description_(std::move(description))
{
}

std::size_t formatReport(char* buffer, std::size_t size, int number, const char* separator, const char* lead,
                         const char* detail) noexcept
{
    faultReport::Text report(buffer, size);
    report.append("Errore di run-time '");
    if (number < 0)
        report.append("-");
    report.appendNumber(static_cast<unsigned long>(number < 0 ? -static_cast<long>(number) : number));
    report.append("':");
    report.append(separator);
    report.append(lead);
    report.append(detail);
    return report.wanted();
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
