// The external conversion library's two functions, bound on first call.
#include "core/quendril_library.h"

#include "platform/folders.h"

#include <utility>

namespace core {

QuendrilLibrary::QuendrilLibrary(std::string folder, std::string fileName)
    : lib_(std::move(folder), std::move(fileName)),
      xrQuendril_(lib_, "xrQuendril"),
      xrStringToArray_(lib_, "xrStringToArray")
{
}

std::string QuendrilLibrary::defaultFileName()
{
    return platform::libraryFileName("quendril");
}

platform::Bstr QuendrilLibrary::xrQuendril(const std::uint8_t* first, std::int32_t count)
{
    BSTR result = xrQuendril_(first, count);
    if (const char* problem = platform::foreignStringProblem(result))
        lib_.raiseBadString("xrQuendril", problem);
    return platform::Bstr(result);
}

std::int32_t QuendrilLibrary::xrStringToArray(platform::Bstr& text, std::uint8_t* first)
{
    const std::int32_t stored = xrStringToArray_(text.outParameter(), first);
    if (const char* problem = platform::foreignStringProblem(text.get())) {
        text.abandon();
        lib_.raiseBadString("xrStringToArray", problem);
    }
    return stored;
}

QuendrilLibrary& processLibrary()
{
    static QuendrilLibrary library(platform::programFolder());
    return library;
}

} // namespace core
