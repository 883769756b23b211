// The JSON export and its reading back as a baseline. Every field's name is
// written once, below, for both; the reader is a small one that keeps what a
// baseline needs: objects, arrays, strings, numbers, null.
#include "tools/misura-libreria/exports.h"

#include "tools/misura-libreria/format.h"

#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <variant>

namespace misura {

namespace {

// The export's field names.
namespace key {
constexpr char format[] = "format", context[] = "context", measurement[] = "measurement", results[] = "results",
               comparisons[] = "comparisons", growth[] = "growth", warnings[] = "warnings";
constexpr char version[] = "version", buildType[] = "build_type", cpu[] = "cpu", cores[] = "cores", clock[] = "clock",
               date[] = "date", loadAverage[] = "load_average";
constexpr char processes[] = "processes", rounds[] = "rounds", sample[] = "sample_s", warmup[] = "warmup",
               seconds[] = "seconds", measuringSeconds[] = "measuring_seconds", waitingSeconds[] = "waiting_seconds";
constexpr char library[] = "library", label[] = "label", conversion[] = "conversion", method[] = "method",
               bytes[] = "bytes", firstCall[] = "first_call_s", binding[] = "first_call_binding_s", run[] = "run",
               call[] = "call", wrong[] = "wrong";
constexpr char median[] = "median_s", lowest[] = "lowest_process_s", highest[] = "highest_process_s";
constexpr char perSample[] = "per_sample", runSeconds[] = "run_s", callSeconds[] = "call_s", samples[] = "samples",
               core[] = "core", referencePerSample[] = "reference_per_sample", referenceSeconds[] = "reference_s";
constexpr char baseline[] = "baseline", figure[] = "figure", ratio[] = "ratio", ratioLow[] = "ratio_low",
               ratioHigh[] = "ratio_high", resolution[] = "resolution_percent", pValue[] = "p_value",
               pFloor[] = "p_value_is_floor", units[] = "units", verdict[] = "verdict", measured[] = "measured",
               exponent[] = "exponent";
} // namespace key

// This export's layout; a baseline of another is refused.
constexpr int kFormat = 2;

// '"name": '
std::string name(const char* field)
{
    return jsonString(field) + ": ";
}

// {"name": value, ...} on one line, each value already in JSON.
std::string object(std::initializer_list<std::pair<const char*, std::string>> fields)
{
    std::string out = "{";
    for (const auto& [field, value] : fields)
        out.append(out.size() > 1 ? ", " : "").append(name(field)).append(value);
    return out.append("}");
}

std::string optionalNumber(const std::optional<double>& v)
{
    return v ? number(*v) : std::string("null");
}

template <typename T, typename Write> std::string list(const std::vector<T>& items, Write write)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out.append(i ? ", " : "").append(write(items[i]));
    return out.append("]");
}

std::string contextJson(const Context& c)
{
    const std::string load = c.loadAverage ? list(std::vector<double>(c.loadAverage->begin(), c.loadAverage->end()),
                                                  [](double v) { return number(v); })
                                           : std::string("null");
    return "{\n    " + name(key::version) + jsonString(c.version) + ",\n    " + name(key::buildType)
         + jsonString(c.buildType) + ",\n    " + name(key::cpu) + jsonString(c.cpu) + ",\n    " + name(key::cores)
         + std::to_string(c.cores) + ",\n    " + name(key::clock) + "{\"source\": \"monotonic\", \"resolution_ns\": "
         + std::to_string(c.clockResolutionNs) + "},\n    " + name(key::date) + jsonString(c.date) + ",\n    "
         + name(key::loadAverage) + load + "\n  }";
}

std::string measurementJson(const Results& r)
{
    const Plan& p = r.plan;
    return object({{key::processes, std::to_string(p.processes)},
                   {key::rounds, std::to_string(p.rounds)},
                   {key::cores, list(p.cores, [](int c) { return std::to_string(c); })},
                   {key::sample, number(static_cast<double>(p.sampleNs) / 1e9)},
                   {key::warmup, std::to_string(p.warmup)},
                   {key::seconds, number(r.seconds)},
                   {key::measuringSeconds, number(r.measuringSeconds)},
                   {key::waitingSeconds, number(r.waitingSeconds)}});
}

std::string spreadJson(const Units& units)
{
    if (units.empty() || units.front().empty())
        return "null";
    const Spread s = spreadOf(units);
    return object({{key::median, number(s.median)}, {key::lowest, number(s.lowest)}, {key::highest, number(s.highest)}});
}

std::string processJson(const Process& p)
{
    const auto round = [](const Round& r) {
        return object({{key::runSeconds, number(r.run)},
                       {key::callSeconds, optionalNumber(r.call)},
                       {key::referenceSeconds, optionalNumber(r.reference)},
                       {key::samples, std::to_string(r.samples)},
                       {key::core, std::to_string(r.core)}});
    };
    return object({{key::perSample, std::to_string(p.perSample)},
                   {key::referencePerSample, std::to_string(p.referencePerSample)},
                   {key::rounds, list(p.rounds, round)}});
}

std::string caseJson(const Case& c)
{
    std::string processes;
    for (std::size_t i = 0; i < c.processes.size(); ++i)
        processes += (i ? ",\n        " : "\n        ") + processJson(c.processes[i]);
    return "{\n      " + name(key::library) + (c.library.empty() ? std::string("null") : jsonString(c.library))
         + ",\n      " + name(key::label) + jsonString(c.label) + ",\n      " + name(key::conversion)
         + jsonString(conversionId(c.conversion)) + ",\n      " + name(key::method) + jsonString(methodId(c.method))
         + ",\n      " + name(key::bytes) + std::to_string(c.bytes) + ",\n      " + name(key::firstCall)
         + optionalNumber(c.firstCall) + ",\n      " + name(key::binding) + optionalNumber(c.binding) + ",\n      "
         + name(key::run) + spreadJson(runUnits(c)) + ",\n      " + name(key::call) + spreadJson(callUnits(c))
         + ",\n      " + name(key::processes) + "[" + processes + "\n      ],\n      " + name(key::wrong)
         + (c.wrong.empty() ? std::string("null") : jsonString(c.wrong)) + "\n    }";
}

// A ratio as the console writes it; null when there is none to write.
std::string ratioJson(double ratio)
{
    return std::isfinite(ratio) ? ratioFigure(ratio) : std::string("null");
}

std::string comparedJson(const Compared& c)
{
    const Comparison& s = c.stats;
    return object({{key::conversion, jsonString(conversionId(c.conversion))},
                   {key::bytes, std::to_string(c.bytes)},
                   {key::library, jsonString(c.library)},
                   {key::baseline, jsonString(c.baseline)},
                   {key::figure, jsonString(figureId(c.figure))},
                   {key::ratio, ratioJson(s.ratio)},
                   {key::ratioLow, ratioJson(s.ratioLow)},
                   {key::ratioHigh, ratioJson(s.ratioHigh)},
                   {key::resolution, std::isfinite(s.resolution) ? percentFigure(s.resolution) : "null"},
                   {key::pValue, pFigure(std::max(s.pValue, s.pFloor))},
                   {key::pFloor, s.pValue <= s.pFloor * (1 + 1e-9) ? "true" : "false"},
                   {key::units, std::to_string(s.units)},
                   {key::verdict, jsonString(verdictText(s.verdict))},
                   {key::warnings, list(c.warnings, jsonString)}});
}

std::string growthJson(const Growth& g)
{
    return object({{key::measured, jsonString(g.measured)},
                   {key::conversion, jsonString(conversionId(g.conversion))},
                   {key::exponent, std::isfinite(g.exponent) ? fixed(g.exponent, 3) : "null"}});
}

// Items as the lines of an array, each on its own line at the results' indent.
template <typename T, typename Write> std::string lines(const std::vector<T>& items, Write write)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? ",\n    " : "\n    ") + write(items[i]);
    return out + (items.empty() ? "]" : "\n  ]");
}

struct Value;
using Object = std::map<std::string, Value>;
using Array = std::vector<Value>;

struct Value {
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<Array>, std::shared_ptr<Object>> v;
};

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    Value document()
    {
        Value v = value(0);
        skipSpace();
        if (at_ != text_.size())
            fail("text after the end");
        return v;
    }

private:
    const std::string& text_;
    std::size_t at_ = 0;

    [[noreturn]] void fail(const std::string& what) const
    {
        throw BaselineError("not a JSON export (" + what + " at character " + std::to_string(at_) + ")");
    }

    void skipSpace()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }

    bool take(char c)
    {
        skipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool word(const char* w)
    {
        const std::string_view s(w);
        if (text_.compare(at_, s.size(), s) != 0)
            return false;
        at_ += s.size();
        return true;
    }

    Value value(int depth)
    {
        if (depth > 16)
            fail("nesting too deep");
        skipSpace();
        if (take('{'))
            return {object(depth)};
        if (take('['))
            return {array(depth)};
        if (at_ < text_.size() && text_[at_] == '"')
            return {string()};
        if (word("null"))
            return {nullptr};
        if (word("true") || word("false"))
            return {text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u'};
        return {numberValue()};
    }

    std::shared_ptr<Object> object(int depth)
    {
        auto o = std::make_shared<Object>();
        if (take('}'))
            return o;
        do {
            skipSpace();
            const std::string key = string();
            if (!take(':'))
                fail("':' expected");
            (*o)[key] = value(depth + 1);
        } while (take(','));
        if (!take('}'))
            fail("'}' expected");
        return o;
    }

    std::shared_ptr<Array> array(int depth)
    {
        auto a = std::make_shared<Array>();
        if (take(']'))
            return a;
        do
            a->push_back(value(depth + 1));
        while (take(','));
        if (!take(']'))
            fail("']' expected");
        return a;
    }

    // A string; escapes other than \" and \\ are kept as written, which the baseline never needs to read.
    std::string string()
    {
        if (at_ >= text_.size() || text_[at_] != '"')
            fail("string expected");
        std::string s;
        for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
            if (text_[at_] == '\\' && at_ + 1 < text_.size() && (text_[at_ + 1] == '"' || text_[at_ + 1] == '\\'))
                ++at_;
            s += text_[at_];
        }
        if (at_++ >= text_.size())
            fail("unterminated string");
        return s;
    }

    double numberValue()
    {
        double d = 0;
        const auto [ptr, ec] = std::from_chars(text_.data() + at_, text_.data() + text_.size(), d);
        if (ec != std::errc())
            fail("value expected");
        at_ = static_cast<std::size_t>(ptr - text_.data());
        return d;
    }
};

template <typename T> const T& need(const Object& o, const char* field, const char* what)
{
    const auto found = o.find(field);
    if (found == o.end() || !std::holds_alternative<T>(found->second.v))
        throw BaselineError(std::string(what) + " without a valid '" + field + "'");
    return std::get<T>(found->second.v);
}

const Object& objectIn(const Value& v, const char* what)
{
    if (!std::holds_alternative<std::shared_ptr<Object>>(v.v))
        throw BaselineError(std::string(what) + " that is not an object");
    return *std::get<std::shared_ptr<Object>>(v.v);
}

// A field's value as an optional number: absent or null for none.
std::optional<double> optionalIn(const Object& o, const char* field)
{
    const auto found = o.find(field);
    if (found == o.end() || !std::holds_alternative<double>(found->second.v))
        return std::nullopt;
    return std::get<double>(found->second.v);
}

double positive(double v)
{
    if (!(v > 0))
        throw BaselineError("a time that is not a positive number");
    return v;
}

Process processOf(const Object& o)
{
    Process p;
    p.perSample = static_cast<std::size_t>(need<double>(o, key::perSample, "a process"));
    p.referencePerSample = static_cast<std::size_t>(optionalIn(o, key::referencePerSample).value_or(1));
    for (const Value& v : *need<std::shared_ptr<Array>>(o, key::rounds, "a process")) {
        const Object& r = objectIn(v, "a round");
        const std::optional<double> call = optionalIn(r, key::callSeconds);
        const std::optional<double> reference = optionalIn(r, key::referenceSeconds);
        p.rounds.push_back({positive(need<double>(r, key::runSeconds, "a round")),
                            call ? std::optional<double>(positive(*call)) : std::nullopt,
                            reference ? std::optional<double>(positive(*reference)) : std::nullopt,
                            static_cast<std::size_t>(optionalIn(r, key::samples).value_or(0)),
                            static_cast<int>(optionalIn(r, key::core).value_or(-1))});
    }
    if (p.rounds.empty())
        throw BaselineError("a process without rounds");
    return p;
}

Case caseOf(const Object& o)
{
    if (!o.contains(key::processes))
        throw BaselineError("it was exported by an earlier misura-libreria, which kept no figures per process: "
                            "export the baseline again");
    const std::string& conversion = need<std::string>(o, key::conversion, "a result");
    const std::string& method = need<std::string>(o, key::method, "a result");
    if ((conversion != conversionId(Conversion::BytesToText) && conversion != conversionId(Conversion::TextToBytes))
        || (method != methodId(core::Method::Library) && method != methodId(core::Method::InProgram)))
        throw BaselineError("a result of an unknown conversion or method");
    Case c{};
    c.conversion = conversion == conversionId(Conversion::BytesToText) ? Conversion::BytesToText : Conversion::TextToBytes;
    c.method = method == methodId(core::Method::Library) ? core::Method::Library : core::Method::InProgram;
    c.bytes = static_cast<std::int32_t>(need<double>(o, key::bytes, "a result"));
    if (const auto library = o.find(key::library); library != o.end() && std::holds_alternative<std::string>(library->second.v))
        c.library = std::get<std::string>(library->second.v);
    const auto label = o.find(key::label);
    c.label = label != o.end() && std::holds_alternative<std::string>(label->second.v)
                ? std::get<std::string>(label->second.v) : c.library;
    for (const Value& v : *need<std::shared_ptr<Array>>(o, key::processes, "a result"))
        c.processes.push_back(processOf(objectIn(v, "a process")));
    if (c.processes.empty())
        throw BaselineError("a result without processes");
    return c;
}

Context contextOf(const Object& document)
{
    const Object& o = *need<std::shared_ptr<Object>>(document, key::context, "the export");
    Context c;
    c.version = need<std::string>(o, key::version, "the context");
    c.buildType = need<std::string>(o, key::buildType, "the context");
    c.cpu = need<std::string>(o, key::cpu, "the context");
    c.cores = static_cast<unsigned>(need<double>(o, key::cores, "the context"));
    if (const auto load = o.find(key::loadAverage);
        load != o.end() && std::holds_alternative<std::shared_ptr<Array>>(load->second.v)) {
        const Array& a = *std::get<std::shared_ptr<Array>>(load->second.v);
        std::array<double, 3> load3{};
        for (std::size_t i = 0; i < a.size() && i < 3 && std::holds_alternative<double>(a[i].v); ++i)
            load3[i] = std::get<double>(a[i].v);
        if (a.size() == 3)
            c.loadAverage = load3;
    }
    return c;
}

} // namespace

void writeJson(std::ostream& out, const Results& r)
{
    out << "{\n  " << name(key::format) << kFormat << ",\n  " << name(key::context) << contextJson(r.context)
        << ",\n  " << name(key::measurement) << measurementJson(r) << ",\n  " << name(key::results)
        << lines(r.cases, caseJson) << ",\n  " << name(key::comparisons) << lines(r.comparisons, comparedJson)
        << ",\n  " << name(key::growth) << lines(r.growth, growthJson) << ",\n  " << name(key::warnings)
        << list(r.warnings, jsonString) << "\n}\n";
}

Baseline readBaseline(const std::string& json)
{
    const Value document = Reader(json).document();
    const Object& top = objectIn(document, "an export");
    Baseline b;
    const Array& results = *need<std::shared_ptr<Array>>(top, key::results, "the export");
    std::string firstLibrary;
    for (const Value& r : results) {
        Case c = caseOf(objectIn(r, "a result"));
        if (c.method == core::Method::Library && firstLibrary.empty())
            firstLibrary = c.library;
        if (c.method == core::Method::InProgram || c.library == firstLibrary)
            b.cases.push_back(std::move(c));
    }
    if (optionalIn(top, key::format) != kFormat)
        throw BaselineError("an export of another layout (format " + number(optionalIn(top, key::format).value_or(1))
                            + ", not " + std::to_string(kFormat) + ")");
    b.context = contextOf(top);
    return b;
}

} // namespace misura
