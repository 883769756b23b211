// The two timed runs behind the window's push buttons. Each run converts one
// 50000-byte block between two stopwatch marks, with the in-program routines
// or the external conversion library, and shows the time in a message box.
#pragma once

#include "core/byte_array.h"
#include "core/clstime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {
class CodePage;
}

namespace core {

class QuendrilLibrary;

// What a run needs from its window.
class RunWindow {
public:
    virtual ~RunWindow() = default;
    // Whether the option "Utilizza la DLL" is selected.
    virtual bool Option1Selected() const = 0;
    // Shows prompt in the program's modal message box and returns when it is dismissed.
    virtual void MsgBox(const std::u16string& prompt) = 0;
};

// How a run converts: through the external library or the in-program routines.
enum class Method { Library, InProgram };

// The method the window's option buttons choose.
inline Method chosenMethod(const RunWindow& window)
{
    return window.Option1Selected() ? Method::Library : Method::InProgram;
}

// Told just before and just after each call into the library, to time the call alone.
class CallWatch {
public:
    virtual ~CallWatch() = default;
    virtual void before() = 0;
    virtual void after() = 0;
};

// Everything a run takes from outside besides its window.
struct RunEnvironment {
    QuendrilLibrary* library; // needed by the library's runs only; null when none is used
    TickSource& ticks;
    std::u16string_view decimalSeparator;
    const platform::CodePage& codePage;
    CallWatch* callWatch = nullptr; // none in the programs

    // The program's own: its library, the system's ticks and regional settings, the ANSI code page.
    static RunEnvironment system();

    // The library the library's runs call; error 51 when none was given.
    QuendrilLibrary& libraryInUse() const;
};

// The number of bytes each run converts, and the size of its block (one more).
constexpr std::int32_t kBlockBytes = 50000;
constexpr std::uint32_t kBlockElements = kBlockBytes + 1;

// The conversion run 1 times: the first count bytes of mat as a text.
std::u16string BytesToText(Method method, const ByteArray& mat, std::int32_t count,
                           const RunEnvironment& env);
// The conversion run 2 times: the characters of s into mat from index 0 on; the
// library path leaves in s the text converted back from what the library left.
void TextToBytes(Method method, std::u16string& s, ByteArray& mat, const RunEnvironment& env);

// Bytes to text: converts a fresh zeroed block with the chosen method and shows
// the text's length and the time taken. Errors leave it as RuntimeError.
void Command1_Click(RunWindow& window, const RunEnvironment& env = RunEnvironment::system());
// Text to bytes: converts 50000 spaces into a fresh block with the chosen method
// and shows the time taken. Errors leave it as RuntimeError.
void Command2_Click(RunWindow& window, const RunEnvironment& env = RunEnvironment::system());

// Starts, in the background, what the process library's first call does
// before it loads the library (see QuendrilLibrary::prepare); an error is left
// for that call to report.
void prepareProcessLibrary() noexcept;

// The display form of a number: a space before a value of 0 or more, a minus sign before a negative one.
std::u16string displayForm(std::int64_t value);

} // namespace core
