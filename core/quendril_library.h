// The external conversion library as the runs call it: its two functions, each
// bound by name on its first call and kept bound for the object's life. The
// counted strings it hands over and takes back are held by platform::Bstr.
#pragma once

#include "platform/bstr.h"
#include "platform/library.h"
#include "contract/quendril.h"

#include <cstdint>
#include <memory>
#include <string>

namespace core {

class QuendrilLibrary {
public:
    // The library fileName, looked up in folder first, then by the system's search, then in
    // lastFolder when one is given; nothing is loaded yet.
    explicit QuendrilLibrary(std::string folder, std::string fileName = defaultFileName(),
                             std::string lastFolder = {});

    // The text form of the first count bytes from first, as a counted ANSI string the caller owns;
    // a result that is not a live counted string is error 51, neither read nor freed.
    platform::Bstr xrQuendril(const std::uint8_t* first, std::int32_t count);
    // Stores the bytes of the ANSI string text from first on; the library may replace text's
    // string, and what it leaves there is checked as xrQuendril's result is.
    std::int32_t xrStringToArray(platform::Bstr& text, std::uint8_t* first);

    // Puts back what calls may have taken from the program (see platform::Library); outside the timing.
    void reclaimProgramState() const { lib_.reclaimProgramState(); }

    // Starts, in the background, what a first call does before it loads the library; never fails.
    void prepare() noexcept { lib_.prepare(); }
    // Waits for what prepare started, so that a first call timed from now on holds the binding alone.
    void waitUntilPrepared() noexcept { lib_.waitUntilPrepared(); }

    // Binds both functions now, loading the library first if needed: what a first call does before it converts.
    void bind();

    // The full path of the file loaded for the library; empty until its first call.
    std::string loadedPath() const { return lib_.loadedPath(); }

    // The library's file name on this system.
    static std::string defaultFileName();

private:
    platform::Library lib_;
    platform::LazyFunction<decltype(::xrQuendril)> xrQuendril_;
    platform::LazyFunction<decltype(::xrStringToArray)> xrStringToArray_;
};

// The programs' lookup: their own folder, the system's search, then the installed stand-in's folder.
std::unique_ptr<QuendrilLibrary> programsLibrary();

// The library the program uses for its whole life, found by the programs' lookup.
QuendrilLibrary& processLibrary();

} // namespace core
