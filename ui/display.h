// Whether the program can reach a display before the GUI toolkit tries: the
// toolkit aborts the process when it finds none, so start-up asks first.
#pragma once

#include <string>

namespace ui {

// Empty when a display can be reached or a GUI platform was chosen explicitly;
// otherwise what is missing, in a few words.
std::string displayProblem(int argc, char* argv[]);

} // namespace ui
