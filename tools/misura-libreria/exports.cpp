// The exports' writers.
#include "tools/misura-libreria/exports.h"

#include "tools/misura-libreria/format.h"

namespace misura {

namespace {

std::string numbers(const std::vector<double>& values)
{
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        out.append(i ? ", " : "").append(number(values[i]));
    return out + "]";
}

std::string summaryFields(const Summary& s, const std::vector<double>& times, const std::string& indent)
{
    return indent + "\"mean_s\": " + number(s.mean) + ",\n" + indent + "\"stddev_s\": " + number(s.stddev) + ",\n"
         + indent + "\"median_s\": " + number(s.median) + ",\n" + indent + "\"min_s\": " + number(s.min) + ",\n"
         + indent + "\"max_s\": " + number(s.max) + ",\n" + indent + "\"times_s\": " + numbers(times);
}

void writeContext(std::ostream& out, const Context& c)
{
    out << "  \"context\": {\n    \"version\": " << jsonString(c.version) << ",\n    \"build_type\": "
        << jsonString(c.buildType) << ",\n    \"cpu\": " << jsonString(c.cpu) << ",\n    \"cores\": " << c.cores
        << ",\n    \"clock\": {\"source\": \"monotonic\", \"resolution_ns\": " << c.clockResolutionNs
        << "},\n    \"date\": " << jsonString(c.date) << ",\n    \"load_average\": ";
    if (c.loadAverage)
        out << '[' << number((*c.loadAverage)[0]) << ", " << number((*c.loadAverage)[1]) << ", "
            << number((*c.loadAverage)[2]) << ']';
    else
        out << "null";
    out << "\n  },\n";
}

void writeResult(std::ostream& out, const Case& c)
{
    out << "    {\n      \"library\": " << (c.library.empty() ? std::string("null") : jsonString(c.library))
        << ",\n      \"conversion\": \"" << conversionId(c.conversion) << "\",\n      \"method\": \""
        << methodId(c.method) << "\",\n      \"bytes\": " << c.bytes << ",\n      \"runs\": " << c.summary.runs
        << ",\n      \"first_call_s\": " << (c.firstCall ? number(*c.firstCall) : std::string("null"))
        << ",\n      \"first_call_binding_s\": " << (c.binding ? number(*c.binding) : std::string("null"))
        << ",\n      \"outliers\": " << c.summary.outliers << ",\n"
        << summaryFields(c.summary, c.times, "      ") << ",\n      \"call\": ";
    if (c.call)
        out << "{\n" << summaryFields(*c.call, c.calls, "        ") << "\n      }";
    else
        out << "null";
    out << ",\n      \"wrong\": " << (c.wrong.empty() ? std::string("null") : jsonString(c.wrong)) << "\n    }";
}

void writeComparisons(std::ostream& out, const std::vector<Compared>& comparisons)
{
    for (std::size_t i = 0; i < comparisons.size(); ++i) {
        const Compared& c = comparisons[i];
        out << (i ? ",\n" : "\n") << "    {\"conversion\": \"" << conversionId(c.conversion) << "\", \"bytes\": "
            << c.bytes << ", \"library\": " << jsonString(c.library) << ", \"baseline\": " << jsonString(c.baseline)
            << ", \"figure\": \"" << (c.onCall ? "call" : "run") << "\", \"ratio\": " << number(c.stats.ratio)
            << ", \"ratio_low\": " << number(c.stats.ratioLow) << ", \"ratio_high\": " << number(c.stats.ratioHigh)
            << ", \"p_value\": " << number(c.stats.pValue) << ", \"verdict\": \"" << verdictText(c.stats.verdict)
            << "\"}";
    }
}

} // namespace

void writeJson(std::ostream& out, const Context& context, const std::vector<Case>& cases,
               const std::vector<Compared>& comparisons, const std::vector<Growth>& growth)
{
    out << "{\n";
    writeContext(out, context);
    out << "  \"results\": [\n";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        writeResult(out, cases[i]);
        out << (i + 1 < cases.size() ? ",\n" : "\n");
    }
    out << "  ],\n  \"comparisons\": [";
    writeComparisons(out, comparisons);
    out << (comparisons.empty() ? "" : "\n  ") << "],\n  \"growth\": [";
    for (std::size_t i = 0; i < growth.size(); ++i)
        out << (i ? "," : "") << "\n    {\"measured\": " << jsonString(growth[i].measured) << ", \"conversion\": \""
            << conversionId(growth[i].conversion) << "\", \"exponent\": " << number(growth[i].exponent) << "}";
    out << (growth.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

void writeCsv(std::ostream& out, const std::vector<Case>& cases)
{
    out << "library,conversion,method,part,bytes,run,seconds,result\n";
    for (const Case& c : cases) {
        const std::string head = csvField(measuredWith(c)) + ',' + conversionId(c.conversion) + ','
                               + methodId(c.method) + ',';
        const std::string result = c.wrong.empty() ? "right" : "wrong";
        for (std::size_t i = 0; i < c.times.size(); ++i)
            out << head << "run," << c.bytes << ',' << i + 1 << ',' << number(c.times[i]) << ',' << result << '\n';
        for (std::size_t i = 0; i < c.calls.size(); ++i)
            out << head << "call," << c.bytes << ',' << i + 1 << ',' << number(c.calls[i]) << ',' << result << '\n';
    }
}

void writeMarkdown(std::ostream& out, const std::vector<Case>& cases, const std::vector<Compared>& comparisons)
{
    for (const Conversion conversion : {Conversion::BytesToText, Conversion::TextToBytes}) {
        bool any = false;
        for (const Case& c : cases) {
            if (c.conversion != conversion)
                continue;
            if (!any)
                out << (out.tellp() > 0 ? "\n" : "") << "## " << conversionTitle(conversion) << "\n\n"
                    << "| Measured | Bytes | Median | Mean ± σ | Call median | Runs | Ratio (95% interval) | p | Verdict |\n"
                    << "|:---|---:|---:|---:|---:|---:|---:|---:|:---|\n";
            any = true;
            std::string ratio = "1 (first)", p = "", verdict = "";
            for (const Compared& k : comparisons)
                if (k.conversion == conversion && k.bytes == c.bytes && k.library == measuredWith(c)) {
                    ratio = ratioFigure(k.stats.ratio) + " (" + ratioFigure(k.stats.ratioLow) + " … "
                          + ratioFigure(k.stats.ratioHigh) + ")";
                    p = number(k.stats.pValue);
                    verdict = verdictText(k.stats.verdict);
                }
            out << "| " << measuredWith(c) << (c.wrong.empty() ? "" : " (wrong results)") << " | " << c.bytes
                << " | " << formatDuration(c.summary.median) << " | " << meanText(c.summary) << " | "
                << (c.call ? formatDuration(c.call->median) : std::string("–")) << " | " << c.summary.runs << " | "
                << ratio << " | " << p << " | " << verdict << " |\n";
        }
    }
}

} // namespace misura
