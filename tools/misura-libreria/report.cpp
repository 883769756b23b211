// The console report.
#include "tools/misura-libreria/report.h"

#include "tools/misura-libreria/format.h"

#include <algorithm>

namespace misura {

namespace {

// "1 round", "20 rounds".
std::string counted(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

std::string coresText(const std::vector<int>& cores)
{
    if (cores.size() == 1)
        return "core " + std::to_string(cores.front());
    std::string out = "cores ";
    for (std::size_t i = 0; i < cores.size(); ++i)
        out += (i == 0 ? "" : i + 1 == cores.size() ? " and " : ", ") + std::to_string(cores[i]);
    return out + " in turn";
}

// "10 processes × 4 rounds; 98012 samples of 38 to 41 repetitions".
std::string measuredText(const Case& c)
{
    std::size_t rounds = 0, samples = 0, fewest = SIZE_MAX, most = 0;
    for (const Process& p : c.processes) {
        rounds = std::max(rounds, p.rounds.size());
        fewest = std::min(fewest, p.perSample);
        most = std::max(most, p.perSample);
        for (const Round& r : p.rounds)
            samples += r.samples;
    }
    const std::string each = fewest == most ? std::to_string(most) : std::to_string(fewest) + " to " + std::to_string(most);
    return counted(c.processes.size(), "process", "processes") + " × " + counted(rounds, "round", "rounds") + "; "
         + counted(samples, "sample", "samples") + " of " + each + (most == 1 ? " repetition" : " repetitions");
}

// "530.2 ns  (processes 521.3 ns … 545.0 ns)".
std::string spreadText(const Spread& s)
{
    return padded(formatDuration(s.median), 10) + "(processes " + formatDuration(s.lowest) + " … "
         + formatDuration(s.highest);
}

void writeCase(std::ostream& out, const Case& c)
{
    out << "  " << c.label << '\n';
    if (c.firstCall)
        out << "    First call (binding included): " << formatDuration(*c.firstCall)
            << (c.binding ? ", of which binding " + formatDuration(*c.binding) : std::string())
            << "  (not in the figures below)\n";
    if (const Units call = callUnits(c); !call.empty() && !call.front().empty())
        out << "    Call:      " << spreadText(spreadOf(call)) << "; the library call alone)\n";
    out << "    Run:       " << spreadText(spreadOf(runUnits(c))) << "; the whole run, as the window times it)\n"
        << "    Measured:  " << measuredText(c) << '\n';
    if (!c.wrong.empty())
        out << "    Wrong result: " << c.wrong << '\n';
}

void writeCompared(std::ostream& out, const Compared& c)
{
    out << "  " << c.library << " against " << c.baseline << (c.figure == Figure::Call ? " (the library call" : " (the whole run")
        << (c.againstBaseline ? ", each over the reference copy timed beside it):\n" : "):\n") << "    "
        << comparisonText(c) << '\n';
    for (const std::string& w : c.warnings)
        out << "    Warning: " << w << '\n';
}

// A scan's table for one block size: one row per case measured at that size.
void writeSizeTable(std::ostream& out, const std::vector<Case>& cases, std::int32_t bytes)
{
    const std::vector<std::string> head{"conversion", "measured", "median", "processes", "rounds"};
    std::vector<std::vector<std::string>> rows{head};
    for (const Case& c : cases)
        if (c.bytes == bytes) {
            const Spread s = spreadOf(runUnits(c));
            rows.push_back({conversionId(c.conversion), c.label, formatDuration(s.median),
                            formatDuration(s.lowest) + " … " + formatDuration(s.highest),
                            std::to_string(s.rounds) + (c.wrong.empty() ? "" : " wrong")});
        }
    std::vector<std::size_t> widths(head.size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], width(row[i]));
    out << bytes << " bytes\n";
    for (const auto& row : rows) {
        out << ' ';
        for (std::size_t i = 0; i < row.size(); ++i)
            out << ' ' << (i + 1 < row.size() ? padded(row[i], widths[i] + 1) : row[i]);
        out << '\n';
    }
}

void writeKey(std::ostream& out, const Results& r, const Case& first)
{
    out << conversionTitle(first.conversion) << ", " << first.bytes << " bytes\n";
    for (const Case& c : r.cases)
        if (c.conversion == first.conversion && c.bytes == first.bytes)
            writeCase(out, c);
    for (const Compared& c : r.comparisons)
        if (c.conversion == first.conversion && c.bytes == first.bytes)
            writeCompared(out, c);
    out << '\n';
}

void writeGrowth(std::ostream& out, const std::vector<Growth>& growth)
{
    if (growth.empty())
        return;
    out << "Growth (time ∝ size^k, fitted on the medians)\n";
    for (const Growth& g : growth)
        out << "  " << padded(conversionId(g.conversion), 15) << "k = " << fixed(g.exponent, 2) << "  " << g.measured
            << '\n';
    out << '\n';
}

} // namespace

std::string pText(const Compared& c)
{
    const Comparison& s = c.stats;
    const std::string units = std::to_string(s.units) + (c.againstBaseline ? " processes" : " pairs of processes");
    if (s.pValue <= s.pFloor * (1 + 1e-9))
        return "p ≤ " + pFigure(s.pFloor) + ", the least " + units + " allow";
    return "p = " + pFigure(s.pValue) + " over " + units;
}

std::string comparisonText(const Compared& c)
{
    const Comparison& s = c.stats;
    return ratioFigure(s.ratio) + " times as long (95% interval " + ratioFigure(s.ratioLow) + " … "
         + ratioFigure(s.ratioHigh) + "; resolves " + percentFigure(s.resolution) + " %), " + pText(c) + ": "
         + verdictText(s.verdict);
}

void writeHeader(std::ostream& out, const Plan& plan)
{
    for (const std::string& library : plan.libraries)
        out << "Library: " << library << '\n';
    if (plan.libraries.empty())
        out << "Library: none (in-program routines only)\n";
    out << "Clock: monotonic, steps of " << plan.clockStepNs << " ns; each sample lasts " << formatDuration(
               static_cast<double>(plan.sampleNs) / 1e9)
        << " or more, timing several repetitions together where one is shorter\n"
        << "Plan: each in " << counted(plan.processes, "fresh process", "fresh processes") << " of "
        << counted(plan.rounds, "round", "rounds") << ", after " << counted(plan.warmup, "warm-up run", "warm-up runs")
        << ", taking turns in each round on one core ("
        << coresText(plan.cores) << "); about " << roughDuration(plan.expectedSeconds) << " in all\n\n"
        << std::flush;
}

void writeReport(std::ostream& out, const Results& r)
{
    for (std::size_t i = 0; i < r.cases.size(); ++i) {
        const Case& c = r.cases[i];
        const bool newKey = i == 0 || r.cases[i - 1].bytes != c.bytes || r.cases[i - 1].conversion != c.conversion;
        const bool lastOfSize = i + 1 == r.cases.size() || r.cases[i + 1].bytes != c.bytes;
        if (!r.plan.scan && newKey)
            writeKey(out, r, c);
        if (r.plan.scan && lastOfSize) {
            writeSizeTable(out, r.cases, c.bytes);
            out << '\n';
        }
    }
    writeGrowth(out, r.growth);
    for (const std::string& w : r.warnings)
        out << "Warning: " << w << '\n';
    const double rest = std::max(0.0, r.seconds - r.measuringSeconds - r.waitingSeconds);
    out << "Time: " << roughDuration(r.seconds) << " in all: " << roughDuration(r.measuringSeconds) << " measuring, "
        << roughDuration(r.waitingSeconds) << " waiting for a turn on the processor, " << roughDuration(rest)
        << " starting processes and computing\n";
}

} // namespace misura
