// Regional settings on Windows: the decimal separator of the user's locale.
#include "platform/regional.h"

#include <windows.h>

#include <string>

namespace platform {

namespace {

std::u16string readSeparator()
{
    wchar_t buf[8]; // the system allows at most four characters and the terminator
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8);
    if (n <= 1)
        return u".";
    return std::u16string(buf, buf + n - 1);
}

} // namespace

std::u16string_view regionalDecimalSeparator()
{
    static const std::u16string sep = readSeparator();
    return sep;
}

} // namespace platform
