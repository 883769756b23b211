// misura-libreria: times the conversions the programs time, with a conversion
// library and with the in-program routines, and reports and exports the
// statistics. Usage errors end with status 2, run-time errors with the
// programs' numbered report on standard error and status 1.
#include "core/quendril_library.h"
#include "core/runs.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/fatal_fault.h"
#include "platform/heap.h"
#include "platform/hires_clock.h"
#include "platform/library.h"
#include "platform/runtime_error.h"
#include "tools/misura-libreria/measure.h"
#include "tools/misura-libreria/options.h"
#include "tools/misura-libreria/report.h"
#include "platform/error_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

using misura::Case;
using misura::Conversion;

// A progress line on standard error that each update overwrites and that leaves nothing behind.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}
    ~ProgressLine() { clear(); }

    void show(const std::string& text)
    {
        if (!enabled_)
            return;
        const std::string line = "Measuring " + text;
        std::fprintf(stderr, "\r%s%*s", line.c_str(), static_cast<int>(shown_ > line.size() ? shown_ - line.size() : 0), "");
        std::fflush(stderr);
        shown_ = line.size();
    }

    void clear()
    {
        if (!enabled_ || !shown_)
            return;
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown_), "");
        std::fflush(stderr);
        shown_ = 0;
    }

private:
    bool enabled_;
    std::size_t shown_ = 0;
};

std::filesystem::path pathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& path)
{
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

// The library to measure: the programs' own lookup, or the file named.
std::unique_ptr<core::QuendrilLibrary> openLibrary(const std::string& named)
{
    if (named.empty())
        return core::programsLibrary();
    const std::filesystem::path path = std::filesystem::absolute(pathOf(named));
    // The file named and no other: without this, a missing file would be looked up by the system's search.
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        platform::raiseLibraryNotFound(utf8Of(path));
    return std::make_unique<core::QuendrilLibrary>(utf8Of(path.parent_path()), utf8Of(path.filename()));
}

// The programs' report of the error that ended the measurement, on standard error.
int reportError(const std::exception_ptr& error)
{
    platform::printReport(platform::describe(error));
    return 1;
}

bool writeFile(const std::string& file, const std::string& content)
{
    std::ofstream out(pathOf(file), std::ios::binary);
    out << content;
    out.close();
    if (out)
        return true;
    const int err = errno;
    std::fprintf(stderr, "misura-libreria: cannot write '%s': %s\n", file.c_str(), std::strerror(err));
    return false;
}

// The cases to measure, in order: at each size, each conversion with each method asked for,
// the library's first and the first call of each of its functions timed apart.
std::vector<misura::CaseSpec> chooseCases(const misura::Options& o)
{
    std::vector<core::Method> methods;
    if (o.methods != misura::Methods::InProgram)
        methods.push_back(core::Method::Library);
    if (o.methods != misura::Methods::Library)
        methods.push_back(core::Method::InProgram);
    std::vector<misura::CaseSpec> specs;
    for (const std::int32_t bytes : o.sizes)
        for (const Conversion conversion : {Conversion::BytesToText, Conversion::TextToBytes})
            for (const core::Method method : methods) {
                const bool first = method == core::Method::Library && bytes == o.sizes.front();
                specs.push_back({conversion, method, bytes, first});
            }
    return specs;
}

// The lines above the first case: the library, the clock and the repetitions.
void writeHeader(const misura::Options& o, const core::QuendrilLibrary* library)
{
    std::cout << "Library: " << (library ? library->loadedPath() : "none (in-program routines only)") << '\n'
              << "Clock: monotonic, resolution " << platform::monotonicResolution() << " ns; "
              << (o.runs ? std::to_string(*o.runs) + " runs" : std::string("runs for about 1 s"))
              << " per case after " << o.warmup << " warm-up runs; freed memory kept by the allocator\n\n";
}

// Measures each case, writing each as it ends (or, for a scan, each size's table once all its cases have).
std::vector<Case> measureCases(const misura::Options& o, const std::vector<misura::CaseSpec>& specs,
                               const misura::Bench& bench, const core::QuendrilLibrary* library,
                               ProgressLine& progress)
{
    std::vector<Case> cases;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        cases.push_back(misura::measureCase(specs[i], bench));
        progress.clear();
        if (i == 0)
            writeHeader(o, library);
        const Case& c = cases.back();
        const bool lastAtSize = i + 1 == specs.size() || specs[i + 1].bytes != c.bytes;
        if (o.scan) {
            if (lastAtSize)
                misura::writeSizeTable(std::cout, cases, c.bytes);
        } else {
            misura::writeCase(std::cout, c);
            if (c.method == core::Method::InProgram && cases.size() >= 2 && o.methods == misura::Methods::Both)
                misura::writeComparison(std::cout, cases[cases.size() - 2], c);
        }
        if (!o.scan || lastAtSize)
            std::cout << '\n' << std::flush;
    }
    return cases;
}

// Writes each export asked for; whether all were written.
bool exportResults(const misura::Options& o, const std::string& libraryPath, const std::vector<Case>& cases,
                   const std::vector<misura::Growth>& growth)
{
    bool written = true;
    const auto exportTo = [&](const std::string& file, auto write) {
        if (file.empty())
            return;
        std::ostringstream text;
        write(text);
        written = writeFile(file, text.str()) && written;
    };
    exportTo(o.exportJson, [&](std::ostream& s) { misura::writeJson(s, libraryPath, cases, growth); });
    exportTo(o.exportCsv, [&](std::ostream& s) { misura::writeCsv(s, cases); });
    exportTo(o.exportMarkdown, [&](std::ostream& s) { misura::writeMarkdown(s, cases); });
    exportTo(o.plot, [&](std::ostream& s) { misura::writeSvgPlot(s, cases); });
    return written;
}

int measure(const misura::Options& o)
{
    // Measured as the programs run once warm, not as the allocator's first trims and page faults.
    platform::keepFreedMemory();
    ProgressLine progress(platform::standardErrorIsTerminal());
    // The library only when it is measured: the in-program routines need none.
    const std::unique_ptr<core::QuendrilLibrary> library =
        o.methods == misura::Methods::InProgram ? nullptr : openLibrary(o.library);
    const core::RunEnvironment env{library.get(), core::systemTicks(), u",", platform::ansiCodePage()};
    const misura::Bench bench{env, {o.runs, o.warmup}, platform::monotonicNanoseconds,
                              [&](const std::string& s) { progress.show(s); }};
    const std::vector<Case> cases = measureCases(o, chooseCases(o), bench, library.get(), progress);
    const std::vector<misura::Growth> growth = misura::growthExponents(cases);
    misura::writeGrowth(std::cout, growth);
    return exportResults(o, library ? library->loadedPath() : std::string(), cases, growth) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // A fatal fault (in the library or not) comes back here, in a fresh image, to be reported.
    if (const auto fault = platform::prepareProcess())
        return reportError(std::make_exception_ptr(*fault));
    platform::useUtf8Console();
    misura::Options options;
    try {
        options = misura::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const misura::UsageError& e) {
        std::cerr << "misura-libreria: " << e.what() << "\n\n" << misura::usageText();
        return 2;
    }
    if (options.help) {
        std::cout << misura::usageText();
        return 0;
    }
    if (options.version) {
        std::cout << "misura-libreria " << VC_VERSION_TEXT << '\n';
        return 0;
    }
    try {
        return measure(options);
    } catch (...) {
        return reportError(std::current_exception());
    }
}
