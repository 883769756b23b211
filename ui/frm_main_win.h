// FrmMain in the Windows front-end: the program's only window, made of the
// system's own controls from the shared design, its results and its error
// report in the system's message box.
#pragma once

#include "core/runs.h"
#include "ui/form_design.h"

#include <windows.h>

#include <array>
#include <exception>
#include <string>

namespace ui {

class FrmMain final : public core::RunWindow {
public:
    // The window of the program called programTitle, whose runs use env; its controls are made, not shown.
    explicit FrmMain(std::u16string programTitle,
                     const core::RunEnvironment& env = core::RunEnvironment::system());
    ~FrmMain() override;
    FrmMain(const FrmMain&) = delete;
    FrmMain& operator=(const FrmMain&) = delete;

    // Makes the program's folder and its drive current; runs before the window is first shown.
    void Form_Load();
    // Shows the window and gives Command1 the focus.
    void show();
    // Handles msg as the dialog manager does (Tab, arrows, Space, Enter on a
    // focused push button); true when it was handled and must not be dispatched.
    bool handleDialogKey(MSG& msg);

    bool Option1Selected() const override;
    void MsgBox(const std::u16string& prompt) override;

    // Bytes-to-text run; an error ends the program through the error report.
    void Command1_Click();
    // Text-to-bytes run; an error ends the program through the error report.
    void Command2_Click();

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs a click procedure; an error is reported and closes the window with status 1.
    template <class F>
    void runReportingErrors(F&& f);

    std::u16string programTitle_;
    core::RunEnvironment env_;
    HWND hwnd_ = nullptr;
    std::array<HWND, design::kControls.size()> controls_{};
    HWND lastFocus_ = nullptr;
    HFONT optionFont_ = nullptr;
    // What the message loop ends with once the window is gone: 0, or 1 after an error report.
    int exitStatus_ = 0;
};

// Shows the error report of e in the system's message box owned by owner (may be null), titled title.
void showErrorReport(HWND owner, const std::u16string& title, std::exception_ptr e) noexcept;

} // namespace ui
