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
#include "quendril/misura_measure.h"
#include "quendril/misura_options.h"
#include "quendril/misura_report.h"
#include "ui/error_text.h"

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
    ui::printReport(ui::describe(error));
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

int measure(const misura::Options& o)
{
    // Measured as the programs run once warm, not as the allocator's first trims and page faults.
    platform::keepFreedMemory();
    ProgressLine progress(platform::standardErrorIsTerminal());
    const std::unique_ptr<core::QuendrilLibrary> library =
        o.methods == misura::Methods::InProgram ? nullptr : openLibrary(o.library);
    core::QuendrilLibrary unused(std::string{}, std::string{});
    const core::RunEnvironment env{library ? *library : unused, core::systemTicks(), u",", platform::ansiCodePage()};
    std::vector<core::Method> methods;
    if (o.methods != misura::Methods::InProgram)
        methods.push_back(core::Method::Library);
    if (o.methods != misura::Methods::Library)
        methods.push_back(core::Method::InProgram);
    const misura::Repetitions reps{o.runs, o.warmup};
    const misura::Clock clock = platform::monotonicNanoseconds;

    std::vector<Case> cases;
    bool headerShown = false;
    bool calledYet[2] = {false, false};
    const auto header = [&] {
        if (headerShown)
            return;
        headerShown = true;
        progress.clear();
        std::cout << "Library: " << (library ? library->loadedPath() : "none (in-program routines only)") << '\n'
                  << "Clock: monotonic, resolution " << platform::monotonicResolution() << " ns; "
                  << (o.runs ? std::to_string(*o.runs) + " runs" : std::string("runs for about 1 s"))
                  << " per case after " << o.warmup << " warm-up runs; freed memory kept by the allocator\n\n";
    };
    for (const std::int32_t bytes : o.sizes) {
        for (const Conversion conversion : {Conversion::BytesToText, Conversion::TextToBytes}) {
            for (const core::Method method : methods) {
                bool& called = calledYet[conversion == Conversion::BytesToText ? 0 : 1];
                const bool first = method == core::Method::Library && !called;
                cases.push_back(misura::measureCase(conversion, method, bytes, reps, env, first, clock,
                                                    [&](const std::string& s) { progress.show(s); }));
                called = called || method == core::Method::Library;
                header();
                progress.clear();
                if (!o.scan) {
                    misura::writeCase(std::cout, cases.back());
                    if (methods.size() == 2 && method == core::Method::InProgram)
                        misura::writeComparison(std::cout, cases[cases.size() - 2], cases.back());
                    std::cout << '\n' << std::flush;
                }
            }
        }
        if (o.scan) {
            misura::writeSizeTable(std::cout, cases, bytes);
            std::cout << '\n' << std::flush;
        }
    }
    const std::vector<misura::Growth> growth = misura::growthExponents(cases);
    misura::writeGrowth(std::cout, growth);

    bool written = true;
    const auto exportTo = [&](const std::string& file, auto write) {
        if (file.empty())
            return;
        std::ostringstream text;
        write(text);
        written = writeFile(file, text.str()) && written;
    };
    const std::string path = library ? library->loadedPath() : std::string();
    exportTo(o.exportJson, [&](std::ostream& s) { misura::writeJson(s, path, cases, growth); });
    exportTo(o.exportCsv, [&](std::ostream& s) { misura::writeCsv(s, cases); });
    exportTo(o.exportMarkdown, [&](std::ostream& s) { misura::writeMarkdown(s, cases); });
    exportTo(o.plot, [&](std::ostream& s) { misura::writeSvgPlot(s, cases); });
    return written ? 0 : 1;
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
