// Start-up in the Windows front-end: puts the program under its supervisor,
// makes and loads the main window, shows it and runs the message loop until
// it is closed.
#include "ui/startup.h"

#include "platform/fatal_fault.h"
#include "platform/heap.h"
#include "platform/isolation/supervisor.h"
#include "platform/utf16.h"
#include "ui/frm_main_win.h"

#include <cstdlib>
#include <optional>

namespace ui {

int runProgram(int, char*[], const ProgramInfo& info)
{
    platform::keepFreedMemory();
    // The program takes no command line.
    const std::u16string title = platform::toUtf16(info.name);
    if (const auto fault = platform::prepareProcess()) {
        showErrorReport(nullptr, title, std::make_exception_ptr(*fault));
        return EXIT_FAILURE;
    }
    platform::superviseProcess();
    std::optional<FrmMain> window;
    try {
        window.emplace(title);
        window->Form_Load();
    } catch (...) {
        showErrorReport(nullptr, title, std::current_exception());
        platform::endProcess(EXIT_FAILURE);
    }
    window->show();
    if (info.quitWhenShown)
        PostQuitMessage(EXIT_SUCCESS);

    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (window->handleDialogKey(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    platform::endProcess(static_cast<int>(msg.wParam));
}

} // namespace ui
