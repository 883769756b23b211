// The context on Windows: the processor's name from the registry, no load
// average.
#include "tools/misura-libreria/context.h"

#include "platform/utf16.h"

#include <windows.h>

namespace misura {

std::string processorName()
{
    wchar_t name[256];
    DWORD size = sizeof name;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString",
                     RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS)
        return {};
    const std::u16string text(reinterpret_cast<const char16_t*>(name));
    return platform::toUtf8(text);
}

std::optional<std::array<double, 3>> loadAverage()
{
    return std::nullopt;
}


} // namespace misura
