// The default error report of the Qt front-end: an error that leaves the
// window's load or an event procedure is caught there, shown to the user with
// its number and description, and then the program ends with a failure status.
#pragma once

#include <QString>

class QMessageBox;

#include <exception>

namespace ui {

// Writes the report of e to stderr and shows it in a modal box titled title,
// returning when it is dismissed.
void showErrorReport(const QString& title, std::exception_ptr e) noexcept;

// What showErrorReport does with a given way of showing the box, for tests.
using ReportBox = void (*)(const QString& title, const QString& text);
void showErrorReport(const QString& title, std::exception_ptr e, ReportBox box) noexcept;

// Makes Ctrl+C in box copy the box's text, as the system's message box does on Windows.
void copyTextOnCtrlC(QMessageBox& box);

// Makes the running event loop end the program with a failure status.
void endProgramWithFailure();

// Runs f; if it raises, shows the report, asks the event loop to end the program
// with a failure status, and returns false.
template <class F>
bool runReportingErrors(const QString& title, F&& f)
{
    try {
        f();
        return true;
    } catch (...) {
        showErrorReport(title, std::current_exception());
    }
    endProgramWithFailure();
    return false;
}

} // namespace ui
