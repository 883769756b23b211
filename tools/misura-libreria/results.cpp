// Building the results: units from the rounds, the comparisons and the
// warnings that may change their verdicts, growth, context differences, labels.
#include "tools/misura-libreria/results.h"

#include "tools/misura-libreria/format.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace misura {

namespace {

// How two cases' rounds relate: run side by side in the same processes' rounds, or at other times.
enum class Pairing { SideBySide, Apart };

// One figure of c's rounds by process; rounds without it left out.
template <typename Get> Units unitsOf(const Case& c, Get figure)
{
    Units units;
    for (const Process& p : c.processes) {
        units.emplace_back();
        for (const Round& r : p.rounds)
            if (const std::optional<double> v = figure(r); v && *v > 0)
                units.back().push_back(*v);
    }
    return units;
}

std::size_t roundsIn(const Units& units)
{
    std::size_t n = 0;
    for (const auto& p : units)
        n += p.size();
    return n;
}

// The figure compared, by process and round: apart, over the reference copy timed beside it,
// which follows the machine's speed from one time to another.
Units comparedUnits(const Case& c, Figure figure, Pairing pairing)
{
    Units units;
    for (const Process& p : c.processes) {
        units.emplace_back();
        for (const Round& r : p.rounds) {
            const std::optional<double> v = figure == Figure::Call ? r.call : std::optional<double>(r.run);
            if (!v || !(*v > 0))
                continue;
            if (pairing == Pairing::SideBySide)
                units.back().push_back(*v);
            else if (r.reference && *r.reference > 0)
                units.back().push_back(*v / *r.reference);
        }
    }
    return units;
}

Comparison statsOf(const Units& first, const Units& later, Pairing pairing)
{
    return pairing == Pairing::SideBySide ? comparePaired(first, later) : compareApart(first, later);
}

// units without the rounds named; paired units lose them on both sides.
void dropRounds(Units& units, std::vector<std::pair<std::size_t, std::size_t>> rounds)
{
    std::sort(rounds.rbegin(), rounds.rend());
    rounds.erase(std::unique(rounds.begin(), rounds.end()), rounds.end());
    for (const auto& [process, round] : rounds)
        if (process < units.size() && round < units[process].size())
            units[process].erase(units[process].begin() + static_cast<std::ptrdiff_t>(round));
}

// "b.so process 3, round 2: 2.41 times its median" for the first few rounds that disagree.
std::string disagreementList(const std::string& label, const std::vector<Disagreement>& rounds)
{
    std::string out;
    for (std::size_t i = 0; i < rounds.size() && i < 3; ++i)
        out += (out.empty() ? "" : "; ") + label + " process " + std::to_string(rounds[i].process + 1) + ", round "
             + std::to_string(rounds[i].round + 1) + ": " + ratioFigure(rounds[i].factor) + " times its median";
    return out + (rounds.size() > 3 ? "; …" : "");
}

// A warning when rounds that disagree with the others decide the verdict: without them it would differ.
std::vector<std::string> disagreementWarnings(const Case& first, const Case& later, Figure figure, Pairing pairing,
                                              const Comparison& kept)
{
    Units a = comparedUnits(first, figure, pairing), b = comparedUnits(later, figure, pairing);
    const std::vector<Disagreement> da = disagreeingRounds(a), db = disagreeingRounds(b);
    if (da.empty() && db.empty())
        return {};
    std::vector<std::pair<std::size_t, std::size_t>> ra, rb;
    for (const Disagreement& d : da)
        ra.emplace_back(d.process, d.round);
    for (const Disagreement& d : db)
        rb.emplace_back(d.process, d.round);
    if (pairing == Pairing::SideBySide) {
        ra.insert(ra.end(), rb.begin(), rb.end());
        rb = ra;
    }
    const std::size_t all = roundsIn(a) + roundsIn(b);
    dropRounds(a, ra);
    dropRounds(b, rb);
    const Comparison without = statsOf(a, b, pairing);
    if (without.verdict == kept.verdict)
        return {};
    const std::string list = disagreementList(first.label, da) + (da.empty() || db.empty() ? "" : "; ")
                           + disagreementList(later.label, db);
    return {std::to_string(da.size() + db.size()) + " of " + std::to_string(all)
            + " rounds disagree with the others (" + list + "); they are kept and widen the interval, but without "
            + "them the verdict would be \"" + verdictText(without.verdict) + "\": measuring again may settle it"};
}

Compared compareTwo(const Case& first, const Case& later, Pairing pairing, const std::string& prefix)
{
    const bool libraries = first.method == core::Method::Library && later.method == core::Method::Library;
    const Figure figure = libraries ? Figure::Call : Figure::Run;
    const Units a = comparedUnits(first, figure, pairing), b = comparedUnits(later, figure, pairing);
    Compared c{later.conversion, later.bytes, later.label, prefix + first.label, figure, libraries,
               pairing == Pairing::Apart, statsOf(a, b, pairing), {}};
    c.warnings = disagreementWarnings(first, later, figure, pairing, c.stats);
    return c;
}

std::vector<std::string> partsOf(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t next; (next = path.find_first_of("/\\", at)) != std::string::npos; at = next + 1)
        if (next > at)
            parts.push_back(path.substr(at, next - at));
    parts.push_back(path.substr(at));
    return parts;
}

// The last n parts of parts, joined by '/'.
std::string lastParts(const std::vector<std::string>& parts, std::size_t n)
{
    std::string out;
    for (std::size_t i = parts.size() - std::min(n, parts.size()); i < parts.size(); ++i)
        out += (out.empty() ? "" : "/") + parts[i];
    return out;
}

} // namespace

Units runUnits(const Case& c)
{
    return unitsOf(c, [](const Round& r) { return std::optional<double>(r.run); });
}

Units callUnits(const Case& c)
{
    return unitsOf(c, [](const Round& r) { return r.call; });
}

Units referenceUnits(const Case& c)
{
    return unitsOf(c, [](const Round& r) { return r.reference; });
}

const char* figureId(Figure f)
{
    return f == Figure::Call ? "call" : "run";
}

std::vector<Compared> compareCases(const std::vector<Case>& cases, const std::vector<Case>* baseline)
{
    std::vector<Compared> out;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (!baseline) {
            if (i > 0)
                out.push_back(compareTwo(cases[0], cases[i], Pairing::SideBySide, ""));
            continue;
        }
        for (const Case& earlier : *baseline)
            if (earlier.method == cases[i].method && earlier.conversion == cases[i].conversion
                && earlier.bytes == cases[i].bytes) {
                out.push_back(compareTwo(earlier, cases[i], Pairing::Apart, "baseline "));
                break;
            }
    }
    return out;
}

std::vector<Growth> growthExponents(const std::vector<Case>& cases)
{
    std::map<std::pair<std::string, Conversion>, std::pair<std::vector<double>, std::vector<double>>> series;
    for (const Case& c : cases) {
        auto& [sizes, times] = series[{c.label, c.conversion}];
        sizes.push_back(c.bytes);
        times.push_back(std::max(spreadOf(runUnits(c)).median, 1e-12));
    }
    std::vector<Growth> growth;
    for (const auto& [key, points] : series)
        if (std::set<double>(points.first.begin(), points.first.end()).size() >= 2)
            growth.push_back({key.first, key.second, growthExponent(points.first, points.second)});
    return growth;
}

std::vector<std::string> contextDifferences(const Context& baseline, const Context& now)
{
    std::vector<std::string> out;
    const auto quoted = [](const std::string& s) { return "\"" + s + "\""; };
    if (baseline.cpu != now.cpu || baseline.cores != now.cores)
        out.push_back("the baseline was measured on another processor: " + quoted(baseline.cpu) + ", "
                      + std::to_string(baseline.cores) + " cores (now " + quoted(now.cpu) + ", "
                      + std::to_string(now.cores) + " cores)");
    if (baseline.buildType != now.buildType)
        out.push_back("the baseline was measured by a build of type " + quoted(baseline.buildType) + " (now "
                      + quoted(now.buildType) + ")");
    if (baseline.version != now.version)
        out.push_back("the baseline was measured by version " + baseline.version + " (now " + now.version + ")");
    if (baseline.loadAverage && now.loadAverage && baseline.cores && now.cores) {
        // The busy processes per core over the last minute: a change by more than one, and by half, moves figures.
        const double was = (*baseline.loadAverage)[0] / baseline.cores, is = (*now.loadAverage)[0] / now.cores;
        if (std::fabs(was - is) > 1 && std::max(was, is) > 1.5 * std::min(was, is))
            out.push_back("the baseline was measured under another load: " + fixed(was, 1)
                          + " busy processes per core (now " + fixed(is, 1) + ")");
    }
    return out;
}

std::vector<std::string> distinguishingLabels(const std::vector<std::string>& paths)
{
    std::vector<std::vector<std::string>> parts;
    for (const std::string& p : paths)
        parts.push_back(partsOf(p));
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::size_t n = 1;
        for (; n < parts[i].size(); ++n) {
            bool unique = true;
            for (std::size_t j = 0; j < paths.size() && unique; ++j)
                unique = paths[j] == paths[i] || lastParts(parts[j], n) != lastParts(parts[i], n);
            if (unique)
                break;
        }
        // The same file named again is told apart by its turn.
        const auto again = std::count(paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(i), paths[i]);
        labels.push_back(lastParts(parts[i], n) + (again ? " (" + std::to_string(again + 1) + ")" : ""));
    }
    return labels;
}

} // namespace misura
