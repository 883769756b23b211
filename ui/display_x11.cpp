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

std::string missingPlatformPackage(const std::string& toolkitMessages, bool waylandSession)
{
    static constexpr struct {
        const char* plugin;
        const char* package;
    } kPlugins[] = {{"xcb", VC_X11_PLUGIN_PACKAGE}, {"wayland", VC_WAYLAND_PLUGIN_PACKAGE}};
    for (const auto& p : kPlugins)
        if (toolkitMessages.find(std::string("Could not find the Qt platform plugin \"") + p.plugin + '"')
            != std::string::npos)
            return p.package;
    // The toolkit lists the plugins it has after this, up to the end of the line.
    const std::string listed = "Available platform plugins are:";
    const std::size_t list = toolkitMessages.find(listed);
    if (waylandSession && list != std::string::npos) {
        const std::size_t end = toolkitMessages.find('\n', list);
        const std::string plugins = toolkitMessages.substr(list + listed.size(), end - list - listed.size());
        if (plugins.find("wayland") == std::string::npos)
            return VC_WAYLAND_PLUGIN_PACKAGE;
    }
    return {};
}

} // namespace ui
