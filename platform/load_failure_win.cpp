// Why Windows could not load a library: the file's own header read for what
// it is built for, its imports looked for where Windows looks for them, and
// the system's message with the file's name in place of its insert.
#include "platform/load_failure_win.h"

#include "platform/system_error.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace platform::win {

namespace {

#if defined(_WIN64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif
// What imageMachine gives for a file that is not a Windows image at all.
constexpr WORD kNotAnImage = 0;

// The machine the file at path is built for, from its headers; kNotAnImage
// when it has none; nothing when it cannot be read.
std::optional<WORD> imageMachine(const std::string& path)
{
    std::ifstream in(std::filesystem::path(wide(path)), std::ios::binary);
    if (!in)
        return std::nullopt;
    unsigned char dos[64] = {};
    unsigned char pe[6] = {};
    if (!in.read(reinterpret_cast<char*>(dos), sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return kNotAnImage;
    const std::uint32_t at = dos[60] | dos[61] << 8 | dos[62] << 16 | static_cast<std::uint32_t>(dos[63]) << 24;
    if (!in.seekg(at) || !in.read(reinterpret_cast<char*>(pe), sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        return kNotAnImage;
    return static_cast<WORD>(pe[4] | pe[5] << 8);
}

// What the file at path is, when that is why this process cannot load it; empty otherwise.
std::string wrongImage(const std::string& path)
{
    const std::optional<WORD> machine = imageMachine(path);
    if (!machine || *machine == kOwnMachine)
        return {};
    if (*machine == kNotAnImage)
        return "non è una libreria di Windows";
    if (*machine == IMAGE_FILE_MACHINE_AMD64 && kOwnMachine == IMAGE_FILE_MACHINE_I386)
        return "è una libreria a 64 bit: i programmi sono a 32 bit";
    if (*machine == IMAGE_FILE_MACHINE_I386 && kOwnMachine == IMAGE_FILE_MACHINE_AMD64)
        return "è una libreria a 32 bit: i programmi sono a 64 bit";
    return "è una libreria per un altro processore";
}

// Whether Windows finds the library name where it looks for the dependencies
// of a library in folder: beside it, then in the system folder.
bool dependencyFound(const std::string& folder, const std::string& name)
{
    const DWORD attributes = GetFileAttributesW(wide(folder + "\\" + name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    const HMODULE system = LoadLibraryExW(wide(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (system)
        FreeLibrary(system);
    return system != nullptr;
}

// The first library the file at path imports that Windows does not find;
// empty when there is none, or when the file cannot be mapped to tell.
std::string missingDependency(const std::string& path)
{
    // Mapped only: no code of the library, or of what it imports, runs.
    const HMODULE image = LoadLibraryExW(wide(path).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!image)
        return {};
    const auto* base = reinterpret_cast<const BYTE*>(image);
    const auto* headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const std::string folder = path.substr(0, path.find_last_of("\\/"));
    std::string missing;
    const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    for (; imports.VirtualAddress && entry->Name && missing.empty(); ++entry)
        if (const char* name = reinterpret_cast<const char*>(base + entry->Name); !dependencyFound(folder, name))
            missing = name;
    FreeLibrary(image);
    return missing;
}

// text with each "%1" replaced by insert, as the system fills its messages.
std::string filled(std::string text, const std::string& insert)
{
    for (auto at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + insert.size()))
        text.replace(at, 2, insert);
    return text;
}

} // namespace

std::string loadFailure(const std::string& path, unsigned long error)
{
    std::string cause = wrongImage(path);
    if (cause.empty() && error == ERROR_MOD_NOT_FOUND)
        if (const std::string name = missingDependency(path); !name.empty())
            cause = "richiede '" + name + "', che Windows non trova né accanto a essa né nella cartella di sistema";
    const std::string message = filled(systemReason(error), path.substr(path.find_last_of("\\/") + 1));
    return cause.empty() ? message : cause + " (" + message + ")";
}

} // namespace platform::win
