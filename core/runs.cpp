// The timed runs. Everything a run creates is owned by its own locals, so an
// error anywhere releases it on the way out. The timed interval runs from
// Inizio to Fine and holds exactly the option read and the one conversion.
#include "runs.h"

#include "conversions.h"
#include "folders.h"
#include "regional.h"

#include <string>

namespace core {

QuendrilLibrary::QuendrilLibrary(std::string folder, std::string fileName)
    : lib_(std::move(folder), std::move(fileName)),
      xrQuendril_(lib_, "xrQuendril"),
      xrStringToArray_(lib_, "xrStringToArray")
{
}

std::string QuendrilLibrary::defaultFileName()
{
#ifdef _WIN32
    return "quendril.dll";
#else
    return "libquendril.so";
#endif
}

platform::Bstr QuendrilLibrary::xrQuendril(const std::uint8_t* first, std::int32_t count)
{
    return platform::Bstr(xrQuendril_.get()(first, count));
}

std::int32_t QuendrilLibrary::xrStringToArray(BSTR* text, std::uint8_t* first)
{
    return xrStringToArray_.get()(text, first);
}

QuendrilLibrary& processLibrary()
{
    static QuendrilLibrary library(platform::programFolder());
    return library;
}

RunEnvironment RunEnvironment::system()
{
    return {processLibrary(), systemTicks(), platform::regionalDecimalSeparator(),
            platform::ansiCodePage()};
}

std::u16string displayForm(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    std::u16string out(digits.begin(), digits.end());
    if (value >= 0)
        out.insert(out.begin(), u' ');
    return out;
}

std::u16string BytesToText(bool useLibrary, const ByteArray& mat, std::int32_t count,
                           const RunEnvironment& env)
{
    if (!useLibrary)
        return Quendril(mat, count, env.codePage);
    const platform::Bstr result = env.library.xrQuendril(mat.data(), count);
    return platform::fromAnsiBstr(result, env.codePage);
}

void TextToBytes(bool useLibrary, std::u16string& s, ByteArray& mat, const RunEnvironment& env)
{
    if (!useLibrary) {
        StringToArray(s, mat, env.codePage);
        return;
    }
    platform::Bstr ansi = platform::toAnsiBstr(s, env.codePage);
    env.library.xrStringToArray(ansi.slot(), mat.data());
    s = platform::fromAnsiBstr(ansi, env.codePage);
}

void Command1_Click(RunWindow& window, const RunEnvironment& env)
{
    ByteArray mat(0, kBlockElements);
    std::u16string s;
    ClsTime t(env.ticks, env.decimalSeparator);
    t.Inizio();
    s = BytesToText(window.Option1Selected(), mat, kBlockBytes, env);
    t.Fine();
    window.MsgBox(displayForm(static_cast<std::int64_t>(s.size())) + u'\r' + t.TempoImpiegato());
}

void Command2_Click(RunWindow& window, const RunEnvironment& env)
{
    ByteArray mat(0, kBlockElements);
    std::u16string s(kBlockBytes, u' ');
    ClsTime t(env.ticks, env.decimalSeparator);
    t.Inizio();
    TextToBytes(window.Option1Selected(), s, mat, env);
    t.Fine();
    window.MsgBox(t.TempoImpiegato());
}

} // namespace core
