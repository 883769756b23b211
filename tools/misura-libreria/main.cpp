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
// A run whose in-program part is expected to take longer says so before it starts.
constexpr double kLongSeconds = 60;

// What a measurement produced.
struct Results {
    std::vector<Case> cases;
    std::vector<Compared> comparisons;
    std::vector<Growth> growth;
    bool failed = false; // a library's measurement ended in an error
};

// The baseline's cases, checked against what is to be measured; none without --baseline.
std::optional<std::vector<Case>> loadBaseline(const Options& o, const std::vector<CaseKey>& keys)
{
    if (o.baseline.empty())
        return std::nullopt;
    std::ifstream in(std::filesystem::path(std::u8string(o.baseline.begin(), o.baseline.end())), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in)
        throw UsageError("--baseline: cannot read '" + o.baseline + "'");
    try {
        std::vector<Case> cases = readBaseline(text.str());
        std::set<std::pair<std::int32_t, Conversion>> measured, recorded;
        for (const CaseKey& k : keys)
            measured.insert({k.bytes, k.conversion});
        for (const Case& c : cases)
            recorded.insert({c.bytes, c.conversion});
        if (measured != recorded)
            throw BaselineError("its conversions or block sizes differ from those measured now");
        return cases;
    } catch (const BaselineError& e) {
        throw UsageError("--baseline '" + o.baseline + "': " + e.what());
    }
}

// The baseline's cases of one block size and conversion.
std::vector<Case> baselineAt(const std::vector<Case>& baseline, const CaseKey& key)
{
    std::vector<Case> at;
    for (const Case& c : baseline)
        if (c.bytes == key.bytes && c.conversion == key.conversion)
            at.push_back(c);
    return at;
}

void writeHeader(const Options& o, const Session& session)
{
    for (const Participant& p : session.participants())
        if (p.method() == core::Method::Library && p.error.empty())
            std::cout << "Library: " << (p.path.empty() ? p.mode.path.empty() ? p.label : p.mode.path : p.path) << '\n';
    if (o.methods == Methods::InProgram)
        std::cout << "Library: none (in-program routines only)\n";
    std::cout << "Clock: monotonic, resolution " << currentContext().clockResolutionNs << " ns; "
              << (o.runs ? std::to_string(*o.runs) + " runs" : std::string("runs for about 1 s"))
              << " per case in rounds, after " << o.warmup << " warm-up runs; each library in its own process\n\n";
}

// Writes one block size and conversion's cases and comparisons (a scan writes a table per size instead).
void writeKey(const Options& o, const CaseKey& key, const std::vector<Case>& cases,
              const std::vector<Compared>& compared)
{
    if (o.scan || cases.empty())
        return;
    std::cout << conversionTitle(key.conversion) << ", " << key.bytes << " bytes\n";
    for (const Case& c : cases)
        writeCase(std::cout, c);
    for (const Compared& c : compared)
        writeCompared(std::cout, c);
    std::cout << '\n' << std::flush;
}

// Measures every case, writing each block size and conversion as it ends.
Results measureAll(const Options& o, const std::optional<std::vector<Case>>& baseline, ProgressLine& progress)
{
    Session session(o, [&](const std::string& s) { progress.show(s); },
                    [&](const std::string& error) {
                        progress.clear();
                        std::cerr << error << '\n';
                    });
    if (const double seconds = session.inProgramEstimate(); seconds > kLongSeconds)
        std::cerr << "note: the in-program routines will take about " << roughDuration(seconds)
                  << " (their bytes to text grows with the square of the size); --method library leaves them out\n";
    Results r;
    const std::vector<CaseKey> keys = session.keys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::vector<Case> cases = session.measure(keys[i]);
        progress.clear();
        if (!cases.empty() && r.cases.empty())
            writeHeader(o, session);
        const std::vector<Case> earlier = baseline ? baselineAt(*baseline, keys[i]) : std::vector<Case>{};
        const std::vector<Compared> compared = compareCases(cases, baseline ? &earlier : nullptr, "baseline ");
        writeKey(o, keys[i], cases, compared);
        r.cases.insert(r.cases.end(), cases.begin(), cases.end());
        r.comparisons.insert(r.comparisons.end(), compared.begin(), compared.end());
        if (o.scan && (i + 1 == keys.size() || keys[i + 1].bytes != keys[i].bytes)) {
            writeSizeTable(std::cout, r.cases, keys[i].bytes);
            std::cout << '\n' << std::flush;
        }
    }
    session.finish();
    for (const Participant& p : session.participants())
        r.failed = r.failed || !p.error.empty();
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
    exportTo(o.exportJson, [&](std::ostream& s) { writeJson(s, currentContext(), r.cases, r.comparisons, r.growth); });
    exportTo(o.exportCsv, [&](std::ostream& s) { writeCsv(s, r.cases); });
    exportTo(o.exportMarkdown, [&](std::ostream& s) { writeMarkdown(s, r.cases, r.comparisons); });
    exportTo(o.plot, [&](std::ostream& s) { writeSvgPlot(s, r.cases); });
    return written;
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
    int status = r.failed ? kRunTimeError : 0;
    for (const Case& c : r.cases)
        if (!c.wrong.empty()) {
            std::cerr << "wrong result: " << measuredWith(c) << ": " << c.wrong << '\n';
            status = kRunTimeError;
        }
    if (!o.failIfSlower)
        return status;
    for (const Compared& c : r.comparisons)
        if (c.sameMethod && c.stats.verdict == Verdict::Slower && c.stats.ratio > 1 + *o.failIfSlower / 100) {
            std::cerr << "slower by more than " << number(*o.failIfSlower) << " %: " << conversionId(c.conversion)
                      << ", " << c.bytes << " bytes: " << c.library << " takes " << ratioFigure(c.stats.ratio)
                      << " times as long as " << c.baseline << '\n';
            status = status ? status : kTooSlow;
        }
    return status;
}

int run(Options o, bool outputOpen)
{
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
    std::vector<CaseKey> keys;
    for (const std::int32_t bytes : o.sizes)
        for (const Conversion c : {Conversion::BytesToText, Conversion::TextToBytes})
            if (o.conversions == Conversions::Both || (o.conversions == Conversions::BytesToText) == (c == Conversion::BytesToText))
                keys.push_back({bytes, c});
    const std::optional<std::vector<Case>> baseline = loadBaseline(o, keys);
    ProgressLine progress(platform::standardErrorIsTerminal());
    Results r = measureAll(o, baseline, progress);
    r.growth = growthExponents(r.cases);
    writeGrowth(std::cout, r.growth);
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
