// The progress line and the exports' files.
#include "tools/misura-libreria/output.h"

#include "tools/misura-libreria/format.h"
#include "tools/misura-libreria/processes.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace misura {

namespace {

std::filesystem::path pathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Where an export is written before it is renamed to its target.
std::string temporaryOf(const std::string& file)
{
    return file + ".partial";
}

bool cannotWrite(const std::string& file, const std::string& reason)
{
    std::fprintf(stderr, "misura-libreria: cannot write '%s': %s\n", file.c_str(), reason.c_str());
    return false;
}

} // namespace

void ProgressLine::show(const std::string& text)
{
    if (!enabled_)
        return;
    const std::string line = "Measuring " + text;
    const std::size_t w = width(line);
    const std::string padding(shown_ > w ? shown_ - w : 0, ' ');
    shown_ = std::max(shown_, w);
    writeProgress("\r" + line + padding, shown_);
}

void ProgressLine::clear()
{
    if (!enabled_ || !shown_)
        return;
    std::string blank(shown_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    writeProgress(blank, 0);
    shown_ = 0;
}

bool canWriteExport(const std::string& file)
{
    const std::string temporary = temporaryOf(file);
    setFileInProgress(temporary);
    const std::optional<std::string> reason = writeNewFile(temporary, {});
    std::error_code ignored;
    std::filesystem::remove(pathOf(temporary), ignored);
    setFileInProgress({});
    return reason ? cannotWrite(file, *reason) : true;
}

bool writeExport(const std::string& file, const std::string& content)
{
    const std::string temporary = temporaryOf(file);
    setFileInProgress(temporary);
    if (const std::optional<std::string> reason = writeNewFile(temporary, content)) {
        std::error_code ignored;
        std::filesystem::remove(pathOf(temporary), ignored);
        setFileInProgress({});
        return cannotWrite(file, *reason);
    }
    std::error_code ec;
    std::filesystem::rename(pathOf(temporary), pathOf(file), ec);
    if (ec) {
        const std::string reason = ec.message();
        std::filesystem::remove(pathOf(temporary), ec);
        setFileInProgress({});
        return cannotWrite(file, reason);
    }
    setFileInProgress({});
    return true;
}

} // namespace misura
