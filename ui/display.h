// Whether the program can reach a display before the GUI toolkit tries, so
// that the usual case (no display at all) gets a message of its own.
#pragma once

#include <string>

namespace ui {

// Empty when a display can be reached or a GUI platform was chosen explicitly;
// otherwise what is missing, in a few words.
std::string displayProblem();

// The Debian package of the toolkit's platform plugin that keeps it from
// starting, from what it said: the plugin it could not find, or in a Wayland
// session the Wayland plugin absent from its list; empty when none is missing.
std::string missingPlatformPackage(const std::string& toolkitMessages, bool waylandSession);

} // namespace ui
