// Library binding on Windows through LoadLibraryExW and GetProcAddress. The
// given folder is tried first, then the system folder; the current directory
// and PATH never are. A library loaded from a folder finds its own
// dependencies beside it and in the system folder only.
#include "platform/library.h"

#include "platform/runtime_error.h"
#include "platform/system_error.h"
#include "platform/wide_win.h"

#include <windows.h>

#include <utility>

namespace platform {

namespace {

constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

// folder\name with the system's separators.
std::string joined(const std::string& folder, const std::string& name)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    path += name;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Whether path names a file (not a folder); otherwise lastError holds why not.
bool isFile(const std::string& path, DWORD& lastError)
{
    const DWORD attributes = GetFileAttributesW(win::wide(path).c_str());
    lastError = GetLastError();
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string systemFolder()
{
    wchar_t buf[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? win::utf8(std::wstring(buf, n)) : std::string("C:\\Windows\\System32");
}

} // namespace

Library::Library(std::string folder, std::string fileName)
    : folder_(std::move(folder)), fileName_(std::move(fileName))
{
}

Library::~Library()
{
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
}

void Library::load()
{
    DWORD lookup = 0;
    std::string path = joined(folder_, fileName_);
    // A name with a folder or drive would be taken relative to the current directory.
    const bool plainName = fileName_.find_first_of("\\/:") == std::string::npos;
    if (!isFile(path, lookup) && plainName)
        path = joined(systemFolder(), fileName_);
    if (!isFile(path, lookup))
        throw RuntimeError(kFileNotFound, "impossibile trovare la libreria '" + fileName_ + "' in '"
                                              + folder_ + "' né nella cartella di sistema: "
                                              + systemReason(lookup));
    handle_ = LoadLibraryExW(win::wide(path).c_str(), nullptr, kSearch);
    if (!handle_) {
        const DWORD err = GetLastError();
        throw RuntimeError(kLibraryNotLoadable,
                           "impossibile caricare la libreria '" + path + "': " + systemReason(err));
    }
}

void* Library::resolve(const char* name)
{
    if (!handle_)
        load();
    const FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
    if (!address) {
        const DWORD err = GetLastError();
        throw RuntimeError(kEntryPointNotFound, std::string("impossibile trovare la funzione '") + name
                                                    + "' nella libreria '" + fileName_
                                                    + "': " + systemReason(err));
    }
    return reinterpret_cast<void*>(address);
}

} // namespace platform
