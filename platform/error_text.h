// The numbered report's wording for any exception: the error's number and its
// description, as the window's error box and the kit's commands show them.
#pragma once

#include <cstddef>
#include <exception>
#include <string>

namespace platform {

// The number and description of an exception as the report shows them: the
// description is `lead` followed by `detail`, both pointing into the exception
// or at literals, so that telling an error needs no memory of its own.
struct ReportedError {
    int number;
    const char* lead;
    const char* detail;
};

// What the report says of e (which must outlive the result): its own number
// for a run-time error, 7 for lack of memory, 51 otherwise.
ReportedError describe(const std::exception_ptr& e) noexcept;

// The report's text: "Errore di run-time '<number>':", a blank line, the description.
std::string reportText(const ReportedError& error);

// The same text in buffer (size bytes, cut short if need be), with no allocation.
void formatReportText(const ReportedError& error, char* buffer, std::size_t size) noexcept;

// Writes the report on one line to stderr, after "<title>: " when title is not null.
void printReport(const ReportedError& error, const char* title = nullptr) noexcept;

} // namespace platform
