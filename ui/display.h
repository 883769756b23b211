// What keeps the GUI toolkit from starting, told from what it said while
// failing: the displays it could not reach, or the platform plugin package
// that is missing.
#pragma once

#include <string>

namespace ui {

// The displays the toolkit could not reach, in a few words, given the X and
// Wayland display names it had (null when unset); empty when it names none.
std::string displayProblem(const std::string& toolkitMessages, const char* display, const char* waylandDisplay);

// The Debian package of the toolkit's platform plugin that keeps it from
// starting, from what it said: the plugin it could not find, or in a Wayland
// session the Wayland plugin absent from its list; empty when none is missing.
std::string missingPlatformPackage(const std::string& toolkitMessages, bool waylandSession);

} // namespace ui
