// misura-libreria: times the conversions the programs time, with one or more
// conversion libraries (each in a child process of its own) and with the
// in-program routines, compares them, and reports and exports the results.
// The command runs under the supervisor, which reports an end it did not
// announce as error 51. Status: 0 done, 1 a run-time error or a wrong result,
// 2 a usage error, 3 slower than --fail-if-slower allows, 130 interrupted.
#include "platform/console.h"
#include "platform/fatal_fault.h"
#include "platform/error_text.h"
#include "platform/isolation/supervisor.h"
#include "platform/messages.h"
#include "tools/misura-libreria/exports.h"
#include "tools/misura-libreria/format.h"
#include "tools/misura-libreria/options.h"
#include "tools/misura-libreria/output.h"
#include "tools/misura-libreria/plot.h"
#include "tools/misura-libreria/processes.h"
#include "tools/misura-libreria/protocol.h"
#include "tools/misura-libreria/report.h"
#include "tools/misura-libreria/serve.h"
#include "tools/misura-libreria/session.h"
#include "tools/misura-libreria/targets.h"
#include "platform/hires_clock.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

namespace {

using namespace misura;

constexpr int kRunTimeError = 1;
constexpr int kUsageError = 2;
constexpr int kTooSlow = 3;
// A measurement expected to take longer says so before it starts.
constexpr double kLongSeconds = 60;

double secondsSince(std::int64_t start)
{
    return static_cast<double>(platform::monotonicNanoseconds() - start) / 1e9;
}

// The baseline, checked against what is to be measured; none without --baseline.
std::optional<Baseline> loadBaseline(const Options& o, const std::vector<CaseKey>& keys)
{
    if (o.baseline.empty())
        return std::nullopt;
    std::ifstream in(std::filesystem::path(std::u8string(o.baseline.begin(), o.baseline.end())), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in)
        throw UsageError("--baseline: cannot read '" + o.baseline + "'");
    try {
        Baseline baseline = readBaseline(text.str());
        std::set<std::pair<std::int32_t, Conversion>> measured, recorded;
        for (const CaseKey& k : keys)
            measured.insert({k.bytes, k.conversion});
        for (const Case& c : baseline.cases)
            recorded.insert({c.bytes, c.conversion});
        if (measured != recorded)
            throw BaselineError("its conversions or block sizes differ from those measured now");
        return baseline;
    } catch (const BaselineError& e) {
        throw UsageError("--baseline '" + o.baseline + "': " + e.what());
    }
}

// Every case compared within its block size and conversion: with the first case, or with the baseline.
std::vector<Compared> comparisons(const std::vector<Case>& cases, const std::optional<Baseline>& baseline)
{
    std::vector<Compared> out;
    for (std::size_t i = 0; i < cases.size();) {
        std::size_t j = i;
        while (j < cases.size() && cases[j].bytes == cases[i].bytes && cases[j].conversion == cases[i].conversion)
            ++j;
        const std::vector<Case> key(cases.begin() + static_cast<std::ptrdiff_t>(i),
                                    cases.begin() + static_cast<std::ptrdiff_t>(j));
        std::vector<Case> earlier;
        if (baseline)
            for (const Case& c : baseline->cases)
                if (c.bytes == cases[i].bytes && c.conversion == cases[i].conversion)
                    earlier.push_back(c);
        const std::vector<Compared> compared = compareCases(key, baseline ? &earlier : nullptr);
        out.insert(out.end(), compared.begin(), compared.end());
        i = j;
    }
    return out;
}

Plan planOf(const Options& o, const Session& session)
{
    Plan plan{{}, o.processes, o.rounds, session.cores(), session.clockStepNs(), session.sampleNs(), o.warmup,
              o.scan, 0};
    for (const Participant& p : session.participants())
        if (p.method() == core::Method::Library && p.error.empty())
            plan.libraries.push_back(p.path.empty() ? p.mode.path : p.path);
    return plan;
}

// Measures every case and gathers the results, saying before it starts what it will do and for how long.
Results measureAll(const Options& o, ProgressLine& progress)
{
    Session session(o, [&](const std::string& s) { progress.show(s); },
                    [&](const std::string& error) {
                        progress.clear();
                        std::cerr << error << '\n';
                    });
    const double expected = session.prepare();
    progress.clear();
    Results r;
    r.plan = planOf(o, session);
    r.plan.expectedSeconds = expected;
    if (expected > kLongSeconds)
        std::cerr << "note: this will take about " << roughDuration(expected) << ": " << session.keys().size()
                  << " cases, each measured in " << o.processes << " processes of " << o.rounds
                  << " rounds; fewer --processes or --rounds, or --method library, shorten it\n";
    const bool anyone = std::any_of(session.participants().begin(), session.participants().end(),
                                    [](const Participant& p) { return p.error.empty(); });
    if (anyone)
        writeHeader(std::cout, r.plan);
    r.cases = session.measure();
    progress.clear();
    r.measuringSeconds = session.measuringSeconds();
    r.waitingSeconds = session.waitingSeconds();
    for (const Participant& p : session.participants())
        if (!p.error.empty())
            r.errors.push_back(p.error);
    return r;
}

// Writes each export asked for; whether all were written.
bool exportResults(const Options& o, const Results& r)
{
    bool written = true;
    const auto exportTo = [&](const std::string& file, auto write) {
        if (file.empty())
            return;
        std::ostringstream text;
        write(text);
        written = writeExport(file, text.str()) && written;
    };
    exportTo(o.exportJson, [&](std::ostream& s) { writeJson(s, r); });
    exportTo(o.exportCsv, [&](std::ostream& s) { writeCsv(s, r); });
    exportTo(o.exportMarkdown, [&](std::ostream& s) { writeMarkdown(s, r); });
    exportTo(o.plot, [&](std::ostream& s) { writeSvgPlot(s, r); });
    return written;
}

// Judges the comparisons --fail-if-slower asks about: the status it makes (0, kUsageError or kTooSlow).
int slowerStatus(const Options& o, const Results& r)
{
    if (!o.failIfSlower)
        return 0;
    const double allowed = *o.failIfSlower / 100;
    int status = 0;
    for (const Compared& c : r.comparisons) {
        // Two libraries, or one measured against its baseline; the in-program routines when named.
        if (!(c.libraries || (c.againstBaseline && o.inProgramNamed)))
            continue;
        const std::string what = std::string(conversionId(c.conversion)) + ", " + std::to_string(c.bytes) + " bytes";
        if (c.stats.verdict == Verdict::Slower && c.stats.ratio > 1 + allowed) {
            std::cerr << "slower by more than " << number(*o.failIfSlower) << " %: " << what << ": " << c.library
                      << " takes " << ratioFigure(c.stats.ratio) << " times as long as " << c.baseline << '\n';
            status = kTooSlow;
        } else if (allowed < c.stats.resolution) {
            std::cerr << "misura-libreria: --fail-if-slower " << number(*o.failIfSlower) << " asks for less than this "
                      << "run can resolve for " << c.library << " against " << c.baseline << ", " << what << " ("
                      << percentFigure(c.stats.resolution) << " %): not judged; give at least that, or measure in "
                      << "more --processes\n";
            status = status ? status : kUsageError;
        }
    }
    return status;
}

// Whether every export asked for can be written, tried before anything is measured.
bool exportsWritable(const Options& o)
{
    bool writable = true;
    for (const std::string* file : {&o.exportJson, &o.exportCsv, &o.exportMarkdown, &o.plot})
        writable = (file->empty() || canWriteExport(*file)) && writable;
    return writable;
}

// Says which results were wrong and which comparisons slower than allowed; the status they make.
int verdictStatus(const Options& o, const Results& r)
{
    int status = r.errors.empty() ? 0 : kRunTimeError;
    for (const Case& c : r.cases)
        if (!c.wrong.empty()) {
            std::cerr << "wrong result: " << c.label << ": " << c.wrong << '\n';
            status = kRunTimeError;
        }
    const int slower = slowerStatus(o, r);
    return status ? status : slower;
}

int run(Options o, bool outputOpen)
{
    const std::int64_t begun = platform::monotonicNanoseconds();
    settleExportTargets(o);
    for (const std::string& note : o.notes)
        std::cerr << "note: " << note << '\n';
    if (!outputOpen) {
        std::cerr << "misura-libreria: cannot write the report: standard output is closed\n";
        return kRunTimeError;
    }
    if (!exportsWritable(o))
        return kRunTimeError;
    handleInterrupts();
    ProgressLine progress(platform::standardErrorIsTerminal());
    const std::optional<Baseline> baseline = loadBaseline(o, caseKeys(o));
    Results r = measureAll(o, progress);
    r.comparisons = comparisons(r.cases, baseline);
    r.growth = growthExponents(r.cases);
    r.context = currentContext();
    if (baseline) {
        r.baselineContext = baseline->context;
        r.warnings = contextDifferences(baseline->context, r.context);
    }
    r.seconds = secondsSince(begun);
    writeReport(std::cout, r);
    std::cout << std::flush;
    bool written = exportResults(o, r);
    if (!std::cout) {
        std::cerr << "misura-libreria: cannot write the report on standard output\n";
        written = false;
    }
    int status = verdictStatus(o, r);
    if (const std::optional<std::string> signal = refusedSignal()) {
        const platform::ReportedError refused{platform::kInternalError,
                                              {platform::Message::measuringSentSignal, {signal->c_str()}}, std::nullopt};
        std::cerr << platform::reportLine(refused, platform::Language::english) << '\n';
        status = kRunTimeError;
    }
    return written ? status : kRunTimeError;
}

// One line on what is wrong with the command line, and where to read how it goes.
int usageError(const std::string& why)
{
    std::cerr << "misura-libreria: " << why << "; try 'misura-libreria --help'\n";
    return kUsageError;
}

// A measuring child, under a supervisor of its own that reports, in its place, an end
// of the library's doing: its status. The mark is set first, for the supervisor's report.
int measuringChild(const ServeMode& mode)
{
    markAsChild();
    platform::superviseProcess();
    return serve(mode);
}

// The command itself, under the supervisor: its status.
int command(const std::vector<std::string>& args, bool outputOpen)
{
    platform::superviseProcess();
    platform::useUtf8Console();
    try {
        const Options options = parseOptions(args);
        if (options.help)
            std::cout << usageText();
        else if (options.version)
            std::cout << "misura-libreria " << VC_VERSION_TEXT << '\n';
        else
            return run(options, outputOpen);
        return 0;
    } catch (const UsageError& e) {
        return usageError(e.what());
    } catch (...) {
        std::cerr << misura::protocol::errorLine(std::current_exception()) << '\n';
        return kRunTimeError;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // First: a fault's report that comes back in a fresh image is worded in it.
    platform::setProgramLanguage(platform::Language::english);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::optional<ServeMode> mode = serveMode(args);
    // Before the process's preparation, which gives a closed standard descriptor the null device.
    const bool outputOpen = standardOutputOpen();
    int status = 0;
    // A fatal fault, or an end the supervisor did not hear announced, comes back here in a
    // fresh image to be reported.
    if (const auto fault = platform::prepareProcess()) {
        if (mode || markedAsChild()) {
            status = serveFault(std::make_exception_ptr(*fault));
        } else {
            std::cerr << misura::protocol::errorLine(std::make_exception_ptr(*fault)) << '\n';
            status = kRunTimeError;
        }
    } else {
        status = mode ? measuringChild(*mode) : command(args, outputOpen);
    }
    platform::announceEnd(status);
    return status;
}
