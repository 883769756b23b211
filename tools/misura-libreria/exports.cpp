// The CSV and Markdown writers.
#include "tools/misura-libreria/exports.h"

#include "tools/misura-libreria/format.h"
#include "tools/misura-libreria/report.h"

namespace misura {

namespace {

// The Markdown row of one case, with its comparison when it has one.
std::string markdownRow(const Case& c, const std::vector<Compared>& comparisons)
{
    const Spread run = spreadOf(runUnits(c));
    const Units calls = callUnits(c);
    std::string ratio = "1 (first)", of = "", resolves = "", p = "", verdict = "";
    for (const Compared& k : comparisons)
        if (k.conversion == c.conversion && k.bytes == c.bytes && k.library == c.label) {
            ratio = ratioFigure(k.stats.ratio) + " (" + ratioFigure(k.stats.ratioLow) + " … "
                  + ratioFigure(k.stats.ratioHigh) + ")";
            of = std::string(k.figure == Figure::Call ? "the call" : "the whole run")
               + (k.againstBaseline ? ", over the reference copy" : "");
            resolves = percentFigure(k.stats.resolution) + " %";
            p = pText(k);
            verdict = verdictText(k.stats.verdict);
        }
    return "| " + c.label + (c.wrong.empty() ? "" : " (wrong results)") + " | " + std::to_string(c.bytes) + " | "
         + formatDuration(run.median) + " | " + formatDuration(run.lowest) + " … " + formatDuration(run.highest)
         + " | " + (calls.empty() || calls.front().empty() ? std::string("–") : formatDuration(spreadOf(calls).median))
         + " | " + std::to_string(run.processes) + " × " + std::to_string(run.rounds / std::max<std::size_t>(run.processes, 1))
         + " | " + ratio + " | " + of + " | " + resolves + " | " + p + " | " + verdict + " |\n";
}

} // namespace

void writeCsv(std::ostream& out, const Results& results)
{
    out << "library,label,conversion,method,part,bytes,process,round,core,samples,per_sample,seconds,result\n";
    for (const Case& c : results.cases) {
        const std::string head = csvField(c.library) + ',' + csvField(c.label) + ',' + conversionId(c.conversion) + ','
                               + methodId(c.method) + ',';
        const std::string result = c.wrong.empty() ? "right" : "wrong";
        for (std::size_t i = 0; i < c.processes.size(); ++i)
            for (std::size_t j = 0; j < c.processes[i].rounds.size(); ++j) {
                const Round& r = c.processes[i].rounds[j];
                const std::string where = std::to_string(c.bytes) + ',' + std::to_string(i + 1) + ','
                                        + std::to_string(j + 1) + ',' + std::to_string(r.core) + ','
                                        + std::to_string(r.samples) + ',' + std::to_string(c.processes[i].perSample) + ',';
                out << head << "run," << where << number(r.run) << ',' << result << '\n';
                if (r.call)
                    out << head << "call," << where << number(*r.call) << ',' << result << '\n';
                if (r.reference)
                    out << head << "reference," << where << number(*r.reference) << ',' << result << '\n';
            }
    }
}

void writeMarkdown(std::ostream& out, const Results& results)
{
    bool first = true;
    for (const Conversion conversion : {Conversion::BytesToText, Conversion::TextToBytes}) {
        bool any = false;
        for (const Case& c : results.cases) {
            if (c.conversion != conversion)
                continue;
            if (!any)
                out << (first ? "" : "\n") << "## " << conversionTitle(conversion) << "\n\n"
                    << "| Measured | Bytes | Run median | Processes (lowest … highest) | Call median | Processes × rounds "
                       "| Ratio (95% interval) | Ratio of | Resolves | p | Verdict |\n"
                    << "|:---|---:|---:|---:|---:|---:|---:|:---|---:|:---|:---|\n";
            any = true;
            first = false;
            out << markdownRow(c, results.comparisons);
        }
    }
}

} // namespace misura
