// The program's own folder and the process's current drive and directory:
// where the program looks for its conversion library and where its window
// starts work.
#pragma once

#include <string>

namespace platform {

// The absolute path of the folder that holds the running program file.
std::string programFolder();
// Makes the drive of folder the current drive (nothing for a path with no drive letter); raises error 76 when it cannot.
void setCurrentDrive(const std::string& folder);
// Makes folder the current directory; raises error 76 with the system's reason when it cannot.
void setCurrentDirectory(const std::string& folder);

} // namespace platform
