// The external conversion library's two functions, bound on first call.
#include "core/quendril_library.h"

#include "platform/folders.h"

#include <utility>

namespace core {

QuendrilLibrary::QuendrilLibrary(std::string folder, std::string fileName, std::string lastFolder)
    : lib_(std::move(folder), std::move(fileName), std::move(lastFolder)),
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
    if (const auto problem = platform::foreignStringProblem(result))
        lib_.raiseBadString("xrQuendril", *problem);
    return platform::Bstr(result);
}

std::int32_t QuendrilLibrary::xrStringToArray(platform::Bstr& text, std::uint8_t* first)
{
    const std::int32_t stored = xrStringToArray_(text.outParameter(), first);
    if (const auto problem = platform::foreignStringProblem(text.get())) {
        text.abandon();
        lib_.raiseBadString("xrStringToArray", *problem);
    }
    return stored;
}

void QuendrilLibrary::bind()
{
    xrQuendril_.get();
    xrStringToArray_.get();
}

std::unique_ptr<QuendrilLibrary> programsLibrary()
{
    // An installed package keeps its stand-in below the programs' folder, so
    // that a maker's library anywhere the system looks is found before it.
    const std::string folder = platform::programFolder();
    return std::make_unique<QuendrilLibrary>(folder, QuendrilLibrary::defaultFileName(),
                                             folder + "/" VC_STAND_IN_FOLDER);
}

QuendrilLibrary& processLibrary()
{
    static const std::unique_ptr<QuendrilLibrary> library = programsLibrary();
    return *library;
}

} // namespace core
