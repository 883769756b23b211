// The parts of library binding that no OS changes: construction and the
// errors it raises. Loading, binding and fault handling live in
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

void Library::raiseNoSuchFunction(const char* name, Wording reason) const
{
    throw RuntimeError(kEntryPointNotFound, Message::functionNotFound, {name, fileName_}, std::move(reason));
}

void Library::raiseNotAFunction(const char* name) const
{
    throw RuntimeError(kEntryPointNotFound, Message::exportNotAFunction, {name, fileName_});
}

void Library::raiseNotFound(Message message, Wording reason) const
{
    throw RuntimeError(kFileNotFound, message, {fileName_, folder_}, std::move(reason));
}

void raiseLibraryNotFound(const std::string& path)
{
    throw RuntimeError(kFileNotFound, Message::libraryNotFound, {path});
}

void raiseLibraryNotLoadable(const std::string& path, Wording reason)
{
    throw RuntimeError(kLibraryNotLoadable, Message::libraryNotLoadable, {path}, std::move(reason));
}

void raiseLibraryNotRegular(const std::string& path)
{
    throw RuntimeError(kLibraryNotLoadable, Message::libraryNotRegularFile, {path});
}

void Library::reportDescriptorLost(int fd) const
{
    reportAsFault(RuntimeError(kInternalError, Message::descriptorLost, {std::to_string(fd), fileName_}));
}

void Library::raiseBadString(const char* function, Message problem) const
{
    throw RuntimeError(kInternalError, problem, {function, fileName_});
}

} // namespace platform
