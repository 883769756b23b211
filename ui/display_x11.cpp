// Display check for X11 desktops: a GUI platform chosen with QT_QPA_PLATFORM or
// -platform is trusted; a Wayland session is left to the toolkit; otherwise
// the X server named by DISPLAY must accept a connection.
#include "ui/display.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace ui {

namespace {

bool platformChosen(int argc, char* argv[])
{
    const char* env = std::getenv("QT_QPA_PLATFORM");
    if (env && *env)
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

} // namespace

std::string displayProblem(int argc, char* argv[])
{
    if (platformChosen(argc, argv))
        return {};
    const char* display = std::getenv("DISPLAY");
    if (display && *display) {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const bool ok = xcb_connection_has_error(c) == 0;
        xcb_disconnect(c);
        if (ok)
            return {};
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland)
        return {};
    if (display && *display)
        return std::string("impossibile collegarsi allo schermo '") + display + "'";
    return "la variabile DISPLAY non è impostata";
}

} // namespace ui
