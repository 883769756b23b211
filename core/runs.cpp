// The timed runs. Everything a run creates is owned by its own locals, so an
// error anywhere releases it on the way out. The timed interval runs from
// Inizio to Fine and holds exactly the option read and the one conversion.
#include "core/runs.h"

#include "core/conversions.h"
#include "core/quendril_library.h"
#include "platform/codepage.h"
#include "platform/regional.h"
#include "platform/runtime_error.h"

#include <string>

namespace core {

RunEnvironment RunEnvironment::system()
{
    return {&processLibrary(), systemTicks(), platform::regionalDecimalSeparator(),
            platform::ansiCodePage()};
}

QuendrilLibrary& RunEnvironment::libraryInUse() const
{
    if (!library)
        throw platform::RuntimeError(platform::kInternalError, platform::Message::noConversionLibrary);
    return *library;
}

std::u16string displayForm(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    std::u16string out(digits.begin(), digits.end());
    if (value >= 0)
        out.insert(out.begin(), u' ');
    return out;
}

std::u16string BytesToText(Method method, const ByteArray& mat, std::int32_t count,
                           const RunEnvironment& env)
{
    if (method == Method::InProgram)
        return Quendril(mat, count, env.codePage);
    QuendrilLibrary& library = env.libraryInUse();
    if (env.callWatch)
        env.callWatch->before();
    const platform::Bstr result = library.xrQuendril(mat.data(), count);
    if (env.callWatch)
        env.callWatch->after();
    return env.codePage.decode(result.bytes());
}

void TextToBytes(Method method, std::u16string& s, ByteArray& mat, const RunEnvironment& env)
{
    if (method == Method::InProgram) {
        StringToArray(s, mat, env.codePage);
        return;
    }
    QuendrilLibrary& library = env.libraryInUse();
    platform::Bstr ansi = env.codePage.encode(s);
    if (env.callWatch)
        env.callWatch->before();
    library.xrStringToArray(ansi, mat.data());
    if (env.callWatch)
        env.callWatch->after();
    s = env.codePage.decode(ansi.bytes());
}

namespace {

// After a run that called the library, and before its box: the program's own
// state back, whatever the call changed.
void reclaimAfter(Method method, const RunEnvironment& env)
{
    if (method == Method::Library)
        env.libraryInUse().reclaimProgramState();
}

} // namespace

void Command1_Click(RunWindow& window, const RunEnvironment& env)
{
    ByteArray mat(0, kBlockElements);
    std::u16string s;
    ClsTime t(env.ticks, env.decimalSeparator);
    t.Inizio();
    const Method method = chosenMethod(window);
    s = BytesToText(method, mat, kBlockBytes, env);
    t.Fine();
    reclaimAfter(method, env);
    window.MsgBox(displayForm(static_cast<std::int64_t>(s.size())) + u'\r' + t.TempoImpiegato());
}

void Command2_Click(RunWindow& window, const RunEnvironment& env)
{
    ByteArray mat(0, kBlockElements);
    std::u16string s(kBlockBytes, u' ');
    ClsTime t(env.ticks, env.decimalSeparator);
    t.Inizio();
    const Method method = chosenMethod(window);
    TextToBytes(method, s, mat, env);
    t.Fine();
    reclaimAfter(method, env);
    window.MsgBox(t.TempoImpiegato());
}

void prepareProcessLibrary() noexcept
{
    try {
        processLibrary().prepare();
    } catch (const std::exception&) {
        // The first call meets the same error and reports it.
    }
}

} // namespace core
