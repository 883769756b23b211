// misura-libreria's parts that decide its figures: option parsing, the
// statistics on known samples, the scan's sizes, the repetition loop under a
// scripted clock, and the report's units, exponents and comparisons.
#include "quendril/misura_measure.h"
#include "quendril/misura_options.h"
#include "quendril/misura_report.h"
#include "quendril/misura_stats.h"

#include "core/quendril_library.h"
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

using namespace misura;

namespace {

TEST(MisuraOptions, TakesEachOptionInBothForms)
{
    const Options o = parseOptions({"--runs", "7", "--warmup=0", "--method", "library", "--export-json", "r.json",
                                    "--export-csv=r.csv", "--export-markdown", "r.md", "lib.so"});
    EXPECT_EQ(o.runs, 7u);
    EXPECT_EQ(o.warmup, 0u);
    EXPECT_EQ(o.methods, Methods::Library);
    EXPECT_EQ(o.sizes, std::vector<std::int32_t>{50000});
    EXPECT_EQ(o.exportJson, "r.json");
    EXPECT_EQ(o.exportCsv, "r.csv");
    EXPECT_EQ(o.exportMarkdown, "r.md");
    EXPECT_EQ(o.library, "lib.so");

    const Options d = parseOptions({});
    EXPECT_FALSE(d.runs);
    EXPECT_EQ(d.warmup, 3u);
    EXPECT_EQ(d.methods, Methods::Both);
    EXPECT_TRUE(d.library.empty());

    const Options s = parseOptions({"--scan", "1000:50000:6", "--plot", "q.svg", "--method=in-program"});
    EXPECT_TRUE(s.scan);
    EXPECT_EQ(s.sizes, (std::vector<std::int32_t>{1000, 2187, 4782, 10456, 22865, 50000}));
    EXPECT_EQ(s.methods, Methods::InProgram);
    EXPECT_TRUE(parseOptions({"--help"}).help);
    EXPECT_TRUE(parseOptions({"--version"}).version);
}

TEST(MisuraOptions, RejectsWhatItCannotTake)
{
    const std::vector<std::vector<std::string>> bad{
        {"--runs"},           {"--runs", "0"},         {"--runs", "ten"},        {"--runs", "5x"},
        {"--warmup", "-1"},   {"--bytes", "0"},        {"--bytes", "100000001"}, {"--method", "dll"},
        {"--scan", "10:5:3"}, {"--scan", "10:100"},    {"--scan", "10:100:1"},   {"--scan", "1:2:3:4"},
        {"--scan", "0:10:2"}, {"--plot", "q.svg"},     {"--frobnicate"},         {"a.so", "b.so"},
        {"--help=yes"},       {"--bytes", "10", "--scan", "1:10:2"},
    };
    for (const auto& args : bad)
        EXPECT_THROW(parseOptions(args), UsageError) << args.front() << " " << (args.size() > 1 ? args[1] : "");
}

TEST(MisuraStats, SummarizesKnownSamples)
{
    struct Sample {
        std::vector<double> times;
        double mean, stddev, median, min, max;
        std::size_t outliers;
    };
    const std::vector<Sample> samples{
        {{2, 4, 4, 4, 5, 5, 7, 9}, 5, std::sqrt(32.0 / 7), 4.5, 2, 9, 1},
        {{3}, 3, 0, 3, 3, 3, 0},
        {{5, 1, 3}, 3, 2, 3, 1, 5, 0},
        {{10, 11, 10, 12, 11, 10, 11, 100}, 21.875, std::sqrt(6978.875 / 7), 11, 10, 100, 1},
    };
    for (const Sample& s : samples) {
        const Summary got = summarize(s.times);
        EXPECT_DOUBLE_EQ(got.mean, s.mean);
        EXPECT_NEAR(got.stddev, s.stddev, 1e-9);
        EXPECT_DOUBLE_EQ(got.median, s.median);
        EXPECT_DOUBLE_EQ(got.min, s.min);
        EXPECT_DOUBLE_EQ(got.max, s.max);
        EXPECT_EQ(got.runs, s.times.size());
        EXPECT_EQ(got.outliers, s.outliers);
    }
    EXPECT_FALSE(outliersLikely(summarize(samples[2].times)));
    EXPECT_TRUE(outliersLikely(summarize(samples[3].times)));
}

TEST(MisuraStats, RatioAndGrowthExponent)
{
    Summary slow;
    slow.mean = 100;
    slow.stddev = 3;
    slow.runs = 9; // a standard error of 1, 1 %
    Summary fast;
    fast.mean = 10;
    fast.stddev = 0.4;
    fast.runs = 16; // 0.1, 1 %
    const Ratio r = ratio(slow, fast);
    EXPECT_DOUBLE_EQ(r.value, 10);
    EXPECT_NEAR(r.uncertainty, 10 * std::sqrt(2e-4), 1e-12);

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

// A clock that moves on by a fixed step at each reading.
struct SteppingClock {
    std::int64_t now = 0;
    std::int64_t step;
    std::int64_t operator()() { return now += step; }
};

TEST(MisuraMeasure, RepeatsAsAskedAndKeepsTheFirstCallApart)
{
    core::QuendrilLibrary unused("", "");
    const core::RunEnvironment env{unused, core::systemTicks(), u",", platform::ansiCodePage()};
    int progressCalls = 0;
    const ProgressFn progress = [&](const std::string&) { ++progressCalls; };

    // Each conversion reads the clock twice, one step apart: one step per run.
    const Case fixed = measureCase(Conversion::TextToBytes, core::Method::InProgram, 8, {5, 2}, env, true,
                                   SteppingClock{0, 1000}, progress);
    EXPECT_EQ(fixed.times, std::vector<double>(5, 1e-6));
    ASSERT_TRUE(fixed.firstCall);
    EXPECT_DOUBLE_EQ(*fixed.firstCall, 1e-6);
    EXPECT_EQ(fixed.summary.runs, 5u);
    EXPECT_GT(progressCalls, 0);

    // Without a count: at least ten runs, then until a second has passed.
    const Case slowRuns = measureCase(Conversion::BytesToText, core::Method::InProgram, 8, {std::nullopt, 0}, env,
                                      false, SteppingClock{0, 400000000}, nullptr);
    EXPECT_EQ(slowRuns.times.size(), 10u);
    EXPECT_FALSE(slowRuns.firstCall);
    const Case quickRuns = measureCase(Conversion::BytesToText, core::Method::InProgram, 8, {std::nullopt, 0},
                                       env, false, SteppingClock{0, 1000000}, nullptr);
    EXPECT_GE(quickRuns.times.size(), 300u);
    EXPECT_LE(quickRuns.times.size(), 400u);
}

} // namespace

namespace {

Case caseOf(Conversion conversion, core::Method method, std::int32_t bytes, double median, double mean)
{
    Case c{conversion, method, bytes, std::nullopt, std::nullopt, {}, {}};
    c.summary.median = median;
    c.summary.mean = mean;
    c.summary.runs = 4;
    return c;
}

TEST(MisuraReport, DurationsInTheUnitThatFits)
{
    const std::vector<std::pair<double, std::string>> table{
        {1.5e-9, "1.500 ns"},   {999e-9, "999.0 ns"}, {1e-6, "1.000 µs"}, {23.456e-6, "23.46 µs"},
        {0.0125, "12.50 ms"}, {2.0, "2.000 s"},     {150, "150.0 s"},
    };
    for (const auto& [seconds, text] : table)
        EXPECT_EQ(formatDuration(seconds), text);
}

TEST(MisuraReport, GrowthPerSeriesAndTheFasterMethodNamed)
{
    using core::Method;
    const std::vector<Case> cases{
        caseOf(Conversion::BytesToText, Method::Library, 1000, 1e-6, 1e-6),
        caseOf(Conversion::BytesToText, Method::InProgram, 1000, 1e-3, 1e-3),
        caseOf(Conversion::BytesToText, Method::Library, 4000, 4e-6, 4e-6),
        caseOf(Conversion::BytesToText, Method::InProgram, 4000, 16e-3, 16e-3),
        caseOf(Conversion::TextToBytes, Method::Library, 1000, 1e-6, 1e-6), // one size: no fit
    };
    const std::vector<Growth> growth = growthExponents(cases);
    ASSERT_EQ(growth.size(), 2u);
    for (const Growth& g : growth) {
        EXPECT_EQ(g.conversion, Conversion::BytesToText);
        EXPECT_NEAR(g.exponent, g.method == Method::Library ? 1.0 : 2.0, 1e-9);
    }

    std::ostringstream faster;
    writeComparison(faster, cases[0], cases[1]);
    EXPECT_NE(faster.str().find("The library ran 1000"), std::string::npos) << faster.str();
    std::ostringstream slower;
    writeComparison(slower, cases[1], cases[0]);
    EXPECT_NE(slower.str().find("The in-program routines ran 1000"), std::string::npos) << slower.str();
}

TEST(MisuraReport, JsonQuotesTheLibraryPath)
{
    std::ostringstream out;
    writeJson(out, "C:\\dir\\\"q\".dll", {}, {});
    EXPECT_NE(out.str().find(R"("library": "C:\\dir\\\"q\".dll")"), std::string::npos) << out.str();
    std::ostringstream none;
    writeJson(none, "", {}, {});
    EXPECT_NE(none.str().find(R"("library": null)"), std::string::npos);
}

} // namespace
