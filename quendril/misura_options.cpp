// Command-line parsing: "--name value" or "--name=value", one optional library.
#include "quendril/misura_options.h"

#include "quendril/misura_stats.h"

#include <charconv>

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

std::vector<std::int32_t> scanSizes(const std::string& text)
{
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos || text.find(':', second + 1) != std::string::npos)
        throw UsageError("--scan takes FROM:TO:STEPS, not '" + text + "'");
    const auto from = number("--scan FROM", text.substr(0, first), 1, kMaxBytes - 1);
    const auto to = number("--scan TO", text.substr(first + 1, second - first - 1), from + 1, kMaxBytes);
    const auto steps = number("--scan STEPS", text.substr(second + 1), 2, kMaxSteps);
    return logSpacedSizes(static_cast<std::int32_t>(from), static_cast<std::int32_t>(to), static_cast<int>(steps));
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

} // namespace

Options parseOptions(const std::vector<std::string>& args)
{
    Options o;
    bool bytesGiven = false;
    bool libraryGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (name.starts_with("--") && name.find('=') != std::string::npos) {
            value = name.substr(name.find('=') + 1);
            name = name.substr(0, name.find('='));
        }
        if (name == "--help" || name == "-h" || name == "--version") {
            if (value)
                throw UsageError(name + " takes no value");
            (name == "--version" ? o.version : o.help) = true;
            continue;
        }
        if (!name.starts_with("-") || name == "-") {
            if (libraryGiven)
                throw UsageError("only one library can be measured, not '" + args[i] + "' too");
            o.library = args[i];
            libraryGiven = true;
            continue;
        }
        if (name == "--")
            throw UsageError("'--' is not an option");
        const auto next = [&]() -> std::string {
            if (value)
                return *value;
            if (i + 1 >= args.size())
                throw UsageError(name + " needs a value");
            return args[++i];
        };
        if (name == "--runs")
            o.runs = static_cast<std::size_t>(number(name, next(), 1, kMaxRuns));
        else if (name == "--warmup")
            o.warmup = static_cast<std::size_t>(number(name, next(), 0, kMaxRuns));
        else if (name == "--bytes") {
            o.sizes = {static_cast<std::int32_t>(number(name, next(), 1, kMaxBytes))};
            bytesGiven = true;
        } else if (name == "--scan") {
            o.sizes = scanSizes(next());
            o.scan = true;
        } else if (name == "--method")
            o.methods = methods(next());
        else if (name == "--export-json")
            o.exportJson = next();
        else if (name == "--export-csv")
            o.exportCsv = next();
        else if (name == "--export-markdown")
            o.exportMarkdown = next();
        else if (name == "--plot")
            o.plot = next();
        else
            throw UsageError("unknown option '" + name + "'");
    }
    if (bytesGiven && o.scan)
        throw UsageError("--bytes and --scan cannot be used together");
    if (!o.plot.empty() && !o.scan)
        throw UsageError("--plot needs --scan");
    return o;
}

std::string usageText()
{
    return "Usage: misura-libreria [options] [LIBRARY]\n"
           "\n"
           "Times the conversions the programs time (bytes to text and text to bytes),\n"
           "with the conversion library LIBRARY and with the in-program routines.\n"
           "LIBRARY defaults to the library the programs load; a name without a folder\n"
           "means the file in the current folder.\n"
           "\n"
           "Options:\n"
           "  --runs N             repetitions per case (default: as many as fit in\n"
           "                       about one second, at least 10)\n"
           "  --warmup N           untimed repetitions before them (default 3)\n"
           "  --bytes N            block size in bytes (default 50000)\n"
           "  --method M           library, in-program or both (default both)\n"
           "  --scan FROM:TO:STEPS STEPS block sizes from FROM to TO, evenly spaced on\n"
           "                       a log scale, with each method's growth exponent\n"
           "  --plot FILE.svg      with --scan: a log-log plot of the series\n"
           "  --export-json FILE   results, every repetition included, as JSON\n"
           "  --export-csv FILE    results as CSV\n"
           "  --export-markdown FILE  results as a Markdown table\n"
           "  --help               this text\n"
           "  --version            the version\n";
}

} // namespace misura
