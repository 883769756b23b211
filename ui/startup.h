// Start-up of either deliverable: sets up the application's identity and
// fonts (ending with a clear message when no display can be reached), loads
// the main window and runs the event loop.
#pragma once

namespace ui {

// Who the program is: its name (also its title), version, maker and
// application id (its desktop entry's id, which the desktop matches windows by).
struct ProgramInfo {
    const char* name;
    const char* version;
    const char* company;
    const char* appId;
    // Ends the program as soon as its window is shown: a seam for the start-up benchmark.
    bool quitWhenShown = false;
};

// Runs the program until its window is closed; returns the process's exit status.
int runProgram(int argc, char* argv[], const ProgramInfo& info);

} // namespace ui
