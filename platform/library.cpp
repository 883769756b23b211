// The parts of library binding that no OS changes: construction and the
// wording of its errors. Loading, binding and fault handling live in
// library_posix.cpp and library_win.cpp.
#include "platform/library.h"

#include "platform/fatal_fault.h"
#include "platform/runtime_error.h"

#include <string>
#include <utility>

namespace platform {

Library::Library(std::string folder, std::string fileName, std::string lastFolder)
    : folder_(std::move(folder)), fileName_(std::move(fileName)), lastFolder_(std::move(lastFolder))
{
}

void Library::raiseNoSuchFunction(const char* name, const std::string& reason) const
{
    throw RuntimeError(kEntryPointNotFound, std::string("impossibile trovare la funzione '") + name
                                                + "' nella libreria '" + fileName_ + "': " + reason);
}

void Library::raiseNotAFunction(const char* name) const
{
    raiseNoSuchFunction(name, "il simbolo esportato non è una funzione");
}

void Library::raiseNotFound(const char* elsewhere, const std::string& reason) const
{
    throw RuntimeError(kFileNotFound, "impossibile trovare la libreria '" + fileName_ + "' in '" + folder_ + "' né "
                                          + elsewhere + ": " + reason);
}

void raiseLibraryNotFound(const std::string& path)
{
    throw RuntimeError(kFileNotFound, "impossibile trovare la libreria '" + path + "'");
}

void raiseLibraryNotLoadable(const std::string& path, const std::string& reason)
{
    throw RuntimeError(kLibraryNotLoadable, "impossibile caricare la libreria '" + path + "': " + reason);
}

void Library::reportDescriptorLost(int fd) const
{
    reportAsFault(RuntimeError(kInternalError, "la libreria ha chiuso un descrittore del programma (il "
                                                   + std::to_string(fd) + ", libreria '" + fileName_ + "')"));
}

void Library::raiseBadString(const char* function, const char* problem) const
{
    throw RuntimeError(kInternalError, std::string("la funzione '") + function + "' della libreria '"
                                           + fileName_ + "' ha restituito una stringa non valida: " + problem);
}

} // namespace platform
