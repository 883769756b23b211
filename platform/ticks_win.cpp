// Tick counter on Windows: the system's GetTickCount, bound by name from
// kernel32 on its first use through the program's own lazy binder, as the
// program binds its conversion library.
#include "platform/ticks.h"

#include "platform/library.h"
#include "platform/system_error.h"
#include "platform/wide_win.h"

#include <windows.h>

namespace platform {

std::uint32_t GetTickCount()
{
    static Library kernel32 = [] {
        wchar_t buf[MAX_PATH];
        const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
        return Library(win::utf8(std::wstring(buf, n < MAX_PATH ? n : 0)), "kernel32.dll");
    }();
    static LazyFunction<decltype(::GetTickCount)> getTickCount(kernel32, "GetTickCount");
    return getTickCount.get()();
}

} // namespace platform
