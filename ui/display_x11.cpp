// Display check for X11 desktops: a GUI platform chosen with QT_QPA_PLATFORM
// is trusted; a Wayland session is left to the toolkit; otherwise the X
// server named by DISPLAY must accept a connection.
#include "ui/display.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace ui {

namespace {

bool platformChosen()
{
    const char* env = std::getenv("QT_QPA_PLATFORM");
    return env && *env;
}

} // namespace

std::string displayProblem()
{
    if (platformChosen())
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
