// The fatal fault report, shared by both fault paths and both binders: its
// wording, and the form in which a faulting image hands it to the fresh one
// ("<process id>:<number>:<description>"). Everything but readHandOver works
// in memory the caller owns, with no allocator and no lock, for a fault handler.
#pragma once

#include "platform/runtime_error.h"

#include <cstddef>
#include <optional>
#include <string>

namespace platform::faultReport {

// A text in a buffer the caller owns, always terminated; what does not fit is cut off.
class Text {
public:
    constexpr Text(char* buffer, std::size_t size) noexcept : buffer_(buffer), size_(size) {}

    // Appends text.
    void append(const char* text) noexcept;
    // Appends value in decimal.
    void appendNumber(unsigned long value) noexcept;
    // Empties the text.
    void clear() noexcept;

    const char* data() const noexcept { return buffer_; }
    std::size_t length() const noexcept { return length_; }
    // The length the text would have, had nothing been cut off.
    std::size_t wanted() const noexcept { return wanted_; }

private:
    char* buffer_;
    std::size_t size_;
    std::size_t length_ = 0;
    std::size_t wanted_ = 0;
};

// Appends what faulted: a call of function (when not null) in library, the
// loading of library, its detach code at exit, the program outside any call
// to library, or the program (library empty); then the fault's name.
void appendDescription(Text& out, const char* library, const char* function, bool loading, bool exiting,
                       const char* fault) noexcept;

// Appends how the program ended when nothing it ran chose to end it: during a
// call of function (when not null) in library, while loading library, outside
// any call to library, or with no library (library empty); then how it ended.
void appendEndDescription(Text& out, const char* library, const char* function, bool loading,
                          const char* how) noexcept;

// The same description as a string, for a fault told outside a handler.
std::string description(const char* library, const char* function, bool loading, const char* fault);

// Appends the hand-over's head, "<process>:<number>:", before the description.
void appendHandOverHead(Text& out, unsigned long process, int number) noexcept;

// A report handed over by the faulting process `process`.
struct HandOver {
    unsigned long process;
    RuntimeError error;
};

// The report in text, when text has the hand-over's form.
std::optional<HandOver> readHandOver(const std::string& text);

} // namespace platform::faultReport
