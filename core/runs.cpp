// The timed runs. Everything a run creates is owned by its own locals, so an
// error anywhere releases it on the way out. The timed interval runs from
// Inizio to Fine and holds exactly the option read and the one conversion.
#include "core/runs.h"

#include "core/conversions.h"
#include "core/quendril_library.h"
#include "platform/codepage.h"
#include "platform/regional.h"

#include <string>

namespace core {

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

std::u16string BytesToText(Method method, const ByteArray& mat, std::int32_t count,
                           const RunEnvironment& env)
{
    if (method == Method::InProgram)
        return Quendril(mat, count, env.codePage);
    const platform::Bstr result = env.library.xrQuendril(mat.data(), count);
    return env.codePage.decode(result.bytes());
}

void TextToBytes(Method method, std::u16string& s, ByteArray& mat, const RunEnvironment& env)
{
    if (method == Method::InProgram) {
        StringToArray(s, mat, env.codePage);
        return;
    }
    platform::Bstr ansi = env.codePage.encode(s);
    env.library.xrStringToArray(ansi, mat.data());
    s = env.codePage.decode(ansi.bytes());
}

namespace {

// After a run that called the library, and before its box: the program's own
// state back, whatever the call changed.
void reclaimAfter(Method method, const RunEnvironment& env)
{
    if (method == Method::Library)
        env.library.reclaimProgramState();
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

} // namespace core
