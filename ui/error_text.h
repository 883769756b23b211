// The default error report's wording, the same in both front-ends: the
// error's number and its description, for any exception that leaves the
// window's load or an event procedure.
#pragma once

#include <exception>
#include <string>

namespace ui {

// The number and description (UTF-8) of an exception as the report shows them.
struct ReportedError {
    int number;
    std::string description;
};

// What the report says of e: its own number for a run-time error, 7 for lack of memory, 51 otherwise.
ReportedError describe(std::exception_ptr e);

// The report's text: "Errore di run-time '<number>':", a blank line, the description.
std::string reportText(const ReportedError& error);

} // namespace ui
