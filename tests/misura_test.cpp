// misura-libreria's parts that decide its figures: option parsing, the
// statistics over processes and rounds on known and simulated units, a batch
// under a scripted clock and its checks with guard bytes, the exchange with a
// child, the JSON export read back as a baseline, errors in English, the
// labels and the report's numbers.
#include "tools/misura-libreria/exports.h"
#include "tools/misura-libreria/format.h"
#include "tools/misura-libreria/measure.h"
#include "tools/misura-libreria/options.h"
#include "tools/misura-libreria/protocol.h"
#include "tools/misura-libreria/report.h"
#include "tools/misura-libreria/results.h"
#include "tools/misura-libreria/schedule.h"
#include "tools/misura-libreria/stats.h"

#include "platform/codepage.h"
#include "platform/runtime_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace misura;

namespace {

TEST(MisuraOptions, TakesEachOptionInBothForms)
{
    const Options o = parseOptions({"--runs", "7", "--processes", "6", "--rounds=3", "--warmup=0", "--method", "library", "--export-json", "r.json",
                                    "--export-csv=r.csv", "--export-markdown", "r.md", "--conversion", "text-to-bytes",
                                    "--baseline", "b.json", "--fail-if-slower=2.5", "old.so", "new.so"});
    EXPECT_EQ(o.runs, 7u);
    EXPECT_EQ(o.processes, 6u);
    EXPECT_EQ(o.rounds, 3u);
    EXPECT_FALSE(o.inProgramNamed);
    EXPECT_EQ(o.warmup, 0u);
    EXPECT_EQ(o.methods, Methods::Library);
    EXPECT_EQ(o.sizes, std::vector<std::int32_t>{50000});
    EXPECT_EQ(o.exportJson, "r.json");
    EXPECT_EQ(o.exportCsv, "r.csv");
    EXPECT_EQ(o.exportMarkdown, "r.md");
    EXPECT_EQ(o.conversions, Conversions::TextToBytes);
    EXPECT_EQ(o.baseline, "b.json");
    EXPECT_EQ(o.failIfSlower, 2.5);
    EXPECT_EQ(o.libraries, (std::vector<std::string>{"old.so", "new.so"}));

    const Options d = parseOptions({});
    EXPECT_FALSE(d.runs);
    EXPECT_EQ(d.processes, 10u);
    EXPECT_EQ(d.rounds, 20u);
    EXPECT_FALSE(d.inProgramNamed);
    EXPECT_EQ(d.warmup, 3u);
    EXPECT_EQ(d.methods, Methods::Both);
    EXPECT_EQ(d.conversions, Conversions::Both);
    EXPECT_TRUE(d.libraries.empty());

    const Options s = parseOptions({"--scan", "1000:50000:6", "--plot", "q.svg", "--method=in-program"});
    EXPECT_TRUE(s.scan);
    EXPECT_EQ(s.sizes, (std::vector<std::int32_t>{1000, 2187, 4782, 10456, 22865, 50000}));
    EXPECT_EQ(s.methods, Methods::InProgram);
    EXPECT_EQ(s.rounds, 8u); // a scan's default
    EXPECT_EQ(parseOptions({"--scan", "1:9:2", "--rounds", "3"}).rounds, 3u);
    EXPECT_TRUE(s.inProgramNamed);
    EXPECT_TRUE(s.notes.empty());
    EXPECT_EQ(parseOptions({"--scan=1:3:10"}).notes,
              std::vector<std::string>{"--scan 1:3:10 gives 3 distinct sizes, not 10"});
    EXPECT_TRUE(parseOptions({"--help"}).help);
    EXPECT_TRUE(parseOptions({"--version"}).version);
    EXPECT_TRUE(parseOptions({"-V"}).version);
    // '--' ends the options: what follows is a library, whatever its name.
    const Options e = parseOptions({"--runs", "2", "--", "--runs", "-V", "a.so"});
    EXPECT_EQ(e.runs, 2u);
    EXPECT_FALSE(e.version);
    EXPECT_EQ(e.libraries, (std::vector<std::string>{"--runs", "-V", "a.so"}));
}

TEST(MisuraOptions, RejectsWhatItCannotTake)
{
    const std::vector<std::vector<std::string>> bad{
        {"--runs"},           {"--runs", "0"},         {"--runs", "ten"},        {"--runs", "5x"},
        {"--warmup", "-1"},   {"--bytes", "0"},        {"--bytes", "100000001"}, {"--method", "dll"},
        {"--scan", "10:5:3"}, {"--scan", "10:100"},    {"--scan", "10:100:1"},   {"--scan", "1:2:3:4"},
        {"--scan", "0:10:2"}, {"--plot", "q.svg"},     {"--frobnicate"},         {"--conversion", "both-ways"},
        {"--help=yes"},       {"--bytes", "10", "--scan", "1:10:2"},        {"--fail-if-slower", "-1"},
        {"--fail-if-slower", "5", "--method", "library", "a.so"},           {"--method", "in-program", "a.so"},
        {"--processes", "0"}, {"--rounds", "0"}, {"--rounds", "101"},
    };
    for (const auto& args : bad)
        EXPECT_THROW(parseOptions(args), UsageError) << args.front() << " " << (args.size() > 1 ? args[1] : "");
}

TEST(MisuraStats, GrowthExponent)
{
    const std::vector<double> sizes{1000, 2000, 4000, 8000};
    for (const double k : {1.0, 2.0, 0.5}) {
        std::vector<double> times;
        for (double n : sizes)
            times.push_back(3e-9 * std::pow(n, k));
        EXPECT_NEAR(growthExponent(sizes, times), k, 1e-9);
    }
}

TEST(MisuraStats, LogSpacedSizesEndOnTheirBoundsWithoutRepeats)
{
    EXPECT_EQ(logSpacedSizes(10, 1000, 3), (std::vector<std::int32_t>{10, 100, 1000}));
    EXPECT_EQ(logSpacedSizes(1, 3, 10), (std::vector<std::int32_t>{1, 2, 3}));
}

TEST(MisuraStats, SpreadAndTheRoundsThatDisagree)
{
    const Units units{{1, 1.1, 0.9}, {2, 2, 2.6}, {1.2}};
    const Spread s = spreadOf(units);
    EXPECT_DOUBLE_EQ(s.median, 1.2);
    EXPECT_DOUBLE_EQ(s.lowest, 1);
    EXPECT_DOUBLE_EQ(s.highest, 2);
    EXPECT_EQ(s.processes, 3u);
    EXPECT_EQ(s.rounds, 7u);
    // 1.5 times the median of all rounds or more, either way.
    const std::vector<Disagreement> d = disagreeingRounds(units);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[2].process, 1u);
    EXPECT_EQ(d[2].round, 2u);
    EXPECT_NEAR(d[2].factor, 2.6 / 1.2, 1e-12);
}

// The signed-rank test's two-sided p-value by listing every sign pattern.
double signedRankByEnumeration(const std::vector<double>& d)
{
    const std::size_t n = d.size();
    std::vector<double> rank(n);
    for (std::size_t i = 0; i < n; ++i) {
        double below = 0, same = 0;
        for (std::size_t j = 0; j < n; ++j) {
            below += std::fabs(d[j]) < std::fabs(d[i]);
            same += std::fabs(d[j]) == std::fabs(d[i]);
        }
        rank[i] = below + (same + 1) / 2;
    }
    double observed = 0, total = 0;
    for (std::size_t i = 0; i < n; ++i)
        observed += d[i] > 0 ? rank[i] : 0;
    std::size_t low = 0, high = 0;
    for (std::size_t signs = 0; signs < (std::size_t{1} << n); ++signs) {
        double w = 0;
        for (std::size_t i = 0; i < n; ++i)
            w += (signs >> i & 1) ? rank[i] : 0;
        low += w <= observed + 1e-9;
        high += w >= observed - 1e-9;
        total += 1;
    }
    return std::min(1.0, 2 * static_cast<double>(std::min(low, high)) / total);
}

TEST(MisuraStats, SignedRankTestIsExactAndItsFloorIsTwoInTwoToTheN)
{
    EXPECT_DOUBLE_EQ(signedRankP(std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5}), 2.0 / 32);
    EXPECT_DOUBLE_EQ(signedRankP(std::vector<double>{0, 0}), 1.0); // nothing left
    std::mt19937_64 random(3);
    std::normal_distribution<double> noise(0.2, 1);
    for (std::size_t n = 1; n <= 10; ++n) {
        std::vector<double> d(n);
        for (double& x : d)
            x = noise(random);
        if (n > 3)
            d[1] = -d[0]; // a tie of magnitudes
        EXPECT_NEAR(signedRankP(d), signedRankByEnumeration(d), 1e-12) << n;
    }
}

TEST(MisuraStats, StudentQuantiles)
{
    EXPECT_DOUBLE_EQ(studentT975(1), 12.706);
    EXPECT_DOUBLE_EQ(studentT975(9), 2.262);
    EXPECT_NEAR(studentT975(2.5), (4.303 + 3.182) / 2, 1e-12);
    EXPECT_NEAR(studentT975(60), 2.000, 0.002);
    EXPECT_NEAR(studentT975(1000), 1.962, 0.002);
}

// Rounds as a busy machine gives them: each process lands the library somewhere
// (layout), each round the whole machine is faster or slower (shared by both
// participants of a round), each participant's round adds noise of its own, and
// now and then one round is 2.5 times as long.
struct Machine {
    std::mt19937_64 random{11};
    double layout = 0.01, drift = 0.05, noise = 0.02, episodes = 0.05;

    std::pair<Units, Units> measure(double ratio, std::size_t processes, std::size_t rounds)
    {
        std::normal_distribution<double> normal(0, 1);
        std::bernoulli_distribution episode(episodes);
        Units a(processes), b(processes);
        for (std::size_t i = 0; i < processes; ++i) {
            const double la = layout * normal(random), lb = layout * normal(random);
            for (std::size_t j = 0; j < rounds; ++j) {
                const double m = drift * normal(random);
                a[i].push_back(1e-6 * std::exp(la + m + noise * normal(random)) * (episode(random) ? 2.5 : 1));
                b[i].push_back(1e-6 * ratio * std::exp(lb + m + noise * normal(random)) * (episode(random) ? 2.5 : 1));
            }
        }
        return {a, b};
    }
};

TEST(MisuraCompare, SideBySideIdenticalBuildsHoldOneAndFivePerCentIsFound)
{
    Machine machine;
    constexpr int kTrials = 30;
    int quiet = 0, heldOne = 0, found = 0, heldTrue = 0;
    for (int t = 0; t < kTrials; ++t) {
        const auto [a, b] = machine.measure(1, 10, 20);
        const Comparison same = comparePaired(a, b);
        quiet += same.verdict == Verdict::NoSignificantDifference;
        heldOne += same.ratioLow <= 1 && 1 <= same.ratioHigh;
        EXPECT_GE(same.pValue, same.pFloor);
        EXPECT_DOUBLE_EQ(same.pFloor, 2.0 / 1024);
        EXPECT_EQ(same.units, 10u);
        const auto [c, d] = machine.measure(1.05, 10, 20);
        const Comparison slower = comparePaired(c, d);
        found += slower.verdict == Verdict::Slower;
        heldTrue += slower.ratioLow <= 1.05 && 1.05 <= slower.ratioHigh && slower.ratioLow < slower.ratioHigh;
    }
    EXPECT_GE(quiet, kTrials * 85 / 100);
    EXPECT_GE(heldOne, kTrials * 85 / 100);
    EXPECT_GE(found, kTrials * 90 / 100);
    EXPECT_GE(heldTrue, kTrials * 85 / 100);
}

TEST(MisuraCompare, IntervalsOverFewProcessesAreAsWideAsTheProcessesResolve)
{
    // Percentiles of a bootstrap over ten units fall short of Student's t interval: expanded to meet it.
    EXPECT_NEAR(expandedTail(9), 0.00855, 0.0001);
    EXPECT_NEAR(expandedTail(1000), 0.025, 0.0003);
    // Processes that differ more than their rounds (where the library lands decides): each
    // interval's half-width is no less than the difference the processes resolve.
    Machine machine;
    machine.layout = 0.007;
    machine.noise = 0.005;
    machine.episodes = 0;
    for (int t = 0; t < 10; ++t) {
        const auto [a, b] = machine.measure(1, 10, 20);
        const Comparison c = comparePaired(a, b);
        EXPECT_GE(std::log(c.ratioHigh / c.ratioLow) / 2, 0.93 * std::log1p(c.resolution));
    }
}

TEST(MisuraCompare, ApartBothSpreadsCountAndTheFloorFollowsTheProcesses)
{
    Machine machine;
    // Apart, the drift of each round no longer cancels: only the processes' own spread can resolve.
    machine.drift = 0;
    int quiet = 0, found = 0;
    for (int t = 0; t < 20; ++t) {
        const Units earlier = machine.measure(1, 10, 20).first, now = machine.measure(1, 10, 20).first;
        const Comparison same = compareApart(earlier, now);
        quiet += same.verdict == Verdict::NoSignificantDifference;
        EXPECT_NEAR(same.pFloor, 2.0 / 184756, 1e-12); // 2 / C(20, 10)
        EXPECT_EQ(same.units, 20u);
        const Units slow = machine.measure(1.05, 10, 20).second;
        found += compareApart(earlier, slow).verdict == Verdict::Slower;
    }
    EXPECT_GE(quiet, 17);
    EXPECT_GE(found, 18);
    // One process each: nothing to resolve with.
    const Comparison one = compareApart({{1e-6, 1e-6}}, {{2e-6, 2e-6}});
    EXPECT_EQ(one.verdict, Verdict::NoSignificantDifference);
    EXPECT_TRUE(std::isinf(one.resolution));
}

TEST(MisuraCompare, RankSumTestMatchesPublishedValues)
{
    // Exact two-sided p-values of the tables for five against five: U = 0, 2 and 4.
    const std::vector<double> low{1, 2, 3, 4, 5};
    EXPECT_NEAR(mannWhitneyP(low, std::vector<double>{6, 7, 8, 9, 10}), 2.0 / 252, 1e-12);
    EXPECT_NEAR(mannWhitneyP(low, std::vector<double>{3.5, 5.5, 6, 7, 8}), 0.0317, 5e-5);
    EXPECT_NEAR(mannWhitneyP(std::vector<double>{1, 2, 3, 6, 7}, std::vector<double>{4, 5, 8, 9, 10}), 0.0952,
                5e-5);
    // Order does not matter, and a sample against itself differs in nothing.
    EXPECT_DOUBLE_EQ(mannWhitneyP(std::vector<double>{6, 7, 8, 9, 10}, low), 2.0 / 252);
    EXPECT_DOUBLE_EQ(mannWhitneyP(low, low), 1.0);
    // Beyond thirty values, the normal approximation: 40 against 40 wholly apart gives z = 7.7.
    std::vector<double> a, b;
    for (int i = 0; i < 40; ++i) {
        a.push_back(i);
        b.push_back(100 + i);
    }
    const double z = (800 - 0.5) / std::sqrt(40.0 * 40 * 81 / 12);
    EXPECT_NEAR(mannWhitneyP(a, b), std::erfc(z / std::sqrt(2.0)), 1e-15);
}

// A clock that moves on by a fixed step at each reading.
struct SteppingClock {
    std::int64_t now = 0;
    std::int64_t step;
    std::int64_t operator()() { return now += step; }
};

TEST(MisuraMeasure, BatchesTimeSamplesOfRepetitionsAndKeepTheFirstCallApart)
{
    const core::RunEnvironment env{nullptr, core::systemTicks(), u",", platform::ansiCodePage()};
    // Each sample reads the clock twice, one step apart, whatever its repetitions: a step per sample.
    Batch fixed{{Conversion::TextToBytes, core::Method::InProgram, 8, true}, 5, 0, 4};
    fixed.warmup = 2;
    fixed.core = -1;
    const BatchResult r = measureBatch(fixed, {env, SteppingClock{0, 1000}});
    EXPECT_EQ(r.samples, 5u);
    EXPECT_EQ(r.perSample, 4u);
    EXPECT_DOUBLE_EQ(r.run, 1e-6 / 4);
    ASSERT_TRUE(r.firstCall);
    EXPECT_DOUBLE_EQ(*r.firstCall, 1e-6);
    EXPECT_FALSE(r.call); // the in-program routines make no library call
    EXPECT_EQ(r.core, -1);

    // Without a count: until the budget has passed, at least once.
    const Batch budget{{Conversion::BytesToText, core::Method::InProgram, 8}, 0, 1000000000, 1};
    EXPECT_EQ(measureBatch(budget, {env, SteppingClock{0, 400000000}}).samples, 1u);
}

TEST(MisuraSchedule, EveryRoundOnOneCoreWithCoresAndOrdersBalanced)
{
    // Two participants, two cores, a process of twenty rounds: each core holds ten rounds, and on
    // each core each participant goes first in half of them.
    const std::vector<int> cores{0, 1};
    for (std::size_t process = 0; process < 3; ++process) {
        int first[2][2] = {};
        for (std::size_t round = 0; round < 20; ++round) {
            const int core = roundCore(process, round, cores);
            ASSERT_TRUE(core == 0 || core == 1);
            ASSERT_NE(roundTurn(process, round, 0, 2), roundTurn(process, round, 1, 2));
            ++first[core][roundTurn(process, round, 0, 2)];
        }
        EXPECT_EQ(first[0][0], 5);
        EXPECT_EQ(first[0][1], 5);
        EXPECT_EQ(first[1][0], 5);
        EXPECT_EQ(first[1][1], 5);
    }
    // A process of one round: the processes take the cores in turn.
    EXPECT_NE(roundCore(0, 0, cores), roundCore(1, 0, cores));
    EXPECT_EQ(roundCore(4, 7, {3}), 3);
}

TEST(MisuraMeasure, SamplesGrowAsABenchmarkLibrarySizesItsIterations)
{
    EXPECT_EQ(grownPerSample(1, 600, 20000), 10u);   // far too short: tenfold
    EXPECT_EQ(grownPerSample(10, 6000, 20000), 46u); // the shortfall, with 40 % to spare
    EXPECT_EQ(grownPerSample(1, 19999, 20000), 2u);  // always at least one more
    EXPECT_FALSE(grownPerSample(46, 27600, 20000));  // long enough
    EXPECT_FALSE(grownPerSample(1, 90000, 20000));
}

TEST(MisuraMeasure, DifferencesFromTheInProgramResultsAreNamedGuardBytesIncluded)
{
    const CaseSpec text{Conversion::BytesToText, core::Method::Library, 3};
    const std::vector<std::uint8_t> block{0, 0, 0, 0xA5, 0xA5};
    const Outcome want{u"abc", block};
    EXPECT_EQ(difference(text, want, want), "");
    EXPECT_EQ(difference(text, {u"ab", block}, want),
              "bytes-to-text of 3 bytes: 2 characters where the in-program routines give 3");
    EXPECT_EQ(difference(text, {u"aXc", block}, want),
              "bytes-to-text of 3 bytes: character 1 is U+58 where the in-program routines give U+62");
    EXPECT_EQ(difference(text, {u"abc", {0, 7, 0, 0xA5, 0xA5}}, want),
              "bytes-to-text of 3 bytes: byte 1 of the block converted is 07 where it was 00");
    EXPECT_EQ(difference(text, {u"abc", {0, 0, 0, 0xA5, 0x5A}}, want),
              "bytes-to-text of 3 bytes: byte 4, past the bytes converted, is 5A where it was A5");
    const CaseSpec bytes{Conversion::TextToBytes, core::Method::Library, 3};
    const Outcome stored{{}, {32, 32, 32, 0xA5, 0xA5}};
    EXPECT_EQ(difference(bytes, {{}, {32, 32, 0, 0xA5, 0xA5}}, stored),
              "text-to-bytes of 3 bytes: byte 2 is 00 where the in-program routines give 20");
    EXPECT_EQ(difference(bytes, {{}, {32, 32, 32, 0, 0xA5}}, stored),
              "text-to-bytes of 3 bytes: byte 3, past the text stored, is 00 where it was A5");
}

TEST(MisuraMeasure, InProgramEstimateGrowsAsEachConversionDoes)
{
    const core::RunEnvironment env{nullptr, core::systemTicks(), u",", platform::ansiCodePage()};
    // Every conversion timed takes one step: the estimate is the growth from the size timed.
    const auto at = [&](Conversion c, std::int32_t bytes) {
        return inProgramSecondsAt(c, bytes, 1000, {env, SteppingClock{0, 1000}});
    };
    EXPECT_DOUBLE_EQ(at(Conversion::BytesToText, 4000), 16e-6);
    EXPECT_DOUBLE_EQ(at(Conversion::TextToBytes, 4000), 4e-6);
    EXPECT_DOUBLE_EQ(at(Conversion::BytesToText, 500), 1e-6); // timed at its own size
}

TEST(MisuraProtocol, BatchesAndResultsReadBackAsWritten)
{
    Batch b{{Conversion::TextToBytes, core::Method::Library, 50000, true}, 7, 123456789, 0, 20000, 5, 3};
    b.core = 1;
    b.checkFirst = true;
    const auto back = protocol::parseBatch(protocol::batchLine(b));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->spec.conversion, b.spec.conversion);
    EXPECT_EQ(back->spec.method, b.spec.method);
    EXPECT_EQ(back->spec.bytes, 50000);
    EXPECT_TRUE(back->spec.firstCall);
    EXPECT_EQ(back->samples, 7u);
    EXPECT_EQ(back->budgetNs, 123456789);
    EXPECT_EQ(back->perSample, 0u);
    EXPECT_EQ(back->sampleNs, 20000);
    EXPECT_EQ(back->referencePerSample, 5u);
    EXPECT_EQ(back->warmup, 3u);
    EXPECT_EQ(back->core, 1);
    EXPECT_TRUE(back->checkFirst);
    EXPECT_FALSE(back->checkLast);
    EXPECT_FALSE(protocol::parseBatch("batch 0 0 64"));
    EXPECT_FALSE(protocol::parseBatch(protocol::batchLine(b) + " 9"));

    BatchResult r{0.1 + 0.2, 0.25, 412, 38, 1.0 / 3, std::nullopt, 7, 2.5e-7, 0, 0.0125, "byte 2 is 00 where\nthe routines give 20"};
    const auto answer = protocol::parseResult(protocol::resultLine(r, "/a b/libquendril.so"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->result.firstCall, r.firstCall);
    EXPECT_EQ(answer->result.binding, r.binding);
    EXPECT_EQ(answer->result.samples, 412u);
    EXPECT_EQ(answer->result.perSample, 38u);
    EXPECT_EQ(answer->result.run, r.run); // every bit of the double
    EXPECT_FALSE(answer->result.call);
    EXPECT_EQ(answer->result.referencePerSample, 7u);
    EXPECT_EQ(answer->result.reference, 2.5e-7);
    EXPECT_EQ(answer->result.core, 0);
    EXPECT_EQ(answer->result.seconds, 0.0125);
    EXPECT_EQ(answer->path, "/a b/libquendril.so");
    EXPECT_EQ(answer->result.wrong, "byte 2 is 00 where the routines give 20");
    EXPECT_FALSE(protocol::parseResult("error 53: cannot find library 'x'"));
}

// A frame carries any byte of its line whole, and only with its child's token.
TEST(MisuraProtocol, FramesCarryAnyLineAndOnlyTheirToken)
{
    const std::string token = "0123456789abcdef";
    const std::string odd = "/a\nb\\x0a/\r\x01 lib.so";
    const std::string framed = protocol::frame(token, "7", odd);
    EXPECT_EQ(framed.find_first_of("\n\r"), std::string::npos);
    const auto back = protocol::unframe(framed, token);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->number, "7");
    EXPECT_EQ(back->line, odd);
    EXPECT_FALSE(protocol::unframe(protocol::frame("fedcba9876543210", "7", "ok"), token));
    EXPECT_FALSE(protocol::unframe(token, token));
    EXPECT_FALSE(protocol::unframe("result - - 0.000000001 - 0 ", token));
    EXPECT_FALSE(protocol::unframe(token + " 7 bad\\q", token));
}

// A child's error reaches the parent on one line, whatever its path holds, and is worded there in English.
TEST(MisuraErrors, ErrorsCrossToTheParentWhole)
{
    const auto line = [](const platform::RuntimeError& e) { return protocol::errorLine(std::make_exception_ptr(e)); };
    const platform::RuntimeError missing(platform::kFileNotFound, platform::Message::libraryNotFound, {"/x\n/libquendril.so"});
    const std::string answer = protocol::errorAnswer(std::make_exception_ptr(missing));
    EXPECT_EQ(answer.find('\n'), std::string::npos);
    const std::optional<platform::RuntimeError> back = protocol::parseError(answer);
    ASSERT_TRUE(back) << answer;
    EXPECT_EQ(line(*back), "error 53: cannot find library '/x\n/libquendril.so'");
    EXPECT_FALSE(protocol::parseError("error 53: cannot find library 'x'"));
    EXPECT_FALSE(protocol::parseError("result " + answer));
    // The Italian template's words never reach the kit's output.
    const platform::RuntimeError ended(platform::kInternalError, platform::Message::endedWhileLoading, {"q.so"},
                                       {platform::Message::signalNumber, {"64"}});
    EXPECT_EQ(line(ended), "error 51: the program ended while loading library 'q.so': signal 64");
    EXPECT_EQ(protocol::errorLine(std::make_exception_ptr(std::runtime_error("x"))), "error 51: internal error: x");
}

TEST(MisuraReport, DurationsInTheUnitThatFits)
{
    const std::vector<std::pair<double, std::string>> table{
        {1.5e-9, "1.500 ns"},   {999e-9, "999.0 ns"}, {1e-6, "1.000 µs"}, {23.456e-6, "23.46 µs"},
        {0.0125, "12.50 ms"}, {2.0, "2.000 s"},     {150, "150.0 s"},
    };
    for (const auto& [seconds, text] : table)
        EXPECT_EQ(formatDuration(seconds), text);
    const std::vector<std::pair<double, std::string>> rough{{4.25, "4.2 s"}, {61, "61 s"}, {170, "3 min"}, {7200, "2 h"}};
    for (const auto& [seconds, text] : rough)
        EXPECT_EQ(roughDuration(seconds), text);
}

} // namespace

namespace {

// A case measured in processes of rounds: figure(i, j) seconds per run in round j of process i, on a
// machine that runs everything, the reference copy too, machine times as long as it can.
template <typename Figure>
Case caseOf(std::string library, Conversion conversion, std::int32_t bytes, std::size_t processes,
            std::size_t rounds, Figure figure, double machine = 1)
{
    Case c{};
    c.method = library.empty() ? core::Method::InProgram : core::Method::Library;
    c.label = library.empty() ? "in-program routines" : library;
    c.library = std::move(library);
    c.conversion = conversion;
    c.bytes = bytes;
    for (std::size_t i = 0; i < processes; ++i) {
        c.processes.push_back({38, 9, {}});
        for (std::size_t j = 0; j < rounds; ++j) {
            const double t = figure(i, j) * machine;
            c.processes.back().rounds.push_back(
                {t, c.method == core::Method::Library ? std::optional<double>(t / 4) : std::nullopt,
                 2e-7 * machine * (1 + 0.001 * static_cast<double>((i + j) % 3)), 100, static_cast<int>(j % 2)});
        }
    }
    return c;
}

// Rounds near t, each a little off in its own way.
auto near(double t)
{
    return [t](std::size_t i, std::size_t j) { return t * (1 + 0.001 * static_cast<double>((i * 7 + j * 3) % 5)); };
}

TEST(MisuraResults, GrowthPerSeriesAndComparisonsWithTheFirstOrTheBaseline)
{
    const std::vector<Case> scan{
        caseOf("a.so", Conversion::BytesToText, 1000, 2, 2, near(1e-6)), caseOf("", Conversion::BytesToText, 1000, 2, 2, near(1e-3)),
        caseOf("a.so", Conversion::BytesToText, 4000, 2, 2, near(4e-6)), caseOf("", Conversion::BytesToText, 4000, 2, 2, near(16e-3)),
        caseOf("a.so", Conversion::TextToBytes, 1000, 2, 2, near(1e-6)), // one size: no fit
    };
    const std::vector<Growth> growth = growthExponents(scan);
    ASSERT_EQ(growth.size(), 2u);
    for (const Growth& g : growth)
        EXPECT_NEAR(g.exponent, g.measured == "a.so" ? 1.0 : 2.0, 0.01);

    // Two libraries on the call; a library and the in-program routines on the whole run.
    const std::vector<Case> now{caseOf("new.so", Conversion::BytesToText, 64, 6, 4, near(2e-6)),
                                caseOf("old.so", Conversion::BytesToText, 64, 6, 4, near(3e-6)),
                                caseOf("", Conversion::BytesToText, 64, 6, 4, near(3e-3))};
    const std::vector<Compared> later = compareCases(now, nullptr);
    ASSERT_EQ(later.size(), 2u);
    EXPECT_EQ(later[0].library, "old.so");
    EXPECT_EQ(later[0].baseline, "new.so");
    EXPECT_EQ(later[0].figure, Figure::Call);
    EXPECT_TRUE(later[0].libraries);
    EXPECT_NEAR(later[0].stats.ratio, 1.5, 0.005);
    EXPECT_EQ(later[0].stats.verdict, Verdict::Slower);
    EXPECT_EQ(later[1].figure, Figure::Run);
    EXPECT_FALSE(later[1].libraries);
    const std::vector<Case> before{caseOf("", Conversion::BytesToText, 64, 6, 4, near(3e-3)),
                                   caseOf("first.so", Conversion::BytesToText, 64, 6, 4, near(1e-6))};
    const std::vector<Compared> against = compareCases(now, &before);
    ASSERT_EQ(against.size(), 3u);
    EXPECT_EQ(against[0].baseline, "baseline first.so");
    EXPECT_TRUE(against[0].againstBaseline);
    EXPECT_NEAR(against[0].stats.ratio, 2, 0.01);
    EXPECT_NEAR(against[2].stats.ratio, 1, 0.01);
    EXPECT_EQ(against[2].stats.verdict, Verdict::NoSignificantDifference);
}

TEST(MisuraResults, ABaselineIsComparedOverTheReferenceCopyTimedBesideIt)
{
    // The same build measured later on a machine a fifth slower in everything: no difference; a
    // build 10 % slower on that machine: slower by 10 %.
    const std::vector<Case> before{caseOf("old.so", Conversion::BytesToText, 64, 6, 4, near(1e-6))};
    const std::vector<Case> same{caseOf("new.so", Conversion::BytesToText, 64, 6, 4, near(1e-6), 1.2)};
    const std::vector<Case> slower{caseOf("new.so", Conversion::BytesToText, 64, 6, 4, near(1.1e-6), 1.2)};
    const Compared a = compareCases(same, &before).at(0), b = compareCases(slower, &before).at(0);
    EXPECT_NEAR(a.stats.ratio, 1, 0.003);
    EXPECT_EQ(a.stats.verdict, Verdict::NoSignificantDifference);
    EXPECT_NEAR(b.stats.ratio, 1.1, 0.003);
    EXPECT_EQ(b.stats.verdict, Verdict::Slower);
    // Side by side the machine is the same for both, and the figures are compared as they are.
    const std::vector<Case> together{before[0], slower[0]};
    EXPECT_NEAR(compareCases(together, nullptr).at(0).stats.ratio, 1.32, 0.005);
}

TEST(MisuraResults, RoundsThatDisagreeAreNamedWhenTheyDecideTheVerdict)
{
    // The later build is 10 % slower throughout, but two of three rounds of one of the first's
    // processes ran 2.5 times as long: enough to hide the difference.
    const auto first = [](std::size_t i, std::size_t j) { return (i == 2 && j < 2 ? 2.5 : 1) * near(1e-6)(i, j); };
    const std::vector<Case> cases{caseOf("a/q.so", Conversion::TextToBytes, 64, 6, 3, first),
                                  caseOf("b/q.so", Conversion::TextToBytes, 64, 6, 3, near(1.1e-6))};
    const std::vector<Compared> c = compareCases(cases, nullptr);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].stats.verdict, Verdict::NoSignificantDifference);
    ASSERT_EQ(c[0].warnings.size(), 1u);
    EXPECT_NE(c[0].warnings[0].find("2 of 36 rounds disagree"), std::string::npos) << c[0].warnings[0];
    EXPECT_NE(c[0].warnings[0].find("a/q.so process 3, round 1: 2.5"), std::string::npos) << c[0].warnings[0];
    EXPECT_NE(c[0].warnings[0].find("the verdict would be \"slower\""), std::string::npos);
    // The same rounds without the slow ones: a verdict, and nothing to warn about.
    const std::vector<Case> calm{caseOf("a/q.so", Conversion::TextToBytes, 64, 6, 3, near(1e-6)), cases[1]};
    const std::vector<Compared> d = compareCases(calm, nullptr);
    EXPECT_EQ(d[0].stats.verdict, Verdict::Slower);
    EXPECT_TRUE(d[0].warnings.empty());
}

TEST(MisuraResults, LabelsAreTheShortestPathsThatTellLibrariesApart)
{
    EXPECT_EQ(distinguishingLabels({"/x/old/libq.so", "/x/new/libq.so", "/y/other.so"}),
              (std::vector<std::string>{"old/libq.so", "new/libq.so", "other.so"}));
    EXPECT_EQ(distinguishingLabels({"/p/q/r.so", "/s/q/r.so"}), (std::vector<std::string>{"p/q/r.so", "s/q/r.so"}));
    EXPECT_EQ(distinguishingLabels({"C:\\a\\q.dll", "C:\\b\\q.dll"}), (std::vector<std::string>{"a/q.dll", "b/q.dll"}));
    EXPECT_EQ(distinguishingLabels({"/same/q.so", "/same/q.so"}), (std::vector<std::string>{"q.so", "q.so (2)"}));
}

TEST(MisuraResults, ABaselineFromAnotherMachineBuildOrLoadIsSaidSo)
{
    const Context base{"1.00", "Release", "cpu A", 2, 1, "2026-01-01T00:00:00Z", std::array<double, 3>{0.4, 0, 0}};
    EXPECT_TRUE(contextDifferences(base, base).empty());
    Context alike = base;
    alike.loadAverage = std::array<double, 3>{1.5, 0, 0}; // 0.2 against 0.75 per core: less than one apart
    alike.date = "2026-02-01T00:00:00Z";
    EXPECT_TRUE(contextDifferences(base, alike).empty());
    Context other{"1.01", "Debug", "cpu B", 4, 1, base.date, std::array<double, 3>{9, 0, 0}};
    const std::vector<std::string> said = contextDifferences(base, other);
    ASSERT_EQ(said.size(), 4u);
    EXPECT_NE(said[0].find("another processor: \"cpu A\", 2 cores (now \"cpu B\", 4 cores)"), std::string::npos);
    EXPECT_NE(said[1].find("\"Debug\""), std::string::npos);
    EXPECT_NE(said[2].find("version 1.00 (now 1.01)"), std::string::npos);
    EXPECT_NE(said[3].find("another load: 0.2 busy processes per core (now 2.2)"), std::string::npos);
}

TEST(MisuraExports, JsonReadsBackAsTheBaselineAndOldExportsAreRefused)
{
    Results r;
    r.plan = {{}, 2, 3, {0, 1}, 20, 20000, 3, false, 1};
    r.context = Context{"1.00", "Release", "cpu \"x\"", 2, 1, "2026-01-01T00:00:00Z", std::nullopt};
    r.cases = {caseOf("C:\\dir\\\"q\".dll", Conversion::TextToBytes, 64, 2, 3, near(3.031e-06)),
               caseOf("other.dll", Conversion::TextToBytes, 64, 2, 3, near(1e-6)),
               caseOf("", Conversion::TextToBytes, 64, 2, 3, near(4.5e-3))};
    r.comparisons = compareCases(r.cases, nullptr);
    std::ostringstream json;
    writeJson(json, r);
    const Baseline back = readBaseline(json.str());
    ASSERT_EQ(back.cases.size(), 2u); // the first library's and the in-program routines'
    EXPECT_EQ(back.cases[0].library, r.cases[0].library);
    EXPECT_EQ(back.cases[1].method, core::Method::InProgram);
    EXPECT_EQ(back.context.cpu, "cpu \"x\"");
    // Four significant digits, as written.
    for (const auto& [read, written] : {std::pair{runUnits(back.cases[0]), runUnits(r.cases[0])},
                                        std::pair{callUnits(back.cases[0]), callUnits(r.cases[0])}}) {
        ASSERT_EQ(read.size(), written.size());
        for (std::size_t i = 0; i < read.size(); ++i)
            for (std::size_t j = 0; j < read[i].size(); ++j)
                EXPECT_NEAR(read[i][j], written[i][j], written[i][j] * 5e-4);
    }
    EXPECT_EQ(back.cases[0].processes[1].perSample, 38u);
    // Numbers as the console writes them: no figure of more than four significant digits.
    std::string text;
    for (bool quoted = false; const char c : json.str()) // the numbers alone, strings left out
        if (c == '"' || quoted)
            quoted = c == '"' ? !quoted : quoted;
        else
            text += c;
    for (std::size_t at = 0; (at = text.find_first_of("0123456789", at)) != std::string::npos;) {
        const std::size_t end = text.find_first_not_of("0123456789.e-+", at);
        std::string digits = text.substr(at, text.find_first_of("e", at) < end ? text.find('e', at) - at : end - at);
        std::erase(digits, '.');
        digits.erase(0, digits.find_first_not_of('0'));
        EXPECT_LE(digits.size(), 6u) << text.substr(at, end - at); // 50000 bytes and 184756 at most
        at = end;
    }
    EXPECT_THROW(readBaseline("not json"), BaselineError);
    try {
        readBaseline(R"({"results": [{"conversion": "bytes-to-text", "method": "library", "library": "a.so",
                        "bytes": 8, "times_s": [2, 1]}]})");
        ADD_FAILURE() << "an export without figures per process was read";
    } catch (const BaselineError& e) {
        EXPECT_NE(std::string(e.what()).find("export the baseline again"), std::string::npos);
    }
}

TEST(MisuraExports, CsvHasARowPerRoundAndFigure)
{
    Results r;
    r.cases = {caseOf("a,b.so", Conversion::BytesToText, 64, 2, 3, near(1e-6)),
               caseOf("", Conversion::BytesToText, 64, 2, 3, near(1e-3))};
    std::ostringstream csv;
    writeCsv(csv, r);
    std::istringstream lines(csv.str());
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 1u + 2 * 3 * 3 + 2 * 3 * 2); // the library's run, call and reference, the routines' run and reference
    EXPECT_EQ(rows[0], "library,label,conversion,method,part,bytes,process,round,core,samples,per_sample,seconds,result");
    EXPECT_EQ(rows[1], "\"a,b.so\",\"a,b.so\",bytes-to-text,library,run,64,1,1,0,100,38,1e-06,right");
}

TEST(MisuraReport, NumbersAsTheConsoleWritesThem)
{
    EXPECT_EQ(ratioFigure(1.0126), "1.013");
    EXPECT_EQ(ratioFigure(0.987), "0.987");
    EXPECT_EQ(ratioFigure(12.34), "12.3");
    EXPECT_EQ(pFigure(0.6234), "0.62");
    EXPECT_EQ(pFigure(5.539922846515276e-49), "5.5e-49");
    EXPECT_EQ(percentFigure(0.0123), "1.2");
    EXPECT_EQ(number(5.539922846515276e-07), "5.54e-07");
    Compared c{Conversion::BytesToText, 64, "b.so", "a.so", Figure::Call, true, false, {}, {}};
    c.stats = {1.02, 1.01, 1.03, 0.008, 2.0 / 1024, 2.0 / 1024, 10, Verdict::Slower};
    EXPECT_EQ(comparisonText(c), "1.020 times as long (95% interval 1.010 … 1.030; resolves 0.80 %), p ≤ 0.002, "
                                 "the least 10 pairs of processes allow: slower");
    c.stats.pValue = 0.25;
    EXPECT_NE(comparisonText(c).find("p = 0.25 over 10 pairs of processes"), std::string::npos);
}

} // namespace
