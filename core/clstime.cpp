// The stopwatch's reading and the number format of its result.
#include "core/clstime.h"

#include "platform/regional.h"
#include "platform/ticks.h"

#include <cstdlib>

namespace core {

namespace {

class SystemTicks final : public TickSource {
public:
    std::uint32_t ticks() override { return platform::GetTickCount(); }
};

} // namespace

TickSource& systemTicks()
{
    static SystemTicks source;
    return source;
}

std::u16string_view ClsTime::defaultSeparator()
{
    return platform::regionalDecimalSeparator();
}

ClsTime::ClsTime(TickSource& ticks, std::u16string_view decimalSeparator)
    : Sorgente(ticks), Separatore(decimalSeparator)
{
}

std::u16string ClsTime::TempoImpiegato()
{
    if (TickInizio == 0)
        Inizio();
    if (TickFine == 0)
        Fine();
    // The marks are readings of a counter that wraps at 2^32: their difference
    // modulo 2^32, read as signed, is the elapsed time even when the counter
    // crosses 2^31 or 2^32 between them.
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(TickFine)
                                                   - static_cast<std::uint32_t>(TickInizio));
    return u"impiegati " + formatSeconds(elapsed, Separatore) + u" sec.";
}

std::u16string formatSeconds(std::int32_t ms, std::u16string_view decimalSeparator)
{
    // A whole number of milliseconds has exactly three decimals in seconds, so
    // integer arithmetic gives the pattern's digits with no rounding.
    const std::int64_t magnitude = std::llabs(std::int64_t{ms});
    std::u16string out;
    if (ms < 0)
        out += u'-';
    const std::string whole = std::to_string(magnitude / 1000);
    out.append(whole.begin(), whole.end());
    out += decimalSeparator;
    const auto frac = static_cast<int>(magnitude % 1000);
    out += static_cast<char16_t>(u'0' + frac / 100);
    out += static_cast<char16_t>(u'0' + frac / 10 % 10);
    out += static_cast<char16_t>(u'0' + frac % 10);
    return out;
}

} // namespace core
