// The two timed runs behind the window's push buttons, and the external
// conversion library they can use instead of the in-program routines. Each run
// converts one 50000-byte block between two stopwatch marks and shows the time.
#pragma once

#include "bstr.h"
#include "byte_array.h"
#include "clstime.h"
#include "codepage.h"
#include "library.h"
#include "quendril.h"

#include <cstdint>
#include <string>

namespace core {

// What a run needs from its window.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    // Whether the option "Utilizza la DLL" is selected.
    virtual bool Option1Selected() const = 0;
    // Shows prompt in the program's modal message box and returns when it is dismissed.
    virtual void MsgBox(const std::u16string& prompt) = 0;
};

// The external conversion library, each function bound on its first call.
class QuendrilLibrary {
public:
    // The library fileName, looked up in folder first; nothing is loaded yet.
    QuendrilLibrary(std::string folder, std::string fileName = defaultFileName());

    // The text form of the first count bytes from first, as a counted ANSI string the caller owns.
    platform::Bstr xrQuendril(const std::uint8_t* first, std::int32_t count);
    // Stores the bytes of the ANSI string in *text from first on; the library may replace *text.
    std::int32_t xrStringToArray(BSTR* text, std::uint8_t* first);

    // The library's file name on this system.
    static std::string defaultFileName();

private:
    platform::Library lib_;
    platform::LazyFunction<decltype(::xrQuendril)> xrQuendril_;
    platform::LazyFunction<decltype(::xrStringToArray)> xrStringToArray_;
};

// The library the program uses for its whole life, looked up in the program's folder.
QuendrilLibrary& processLibrary();

// Everything a run takes from outside besides its window.
struct RunEnvironment {
    QuendrilLibrary& library;
    TickSource& ticks;
    std::u16string_view decimalSeparator;
    const platform::CodePage& codePage;

    // The program's own: its library, the system's ticks and regional settings, the ANSI code page.
    static RunEnvironment system();
};

// The number of bytes each run converts, and the size of its block (one more).
constexpr std::int32_t kBlockBytes = 50000;
constexpr std::uint32_t kBlockElements = 50001;

// The conversion run 1 times: the first count bytes of mat as a text, through
// the library when useLibrary, else through the in-program routine.
std::u16string BytesToText(bool useLibrary, const ByteArray& mat, std::int32_t count,
                           const RunEnvironment& env);
// The conversion run 2 times: the characters of s into mat from index 0 on; the
// library path leaves in s the text converted back from what the library left.
void TextToBytes(bool useLibrary, std::u16string& s, ByteArray& mat, const RunEnvironment& env);

// Bytes to text: converts a fresh zeroed block with the chosen method and shows
// the text's length and the time taken. Errors leave it as RuntimeError.
void Command1_Click(RunWindow& window, const RunEnvironment& env = RunEnvironment::system());
// Text to bytes: converts 50000 spaces into a fresh block with the chosen method
// and shows the time taken. Errors leave it as RuntimeError.
void Command2_Click(RunWindow& window, const RunEnvironment& env = RunEnvironment::system());

// The display form of a number: a space before a value of 0 or more, a minus sign before a negative one.
std::u16string displayForm(std::int64_t value);

} // namespace core
