// Command-line parsing: "--name value" or "--name=value", then the libraries.
#include "tools/misura-libreria/options.h"

#include "tools/misura-libreria/stats.h"

#include <charconv>
#include <map>
#include <optional>

namespace misura {

namespace {

constexpr std::int64_t kMaxBytes = 100000000;
constexpr std::int64_t kMaxRuns = 10000000;
constexpr std::int64_t kMaxSteps = 100;

std::int64_t number(const std::string& option, const std::string& text, std::int64_t least, std::int64_t most)
{
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < least || value > most)
        throw UsageError(option + " takes a whole number from " + std::to_string(least) + " to "
                         + std::to_string(most) + ", not '" + text + "'");
    return value;
}

// The sizes --scan asks for; a note when fewer distinct sizes fit between its bounds than steps asked.
std::vector<std::int32_t> scanSizes(const std::string& text, std::vector<std::string>& notes)
{
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos || text.find(':', second + 1) != std::string::npos)
        throw UsageError("--scan takes FROM:TO:STEPS, not '" + text + "'");
    const auto from = number("--scan FROM", text.substr(0, first), 1, kMaxBytes - 1);
    const auto to = number("--scan TO", text.substr(first + 1, second - first - 1), from + 1, kMaxBytes);
    const auto steps = number("--scan STEPS", text.substr(second + 1), 2, kMaxSteps);
    std::vector<std::int32_t> sizes =
        logSpacedSizes(static_cast<std::int32_t>(from), static_cast<std::int32_t>(to), static_cast<int>(steps));
    if (sizes.size() < static_cast<std::size_t>(steps))
        notes.push_back("--scan " + text + " gives " + std::to_string(sizes.size()) + " distinct sizes, not "
                        + std::to_string(steps));
    return sizes;
}

Methods methods(const std::string& text)
{
    if (text == "library")
        return Methods::Library;
    if (text == "in-program")
        return Methods::InProgram;
    if (text == "both")
        return Methods::Both;
    throw UsageError("--method takes library, in-program or both, not '" + text + "'");
}

Conversions conversions(const std::string& text)
{
    if (text == "bytes-to-text")
        return Conversions::BytesToText;
    if (text == "text-to-bytes")
        return Conversions::TextToBytes;
    if (text == "both")
        return Conversions::Both;
    throw UsageError("--conversion takes bytes-to-text, text-to-bytes or both, not '" + text + "'");
}

double percent(const std::string& option, const std::string& text)
{
    double value = -1;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !(value >= 0 && value <= 1000))
        throw UsageError(option + " takes a percentage from 0 to 1000, not '" + text + "'");
    return value;
}

// The options read so far, and what was given, for the checks that span options.
struct Parsing {
    Options options;
    bool bytesGiven = false;
};

// Takes an option's value into the options being read.
using Setter = void (*)(Parsing& p, const std::string& name, const std::string& value);

// The options that take a value, by name.
const std::map<std::string, Setter>& valueOptions()
{
    static const std::map<std::string, Setter> setters{
        {"--runs", [](Parsing& p, const std::string& n, const std::string& v) {
             p.options.runs = static_cast<std::size_t>(number(n, v, 1, kMaxRuns));
         }},
        {"--warmup", [](Parsing& p, const std::string& n, const std::string& v) {
             p.options.warmup = static_cast<std::size_t>(number(n, v, 0, kMaxRuns));
         }},
        {"--bytes", [](Parsing& p, const std::string& n, const std::string& v) {
             p.options.sizes = {static_cast<std::int32_t>(number(n, v, 1, kMaxBytes))};
             p.bytesGiven = true;
         }},
        {"--scan", [](Parsing& p, const std::string&, const std::string& v) {
             p.options.sizes = scanSizes(v, p.options.notes);
             p.options.scan = true;
         }},
        {"--method", [](Parsing& p, const std::string&, const std::string& v) { p.options.methods = methods(v); }},
        {"--conversion",
         [](Parsing& p, const std::string&, const std::string& v) { p.options.conversions = conversions(v); }},
        {"--baseline", [](Parsing& p, const std::string&, const std::string& v) { p.options.baseline = v; }},
        {"--fail-if-slower",
         [](Parsing& p, const std::string& n, const std::string& v) { p.options.failIfSlower = percent(n, v); }},
        {"--export-json", [](Parsing& p, const std::string&, const std::string& v) { p.options.exportJson = v; }},
        {"--export-csv", [](Parsing& p, const std::string&, const std::string& v) { p.options.exportCsv = v; }},
        {"--export-markdown",
         [](Parsing& p, const std::string&, const std::string& v) { p.options.exportMarkdown = v; }},
        {"--plot", [](Parsing& p, const std::string&, const std::string& v) { p.options.plot = v; }},
    };
    return setters;
}

// Takes the option args[i] (and its value, moving i past it when it is the next argument).
void takeOption(Parsing& p, const std::vector<std::string>& args, std::size_t& i)
{
    std::string name = args[i];
    std::optional<std::string> value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
    }
    if (name == "--help" || name == "-h" || name == "--version" || name == "-V") {
        if (value)
            throw UsageError(name + " takes no value");
        (name == "--version" || name == "-V" ? p.options.version : p.options.help) = true;
        return;
    }
    const auto setter = valueOptions().find(name);
    if (setter == valueOptions().end())
        throw UsageError("unknown option '" + name + "'");
    if (!value && i + 1 >= args.size())
        throw UsageError(name + " needs a value");
    setter->second(p, name, value ? *value : args[++i]);
}

} // namespace

Options parseOptions(const std::vector<std::string>& args)
{
    Parsing p;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!optionsEnded && args[i] == "--")
            optionsEnded = true;
        else if (!optionsEnded && args[i].starts_with("-") && args[i] != "-")
            takeOption(p, args, i);
        else
            p.options.libraries.push_back(args[i]);
    }
    if (p.bytesGiven && p.options.scan)
        throw UsageError("--bytes and --scan cannot be used together");
    const Options& o = p.options;
    if (!o.plot.empty() && !o.scan)
        throw UsageError("--plot needs --scan");
    if (o.failIfSlower && o.baseline.empty() && o.libraries.size() < 2)
        throw UsageError("--fail-if-slower needs --baseline or a second library to compare with");
    if (o.methods == Methods::InProgram && !o.libraries.empty())
        throw UsageError("--method in-program measures no library, not '" + o.libraries.front() + "'");
    return o;
}

std::string usageText()
{
    return "Usage: misura-libreria [options] [--] [LIBRARY...]\n"
           "\n"
           "Times the conversions the programs time (bytes to text and text to bytes)\n"
           "with each conversion library LIBRARY, each in a process of its own and in\n"
           "interleaved rounds, and with the in-program routines; compares every later\n"
           "library with the first. LIBRARY defaults to the library the programs load;\n"
           "a bare file name is the file in the current folder. '--' ends the options.\n"
           "\n"
           "Options:\n"
           "  --runs N              timed repetitions per case (default: about 1 s, at least 10)\n"
           "  --warmup N            untimed repetitions before a case's first round (default 3)\n"
           "  --bytes N             block size in bytes (default 50000)\n"
           "  --method M            library, in-program or both (default both)\n"
           "  --conversion C        bytes-to-text, text-to-bytes or both (default both)\n"
           "  --scan FROM:TO:STEPS  STEPS sizes from FROM to TO, log-spaced, with growth exponents\n"
           "  --plot FILE.svg       with --scan: a log-log plot of the medians\n"
           "  --baseline FILE       compare with the results of an earlier --export-json FILE\n"
           "  --fail-if-slower PCT  status 3 when over PCT % slower than the baseline (or first library)\n"
           "  --export-json FILE    results, every repetition, comparisons and context, as JSON\n"
           "  --export-csv FILE     one row per repetition, as CSV\n"
           "  --export-markdown FILE  one table per conversion, as Markdown\n"
           "  -h, --help            this text\n"
           "  -V, --version         the version\n"
           "\n"
           "Exit status: 0 done, 1 a run-time error or a wrong result, 2 a usage error,\n"
           "3 slower than --fail-if-slower allows, 130 interrupted.\n"
           "\n"
           "Example, two builds of a library compared on one conversion:\n"
           "  misura-libreria --conversion bytes-to-text --method library old/libquendril.so new/libquendril.so\n";
}

} // namespace misura
