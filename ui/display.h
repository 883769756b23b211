// Whether the program can reach a display before the GUI toolkit tries, so
// that the usual case (no display at all) gets a message of its own.
#pragma once

#include <string>

namespace ui {

// Empty when a display can be reached or a GUI platform was chosen explicitly;
// otherwise what is missing, in a few words.
std::string displayProblem();

} // namespace ui
