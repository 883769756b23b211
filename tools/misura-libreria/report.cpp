// The console report.
#include "tools/misura-libreria/report.h"

#include "tools/misura-libreria/format.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace misura {

namespace {

std::string pText(double p)
{
    char buffer[32];
    const auto [end, ec] = p < 0.001 ? std::to_chars(buffer, buffer + sizeof buffer, p, std::chars_format::scientific, 1)
                                     : std::to_chars(buffer, buffer + sizeof buffer, p, std::chars_format::fixed, 3);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

const Case* sameMethod(const std::vector<Case>& cases, const Case& c)
{
    for (const Case& other : cases)
        if (other.method == c.method && other.conversion == c.conversion && other.bytes == c.bytes)
            return &other;
    return nullptr;
}

Compared compareTwo(const Case& first, const Case& later, const std::string& baselineName)
{
    const bool onCall = !first.calls.empty() && !later.calls.empty();
    return {later.conversion, later.bytes, measuredWith(later), baselineName + measuredWith(first), onCall,
            first.method == later.method, onCall ? compare(first.calls, later.calls) : compare(first.times, later.times)};
}

} // namespace

std::vector<Compared> compareCases(const std::vector<Case>& cases, const std::vector<Case>* baseline,
                                   const std::string& baselineName)
{
    std::vector<Compared> out;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (baseline) {
            if (const Case* earlier = sameMethod(*baseline, cases[i]))
                out.push_back(compareTwo(*earlier, cases[i], baselineName));
        } else if (i > 0) {
            out.push_back(compareTwo(cases[0], cases[i], ""));
        }
    }
    return out;
}

void writeCase(std::ostream& out, const Case& c)
{
    const Summary& s = c.summary;
    out << "  " << measuredWith(c) << '\n';
    if (c.firstCall)
        out << "    First call (binding included): " << formatDuration(*c.firstCall)
            << (c.binding ? ", of which binding " + formatDuration(*c.binding) : std::string())
            << "  (not in the figures below)\n";
    out << "    Run (mean ± σ):      " << meanText(s) << '\n'
        << "    Median:              " << formatDuration(s.median) << '\n'
        << "    Range (min … max):   " << formatDuration(s.min) << " … " << formatDuration(s.max) << '\n';
    if (c.call)
        out << "    Call (mean ± σ):     " << meanText(*c.call) << "; median " << formatDuration(c.call->median)
            << "  (the library call alone)\n";
    out << "    Runs:                " << s.runs << '\n';
    if (!c.wrong.empty())
        out << "    Wrong result: " << c.wrong << '\n';
    if (outliersLikely(s))
        out << "    Warning: " << s.outliers << " of " << s.runs << " runs are outliers (maximum "
            << formatDuration(s.max) << ", median " << formatDuration(s.median)
            << "): other programs were probably competing for the processor. Trust the median more than the mean.\n";
}

void writeCompared(std::ostream& out, const Compared& c)
{
    const Comparison& s = c.stats;
    out << "  " << c.library << " against " << c.baseline << (c.onCall ? " (library call)" : " (whole run)")
        << ":\n    " << ratioFigure(s.ratio) << " times the median time (95% interval " << ratioFigure(s.ratioLow)
        << " … " << ratioFigure(s.ratioHigh) << "), p = " << pText(s.pValue) << ": " << verdictText(s.verdict)
        << '\n';
}

void writeSizeTable(std::ostream& out, const std::vector<Case>& cases, std::int32_t bytes)
{
    const std::vector<std::string> head{"conversion", "measured", "mean ± σ", "median", "min", "max", "runs"};
    std::vector<std::vector<std::string>> rows{head};
    for (const Case& c : cases)
        if (c.bytes == bytes)
            rows.push_back({conversionId(c.conversion), measuredWith(c), meanText(c.summary),
                            formatDuration(c.summary.median), formatDuration(c.summary.min),
                            formatDuration(c.summary.max),
                            std::to_string(c.summary.runs) + (outliersLikely(c.summary) ? " !" : "")
                                + (c.wrong.empty() ? "" : " wrong")});
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

std::vector<Growth> growthExponents(const std::vector<Case>& cases)
{
    std::map<std::pair<std::string, Conversion>, std::pair<std::vector<double>, std::vector<double>>> series;
    for (const Case& c : cases) {
        auto& [sizes, times] = series[{measuredWith(c), c.conversion}];
        sizes.push_back(c.bytes);
        times.push_back(c.summary.median > 0 ? c.summary.median : 1e-12);
    }
    std::vector<Growth> growth;
    for (const auto& [key, points] : series)
        if (points.first.size() >= 2)
            growth.push_back({key.first, key.second, growthExponent(points.first, points.second)});
    return growth;
}

void writeGrowth(std::ostream& out, const std::vector<Growth>& growth)
{
    if (growth.empty())
        return;
    out << "Growth (time ∝ size^k, fitted on the medians)\n";
    for (const Growth& g : growth)
        out << "  " << padded(conversionId(g.conversion), 15) << "k = " << fixed(g.exponent, 2) << "  " << g.measured
            << '\n';
}

} // namespace misura
