// Regional settings on POSIX systems: the numeric locale that the environment
// selects (LC_ALL, LC_NUMERIC, LANG), read in a locale object of its own so the
// process's locale is left as it is. The separator's bytes are decoded with
// the numeric locale's own codeset, whatever the character-type locale is.
#include "platform/regional.h"

#include "platform/utf16.h"


#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace platform {

namespace {

// The name of the numeric locale the environment selects, as the C library resolves it.
const char* numericLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return "C";
}

// s, in the codeset of the current thread's locale, as UTF-16; empty if malformed.
std::u16string decode(const char* s)
{
    std::u16string out;
    std::mbstate_t state{};
    const char* end = s + std::strlen(s);
    while (s < end) {
        wchar_t c;
        const std::size_t n = std::mbrtowc(&c, s, static_cast<std::size_t>(end - s), &state);
        if (n == 0 || n > static_cast<std::size_t>(end - s))
            return {};
        appendUtf16(out, static_cast<char32_t>(c)); // wchar_t holds whole code points here
        s += n;
    }
    return out;
}

std::u16string readSeparator()
{
    // Numeric and character-type categories from the same locale, so the
    // separator's bytes are read in the codeset they were written in.
    locale_t loc = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, numericLocaleName(), static_cast<locale_t>(0));
    if (!loc)
        return u".";
    locale_t previous = uselocale(loc);
    std::u16string sep = decode(nl_langinfo_l(RADIXCHAR, loc));
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
