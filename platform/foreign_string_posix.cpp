// A library's string checked against our allocator's registry of live strings.
#include "platform/bstr.h"

namespace platform {

const char* foreignStringProblem(BSTR s) noexcept
{
    switch (sysStringCheck(s)) {
    case SYSSTRING_LIVE:
        return nullptr;
    case SYSSTRING_OVERLONG:
        return "la lunghezza che dichiara supera quella con cui fu allocata";
    default:
        return "non è una stringa viva allocata con SysAllocStringByteLen (mai allocata, o già liberata)";
    }
}

} // namespace platform
