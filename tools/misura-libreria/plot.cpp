// The medians of each series against the block size, as a log-log SVG plot.
#include "tools/misura-libreria/plot.h"

#include "tools/misura-libreria/format.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace misura {

namespace {

// A text as SVG character data.
std::string svgText(const std::string& s)
{
    std::string out;
    for (const char c : s)
        out += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

// The plot's geometry: its size and margins, and the decades its axes span (log10 of bytes and of seconds).
struct PlotFrame {
    static constexpr double kWidth = 760, kHeight = 500, kLeft = 80, kRight = 230, kTop = 40, kBottom = 60;
    static constexpr double kPlotW = kWidth - kLeft - kRight, kPlotH = kHeight - kTop - kBottom;
    double minX = 0, maxX = 1, minY = 0, maxY = 1;

    double x(double lx) const { return kLeft + (lx - minX) / (maxX - minX) * kPlotW; }
    double y(double ly) const { return kTop + kPlotH - (ly - minY) / (maxY - minY) * kPlotH; }
};

double plottedSeconds(const Case& c)
{
    return std::max(spreadOf(runUnits(c)).median, 1e-12);
}

// The whole decades that hold every case's size and median, at least one each way.
PlotFrame frameFor(const std::vector<Case>& cases)
{
    PlotFrame f;
    if (cases.empty())
        return f;
    f.minX = f.minY = 1e300;
    f.maxX = f.maxY = -1e300;
    for (const Case& c : cases) {
        f.minX = std::min(f.minX, std::log10(c.bytes));
        f.maxX = std::max(f.maxX, std::log10(c.bytes));
        f.minY = std::min(f.minY, std::log10(plottedSeconds(c)));
        f.maxY = std::max(f.maxY, std::log10(plottedSeconds(c)));
    }
    f.minX = std::floor(f.minX), f.maxX = std::ceil(f.maxX), f.minY = std::floor(f.minY), f.maxY = std::ceil(f.maxY);
    f.maxX = std::max(f.maxX, f.minX + 1);
    f.maxY = std::max(f.maxY, f.minY + 1);
    return f;
}

// The title, the grid with one line per decade and its labels, the frame and the axes' names.
void writeSvgAxes(std::ostream& out, const PlotFrame& f)
{
    using F = PlotFrame;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << F::kWidth << "\" height=\"" << F::kHeight
        << "\" viewBox=\"0 0 " << F::kWidth << ' ' << F::kHeight << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        << "<text x=\"" << F::kLeft + F::kPlotW / 2 << "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">"
        << "Median time per conversion against block size (log-log)</text>\n";
    for (double d = f.minX; d <= f.maxX + 1e-9; ++d)
        out << "<line x1=\"" << f.x(d) << "\" y1=\"" << F::kTop << "\" x2=\"" << f.x(d) << "\" y2=\""
            << F::kTop + F::kPlotH << "\" stroke=\"#ddd\"/>\n<text x=\"" << f.x(d) << "\" y=\""
            << F::kTop + F::kPlotH + 18 << "\" text-anchor=\"middle\">" << number(std::pow(10, d)) << "</text>\n";
    for (double d = f.minY; d <= f.maxY + 1e-9; ++d)
        out << "<line x1=\"" << F::kLeft << "\" y1=\"" << f.y(d) << "\" x2=\"" << F::kLeft + F::kPlotW << "\" y2=\""
            << f.y(d) << "\" stroke=\"#ddd\"/>\n<text x=\"" << F::kLeft - 6 << "\" y=\"" << f.y(d) + 4
            << "\" text-anchor=\"end\">" << decadeLabel(std::pow(10, d)) << "</text>\n";
    out << "<rect x=\"" << F::kLeft << "\" y=\"" << F::kTop << "\" width=\"" << F::kPlotW << "\" height=\""
        << F::kPlotH << "\" fill=\"none\" stroke=\"black\"/>\n"
        << "<text x=\"" << F::kLeft + F::kPlotW / 2 << "\" y=\"" << F::kHeight - 16
        << "\" text-anchor=\"middle\">block size (bytes)</text>\n"
        << "<text transform=\"translate(18 " << F::kTop + F::kPlotH / 2
        << ") rotate(-90)\" text-anchor=\"middle\">median time</text>\n";
}

// One series as a line through its medians, with a dot on each and its entry in the legend.
void writeSvgSeries(std::ostream& out, const PlotFrame& f, const std::vector<Case>& cases, const Case& series,
                    int index)
{
    static const char* const colours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b"};
    const char* colour = colours[index % 6];
    std::string points;
    std::string dots;
    for (const Case& c : cases) {
        if (c.conversion != series.conversion || c.label != series.label)
            continue;
        const std::string x = number(f.x(std::log10(c.bytes)));
        const std::string y = number(f.y(std::log10(plottedSeconds(c))));
        points += x + ',' + y + ' ';
        dots += "<circle cx=\"" + x + "\" cy=\"" + y + "\" r=\"3.5\" fill=\"" + colour + "\"/>\n";
    }
    const double legendX = PlotFrame::kLeft + PlotFrame::kPlotW;
    const double ly = PlotFrame::kTop + 10 + 22 * index;
    out << "<polyline points=\"" << points << "\" fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"2\"/>\n"
        << dots << "<line x1=\"" << legendX + 16 << "\" y1=\"" << ly << "\" x2=\"" << legendX + 40 << "\" y2=\"" << ly
        << "\" stroke=\"" << colour << "\" stroke-width=\"2\"/>\n"
        << "<text x=\"" << legendX + 46 << "\" y=\"" << ly + 4 << "\">" << conversionId(series.conversion) << ", "
        << svgText(series.label) << "</text>\n";
}

} // namespace

void writeSvgPlot(std::ostream& out, const Results& results)
{
    const std::vector<Case>& cases = results.cases;
    const PlotFrame frame = frameFor(cases);
    writeSvgAxes(out, frame);
    std::set<std::pair<std::string, Conversion>> drawn;
    int index = 0;
    for (const Case& c : cases)
        if (drawn.insert({c.label, c.conversion}).second)
            writeSvgSeries(out, frame, cases, c, index++);
    out << "</svg>\n";
}

} // namespace misura
