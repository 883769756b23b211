// The exports' targets. An earlier export is told by how every export of its
// kind begins, which no library file and no other document does.
#include "tools/misura-libreria/targets.h"

#include <filesystem>
#include <fstream>
#include <map>

namespace misura {

namespace {

std::filesystem::path pathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& path)
{
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::filesystem::path settled(const std::string& file)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(pathOf(file)).make_preferred();
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : canonical.lexically_normal().make_preferred();
}

// Whether the existing file begins as every export of its kind does (an empty file counts as one).
bool isEarlierExport(const std::filesystem::path& file, const std::string& beginning)
{
    std::ifstream in(file, std::ios::binary);
    std::string head(beginning.size(), '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    return in.gcount() == 0 || head == beginning;
}

} // namespace

std::string settledPath(const std::string& file)
{
    return utf8Of(settled(file));
}

void settleExportTargets(Options& o)
{
    const std::pair<std::string*, std::string> exports[] = {
        {&o.exportJson, "{\n  \"context\""}, {&o.exportCsv, "library,conversion,"},
        {&o.exportMarkdown, "## "}, {&o.plot, "<?xml"}};
    std::map<std::filesystem::path, std::string> taken;
    for (const std::string& library : o.libraries)
        taken[settled(library)] = "the library '" + library + "'";
    for (const auto& [file, beginning] : exports) {
        if (file->empty())
            continue;
        const std::filesystem::path target = settled(*file);
        if (const auto other = taken.find(target); other != taken.end())
            throw UsageError("'" + *file + "' would overwrite " + other->second);
        std::error_code ec;
        if (std::filesystem::exists(target, ec) && !isEarlierExport(target, beginning))
            throw UsageError("'" + *file + "' exists and is not an earlier export of its kind: not overwritten");
        taken[target] = "the export '" + *file + "'";
        *file = utf8Of(target);
    }
}

} // namespace misura
