// Reading the toolkit's start-up messages: its X11 and Wayland plugins each
// say when they cannot reach their display, and its plugin loader which
// plugins it could not find or has.
#include "ui/display.h"

namespace ui {

namespace {

bool has(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

bool isSet(const char* variable)
{
    return variable && *variable;
}

} // namespace

std::string displayProblem(const std::string& toolkitMessages, const char* display, const char* waylandDisplay)
{
    std::string problem;
    if (has(toolkitMessages, "Failed to create wl_display") && isSet(waylandDisplay))
        problem = std::string("impossibile collegarsi al compositore Wayland '") + waylandDisplay + "'";
    if (has(toolkitMessages, "could not connect to display")) {
        if (!problem.empty())
            problem += "; ";
        problem += isSet(display) ? std::string("impossibile collegarsi allo schermo '") + display + "'"
                                  : std::string("la variabile DISPLAY non è impostata");
    }
    return problem;
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
