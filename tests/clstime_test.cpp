// The stopwatch on an injected tick source: marks, missing marks, wraps of the
// counter, and the format of the result text.
#include "core/clstime.h"

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <thread>

using core::ClsTime;
using core::formatSeconds;
using testing_support::ScriptedTicks;

namespace {

std::u16string timeBetween(std::uint32_t start, std::uint32_t stop, std::u16string_view sep = u".")
{
    ScriptedTicks ticks({start, stop});
    ClsTime t(ticks, sep);
    t.Inizio();
    t.Fine();
    return t.TempoImpiegato();
}

} // namespace

TEST(ClsTime, ShowsTheTimeBetweenMarksInSecondsWithThreeDecimals)
{
    EXPECT_EQ(timeBetween(1000, 1040), u"impiegati 0.040 sec.");
    EXPECT_EQ(timeBetween(1000, 1125), u"impiegati 0.125 sec.");
    EXPECT_EQ(timeBetween(5, 5), u"impiegati 0.000 sec.");
    EXPECT_EQ(timeBetween(1000, 1040, u","), u"impiegati 0,040 sec.");
}

TEST(ClsTime, StopBeforeStartGivesANegativeTime)
{
    ScriptedTicks ticks({5000, 5020});
    ClsTime t(ticks, u".");
    t.Fine();
    t.Inizio();
    EXPECT_EQ(t.TempoImpiegato(), u"impiegati -0.020 sec.");
}

TEST(ClsTime, CounterWrapsGiveTheTrueElapsedTime)
{
    // Signed -1 to 5 at the wrap of the unsigned counter.
    EXPECT_EQ(timeBetween(0xFFFFFFFFu, 5), u"impiegati 0.006 sec.");
    // Crossing 2^31 ms of uptime: the signed marks jump from positive to negative.
    EXPECT_EQ(timeBetween(0x7FFFFFFDu, 0x80000003u), u"impiegati 0.006 sec.");
}

TEST(ClsTime, MissingMarksAreTakenWhenReadAndThenKept)
{
    ScriptedTicks fresh({700, 750, 900});
    ClsTime t(fresh, u".");
    EXPECT_EQ(t.TempoImpiegato(), u"impiegati 0.050 sec."); // both taken at the reading
    EXPECT_EQ(t.TempoImpiegato(), u"impiegati 0.050 sec."); // and kept
    EXPECT_EQ(fresh.reads, 2);

    ScriptedTicks onlyStart({100, 160});
    ClsTime u(onlyStart, u".");
    u.Inizio();
    EXPECT_EQ(u.TempoImpiegato(), u"impiegati 0.060 sec.");
}

TEST(ClsTime, AZeroTickCountsAsNotTaken)
{
    ScriptedTicks ticks({0, 30, 10});
    ClsTime t(ticks, u".");
    t.Inizio();                                             // reads 0: no mark
    t.Fine();                                               // 30
    EXPECT_EQ(t.TempoImpiegato(), u"impiegati 0.020 sec."); // start retaken: 10
}

TEST(ClsTime, MarksReplaceEarlierOnes)
{
    ScriptedTicks ticks({10, 20, 50, 90});
    ClsTime t(ticks, u".");
    t.Inizio();
    t.Fine();
    t.Inizio();
    t.Fine();
    EXPECT_EQ(t.TempoImpiegato(), u"impiegati 0.040 sec.");
}

TEST(FormatSeconds, AllIntegerDigitsWithoutGroupingAndAnySeparator)
{
    EXPECT_EQ(formatSeconds(1234567, u"."), u"1234.567");
    EXPECT_EQ(formatSeconds(INT32_MAX, u","), u"2147483,647");
    EXPECT_EQ(formatSeconds(INT32_MIN, u"."), u"-2147483.648");
    EXPECT_EQ(formatSeconds(-5, u"."), u"-0.005");
    EXPECT_EQ(formatSeconds(1000, u"\u066B"), u"1\u066B000");
}

// The system's counter against the steady clock read around it: over the same
// stretch (50 ms or more, waited for on that clock) it counts what that clock
// counts, give or take its resolution, however long the stretch really was.
TEST(SystemTicks, CountMilliseconds)
{
    using Clock = std::chrono::steady_clock;
    constexpr long long kResolutionMs = 16; // the coarsest tick counter, Windows'
    const auto ms = [](Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
    const Clock::time_point outerStart = Clock::now();
    const std::uint32_t before = core::systemTicks().ticks();
    const Clock::time_point innerStart = Clock::now();
    while (Clock::now() - innerStart < std::chrono::milliseconds(50))
        std::this_thread::yield();
    const Clock::time_point innerEnd = Clock::now();
    const long long elapsed = core::systemTicks().ticks() - before;
    const Clock::time_point outerEnd = Clock::now();
    EXPECT_GE(elapsed, ms(innerEnd - innerStart) - kResolutionMs);
    EXPECT_LE(elapsed, ms(outerEnd - outerStart) + kResolutionMs);
}
