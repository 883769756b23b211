// Why Windows could not load a library: the file's own header read for what
// it is built for, its imports looked for where Windows looks for them, and
// the system's message with the file's name in place of its insert.
#include "platform/load_failure_win.h"

#include "platform/messages.h"
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

// What the file at path is, when that is why this process cannot load it,
// with the system's message; nothing otherwise.
std::optional<Wording> wrongImage(const std::string& path, const std::string& message)
{
    const std::optional<WORD> machine = imageMachine(path);
    if (!machine || *machine == kOwnMachine)
        return std::nullopt;
    if (*machine == kNotAnImage)
        return Wording{Message::notAWindowsLibrary, {message}};
    const auto bits = [](WORD m) { return m == IMAGE_FILE_MACHINE_AMD64 ? "64" : "32"; };
    if (*machine == IMAGE_FILE_MACHINE_AMD64 || *machine == IMAGE_FILE_MACHINE_I386)
        return Wording{Message::otherBitnessLibrary, {bits(*machine), bits(kOwnMachine), message}};
    return Wording{Message::otherProcessorLibrary, {message}};
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

Wording loadFailure(const std::string& path, unsigned long error)
{
    Wording reason = systemReason(error);
    if (reason.id == Message::verbatim)
        reason.arguments.front() = filled(reason.arguments.front(), path.substr(path.find_last_of("\\/") + 1));
    // A cause of ours carries the system's words as its last argument.
    const std::string message = renderMessage(programLanguage(), reason.view());
    if (std::optional<Wording> wrong = wrongImage(path, message))
        return *wrong;
    if (error == ERROR_MOD_NOT_FOUND)
        if (std::string name = missingDependency(path); !name.empty())
            return Wording{Message::dependencyNotFound, {std::move(name), message}};
    return reason;
}

} // namespace platform::win
