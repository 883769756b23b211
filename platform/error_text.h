// The numbered report of any exception: its heading and its description, in
// the language asked for, as the window's error box, its stderr line and the
// kit's commands show them.
#pragma once

#include "platform/messages.h"

#include <cstddef>
#include <exception>
#include <optional>
#include <string>

namespace platform {

class RuntimeError;

// The number, message and reason of an exception as the report gives them,
// pointing into the exception or at literals, so that telling an error needs
// no memory of its own.
struct ReportedError {
    int number;
    MessageView message;
    std::optional<MessageView> reason;
};

// What the report says of e (which must outlive the result): its own number
// and message for a run-time error, 7 for lack of memory, 51 otherwise.
ReportedError describe(const std::exception_ptr& e) noexcept;
// The same for error.
ReportedError describe(const RuntimeError& error) noexcept;

// Writes the report, heading, separator and description in language, into
// buffer (size bytes, terminated, cut short if need be) with no allocator and
// no lock; returns the length of the whole report.
std::size_t formatReport(char* buffer, std::size_t size, Language language, const ReportedError& error,
                         const char* separator) noexcept;

// The box's text in the program's language: the heading ("Errore di run-time '<number>':"), a blank line, the description.
std::string reportText(const ReportedError& error);
// The same text in buffer (size bytes, cut short if need be), with no allocation.
void formatReportText(const ReportedError& error, char* buffer, std::size_t size) noexcept;

// The report on one line in language: "error <number>: <description>" in English.
std::string reportLine(const ReportedError& error, Language language);

// The error in the form runtime_error.h's decodeError reads back.
std::string encoded(const ReportedError& error);

// Writes the report on one line to stderr in the program's language, after "<title>: " when title is not null.
void printReport(const ReportedError& error, const char* title = nullptr) noexcept;

} // namespace platform
