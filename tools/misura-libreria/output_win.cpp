// Export files on Windows: written as any file, under the folder's permissions.
#include "tools/misura-libreria/output.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace misura {

std::optional<std::string> writeNewFile(const std::string& file, const std::string& content)
{
    std::ofstream out(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out)
        return std::string(std::strerror(errno));
    return std::nullopt;
}

} // namespace misura
