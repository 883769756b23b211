// The console report and the exports.
#include "quendril/misura_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

namespace misura {

namespace {

struct Unit {
    const char* name;
    double scale; // seconds per unit
};

Unit unitFor(double seconds)
{
    const double a = std::fabs(seconds);
    if (a < 1e-6)
        return {"ns", 1e-9};
    if (a < 1e-3)
        return {"µs", 1e-6};
    if (a < 1)
        return {"ms", 1e-3};
    return {"s", 1};
}

std::string inUnit(double seconds, Unit unit)
{
    const double v = seconds / unit.scale;
    const double a = std::fabs(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, a >= 99.95 ? "%.1f %s" : a >= 9.995 ? "%.2f %s" : "%.3f %s", v, unit.name);
    return buf;
}

// A power of ten of seconds in the unit that fits it: "1 µs", "100 ms".
std::string decadeLabel(double seconds)
{
    const Unit u = unitFor(seconds);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.0f %s", seconds / u.scale, u.name);
    return buf;
}

std::string number(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.12g", v);
    return buf;
}

std::string fixed(double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

// A ratio and its uncertainty, to the uncertainty's second significant digit.
std::string ratioText(const Ratio& r)
{
    const int decimals = r.uncertainty > 0
        ? std::clamp(1 - static_cast<int>(std::floor(std::log10(r.uncertainty))), 0, 6) : 2;
    return fixed(r.value, decimals) + " ± " + fixed(r.uncertainty, decimals);
}

// The number of characters of a UTF-8 text, for lining up columns.
std::size_t width(const std::string& s)
{
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string padded(const std::string& s, std::size_t to)
{
    const std::size_t w = width(s);
    return w >= to ? s : s + std::string(to - w, ' ');
}

std::string conversionTitle(Conversion c)
{
    return c == Conversion::BytesToText ? "Bytes to text (\"Quendril\")" : "Text to bytes (\"StringToArray\")";
}

std::string meanText(const Summary& s)
{
    const Unit u = unitFor(s.mean);
    return inUnit(s.mean, u) + " ± " + inUnit(s.stddev, u);
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + '"';
}

std::string csvField(const std::string& s)
{
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (const char ch : s)
        out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return out + '"';
}

// The case with the other method for the same conversion and size, if measured.
const Case* counterpart(const std::vector<Case>& cases, const Case& c)
{
    for (const Case& other : cases)
        if (other.conversion == c.conversion && other.bytes == c.bytes && other.method != c.method)
            return &other;
    return nullptr;
}

} // namespace

std::string formatDuration(double seconds)
{
    return inUnit(seconds, unitFor(seconds));
}

void writeCase(std::ostream& out, const Case& c)
{
    const Summary& s = c.summary;
    out << conversionTitle(c.conversion) << ", " << methodId(c.method) << ", " << c.bytes << " bytes\n";
    if (c.firstCall)
        out << "  First call (binding included): " << formatDuration(*c.firstCall)
            << (c.binding ? ", of which binding " + formatDuration(*c.binding) : std::string())
            << "  (not in the figures below)\n";
    out << "  Time (mean ± σ):     " << meanText(s) << '\n'
        << "  Median:              " << formatDuration(s.median) << '\n'
        << "  Range (min … max):   " << formatDuration(s.min) << " … " << formatDuration(s.max) << '\n'
        << "  Runs:                " << s.runs << '\n';
    if (outliersLikely(s))
        out << "  Warning: " << s.outliers << " of " << s.runs << " runs are outliers (maximum "
            << formatDuration(s.max) << ", median " << formatDuration(s.median)
            << "). Other programs were probably competing for the processor: measure again on a "
               "quieter machine, with a longer --warmup and more --runs, and trust the median more "
               "than the mean.\n";
}

void writeComparison(std::ostream& out, const Case& library, const Case& inProgram)
{
    const bool libraryFaster = library.summary.mean <= inProgram.summary.mean;
    const Case& fast = libraryFaster ? library : inProgram;
    const Case& slow = libraryFaster ? inProgram : library;
    out << "  " << (libraryFaster ? "The library" : "The in-program routines") << " ran "
        << ratioText(ratio(slow.summary, fast.summary)) << " times faster than "
        << (libraryFaster ? "the in-program routines" : "the library") << " (" << conversionId(fast.conversion)
        << ", " << fast.bytes << " bytes)\n";
}

void writeSizeTable(std::ostream& out, const std::vector<Case>& cases, std::int32_t bytes)
{
    const std::vector<std::string> head{"conversion", "method", "mean ± σ", "median", "min", "max", "runs"};
    std::vector<std::vector<std::string>> rows{head};
    std::vector<const Case*> atSize;
    for (const Case& c : cases) {
        if (c.bytes != bytes)
            continue;
        atSize.push_back(&c);
        const Summary& s = c.summary;
        rows.push_back({conversionId(c.conversion), methodId(c.method), meanText(s), formatDuration(s.median),
                        formatDuration(s.min), formatDuration(s.max),
                        std::to_string(s.runs) + (outliersLikely(s) ? " !" : "")});
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
    for (const Case* c : atSize)
        if (c->method == core::Method::Library)
            if (const Case* other = counterpart(cases, *c))
                writeComparison(out, *c, *other);
    if (std::any_of(atSize.begin(), atSize.end(), [](const Case* c) { return outliersLikely(c->summary); }))
        out << "  Warning: outliers are likely where the runs are marked '!' (a maximum far above the median, or "
               "many runs far from it): other programs were probably competing for the processor. Measure again "
               "on a quieter machine, with more --warmup and --runs, and trust the medians more than the means.\n";
}

std::vector<Growth> growthExponents(const std::vector<Case>& cases)
{
    std::map<std::pair<Conversion, core::Method>, std::pair<std::vector<double>, std::vector<double>>> series;
    for (const Case& c : cases) {
        auto& [sizes, times] = series[{c.conversion, c.method}];
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
        out << "  " << padded(conversionId(g.conversion), 15) << padded(methodId(g.method), 12)
            << "k = " << fixed(g.exponent, 2) << '\n';
}

void writeJson(std::ostream& out, const std::string& libraryPath, const std::vector<Case>& cases,
               const std::vector<Growth>& growth)
{
    out << "{\n  \"library\": " << (libraryPath.empty() ? std::string("null") : jsonString(libraryPath))
        << ",\n  \"unit\": \"s\",\n  \"results\": [";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const Summary& s = c.summary;
        out << (i ? "," : "") << "\n    {\n"
            << "      \"conversion\": \"" << conversionId(c.conversion) << "\",\n"
            << "      \"method\": \"" << methodId(c.method) << "\",\n"
            << "      \"bytes\": " << c.bytes << ",\n"
            << "      \"runs\": " << s.runs << ",\n"
            << "      \"first_call\": " << (c.firstCall ? number(*c.firstCall) : std::string("null")) << ",\n"
            << "      \"first_call_binding\": " << (c.binding ? number(*c.binding) : std::string("null")) << ",\n"
            << "      \"mean\": " << number(s.mean) << ",\n"
            << "      \"stddev\": " << number(s.stddev) << ",\n"
            << "      \"median\": " << number(s.median) << ",\n"
            << "      \"min\": " << number(s.min) << ",\n"
            << "      \"max\": " << number(s.max) << ",\n"
            << "      \"outliers\": " << s.outliers << ",\n"
            << "      \"times\": [";
        for (std::size_t t = 0; t < c.times.size(); ++t)
            out << (t ? ", " : "") << number(c.times[t]);
        out << "]\n    }";
    }
    out << "\n  ],\n  \"growth\": [";
    for (std::size_t i = 0; i < growth.size(); ++i)
        out << (i ? "," : "") << "\n    {\"conversion\": \"" << conversionId(growth[i].conversion)
            << "\", \"method\": \"" << methodId(growth[i].method) << "\", \"exponent\": "
            << number(growth[i].exponent) << "}";
    out << (growth.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

void writeCsv(std::ostream& out, const std::vector<Case>& cases)
{
    out << "conversion,method,bytes,runs,mean,stddev,median,min,max,times\n";
    for (const Case& c : cases) {
        const Summary& s = c.summary;
        std::string times;
        for (std::size_t t = 0; t < c.times.size(); ++t)
            times.append(t ? " " : "").append(number(c.times[t]));
        out << conversionId(c.conversion) << ',' << methodId(c.method) << ',' << c.bytes << ',' << s.runs << ','
            << number(s.mean) << ',' << number(s.stddev) << ',' << number(s.median) << ',' << number(s.min) << ','
            << number(s.max) << ',' << csvField(times) << '\n';
    }
}

void writeMarkdown(std::ostream& out, const std::vector<Case>& cases)
{
    out << "| Conversion | Method | Bytes | Mean ± σ | Median | Min | Max | Runs | Relative |\n"
        << "|:---|:---|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Case& c : cases) {
        const Summary& s = c.summary;
        std::string relative = "1.00";
        if (const Case* other = counterpart(cases, c); other && other->summary.mean < s.mean)
            relative = ratioText(ratio(s, other->summary));
        out << "| " << conversionId(c.conversion) << " | " << methodId(c.method) << " | " << c.bytes << " | "
            << meanText(s) << " | " << formatDuration(s.median) << " | " << formatDuration(s.min) << " | "
            << formatDuration(s.max) << " | " << s.runs << " | " << relative << " |\n";
    }
}

void writeSvgPlot(std::ostream& out, const std::vector<Case>& cases)
{
    constexpr double kWidth = 760, kHeight = 500, kLeft = 80, kRight = 230, kTop = 40, kBottom = 60;
    double minX = 1e300, maxX = 0, minY = 1e300, maxY = 0;
    for (const Case& c : cases) {
        const double y = std::max(c.summary.median, 1e-12);
        minX = std::min(minX, std::log10(c.bytes));
        maxX = std::max(maxX, std::log10(c.bytes));
        minY = std::min(minY, std::log10(y));
        maxY = std::max(maxY, std::log10(y));
    }
    if (cases.empty())
        minX = maxX = minY = maxY = 0;
    minX = std::floor(minX), maxX = std::ceil(maxX), minY = std::floor(minY), maxY = std::ceil(maxY);
    if (maxX <= minX)
        maxX = minX + 1;
    if (maxY <= minY)
        maxY = minY + 1;
    const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    const auto px = [&](double lx) { return kLeft + (lx - minX) / (maxX - minX) * plotW; };
    const auto py = [&](double ly) { return kTop + plotH - (ly - minY) / (maxY - minY) * plotH; };

    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << kHeight
        << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        << "<text x=\"" << kLeft + plotW / 2 << "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">"
        << "Median time per conversion against block size (log-log)</text>\n";
    for (double d = minX; d <= maxX + 1e-9; ++d)
        out << "<line x1=\"" << px(d) << "\" y1=\"" << kTop << "\" x2=\"" << px(d) << "\" y2=\"" << kTop + plotH
            << "\" stroke=\"#ddd\"/>\n<text x=\"" << px(d) << "\" y=\"" << kTop + plotH + 18
            << "\" text-anchor=\"middle\">" << number(std::pow(10, d)) << "</text>\n";
    for (double d = minY; d <= maxY + 1e-9; ++d)
        out << "<line x1=\"" << kLeft << "\" y1=\"" << py(d) << "\" x2=\"" << kLeft + plotW << "\" y2=\"" << py(d)
            << "\" stroke=\"#ddd\"/>\n<text x=\"" << kLeft - 6 << "\" y=\"" << py(d) + 4
            << "\" text-anchor=\"end\">" << decadeLabel(std::pow(10, d)) << "</text>\n";
    out << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << plotW << "\" height=\"" << plotH
        << "\" fill=\"none\" stroke=\"black\"/>\n"
        << "<text x=\"" << kLeft + plotW / 2 << "\" y=\"" << kHeight - 16
        << "\" text-anchor=\"middle\">block size (bytes)</text>\n"
        << "<text transform=\"translate(18 " << kTop + plotH / 2
        << ") rotate(-90)\" text-anchor=\"middle\">median time</text>\n";

    const char* colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e"};
    int series = 0;
    for (const Conversion conv : {Conversion::BytesToText, Conversion::TextToBytes})
        for (const core::Method method : {core::Method::Library, core::Method::InProgram}) {
            std::string points;
            std::string dots;
            const char* colour = colours[series];
            for (const Case& c : cases)
                if (c.conversion == conv && c.method == method) {
                    const double x = px(std::log10(c.bytes));
                    const double y = py(std::log10(std::max(c.summary.median, 1e-12)));
                    points += number(x) + ',' + number(y) + ' ';
                    dots += "<circle cx=\"" + number(x) + "\" cy=\"" + number(y) + "\" r=\"3.5\" fill=\"" + colour
                          + "\"/>\n";
                }
            if (points.empty())
                continue;
            const double ly = kTop + 10 + 22 * series;
            out << "<polyline points=\"" << points << "\" fill=\"none\" stroke=\"" << colour
                << "\" stroke-width=\"2\"/>\n"
                << dots << "<line x1=\"" << kLeft + plotW + 16 << "\" y1=\"" << ly << "\" x2=\""
                << kLeft + plotW + 40 << "\" y2=\"" << ly << "\" stroke=\"" << colour << "\" stroke-width=\"2\"/>\n"
                << "<text x=\"" << kLeft + plotW + 46 << "\" y=\"" << ly + 4 << "\">" << conversionId(conv) << ", "
                << methodId(method) << "</text>\n";
            ++series;
        }
    out << "</svg>\n";
}

} // namespace misura
