// Regional settings on POSIX systems: the numeric locale that the environment
// selects (LC_ALL, LC_NUMERIC, LANG), read in a locale object of its own so the
// process's locale is left as it is.
#include "platform/regional.h"

#include <langinfo.h>
#include <locale.h>
#include <cuchar>

#include <cstring>
#include <cwchar>
#include <string>

namespace platform {

namespace {

// s, in the codeset of the current thread's locale, as UTF-16; empty if malformed.
std::u16string widen(const char* s)
{
    std::u16string out;
    std::mbstate_t state{};
    const char* end = s + std::strlen(s);
    while (s < end) {
        char16_t c;
        std::size_t n = std::mbrtoc16(&c, s, end - s, &state);
        if (n == static_cast<std::size_t>(-3)) { // second half of a surrogate pair
            out.push_back(c);
            continue;
        }
        if (n == 0 || n > static_cast<std::size_t>(end - s))
            return {};
        out.push_back(c);
        s += n;
    }
    return out;
}

std::u16string readSeparator()
{
    locale_t loc = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (!loc)
        return u".";
    locale_t previous = uselocale(loc);
    std::u16string sep = widen(nl_langinfo_l(RADIXCHAR, loc));
    uselocale(previous);
    freelocale(loc);
    return sep.empty() ? u"." : sep;
}

} // namespace

std::u16string_view regionalDecimalSeparator()
{
    static const std::u16string sep = readSeparator();
    return sep;
}

} // namespace platform
