// The tests' answers from Windows: the program's path from the C runtime, the
// environment through _putenv_s, the system's code page, and Windows-1252 from
// our own table, since on Windows the system itself converts.
#include "tests/test_support.h"

#include <windows.h>

#include <cstdlib>

namespace testing_support {

std::filesystem::path programPath()
{
    return _pgmptr ? std::filesystem::path(_pgmptr) : std::filesystem::path();
}

void setEnvironment(const char* name, const char* value)
{
    _putenv_s(name, value);
}

unsigned systemCodePage()
{
    return GetACP();
}

char16_t referenceWindows1252Character(unsigned char b)
{
    return platform::Windows1252().charFromCode(b);
}

} // namespace testing_support
