// Library binding on POSIX systems through dlopen and dlsym. The given folder
// is tried by absolute path; the standard search (LD_LIBRARY_PATH, the
// program's run path, the loader's cache, the system folders) comes after it
// and does not include the current directory.
#include "platform/library.h"

#include "platform/runtime_error.h"

#include <dlfcn.h>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include <utility>

namespace platform {

namespace {

std::string lastLoaderError()
{
    const char* e = dlerror();
    return e ? e : "motivo sconosciuto";
}

bool isFile(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

Library::Library(std::string folder, std::string fileName)
    : folder_(std::move(folder)), fileName_(std::move(fileName))
{
}

Library::~Library()
{
    if (handle_)
        dlclose(handle_);
}

void Library::load()
{
    const std::string local = folder_ + '/' + fileName_;
    if (isFile(local)) {
        handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            throw RuntimeError(kLibraryNotLoadable, "impossibile caricare la libreria '" + local
                                                        + "': " + lastLoaderError());
        return;
    }
    // A name with a slash would be taken relative to the current directory.
    if (fileName_.find('/') != std::string::npos)
        throw RuntimeError(kFileNotFound, "impossibile trovare la libreria '" + local + "'");
    handle_ = dlopen(fileName_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_)
        return;
    const std::string reason = lastLoaderError();
    // The loader names the file it could not open and ends with the system's
    // reason; a missing dependency is named instead of our file.
    if (reason.starts_with(fileName_ + ':') && reason.ends_with(std::strerror(ENOENT)))
        throw RuntimeError(kFileNotFound, "impossibile trovare la libreria '" + fileName_
                                              + "' in '" + folder_ + "' né nei percorsi di sistema: "
                                              + reason);
    throw RuntimeError(kLibraryNotLoadable,
                       "impossibile caricare la libreria '" + fileName_ + "': " + reason);
}

void* Library::resolve(const char* name)
{
    if (!handle_)
        load();
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address)
        throw RuntimeError(kEntryPointNotFound, std::string("impossibile trovare la funzione '")
                                                    + name + "' nella libreria '" + fileName_
                                                    + "': " + lastLoaderError());
    return address;
}

} // namespace platform
