// The program's own folder and the process's current directory: where the
// program looks for its conversion library and where its window starts work.
#pragma once

#include <string>

namespace platform {

// The absolute path of the folder that holds the running program file.
std::string programFolder();
// The process's current directory.
std::string currentDirectory();
// Makes folder the current directory; raises error 76 with the system's reason when it cannot.
void setCurrentDirectory(const std::string& folder);

} // namespace platform
