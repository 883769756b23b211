// The default error report: an error that leaves the window's load or an event
// procedure is caught there, shown to the user with its number and
// description, and then the program ends with a failure status.
#pragma once

#include <QString>

#include <exception>

namespace ui {

// The number and description of an exception as the report shows them.
struct ReportedError {
    int number;
    QString description;
};

// What the report says of e: its own number for a run-time error, 7 for lack of memory, 51 otherwise.
ReportedError describe(std::exception_ptr e);

// The report's text: "Errore di run-time '<number>':" and the description.
QString reportText(const ReportedError& error);

// Shows the report of e in a modal box titled title and returns when it is dismissed.
void showErrorReport(const QString& title, std::exception_ptr e);

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
