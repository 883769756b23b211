// misura-libreria's command line: what to time, how often, at which sizes,
// and where to write the results. Parsing never touches the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace misura {

enum class Methods { Library, InProgram, Both };
enum class Conversions { BytesToText, TextToBytes, Both };

struct Options {
    std::optional<std::size_t> runs; // none: as many as fit in about a second, at least 10
    std::size_t warmup = 3;
    std::vector<std::int32_t> sizes{50000}; // one size, or the sizes of --scan
    bool scan = false;
    Methods methods = Methods::Both;
    Conversions conversions = Conversions::Both;
    std::string exportJson;
    std::string exportCsv;
    std::string exportMarkdown;
    std::string plot;
    std::vector<std::string> libraries; // none: the library the programs load
    std::string baseline;               // an earlier --export-json to compare with
    std::optional<double> failIfSlower; // percent
    bool help = false;
    bool version = false;
    std::vector<std::string> notes; // what the command line gives that was not quite what it asked
};

// A command line misura-libreria cannot take; what() says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The options args give (the program's name excluded); throws UsageError.
Options parseOptions(const std::vector<std::string>& args);

// The usage text for --help.
std::string usageText();

} // namespace misura
