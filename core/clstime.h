// ClsTime, the stopwatch of every timed run: a start mark and a stop mark taken
// from a millisecond tick source, and the time between them as the Italian
// result text "impiegati 0,040 sec.".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// Where a stopwatch reads the time: a millisecond counter that wraps at 2^32.
class TickSource {
public:
    virtual ~TickSource() = default;
    // The current count in milliseconds.
    virtual std::uint32_t ticks() = 0;
};

// The system's tick counter.
TickSource& systemTicks();

// The stopwatch's members keep the names it was given (TickInizio, TickFine,
// Inizio, Fine, TempoImpiegato); the two it adds follow the same style.
class ClsTime {
public:
    // A stopwatch with no marks, reading ticks from `ticks` and writing numbers
    // with `decimalSeparator`; both must outlive it.
    explicit ClsTime(TickSource& ticks = systemTicks(),
                     std::u16string_view decimalSeparator = defaultSeparator());

    // Takes the start mark, replacing any earlier one.
    void Inizio() { TickInizio = static_cast<std::int32_t>(Sorgente.ticks()); }
    // Takes the stop mark, replacing any earlier one.
    void Fine() { TickFine = static_cast<std::int32_t>(Sorgente.ticks()); }
    // "impiegati <seconds> sec."; a mark still 0 is taken now and kept.
    std::u16string TempoImpiegato();

private:
    static std::u16string_view defaultSeparator();

    std::int32_t TickInizio = 0;
    std::int32_t TickFine = 0;
    TickSource& Sorgente;          // where the marks are read
    std::u16string_view Separatore; // the decimal separator of the result
};

// ms as seconds with pattern "0.000": no grouping, a leading minus when negative.
std::u16string formatSeconds(std::int32_t ms, std::u16string_view decimalSeparator);

} // namespace core
