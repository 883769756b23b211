// The console on Windows: a real console window, and its output code page set to UTF-8.
#include "platform/console.h"

#include <windows.h>

namespace platform {

bool standardErrorIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void useUtf8Console()
{
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace platform
