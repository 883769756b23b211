// misura-libreria's parts that decide its figures: option parsing, the
// statistics on known samples, the scan's sizes, a batch under a scripted
// clock and its check of results, the exchange with a child, the baseline
// read back from a JSON export, errors in English, and the report's units,
// exponents and comparisons.
#include "tools/misura-libreria/exports.h"
#include "tools/misura-libreria/format.h"
#include "tools/misura-libreria/measure.h"
#include "tools/misura-libreria/options.h"
#include "tools/misura-libreria/protocol.h"
#include "tools/misura-libreria/report.h"
#include "tools/misura-libreria/stats.h"

#include "platform/runtime_error.h"

#include "platform/codepage.h"

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
    const Options o = parseOptions({"--runs", "7", "--warmup=0", "--method", "library", "--export-json", "r.json",
                                    "--export-csv=r.csv", "--export-markdown", "r.md", "--conversion", "text-to-bytes",
                                    "--baseline", "b.json", "--fail-if-slower=2.5", "old.so", "new.so"});
    EXPECT_EQ(o.runs, 7u);
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
    EXPECT_EQ(d.warmup, 3u);
    EXPECT_EQ(d.methods, Methods::Both);
    EXPECT_EQ(d.conversions, Conversions::Both);
    EXPECT_TRUE(d.libraries.empty());

    const Options s = parseOptions({"--scan", "1000:50000:6", "--plot", "q.svg", "--method=in-program"});
    EXPECT_TRUE(s.scan);
    EXPECT_EQ(s.sizes, (std::vector<std::int32_t>{1000, 2187, 4782, 10456, 22865, 50000}));
    EXPECT_EQ(s.methods, Methods::InProgram);
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

// A clock that moves on by a fixed step at each reading.
struct SteppingClock {
    std::int64_t now = 0;
    std::int64_t step;
    std::int64_t operator()() { return now += step; }
};

TEST(MisuraMeasure, BatchesRepeatAsAskedAndKeepTheFirstCallApart)
{
    const core::RunEnvironment env{nullptr, core::systemTicks(), u",", platform::ansiCodePage()};
    // Each conversion reads the clock twice, one step apart: one step per run.
    const Batch fixed{{Conversion::TextToBytes, core::Method::InProgram, 8, true}, 5, 0, 2};
    const BatchResult r = measureBatch(fixed, {env, SteppingClock{0, 1000}});
    EXPECT_EQ(r.times, std::vector<double>(5, 1e-6));
    ASSERT_TRUE(r.firstCall);
    EXPECT_DOUBLE_EQ(*r.firstCall, 1e-6);
    EXPECT_TRUE(r.calls.empty()); // the in-program routines make no library call

    // Without a count: until the budget has passed, at least once.
    Batch budget{{Conversion::BytesToText, core::Method::InProgram, 8}, 0, 1000000000};
    EXPECT_EQ(measureBatch(budget, {env, SteppingClock{0, 400000000}}).times.size(), 1u);
    // Three readings a run after the first (the budget's and the run's two): 334 runs in 1000 readings.
    EXPECT_EQ(measureBatch(budget, {env, SteppingClock{0, 1000000}}).times.size(), 334u);
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

TEST(MisuraMeasure, DifferencesFromTheInProgramResultsAreNamed)
{
    const CaseSpec text{Conversion::BytesToText, core::Method::Library, 3};
    const Outcome want{u"abc", {}};
    EXPECT_EQ(difference(text, want, want), "");
    EXPECT_EQ(difference(text, {u"ab", {}}, want), "bytes-to-text of 3 bytes: 2 characters where the in-program routines give 3");
    EXPECT_EQ(difference(text, {u"aXc", {}}, want),
              "bytes-to-text of 3 bytes: character 1 is U+58 where the in-program routines give U+62");
    const CaseSpec bytes{Conversion::TextToBytes, core::Method::Library, 3};
    EXPECT_EQ(difference(bytes, {{}, {32, 32, 0, 0}}, {{}, {32, 32, 32, 0}}),
              "text-to-bytes of 3 bytes: byte 2 is 00 where the in-program routines give 20");
}

TEST(MisuraProtocol, BatchesAndResultsReadBackAsWritten)
{
    const Batch b{{Conversion::TextToBytes, core::Method::Library, 50000, true}, 7, 123456789, 3, true, false};
    const auto back = protocol::parseBatch(protocol::batchLine(b));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->spec.conversion, b.spec.conversion);
    EXPECT_EQ(back->spec.method, b.spec.method);
    EXPECT_EQ(back->spec.bytes, 50000);
    EXPECT_TRUE(back->spec.firstCall);
    EXPECT_EQ(back->runs, 7u);
    EXPECT_EQ(back->budgetNs, 123456789);
    EXPECT_EQ(back->warmup, 3u);
    EXPECT_TRUE(back->checkFirst);
    EXPECT_FALSE(back->checkLast);
    EXPECT_FALSE(protocol::parseBatch("batch 0 0 64"));

    const BatchResult r{0.1 + 0.2, 0.25, {1e-7, 2.5e-5, 1.0 / 3}, {}, "byte 2 is 00 where\nthe routines give 20"};
    const auto answer = protocol::parseResult(protocol::resultLine(r, "/a b/libquendril.so"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->result.firstCall, r.firstCall);
    EXPECT_EQ(answer->result.binding, r.binding);
    EXPECT_EQ(answer->result.times, r.times); // every bit of every double
    EXPECT_TRUE(answer->result.calls.empty());
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

} // namespace

namespace {

Case caseOf(std::string library, Conversion conversion, std::int32_t bytes, std::vector<double> times)
{
    Case c{};
    c.method = library.empty() ? core::Method::InProgram : core::Method::Library;
    c.library = std::move(library);
    c.conversion = conversion;
    c.bytes = bytes;
    c.times = std::move(times);
    c.summary = summarize(c.times);
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
    const std::vector<std::pair<double, std::string>> rough{{61, "61 s"}, {170, "3 min"}, {7200, "2 h"}};
    for (const auto& [seconds, text] : rough)
        EXPECT_EQ(roughDuration(seconds), text);
}

TEST(MisuraReport, GrowthPerSeriesAndComparisonsWithTheFirstOrTheBaseline)
{
    const auto times = [](double median) { return std::vector<double>{median * 0.99, median, median * 1.01}; };
    const std::vector<Case> scan{
        caseOf("a.so", Conversion::BytesToText, 1000, times(1e-6)), caseOf("", Conversion::BytesToText, 1000, times(1e-3)),
        caseOf("a.so", Conversion::BytesToText, 4000, times(4e-6)), caseOf("", Conversion::BytesToText, 4000, times(16e-3)),
        caseOf("a.so", Conversion::TextToBytes, 1000, times(1e-6)), // one size: no fit
    };
    const std::vector<Growth> growth = growthExponents(scan);
    ASSERT_EQ(growth.size(), 2u);
    for (const Growth& g : growth) {
        EXPECT_EQ(g.conversion, Conversion::BytesToText);
        EXPECT_NEAR(g.exponent, g.measured == "a.so" ? 1.0 : 2.0, 1e-9);
    }

    // Every later case against the first; with a baseline, each against the baseline's of its method.
    const std::vector<Case> now{caseOf("new.so", Conversion::BytesToText, 64, times(2)),
                                caseOf("", Conversion::BytesToText, 64, times(3))};
    const std::vector<Compared> later = compareCases(now, nullptr, "baseline ");
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].library, "in-program routines");
    EXPECT_EQ(later[0].baseline, "new.so");
    EXPECT_DOUBLE_EQ(later[0].stats.ratio, 1.5);
    const std::vector<Case> before{caseOf("", Conversion::BytesToText, 64, times(3)),
                                   caseOf("old.so", Conversion::BytesToText, 64, times(1))};
    const std::vector<Compared> against = compareCases(now, &before, "baseline ");
    ASSERT_EQ(against.size(), 2u);
    EXPECT_EQ(against[0].baseline, "baseline old.so");
    EXPECT_DOUBLE_EQ(against[0].stats.ratio, 2);
    EXPECT_DOUBLE_EQ(against[1].stats.ratio, 1);
}

TEST(MisuraExports, JsonReadsBackAsTheBaseline)
{
    Case library = caseOf("C:\\dir\\\"q\".dll", Conversion::TextToBytes, 64, {1e-6, 2.5e-6, 1.0 / 3});
    library.calls = {1e-7, 2e-7, 3e-7};
    library.call = summarize(library.calls);
    const std::vector<Case> cases{library, caseOf("other.dll", Conversion::TextToBytes, 64, {1, 2}),
                                  caseOf("", Conversion::TextToBytes, 64, {4, 5})};
    std::ostringstream json;
    writeJson(json, Context{"1.00", "Release", "cpu \"x\"", 2, 1, "2026-01-01T00:00:00Z", std::nullopt}, cases, {}, {});
    const std::vector<Case> back = readBaseline(json.str());
    ASSERT_EQ(back.size(), 2u); // the first library's and the in-program routines'
    EXPECT_EQ(back[0].library, library.library);
    EXPECT_EQ(back[0].times, library.times);
    EXPECT_EQ(back[0].calls, library.calls);
    EXPECT_EQ(back[1].method, core::Method::InProgram);
    EXPECT_EQ(json.str().find("\"times\""), std::string::npos); // every time's field names its unit
    // An export from before the fields named their unit.
    const std::vector<Case> old = readBaseline(
        R"({"results": [{"conversion": "bytes-to-text", "method": "library", "library": "a.so", "bytes": 8,
                         "times": [2, 1], "call": {"times": [0.5, 0.25]}}]})");
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].times, (std::vector<double>{2, 1}));
    EXPECT_EQ(old[0].calls, (std::vector<double>{0.5, 0.25}));
    EXPECT_THROW(readBaseline("{\"results\": [{\"conversion\": \"x\"}]}"), BaselineError);
    EXPECT_THROW(readBaseline("not json"), BaselineError);
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

TEST(MisuraCompare, IntervalCoversTheTrueRatioAtItsRateAndVerdictsFollow)
{
    // Log-normal timings, the later series 1.3 times the first: its 95 % interval
    // should hold 1.3 in about 95 of 100 trials.
    std::mt19937_64 random(7);
    std::lognormal_distribution<double> time(0, 0.2);
    const auto series = [&](double scale) {
        std::vector<double> v(30);
        for (double& t : v)
            t = scale * time(random);
        return v;
    };
    int covered = 0;
    const int trials = 200;
    for (int i = 0; i < trials; ++i) {
        const auto [low, high] = bootstrapRatioInterval(series(1), series(1.3), 1000);
        covered += low <= 1.3 && 1.3 <= high;
    }
    EXPECT_GE(covered, trials * 88 / 100);
    EXPECT_LE(covered, trials * 99 / 100);

    const auto slow = compare(series(1), series(1.3));
    EXPECT_EQ(slow.verdict, Verdict::Slower);
    EXPECT_LT(slow.ratioLow, slow.ratio);
    EXPECT_GT(slow.ratioHigh, slow.ratio);
    EXPECT_EQ(compare(series(1.3), series(1)).verdict, Verdict::Faster);
    // A significant but tiny difference is no difference: every value 0.5 % more.
    std::vector<double> base = series(1), tiny;
    for (double t : base)
        tiny.push_back(t * 1.005);
    EXPECT_EQ(compare(base, tiny).verdict, Verdict::NoSignificantDifference);
}

} // namespace
